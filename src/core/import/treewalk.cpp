#include "core/import/treewalk.h"

#include "core/import/fsnames.h"
#include "core/settings/text.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane {

namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr rlim_t kMaxHeld = 32;

} // namespace

// A folder on the walk's stack. Its listing is read in one go; the folder is then worked
// through entry by entry. Only the folders near the top of the stack keep a descriptor;
// the others are reopened on the way back up.
struct TreeWalker::Frame {
    std::vector<WalkEntry> entries;
    size_t next = 0;
    qint64 tag = 0; // the visitor's; 0 for the root
    int depth = 0;
    int fd = -1;
    size_t pathMark = 0; // length of the path above this folder
    std::string raw;     // own name in the parent
    // Identity, recorded when the descriptor is given up, so that a reopened folder is
    // known to be the same one.
    dev_t dev = 0;
    ino_t ino = 0;
};

TreeWalker::TreeWalker(bool sorted, const QString& nameEncoding)
    : m_buffer(64 * 1024), m_names(nameEncoding), m_budget(int(kMaxHeld)) {
    if (sorted)
        m_collator = std::make_unique<QCollator>(nameCollator());
    // Leave most descriptors to the catalog and the rest of the program.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        m_budget = int(std::clamp<rlim_t>(limit.rlim_cur / 8, 2, kMaxHeld));
}

TreeWalker::~TreeWalker() {
    closeAll();
}

void TreeWalker::closeAll() {
    for (Frame& f : m_stack) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
    m_stack.clear();
    m_held = 0;
}

void TreeWalker::walk(const QString& prefix) {
    m_path.clear();
    const QByteArray rootPath = QFile::encodeName(prefix.isEmpty() ? QStringLiteral("/") : prefix);
    Frame root;
    root.fd = ::open(rootPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (root.fd < 0) {
        unreadable(errno);
        return;
    }
    ++m_held;
    if (!list(root))
        unreadable(errno);
    sortListing(root);
    m_stack.push_back(std::move(root));
    while (!m_stack.empty() && proceed()) {
        Frame& f = m_stack.back();
        if (f.next == f.entries.size()) {
            leave();
            continue;
        }
        const WalkEntry& e = f.entries[f.next++];
        if (e.isDir)
            descend(e); // may grow the stack: `f` and `e` are not used after it
        else
            file(e, f.tag);
    }
    closeAll();
}

// Reads the whole listing of the open folder `f`; false (errno set) when it broke off,
// keeping what was read.
bool TreeWalker::list(Frame& f) {
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
            WalkEntry e;
            if (!m_names.decode(d->d_name, e.name))
                e.raw = d->d_name;
            e.isDir = d->d_type == DT_DIR;
            e.isLink = d->d_type == DT_LNK;
            // A folder's time goes with its row; one lstat gives everything an entry needs.
            if (classify(e) || e.isDir || d->d_type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(f.fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    e.isDir = S_ISDIR(st.st_mode);
                    e.isLink = S_ISLNK(st.st_mode);
                    e.size = e.isLink ? 0 : st.st_size;
                    e.mtime = qint64(st.st_mtime);
                    if (e.isLink)
                        readLink(f.fd, d->d_name, qint64(st.st_size), e.link);
                } else if (errno == ENOENT) {
                    continue; // gone since the listing
                }
                // Otherwise no search right: keep the name, size and time unknown.
            }
            f.entries.push_back(std::move(e));
        }
    }
}

// The target of the link `name` in the folder `dirFd`, as text. `size` is what lstat said,
// which some file systems leave at 0. Left empty when it cannot be read.
void TreeWalker::readLink(int dirFd, const char* name, qint64 size, std::string& out) {
    std::string bytes(size_t(std::clamp<qint64>(size, 0, 1 << 16)) + 1, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(dirFd, name, bytes.data(), bytes.size());
        if (n < 0)
            return;
        if (size_t(n) < bytes.size()) {
            bytes.resize(size_t(n));
            break;
        }
        if (bytes.size() >= (1 << 20))
            return;
        bytes.resize(bytes.size() * 4); // changed since the lstat, or not told by it
    }
    m_names.decode(bytes, out);
}

