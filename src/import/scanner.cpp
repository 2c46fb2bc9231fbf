#include "import/scanner.h"

#include "import/fsnames.h"
#include "store/database.h"

#include <QFile>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace vorlane {

QString rootPrefix(const QString& root) {
    QString p = root;
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

namespace {

using Clock = std::chrono::steady_clock;

class Walker {
public:
    Walker(Database& db, const ScanParams& params, const ScanHooks& hooks)
        : m_db(db), m_params(params), m_hooks(hooks),
          m_insert(db, QStringLiteral("insert into qCDFiles (CdID, FatherId, TreeName, FPath, "
                                      "FSize, IsDir) values (?1, ?2, ?3, ?4, ?5, ?6)")),
          m_reporter(hooks.progress, hooks.progressIntervalMs) {
        m_prefix = rootPrefix(params.root);
        for (const QString& t : params.types)
            m_types.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
        sqlite3_bind_int64(m_insert.statement(), 1, params.discId);
        m_commitEvery = std::chrono::milliseconds(std::max(0, hooks.commitIntervalMs));
    }

    ScanResult run() {
        const QByteArray rootPath =
            QFile::encodeName(m_prefix.isEmpty() ? QStringLiteral("/") : m_prefix);
        try {
            m_db.begin();
        } catch (const DbError& e) {
            m_result.error = e.text();
            return m_result;
        }
        m_lastCommit = Clock::now();
        const int fd =
            ::open(rootPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0)
            listFolder(fd, 0, 0);
        finish();
        return m_result;
    }

private:
    bool cancelled() {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
            m_result.cancelled = true;
            return true;
        }
        return false;
    }

    void finish() {
        if (sqlite3_get_autocommit(m_db.handle()))
            return; // a failed statement already ended the transaction
        try {
            m_db.commit();
        } catch (const DbError& e) {
            if (m_result.error.isEmpty())
                m_result.error = e.text();
            try {
                m_db.rollback();
            } catch (const DbError&) {
            }
        }
    }

    // Commits what is stored so far once the interval has passed, so a cancelled or
    // failed scan keeps it.
    void maybeCommit() {
        const auto now = Clock::now();
        if (now - m_lastCommit < m_commitEvery)
            return;
        try {
            m_db.commit();
            m_db.begin();
        } catch (const DbError& e) {
            m_result.error = e.text();
            m_stop = true;
        }
        m_lastCommit = Clock::now();
    }

    // Stores one row; returns its AutoId, or 0 when it could not be stored (the walk stops).
    qint64 addEntry(const std::string& name, bool isDir, qint64 size, qint64 fatherId) {
        sqlite3_stmt* st = m_insert.statement();
        sqlite3_bind_int64(st, 2, fatherId);
        sqlite3_bind_text(st, 3, name.data(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 4, m_fpath.data(), int(m_fpath.size()), SQLITE_STATIC);
        sqlite3_bind_int64(st, 5, isDir ? 0 : size);
        sqlite3_bind_int(st, 6, isDir ? 1 : 0);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE) {
            m_result.error = DbError::fromEngine(m_db.handle()).text();
            m_stop = true;
            return 0;
        }
        ++m_result.rows;
        const qint64 id = sqlite3_last_insert_rowid(m_db.handle());
        maybeCommit();
        return id;
    }

    bool accepts(const std::string& name) const {
        if (m_types.empty())
            return true;
        const auto dot = name.rfind('.');
        if (dot == std::string::npos)
            return false;
        return m_types.count(fsnames::foldAscii(name.substr(dot))) > 0;
    }

    // A sub-folder met in the listing of `parentFd`: its row, then its contents.
    void scanFolder(int parentFd, const char* rawName, const std::string& name, qint64 fatherId,
                    int depth) {
        if (cancelled())
            return;
        if (m_params.depthLimit != 0 && m_params.depthLimit < depth)
            return;
        const size_t mark = m_fpath.size();
        m_fpath += '/';
        m_fpath += name;
        const qint64 id = addEntry(name, true, 0, fatherId);
        if (id != 0) {
            const int fd = ::openat(parentFd, rawName,
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0)
                listFolder(fd, id, depth);
        }
        m_fpath.resize(mark);
    }

    // Walks the open folder `fd` (taken over and closed here) whose row is `id`.
    void listFolder(int fd, qint64 id, int depth) {
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        std::string name;
        while (!m_stop && !cancelled()) {
            const dirent* e = ::readdir(dir);
            if (!e)
                break;
            if (e->d_name[0] == '.')
                continue;
            fsnames::storedName(e->d_name, name);
            m_reporter.report(m_prefix, m_fpath, name);
            bool isDir = e->d_type == DT_DIR;
            const bool needStat =
                e->d_type == DT_UNKNOWN || (!isDir && !m_params.foldersOnly && accepts(name));
            struct stat st {};
            if (needStat) {
                if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT)
                        continue; // gone since the listing
                    st = {};      // no search right: keep the name, size unknown
                } else {
                    isDir = S_ISDIR(st.st_mode);
                }
            }
            if (isDir) {
                ++m_result.folders;
                scanFolder(::dirfd(dir), e->d_name, name, id, depth + 1);
            } else if (!m_params.foldersOnly) {
                if (accepts(name))
                    addEntry(name, false, st.st_size, id);
                ++m_result.files;
            }
        }
        ::closedir(dir);
    }

    Database& m_db;
    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    Query m_insert;
    QString m_prefix;
    fsnames::PathReporter m_reporter;
    std::string m_fpath; // FPath of the folder being listed ("" at the root, "/A/B" below)
    std::unordered_set<std::string> m_types;
    ScanResult m_result;
    bool m_stop = false;
    std::chrono::milliseconds m_commitEvery{250};
    Clock::time_point m_lastCommit{};
};

} // namespace

ScanResult scanTree(Database& db, const ScanParams& params, const ScanHooks& hooks) {
    try {
        Walker walker(db, params, hooks);
        return walker.run();
    } catch (const DbError& e) {
        ScanResult r;
        r.error = e.text();
        return r;
    }
}

} // namespace vorlane
