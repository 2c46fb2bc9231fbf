#include "core/import/verifyjob.h"

#include "core/import/filehash.h"
#include "core/import/scanner.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane {

namespace {

// Files are read from the catalog a page at a time.
constexpr int kPage = 1000;

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QCryptographicHash::Algorithm cryptoAlgorithm(HashAlgorithm a) {
    return a == HashAlgorithm::Md5    ? QCryptographicHash::Md5
           : a == HashAlgorithm::Sha1 ? QCryptographicHash::Sha1
                                      : QCryptographicHash::Sha256;
}

// A name a folder can hold: a catalog from elsewhere might hold one that walks out of it.
bool isName(const QByteArray& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

// Open descriptors of the folders of a disc, for reading each file by its own name
// relative to its folder: no path longer than one name ever goes to the kernel, however
// deep the tree. The folders on the way to the last one asked for stay known, and the
// deepest few of them open, so the next file (mostly in the same folder, or near it) costs
// a call or two.
class FolderDescriptors {
public:
    FolderDescriptors(std::vector<contentstore::StoredFolder> folders, int rootFd)
        : m_rootFd(rootFd) {
        for (contentstore::StoredFolder& f : folders)
            m_rows.insert(f.id, std::move(f));
        // Leave most descriptors to the catalog and the rest of the program.
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            m_budget = int(std::clamp<rlim_t>(limit.rlim_cur / 8, 1, kMaxHeld));
    }

    ~FolderDescriptors() {
        for (const Level& l : m_chain) {
            if (l.fd >= 0)
                ::close(l.fd);
        }
        ::close(m_rootFd);
    }
    FolderDescriptors(const FolderDescriptors&) = delete;
    FolderDescriptors& operator=(const FolderDescriptors&) = delete;

    // The open folder `id`: the root for 0, and for a parent that is not a folder of the
    // disc; -1 with errno set when it cannot be opened. Owned here.
    int open(qint64 id) {
        if (!m_rows.contains(id))
            return m_rootFd;
        const size_t target = follow(id);
        size_t from = target + 1;
        while (from > 0 && m_chain[from - 1].fd < 0)
            --from;
        int fd = from == 0 ? m_rootFd : m_chain[from - 1].fd;
        for (size_t i = from; i <= target; ++i) {
            const QByteArray& name = m_rows.constFind(m_chain[i].id)->name;
            if (!isName(name)) {
                errno = ENOENT;
                return -1;
            }
            const int next = openAt(fd, name.constData(), i);
            if (next < 0)
                return -1;
            m_chain[i].fd = next;
            ++m_held;
            fd = next;
            trim(i);
        }
        return fd;
    }

private:
    static constexpr rlim_t kMaxHeld = 16;
    static constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

    struct Level {
        qint64 id = 0;
        int fd = -1;
    };

    // Puts folder `id` of the disc on the chain and returns its place there: a folder on it
    // already keeps what lies below it, any other becomes its end, keeping what the way to
    // it shares with the way before. A damaged loop of parent links ends where it comes
    // round again.
    size_t follow(qint64 id) {
        if (const auto it = m_depth.constFind(id); it != m_depth.cend())
            return *it;
        std::vector<qint64> below; // the folders not on the chain, deepest first
        QSet<qint64> seen;
        size_t keep = 0;
        for (qint64 at = id; at > 0 && m_rows.contains(at) && !seen.contains(at);) {
            if (const auto it = m_depth.constFind(at); it != m_depth.cend()) {
                keep = *it + 1;
                break;
            }
            seen.insert(at);
            below.push_back(at);
            at = m_rows.value(at).fatherId;
        }
        while (m_chain.size() > keep) {
            if (m_chain.back().fd >= 0) {
                ::close(m_chain.back().fd);
                --m_held;
            }
            m_depth.remove(m_chain.back().id);
            m_chain.pop_back();
        }
        for (auto it = below.rbegin(); it != below.rend(); ++it) {
            m_depth.insert(*it, m_chain.size());
            m_chain.push_back(Level{*it, -1});
        }
        return m_chain.size() - 1;
    }

    // openat() of chain folder `level` below `dirFd` (the folder above it) that makes room
    // when the process is out of descriptors.
    int openAt(int dirFd, const char* name, size_t level) {
        for (;;) {
            const int fd = ::openat(dirFd, name, kDirFlags);
            if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
                return fd;
            if (!releaseOne(level))
                return -1;
            m_budget = std::max(1, m_held);
        }
    }

    // Gives up the shallowest descriptor above `level`, apart from its parent's.
    bool releaseOne(size_t level) {
        for (size_t i = 0; i + 1 < level; ++i) {
            if (m_chain[i].fd >= 0) {
                ::close(m_chain[i].fd);
                m_chain[i].fd = -1;
                --m_held;
                return true;
            }
        }
        return false;
    }

    // Keeps no more than the budget open, the deepest ones (`level`'s among them).
    void trim(size_t level) {
        for (size_t i = 0; m_held > m_budget && i < level; ++i) {
            if (m_chain[i].fd >= 0) {
                ::close(m_chain[i].fd);
                m_chain[i].fd = -1;
                --m_held;
            }
        }
    }

    QHash<qint64, contentstore::StoredFolder> m_rows;
    const int m_rootFd;
    std::vector<Level> m_chain;    // from below the root down to the folder asked for last
    QHash<qint64, size_t> m_depth; // a chain folder's place in it
    int m_held = 0;
    int m_budget = int(kMaxHeld);
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
        const int rootFd = ::open(QFile::encodeName(m_result.root).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (rootFd < 0) {
            m_result.end = VerifyEnd::RootUnreadable;
            m_result.reason = systemText(errno);
            return m_result;
        }
        FolderDescriptors folders(contentstore::discFolders(m_db, m_params.discId), rootFd);

        const contentstore::DiscFileTotals totals =
            contentstore::discFileTotals(m_db, m_params.discId);
        m_progress.bytesTotal = totals.bytes;
        m_progress.filesTotal = totals.files;
        m_result.hashed = totals.hashed + totals.foreign;
        m_result.sizeAndTimeOnly = totals.files > 0 && m_result.hashed == 0;
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
        for (const QString& name :
             {QStringLiteral("XXH3-128"), foreignhash::algorithmName(HashAlgorithm::Md5),
              foreignhash::algorithmName(HashAlgorithm::Sha1),
              foreignhash::algorithmName(HashAlgorithm::Sha256)}) {
            if (const qint64 n = m_byAlgorithm.value(name); n > 0)
                m_result.algorithms.emplace_back(name, n);
        }
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

    void check(const contentstore::StoredFile& f, FolderDescriptors& folders) {
        if (f.skipped) {
            ++m_result.skipped;
            return;
        }
        if (f.special != SpecialKind::None) {
            ++m_result.special;
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
        const QByteArray name = f.raw.isEmpty() ? f.name.toUtf8() : f.raw;
        // Our own hash where there is one; else the strongest brought in.
        filehash::Digest stored;
        const bool ours = filehash::fromBytes(f.hash, stored);
        const ForeignHash* foreign = nullptr;
        if (!ours) {
            for (const ForeignHash& h : f.foreign)
                if (!foreign || int(h.algorithm) > int(foreign->algorithm))
                    foreign = &h;
        }
        if (ours)
            ++m_byAlgorithm[QStringLiteral("XXH3-128")];
        else if (foreign)
            ++m_byAlgorithm[foreignhash::algorithmName(foreign->algorithm)];
        const qint64 doneBefore = m_progress.bytesDone;
        const auto done = [&] {
            // A file counts its stored size, whatever was read of it, so that the bar ends full.
            m_progress.bytesDone = doneBefore + f.size;
            ++m_progress.filesDone;
        };

        // Each file is looked up by its own name in its folder, whatever the depth.
        int dir = -1;
        if (isName(name))
            dir = folders.open(f.fatherId);
        else
            errno = ENOENT;
        struct stat st {};
        if (dir < 0 || ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int error = errno;
            // A folder that became a link is not there any more, as a rescan sees it.
            p.fault = error == ENOENT || error == ENOTDIR || error == ELOOP
                          ? VerifyFault::Missing
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
        // Sum listings give no sizes, so their files are stored with 0. Such a 0 says nothing
        // unless the brought-in hash is that of empty content: the hash decides alone.
        const bool sizeUnknown =
            foreign && f.size == 0 &&
            foreign->digest != QCryptographicHash::hash({}, cryptoAlgorithm(foreign->algorithm));
        if (!sizeUnknown && p.foundSize != f.size) {
            p.fault = VerifyFault::SizeDiffers;
            problem(std::move(p));
            return done();
        }
        std::optional<QCryptographicHash> theirs;
        if (foreign)
            theirs.emplace(cryptoAlgorithm(foreign->algorithm));
        const filehash::Outcome h = filehash::hashFile(
            dir, name.constData(), m_hooks.cancel,
            [&](qint64 n) {
                m_result.bytes += n;
                m_progress.bytesDone += n;
                report(false);
            },
            theirs ? &*theirs : nullptr);
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
        if (ours || foreign) {
            if (ours ? stored != h.digest : theirs->result() != foreign->digest) {
                // The size is the same here (or was never known): only the time can tell an
                // edit from decay.
                p.fault = !f.mtime                   ? VerifyFault::HashDiffers
                          : *f.mtime == *p.foundTime ? VerifyFault::Corrupt
                                                     : VerifyFault::Changed;
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
    VerifyResult m_result;
    VerifyProgress m_progress;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
    QHash<QString, qint64> m_byAlgorithm;
};

} // namespace

qint64 VerifyResult::count(VerifyFault fault) const {
    return qint64(std::count_if(problems.begin(), problems.end(),
                                [fault](const VerifyProblem& p) { return p.fault == fault; }));
}

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
    hooks.progress = [this](const VerifyProgress& at) {
        JobProgress p;
        p.path = at.path;
        p.files = at.filesDone;
        p.bytesDone = at.bytesDone;
        p.bytesTotal = at.bytesTotal;
        p.itemsDone = at.filesDone;
        p.itemsTotal = at.filesTotal;
        emit progressed(p);
    };
    m_result = verifyDisc(db, m_params, hooks);
}

} // namespace vorlane