// Puts a folder's listing in name order, once, before the walk works through it. Each name
// is decoded and given its collation key once; comparing keys is then a byte compare.
void TreeWalker::sortListing(Frame& f) {
    std::vector<WalkEntry>& entries = f.entries;
    if (!m_collator || entries.size() < 2)
        return;
    m_keys.clear();
    m_keys.reserve(entries.size());
    for (const WalkEntry& e : entries)
        m_keys.push_back(
            m_collator->sortKey(QString::fromUtf8(e.name.data(), qsizetype(e.name.size()))));
    m_order.resize(entries.size());
    std::iota(m_order.begin(), m_order.end(), size_t(0));
    std::sort(m_order.begin(), m_order.end(), [&](size_t a, size_t b) {
        const int c = m_keys[a].compare(m_keys[b]);
        if (c != 0)
            return c < 0;
        // Different names can collate alike ("a01", "a1"); their bytes keep every scan of
        // the same folder in the same order.
        return std::strcmp(entries[a].rawName(), entries[b].rawName()) < 0;
    });
    std::vector<WalkEntry> sorted;
    sorted.reserve(entries.size());
    for (size_t i : m_order)
        sorted.push_back(std::move(entries[i]));
    entries.swap(sorted);
    m_keys.clear();
}

// Gives up the descriptor of `f`, remembering which folder it was.
void TreeWalker::release(Frame& f) {
    struct stat st {};
    if (::fstat(f.fd, &st) == 0) {
        f.dev = st.st_dev;
        f.ino = st.st_ino;
    }
    ::close(f.fd);
    f.fd = -1;
    --m_held;
}

namespace {

bool isSame(int fd, dev_t dev, ino_t ino) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

} // namespace

// Releases the shallowest descriptor apart from the root's, the top frame's and `keep`'s;
// false when there is none.
bool TreeWalker::releaseOne(size_t keep) {
    for (size_t i = 1; i + 1 < m_stack.size(); ++i) {
        if (i != keep && m_stack[i].fd >= 0) {
            release(m_stack[i]);
            return true;
        }
    }
    return false;
}

// openat() that makes room when the process is out of descriptors.
int TreeWalker::openDir(int dirFd, const char* name, size_t keep) {
    for (;;) {
        const int fd = ::openat(dirFd, name, kOpenFlags);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE))
            return fd;
        if (!releaseOne(keep))
            return -1;
        m_budget = std::max(2, m_held - 1); // keep a spare one for the catalog
    }
}

// The descriptor of the top frame, reopened by name from the nearest ancestor that still
// holds one when it was given up.
int TreeWalker::topFd() {
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
        if (!isSame(fd, m_stack[i].dev, m_stack[i].ino)) {
            ::close(fd);
            errno = ENOENT; // moved away while the walk was below it
            return -1;
        }
    }
    m_stack[top].fd = fd;
    ++m_held;
    return fd;
}

// A sub-folder of the top frame: the visitor's say, then its listing on a new frame.
void TreeWalker::descend(const WalkEntry& e) {
    const size_t mark = m_path.size();
    m_path += '/';
    m_path += e.name;
    Frame child;
    child.depth = m_stack.back().depth + 1;
    if (!enter(e, m_stack.back().tag, child.depth, child.tag)) {
        m_path.resize(mark);
        return;
    }
    const int parentFd = topFd();
    child.fd = parentFd < 0 ? -1 : openDir(parentFd, e.rawName(), m_stack.size() - 1);
    if (child.fd < 0) {
        unreadable(errno);
        m_path.resize(mark);
        return;
    }
    ++m_held;
    child.pathMark = mark;
    child.raw = e.rawName();
    if (!list(child))
        unreadable(errno);
    sortListing(child);
    m_stack.push_back(std::move(child));
    while (m_held > m_budget && releaseOne(0))
        ;
}

// Leaves the top frame. Its parent, if it gave up its descriptor, gets it back through
// "..", which costs one call at any depth.
void TreeWalker::leave() {
    Frame& f = m_stack.back();
    m_path.resize(f.pathMark);
    if (m_stack.size() >= 2 && f.fd >= 0) {
        Frame& parent = m_stack[m_stack.size() - 2];
        if (parent.fd < 0) {
            const int up = ::openat(f.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (up >= 0 && isSame(up, parent.dev, parent.ino)) {
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

} // namespace vorlane
