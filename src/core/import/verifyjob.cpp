#include "core/import/verifyjob.h"

#include "core/import/filehash.h"
#include "core/import/scanner.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane {

namespace {

// Files are read from the catalog a page at a time.
constexpr int kPage = 1000;

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The raw path of each folder of a disc below its root ("/A/B"), built once from the rows.
class FolderPaths {
public:
    explicit FolderPaths(std::vector<contentstore::StoredFolder> folders) {
        for (contentstore::StoredFolder& f : folders)
            m_rows.insert(f.id, std::move(f));
    }

    // "" for the disc's top level (and for a parent that is not a folder of the disc).
    QByteArray path(qint64 id) {
        if (id <= 0 || !m_rows.contains(id))
            return {};
        if (const auto it = m_paths.constFind(id); it != m_paths.cend())
            return *it;
        // Climb to a folder whose path is known, then come back down; a damaged loop of
        // parent links stops where it comes round again.
        std::vector<qint64> chain;
        QSet<qint64> seen;
        QByteArray base;
        for (qint64 at = id; at > 0 && m_rows.contains(at) && !seen.contains(at);) {
            if (const auto it = m_paths.constFind(at); it != m_paths.cend()) {
                base = *it;
                break;
            }
            seen.insert(at);
            chain.push_back(at);
            at = m_rows.value(at).fatherId;
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            base += '/' + m_rows.value(*it).name;
            m_paths.insert(*it, base);
        }
        return base;
    }

private:
    QHash<qint64, contentstore::StoredFolder> m_rows;
    QHash<qint64, QByteArray> m_paths;
};

class Verifier {
public:
    Verifier(Database& db, const VerifyParams& params, const VerifyHooks& hooks)
        : m_db(db), m_params(params), m_hooks(hooks) {}

