#include "core/import/scanner.h"

#include "core/import/fsnames.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace vorlane {

QString rootPrefix(const QString& root) {
    QString p = root;
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// One entry of a folder's listing, taken while the folder was open.
struct Listed {
    std::string name; // as stored (fsnames::storedName)
    std::string raw;  // the file system's bytes when they differ from `name`
    qint64 size = 0;
    bool isDir = false;
    bool accepted = false; // a file the options store

    const char* rawName() const { return raw.empty() ? name.c_str() : raw.c_str(); }
};

// A folder on the walk's stack. Its listing is read in one go; the folder is then worked
// through entry by entry. Only the folders near the top of the stack keep a descriptor;
// the others are reopened on the way back up.
struct Frame {
    std::vector<Listed> entries;
    size_t next = 0;
    qint64 id = 0; // the folder's row; 0 for the root
    int depth = 0;
    int fd = -1;
    size_t fpathMark = 0; // length of the FPath above this folder
    std::string raw;      // own name in the parent
    // Identity, recorded when the descriptor is given up, so that a reopened folder is
    // known to be the same one.
    dev_t dev = 0;
    ino_t ino = 0;
};

class Walker {
public:
    Walker(Database& db, const ScanParams& params, const ScanHooks& hooks)
        : m_db(db), m_params(params), m_hooks(hooks), m_writer(db, params.discId),
          m_reporter(hooks.progress, hooks.progressIntervalMs), m_buffer(64 * 1024) {
        m_prefix = rootPrefix(params.root);
        for (const QString& t : params.types)
            m_types.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
        // Leave most descriptors to the catalog and the rest of the program.
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            m_budget = int(std::clamp<rlim_t>(limit.rlim_cur / 8, 2, kMaxHeld));
    }

    ~Walker() {
        for (Frame& f : m_stack) {
            if (f.fd >= 0)
                ::close(f.fd);
        }
    }

    ScanResult run() {
        const QByteArray rootPath =
            QFile::encodeName(m_prefix.isEmpty() ? QStringLiteral("/") : m_prefix);
        try {
            m_tx.emplace(m_db, std::chrono::milliseconds(std::max(0, m_hooks.commitIntervalMs)));
            m_tx->setOnCommit([this] {
                m_result.rows += m_pending;
                m_pending = 0;
            });
        } catch (const DbError& e) {
            m_result.error = e.text();
            return m_result;
        }
        Frame root;
        root.fd = ::open(rootPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (root.fd < 0) {
            noteUnreadable(errno);
        } else {
            ++m_held;
            if (!list(root))
                noteUnreadable(errno);
            m_stack.push_back(std::move(root));
            walk();
        }
        finish();
        return m_result;
    }

private:
    static constexpr rlim_t kMaxHeld = 32;

    bool cancelled() {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
            m_result.cancelled = true;
            return true;
        }
        return false;
    }

    void finish() {
        if (!m_tx->isActive()) {
            m_pending = 0; // a failed statement already rolled the transaction back
            return;
        }
        try {
            m_tx->commit();
        } catch (const DbError& e) {
            if (m_result.error.isEmpty())
                m_result.error = e.text();
            m_tx.reset(); // rolls back
        }
        m_pending = 0;
    }

    // Stores one row; returns its AutoId, or 0 when it could not be stored (the walk stops).
    // What is stored is committed now and then, so a cancelled or failed scan keeps it.
    qint64 addEntry(const std::string& name, bool isDir, qint64 size, qint64 fatherId) {
        qint64 id = 0;
        try {
            id = m_writer.add(name, m_fpath, size, isDir, fatherId);
            ++m_pending;
            m_tx->checkpoint();
        } catch (const DbError& e) {
            m_result.error = e.text();
            m_stop = true;
        }
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

    // The folder whose FPath is m_fpath could not be opened or read.
    void noteUnreadable(int error) {
        if (m_result.unreadable++ > 0)
            return;
        m_result.firstUnreadable =
            m_fpath.empty() && m_prefix.isEmpty()
                ? QStringLiteral("/")
                : m_prefix + QString::fromUtf8(m_fpath.data(), qsizetype(m_fpath.size()));
        m_result.unreadableReason = QString::fromLocal8Bit(std::strerror(error));
    }

    // Reads the whole listing of the open folder `f`; false (errno set) when it broke off,
    // keeping what was read.
    bool list(Frame& f) {
        for (;;) {
            const ssize_t n = ::getdents64(f.fd, m_buffer.data(), m_buffer.size());
            if (n == 0)
                return true;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            for (ssize_t pos = 0; pos < n;) {
                const auto* d = reinterpret_cast<const dirent64*>(m_buffer.data() + pos);
                pos += d->d_reclen;
                if (d->d_name[0] == '.')
                    continue;
                Listed e;
                fsnames::storedName(d->d_name, e.name);
                if (e.name != d->d_name)
                    e.raw = d->d_name;
                e.isDir = d->d_type == DT_DIR;
                e.accepted = !m_params.foldersOnly && accepts(e.name);
                if (d->d_type == DT_UNKNOWN || (!e.isDir && e.accepted)) {
                    struct stat st {};
                    if (::fstatat(f.fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                        e.isDir = S_ISDIR(st.st_mode);
                        e.size = st.st_size;
                    } else if (errno == ENOENT) {
                        continue; // gone since the listing
                    }
                    // Otherwise no search right: keep the name, size unknown.
                }
                f.entries.push_back(std::move(e));
            }
        }
    }

    // Gives up the descriptor of `f`, remembering which folder it was.
    void release(Frame& f) {
        struct stat st {};
        if (::fstat(f.fd, &st) == 0) {
            f.dev = st.st_dev;
            f.ino = st.st_ino;
        }
        ::close(f.fd);
        f.fd = -1;
        --m_held;
    }

    bool isSame(int fd, const Frame& f) const {
        struct stat st {};
        return ::fstat(fd, &st) == 0 && st.st_dev == f.dev && st.st_ino == f.ino;
    }

    // Releases the shallowest descriptor apart from the root's, the top frame's and
    // `keep`'s; false when there is none.
    bool releaseOne(size_t keep) {
        for (size_t i = 1; i + 1 < m_stack.size(); ++i) {
            if (i != keep && m_stack[i].fd >= 0) {
                release(m_stack[i]);
                return true;
            }
        }
        return false;
    }

    // openat() that makes room when the process is out of descriptors.
    int openDir(int dirFd, const char* name, size_t keep) {
        for (;;) {
            const int fd = ::openat(dirFd, name, kOpenFlags);
            if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
                return fd;
            if (!releaseOne(keep))
                return -1;
            m_budget = std::max(2, m_held - 1); // keep a spare one for the catalog
        }
    }

    // The descriptor of the top frame, reopened by name from the nearest ancestor that
    // still holds one when it was given up.
    int topFd() {
        const size_t top = m_stack.size() - 1;
        if (m_stack[top].fd >= 0)
            return m_stack[top].fd;
        size_t from = top;
        while (m_stack[from].fd < 0)
            --from; // the root always holds its descriptor
        int fd = m_stack[from].fd;
        for (size_t i = from + 1; i <= top; ++i) {
            const int next = openDir(fd, m_stack[i].raw.c_str(), from);
            const int error = errno;
            if (i > from + 1)
                ::close(fd);
            if (next < 0) {
                errno = error;
                return -1;
            }
            fd = next;
            if (!isSame(fd, m_stack[i])) {
                ::close(fd);
                errno = ENOENT; // moved away while the walk was below it
                return -1;
            }
        }
        m_stack[top].fd = fd;
        ++m_held;
        return fd;
    }

    // A sub-folder of the top frame: its row, then its listing on a new frame.
    void enter(const Listed& e, qint64 fatherId, int depth) {
        if (cancelled())
            return;
        if (m_params.depthLimit != 0 && m_params.depthLimit < depth)
            return;
        const size_t mark = m_fpath.size();
        m_fpath += '/';
        m_fpath += e.name;
        const qint64 id = addEntry(e.name, true, 0, fatherId);
        if (id == 0) {
            m_fpath.resize(mark);
            return;
        }
        const int parentFd = topFd();
        const int fd = parentFd < 0 ? -1 : openDir(parentFd, e.rawName(), m_stack.size() - 1);
        if (fd < 0) {
            noteUnreadable(errno);
            m_fpath.resize(mark);
            return;
        }
        Frame child;
        child.fd = fd;
        ++m_held;
        child.id = id;
        child.depth = depth;
        child.fpathMark = mark;
        child.raw = e.rawName();
        if (!list(child))
            noteUnreadable(errno);
        m_stack.push_back(std::move(child));
        while (m_held > m_budget && releaseOne(0))
            ;
    }

    // Leaves the top frame. Its parent, if it gave up its descriptor, gets it back
    // through "..", which costs one call at any depth.
    void leave() {
        Frame& f = m_stack.back();
        m_fpath.resize(f.fpathMark);
        if (m_stack.size() >= 2 && f.fd >= 0) {
            Frame& parent = m_stack[m_stack.size() - 2];
            if (parent.fd < 0) {
                const int up = ::openat(f.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (up >= 0 && isSame(up, parent)) {
                    parent.fd = up;
                    ++m_held;
                } else if (up >= 0) {
                    ::close(up);
                }
            }
        }
        if (f.fd >= 0) {
            ::close(f.fd);
            --m_held;
        }
        m_stack.pop_back();
    }

    // Depth first in listing order, each folder's row before its contents, as a recursive
    // walk would go, but with the stack on the heap.
    void walk() {
        while (!m_stack.empty()) {
            if (m_stop || cancelled())
                break;
            Frame& f = m_stack.back();
            if (f.next == f.entries.size()) {
                leave();
                continue;
            }
            const Listed& e = f.entries[f.next++];
            m_reporter.report(m_prefix, m_fpath, e.name);
            if (e.isDir) {
                ++m_result.folders;
                enter(e, f.id, f.depth + 1); // may grow the stack: `f` is not used after it
            } else if (!m_params.foldersOnly) {
                if (e.accepted)
                    addEntry(e.name, false, e.size, f.id);
                ++m_result.files;
            }
        }
    }

    Database& m_db;
    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    contentstore::EntryWriter m_writer;
    std::optional<Transaction> m_tx; // after m_writer: rolled back before it is finalized
    QString m_prefix;
    fsnames::PathReporter m_reporter;
    std::string m_fpath; // FPath of the folder being listed ("" at the root, "/A/B" below)
    std::unordered_set<std::string> m_types;
    std::vector<Frame> m_stack;
    std::vector<char> m_buffer; // getdents64 reads
    int m_held = 0;             // descriptors the walk holds open
    int m_budget = int(kMaxHeld);
    ScanResult m_result;
    qint64 m_pending = 0; // rows stored since the last commit
    bool m_stop = false;
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