    VerifyResult run() {
        const std::optional<DiscRow> disc = catalogstore::discRow(m_db, m_params.discId);
        if (!disc) {
            m_result.end = VerifyEnd::NoDisc;
            return m_result;
        }
        m_prefix = rootPrefix(m_params.root.isEmpty() ? disc->sourcePath : m_params.root);
        m_result.root = m_prefix.isEmpty() ? QStringLiteral("/") : m_prefix;
        // A disc that is not in the drive is one failure, not a missing file per row.
        struct stat st {};
        const int error = ::stat(QFile::encodeName(m_result.root).constData(), &st) != 0 ? errno
                          : !S_ISDIR(st.st_mode)                                         ? ENOTDIR
                                                                                         : 0;
        if (error != 0) {
            m_result.end = VerifyEnd::RootUnreadable;
            m_result.reason = systemText(error);
            return m_result;
        }
        m_rawPrefix = QFile::encodeName(m_prefix);

        const contentstore::DiscFileTotals totals =
            contentstore::discFileTotals(m_db, m_params.discId);
        m_progress.bytesTotal = totals.bytes;
        m_progress.filesTotal = totals.files;
        m_result.hashed = totals.hashed;
        m_result.sizeAndTimeOnly = totals.files > 0 && totals.hashed == 0;
        FolderPaths folders(contentstore::discFolders(m_db, m_params.discId));
        m_clock.start();
        m_lastReport = -m_hooks.progressIntervalMs;

        qint64 after = 0;
        for (;;) {
            const std::vector<contentstore::StoredFile> page =
                contentstore::discFiles(m_db, m_params.discId, after, kPage);
            for (const contentstore::StoredFile& f : page) {
                if (cancelled())
                    return finish();
                check(f, folders);
            }
            if (page.size() < size_t(kPage))
                break;
            after = page.back().id;
        }
        return finish();
    }

private:
    bool cancelled() {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed))
            m_result.end = VerifyEnd::Cancelled;
        return m_result.end == VerifyEnd::Cancelled;
    }

    VerifyResult finish() {
        report(true);
        return std::move(m_result);
    }

    void report(bool now) {
        if (!m_hooks.progress)
            return;
        const qint64 ms = m_clock.isValid() ? m_clock.elapsed() : 0;
        if (!now && ms - m_lastReport < m_hooks.progressIntervalMs)
            return;
        m_lastReport = ms;
        m_progress.bytesPerSecond = ms > 0 ? m_progress.bytesDone * 1000 / ms : 0;
        m_hooks.progress(m_progress);
    }

    void problem(VerifyProblem p) {
        if (m_hooks.problem)
            m_hooks.problem(p);
        m_result.problems.push_back(std::move(p));
    }

    void check(const contentstore::StoredFile& f, FolderPaths& folders) {
        if (f.skipped) {
            ++m_result.skipped;
            return;
        }
        ++m_result.files;
        VerifyProblem p;
        p.entryId = f.id;
        p.path = m_prefix + f.path + QLatin1Char('/') + f.name;
        p.storedSize = f.size;
        p.storedTime = f.mtime;
        m_progress.path = p.path;
        report(false);
        const QByteArray raw = m_rawPrefix + folders.path(f.fatherId) + '/' +
                               (f.raw.isEmpty() ? f.name.toUtf8() : f.raw);
        const qint64 doneBefore = m_progress.bytesDone;
        const auto done = [&] {
            // A file counts its stored size, whatever was read of it, so that the bar ends full.
            m_progress.bytesDone = doneBefore + f.size;
            ++m_progress.filesDone;
        };

        struct stat st {};
        if (::lstat(raw.constData(), &st) != 0) {
            const int error = errno;
            p.fault = error == ENOENT || error == ENOTDIR ? VerifyFault::Missing
                                                          : VerifyFault::Unreadable;
            p.reason = systemText(error);
            problem(std::move(p));
            return done();
        }
        p.foundSize = qint64(st.st_size);
        p.foundTime = qint64(st.st_mtime);
        if (!S_ISREG(st.st_mode)) {
            p.fault = VerifyFault::NotAFile;
            problem(std::move(p));
            return done();
        }
        if (p.foundSize != f.size) {
            p.fault = VerifyFault::SizeDiffers;
            problem(std::move(p));
            return done();
        }
        const filehash::Outcome h =
            filehash::hashFile(AT_FDCWD, raw.constData(), m_hooks.cancel, [&](qint64 n) {
                m_result.bytes += n;
                m_progress.bytesDone += n;
                report(false);
            });
        if (h.cancelled) {
            m_result.end = VerifyEnd::Cancelled;
            return;
        }
        done();
        if (!h.ok) {
            p.fault = h.error == ENOENT || h.error == ENOTDIR  ? VerifyFault::Missing
                      : h.error == EINVAL || h.error == EISDIR ? VerifyFault::NotAFile
                                                               : VerifyFault::Unreadable;
            p.reason = systemText(h.error);
            return problem(std::move(p));
        }
        filehash::Digest stored;
        if (filehash::fromBytes(f.hash, stored)) {
            if (stored != h.digest) {
                p.fault = VerifyFault::HashDiffers;
                problem(std::move(p));
            }
            return;
        }
        if (f.mtime && *f.mtime != *p.foundTime) {
            p.fault = VerifyFault::TimeDiffers;
            problem(std::move(p));
        }
    }

    Database& m_db;
    const VerifyParams& m_params;
    const VerifyHooks& m_hooks;
    QString m_prefix;
    QByteArray m_rawPrefix;
    VerifyResult m_result;
    VerifyProgress m_progress;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
};

} // namespace

VerifyResult verifyDisc(Database& db, const VerifyParams& params, const VerifyHooks& hooks) {
    try {
        return Verifier(db, params, hooks).run();
    } catch (const DbError& e) {
        VerifyResult r;
        r.end = VerifyEnd::CatalogError;
        r.reason = e.text();
        return r;
    } catch (const std::exception& e) {
        VerifyResult r;
        r.end = VerifyEnd::CatalogError;
        r.reason = QString::fromLocal8Bit(e.what());
        return r;
    }
}

VerifyJob::VerifyJob(const QString& catalog, const VerifyParams& params, QObject* parent)
    : Job(parent), m_catalog(catalog), m_params(params) {}

VerifyJob::~VerifyJob() {
    stop();
}

void VerifyJob::work() {
    Database db;
    try {
        db.open(m_catalog, Database::Mode::ReadOnly);
    } catch (const DbError& e) {
        m_result.end = VerifyEnd::CatalogError;
        m_result.reason = e.text();
        return;
    }
    VerifyHooks hooks;
    hooks.cancel = &cancelFlag();
    hooks.progress = [this](const VerifyProgress& p) { emit progress(p); };
    m_result = verifyDisc(db, m_params, hooks);
}

} // namespace vorlane
