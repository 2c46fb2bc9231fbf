#include "core/import/treewalk.h"

#include "core/import/fsnames.h"
#include "core/settings/text.h"

#include <QCollator>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <numeric>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vorlane {
namespace {

constexpr int kOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr rlim_t kMaxHeld = 32;

SpecialKind specialOf(unsigned char type) {
    switch (type) {
    case DT_FIFO:
        return SpecialKind::Fifo;
    case DT_CHR:
        return SpecialKind::CharDevice;
    case DT_BLK:
        return SpecialKind::BlockDevice;
    case DT_SOCK:
        return SpecialKind::Socket;
    default:
        return SpecialKind::None;
    }
}

} // namespace

// Reads folder listings: one for the walking thread, one for each helper.
class TreeWalker::Lister {
public:
    Lister(TreeWalker& walker, bool sorted, const QString& nameEncoding)
        : m_walker(walker), m_buffer(64 * 1024), m_names(nameEncoding) {
        if (sorted)
            m_collator = std::make_unique<QCollator>(nameCollator());
    }

    // Reads the whole listing of the open folder `fd` into `entries`, in name order for a
    // sorted walk; false (errno set) when it broke off, keeping what was read.
    bool read(int fd, std::vector<WalkEntry>& entries) {
        const bool whole = list(fd, entries);
        const int error = errno;
        sort(entries);
        errno = error;
        return whole;
    }

private:
    bool list(int fd, std::vector<WalkEntry>& entries);
    void sort(std::vector<WalkEntry>& entries);
    void readLink(int dirFd, const char* name, qint64 size, std::string& out);

    TreeWalker& m_walker;
    std::vector<char> m_buffer; // getdents64 reads
    fsnames::NameDecoder m_names;
    std::unique_ptr<QCollator> m_collator; // only for a sorted walk
    std::vector<QCollatorSortKey> m_keys;  // reused by sort()
    std::vector<size_t> m_order;
};

bool TreeWalker::Lister::list(int fd, std::vector<WalkEntry>& entries) {
    for (;;) {
        const ssize_t n = ::getdents64(fd, m_buffer.data(), m_buffer.size());
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
            e.special = specialOf(d->d_type);
            // Never looked at: an excluded folder may be large, or unreadable.
            if (m_walker.m_exclusions.matchesName(e.name.c_str())) {
                e.excluded = true;
                entries.push_back(std::move(e));
                continue;
            }
            // A folder's time goes with its row; one lstat gives everything an entry needs.
            if (m_walker.classify(e) || e.isDir || d->d_type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                    e.isDir = S_ISDIR(st.st_mode);
                    e.isLink = S_ISLNK(st.st_mode);
                    e.special = specialOf(IFTODT(st.st_mode));
                    e.size = e.isLink || e.special != SpecialKind::None ? 0 : st.st_size;
                    e.mtime = qint64(st.st_mtime);
                    if (e.isLink)
                        readLink(fd, d->d_name, qint64(st.st_size), e.link);
                } else if (errno == ENOENT) {
                    continue; // gone since the listing
                }
                // Otherwise no search right: keep the name, size and time unknown.
            }
            entries.push_back(std::move(e));
        }
    }
}

// The target of the link `name` in the folder `dirFd`, as text. `size` is what lstat said,
// which some file systems leave at 0. Left empty when it cannot be read.
void TreeWalker::Lister::readLink(int dirFd, const char* name, qint64 size, std::string& out) {
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
void TreeWalker::Lister::sort(std::vector<WalkEntry>& entries) {
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

// The listings read ahead, as a tree that grows from the folders on the walk's stack: a
// folder's sub-folders make a group of tasks, and a task that has been read offers its own
// sub-folders as a group in turn. Helpers take the first unclaimed task in walk order, a
// bounded way past where the walk is; the walk takes each task as it comes to it, reads
// it itself when nobody has, and while a helper is still reading its next one it reads
// the next unclaimed one instead of waiting idle. What waits is bounded by the search,
// and by the entries and descriptors held.
struct TreeWalker::Ahead {
    static constexpr int kSearch = 256; // tasks looked at for one pick
    static constexpr size_t kWaitingEntries = 1 << 16;
    static constexpr quint64 kWakeAfter = 8;

    // A folder's descriptor, for opening its sub-folders by; closed when the last of its
    // users is done with it.
    struct Dir {
        Dir(int d, std::atomic<int>& count) : fd(d), live(count) {}
        ~Dir() {
            ::close(fd);
            live.fetch_sub(1, std::memory_order_relaxed);
        }
        Dir(const Dir&) = delete;
        Dir& operator=(const Dir&) = delete;
        const int fd;
        std::atomic<int>& live;
    };

    struct Group;

    struct Task {
        enum State { Pending, Reading, Read, Taken };
        std::string raw; // the sub-folder's name in the group's folder
        State state = Pending;
        // The result, once Read:
        std::vector<WalkEntry> entries;
        bool opened = false;
        int error = 0; // errno when the listing broke off
        int fd = -1;   // the sub-folder, when it is kept open
        dev_t dev = 0; // its identity, when it is not open at all
        ino_t ino = 0;
        std::shared_ptr<Group> children; // its sub-folders
    };

    struct Group {
        std::shared_ptr<Dir> dir; // null: left to the walk
        std::vector<Task> tasks;  // the folder's sub-folders in walk order; never resized
        int depth = 0;            // the folder's
        size_t next = 0;          // the walk's next, once it is in the folder
        size_t pending = 0;       // tasks nobody has claimed
        bool gone = false;        // nothing of it will be taken
    };

    Ahead(int depthLimit, int budget)
        : maxDepth(depthLimit), dirCap(std::max(1, budget / 2)), keptCap(budget / 4) {}

    // A group for the sub-folders in `entries` of a folder at `depth`, or null; with a
    // copy of the folder's descriptor `fd` unless too many are held already.
    std::shared_ptr<Group> makeGroup(const std::vector<WalkEntry>& entries, int depth, int fd) {
        if (maxDepth != 0 && depth >= maxDepth)
            return {};
        auto group = std::make_shared<Group>();
        for (const WalkEntry& e : entries) {
            if (e.isDir && !e.excluded) {
                group->tasks.emplace_back();
                group->tasks.back().raw = e.rawName();
            }
        }
        if (group->tasks.empty())
            return {};
        group->depth = depth;
        group->pending = group->tasks.size();
        if (fd >= 0 && liveDirs.fetch_add(1, std::memory_order_relaxed) < dirCap) {
            const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (copy >= 0)
                group->dir = std::make_shared<Dir>(copy, liveDirs);
            else
                liveDirs.fetch_sub(1, std::memory_order_relaxed);
        } else if (fd >= 0) {
            liveDirs.fetch_sub(1, std::memory_order_relaxed);
        }
        return group;
    }

    // Marks a pending task of `g` claimed, under the lock. A group's folder stays open
    // only while some of its tasks wait to be claimed.
    static void claim(Group& g, Task& t, Task::State state) {
        t.state = state;
        if (--g.pending == 0)
            g.dir.reset();
    }

    // The first unclaimed task in walk order that a helper can open, under the lock.
    bool pick(std::shared_ptr<Group>& group, Task*& task) {
        if (waitingEntries >= kWaitingEntries)
            return false;
        int budget = kSearch;
        for (auto from = groups.rbegin(); from != groups.rend(); ++from) {
            search.clear();
            search.emplace_back(*from, (*from)->next);
            while (!search.empty()) {
                const std::shared_ptr<Group> g = search.back().first;
                const size_t i = search.back().second++;
                if (i == g->tasks.size()) {
                    search.pop_back();
                    continue;
                }
                if (--budget < 0)
                    return false;
                Task& t = g->tasks[i];
                if (t.state == Task::Pending && g->dir) {
                    group = g;
                    task = &t;
                    return true;
                }
                if (t.state == Task::Read && t.children)
                    search.emplace_back(t.children, 0);
            }
        }
        return false;
    }

    // Lets go of a task nobody will take, and of everything read ahead below it, under
    // the lock. A helper still reading one of them drops its result.
    void discard(Group& group, Task& first) {
        if (first.state == Task::Pending)
            claim(group, first, Task::Taken);
        std::vector<Task*> todo{&first};
        while (!todo.empty()) {
            Task& t = *todo.back();
            todo.pop_back();
            if (t.state == Task::Read) {
                if (t.fd >= 0) {
                    ::close(t.fd);
                    t.fd = -1;
                    keptFds.fetch_sub(1, std::memory_order_relaxed);
                }
                waitingEntries -= t.entries.size();
                t.entries = {};
            }
            t.state = Task::Taken;
            if (t.children && !t.children->gone) {
                t.children->gone = true;
                t.children->dir.reset();
                for (Task& c : t.children->tasks)
                    todo.push_back(&c);
            }
        }
    }

    void read(Lister& lister, std::unique_lock<std::mutex>& lock,
              const std::shared_ptr<Group>& group, Task* task);

    // Whether a helper waiting for work would find some in `g`.
    static bool hasWork(const Group* g) {
        if (!g || !g->dir)
            return false;
        for (size_t i = g->next; i < g->tasks.size(); ++i) {
            if (g->tasks[i].state == Task::Pending)
                return true;
        }
        return false;
    }

    const int maxDepth;
    const int dirCap;  // groups that hold their folder open
    const int keptCap; // read listings that keep their folder open for the walk
    std::atomic<int> liveDirs{0};
    std::atomic<int> keptFds{0};

    std::mutex mutex;
    std::condition_variable work;               // helpers wait for a task
    std::condition_variable ready;              // the walk waits for a listing
    std::vector<std::shared_ptr<Group>> groups; // of the frames on the stack, bottom up
    std::vector<std::pair<std::shared_ptr<Group>, size_t>> search; // pick()'s
    std::vector<std::thread> helpers;
    size_t waitingEntries = 0;
    int idle = 0;
    quint64 taken = 0;  // the walk's steps into sub-folders while a helper waited for work
    quint64 wakeAt = 0; // ... at which it looks again
    bool walkWaits = false;
    bool stop = false;
};

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
    // Identity, recorded when the descriptor is given up (or was never kept by the helper
    // that read the folder), so that a reopened folder is known to be the same one.
    dev_t dev = 0;
    ino_t ino = 0;
    std::shared_ptr<Ahead::Group> ahead; // its sub-folders, when they are read ahead
};

TreeWalker::TreeWalker(bool sorted, const QString& nameEncoding)
    : m_sorted(sorted), m_nameEncoding(nameEncoding),
      m_lister(std::make_unique<Lister>(*this, sorted, nameEncoding)), m_budget(int(kMaxHeld)) {
    // Leave most descriptors to the catalog and the rest of the program.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        m_budget = int(std::clamp<rlim_t>(limit.rlim_cur / 8, 2, kMaxHeld));
}

TreeWalker::~TreeWalker() {
    closeAll();
}

void TreeWalker::readAhead(int maxDepth) {
    m_ahead = std::make_unique<Ahead>(std::max(0, maxDepth), m_budget);
}

void TreeWalker::closeAll() {
    stopHelpers();
    while (!m_stack.empty()) {
        Frame& f = m_stack.back();
        dropAhead(f);
        if (f.fd >= 0)
            ::close(f.fd);
        m_stack.pop_back();
    }
    m_held = 0;
}

void TreeWalker::walk(const QString& prefix) {
    // The helpers call classify(): they are stopped before the walk returns, also when a
    // visitor throws.
    struct Close {
        TreeWalker& walker;
        ~Close() { walker.closeAll(); }
    } close{*this};
    m_path.clear();
    const QByteArray rootPath = QFile::encodeName(prefix.isEmpty() ? QStringLiteral("/") : prefix);
    Frame root;
    root.fd = ::open(rootPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (root.fd < 0) {
        unreadable(errno);
        return;
    }
    ++m_held;
    if (!m_lister->read(root.fd, root.entries))
        unreadable(errno);
    m_stack.push_back(std::move(root));
    if (m_ahead) {
        // One helper on a machine with two cores: the walk and the visitor's own thread
        // keep the rest busy.
        const int helpers = int(std::clamp(std::thread::hardware_concurrency(), 2u, 4u)) - 1;
        for (int i = 0; i < helpers; ++i)
            m_ahead->helpers.emplace_back([this] { help(); });
        offerAhead(m_stack.back());
    }
    while (!m_stack.empty() && proceed()) {
        Frame& f = m_stack.back();
        if (f.next == f.entries.size()) {
            leave();
            continue;
        }
        const WalkEntry& e = f.entries[f.next++];
        if (e.excluded || excludedByPath(e)) {
            ++m_excluded;
            continue;
        }
        if (e.isDir)
            descend(e); // may grow the stack: `f` and `e` are not used after it
        else
            file(e, f.tag);
    }
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

// Whether a path pattern leaves out `e`, an entry of the top frame. A folder's listing read
// ahead is let go.
bool TreeWalker::excludedByPath(const WalkEntry& e) {
    if (!m_exclusions.hasPathPatterns())
        return false;
    std::string rel = m_path.empty() ? std::string() : m_path.substr(1) + '/';
    rel += e.name;
    if (!m_exclusions.matchesPath(rel.c_str()))
        return false;
    Frame& parent = m_stack.back();
    if (e.isDir && parent.ahead) {
        Frame unused;
        int error = 0;
        takeAhead(parent, false, unused, error);
    }
    return true;
}

// A sub-folder of the top frame: the visitor's say, then its listing on a new frame.
void TreeWalker::descend(const WalkEntry& e) {
    Frame& parent = m_stack.back();
    const size_t mark = m_path.size();
    m_path += '/';
    m_path += e.name;
    Frame child;
    child.depth = parent.depth + 1;
    const bool wanted = enter(e, parent.tag, child.depth, child.tag);
    int error = 0;
    const bool read = parent.ahead && takeAhead(parent, wanted, child, error);
    if (!wanted) {
        m_path.resize(mark);
        return;
    }
    if (read) {
        if (child.fd >= 0)
            ++m_held;
    } else {
        const int parentFd = topFd();
        child.fd = parentFd < 0 ? -1 : openDir(parentFd, e.rawName(), m_stack.size() - 1);
        if (child.fd < 0) {
            unreadable(errno);
            m_path.resize(mark);
            return;
        }
        ++m_held;
        if (!m_lister->read(child.fd, child.entries))
            error = errno;
    }
    if (error != 0)
        unreadable(error);
    child.pathMark = mark;
    child.raw = e.rawName();
    m_stack.push_back(std::move(child));
    if (m_ahead && !read)
        offerAhead(m_stack.back());
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
    dropAhead(f);
    if (f.fd >= 0) {
        ::close(f.fd);
        --m_held;
    }
    m_stack.pop_back();
}

// Offers the sub-folders of the top frame `f`, which the walk has listed itself, to the
// helpers.
void TreeWalker::offerAhead(Frame& f) {
    Ahead& a = *m_ahead;
    std::shared_ptr<Ahead::Group> group = a.makeGroup(f.entries, f.depth, f.fd);
    if (!group)
        return;
    f.ahead = group;
    std::unique_lock lock(a.mutex);
    a.groups.push_back(std::move(group));
    const bool notify = a.idle > 0;
    lock.unlock();
    if (notify)
        a.work.notify_all();
}

// The listing of the parent's next sub-folder, when it has been read ahead: true with
// `child` given its entries, descriptor or identity, and the group of its own sub-folders,
// and `error` set when the listing broke off. False when the walk is to list it itself.
// `wanted`: whether the walk enters it at all.
bool TreeWalker::takeAhead(Frame& parent, bool wanted, Frame& child, int& error) {
    Ahead& a = *m_ahead;
    Ahead::Group& g = *parent.ahead;
    std::unique_lock lock(a.mutex);
    Ahead::Task& t = g.tasks[g.next++];
    // A helper that found nothing to read may find something now that the walk is further.
    if (a.idle > 0 && ++a.taken >= a.wakeAt)
        a.work.notify_one();
    if (!wanted || t.state == Ahead::Task::Pending) {
        a.discard(g, t);
        return false;
    }
    while (t.state == Ahead::Task::Reading) {
        // Rather than wait idle, read what comes after.
        std::shared_ptr<Ahead::Group> other;
        Ahead::Task* task = nullptr;
        if (a.pick(other, task)) {
            a.read(*m_lister, lock, other, task);
            continue;
        }
        a.walkWaits = true;
        a.ready.wait(lock, [&] { return t.state != Ahead::Task::Reading; });
        a.walkWaits = false;
    }
    if (t.state != Ahead::Task::Read || !t.opened) {
        a.discard(g, t);
        return false; // the walk opens it itself, and meets the trouble there
    }
    const bool full = a.waitingEntries >= Ahead::kWaitingEntries;
    a.waitingEntries -= t.entries.size();
    child.entries = std::move(t.entries);
    if (t.fd >= 0)
        a.keptFds.fetch_sub(1, std::memory_order_relaxed);
    child.fd = t.fd;
    child.dev = t.dev;
    child.ino = t.ino;
    error = t.error;
    child.ahead = std::move(t.children);
    t.fd = -1;
    t.state = Ahead::Task::Taken;
    if (child.ahead)
        a.groups.push_back(child.ahead);
    const bool notify = a.idle > 0 && (full || Ahead::hasWork(child.ahead.get()));
    lock.unlock();
    if (notify)
        a.work.notify_all();
    return true;
}

// The walk leaves `f`: what was read ahead below it and not taken is let go.
void TreeWalker::dropAhead(Frame& f) {
    if (!f.ahead)
        return;
    Ahead& a = *m_ahead;
    std::lock_guard lock(a.mutex);
    f.ahead->gone = true;
    f.ahead->dir.reset();
    for (Ahead::Task& t : f.ahead->tasks)
        a.discard(*f.ahead, t);
    const auto at = std::find(a.groups.rbegin(), a.groups.rend(), f.ahead);
    if (at != a.groups.rend())
        a.groups.erase(std::next(at).base());
    f.ahead.reset();
}

// Reads `task` of `group`, picked under `lock`, which is let go meanwhile.
void TreeWalker::Ahead::read(Lister& lister, std::unique_lock<std::mutex>& lock,
                             const std::shared_ptr<Group>& group, Task* task) {
    std::shared_ptr<Dir> dir = group->dir;
    claim(*group, *task, Task::Reading);
    const int depth = group->depth + 1;
    lock.unlock();

    std::vector<WalkEntry> entries;
    int error = 0;
    int fd = ::openat(dir->fd, task->raw.c_str(), kOpenFlags);
    dir.reset();
    const bool opened = fd >= 0;
    std::shared_ptr<Group> children;
    dev_t dev = 0;
    ino_t ino = 0;
    if (fd >= 0) {
        try {
            if (!lister.read(fd, entries))
                error = errno != 0 ? errno : EIO;
            children = makeGroup(entries, depth, fd);
        } catch (...) {
            // Left to the walk, which meets the trouble on its own thread.
            ::close(fd);
            lock.lock();
            if (task->state == Task::Reading && !group->gone)
                task->state = Task::Read; // not opened
            if (walkWaits)
                ready.notify_one();
            return;
        }
    }
    // A few read listings keep their folder open; the others keep its identity, for the
    // walk to reopen it by should it need it.
    if (fd >= 0 && keptFds.fetch_add(1, std::memory_order_relaxed) >= keptCap) {
        keptFds.fetch_sub(1, std::memory_order_relaxed);
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            dev = st.st_dev;
            ino = st.st_ino;
        }
        ::close(fd);
        fd = -1;
    }

    lock.lock();
    if (task->state == Task::Taken || group->gone) {
        if (fd >= 0) {
            ::close(fd);
            keptFds.fetch_sub(1, std::memory_order_relaxed);
        }
        if (children) {
            children->gone = true;
            children->dir.reset();
        }
        return;
    }
    task->entries = std::move(entries);
    task->opened = opened;
    task->error = error;
    task->fd = fd;
    task->dev = dev;
    task->ino = ino;
    task->children = std::move(children);
    task->state = Task::Read;
    waitingEntries += task->entries.size();
    if (walkWaits)
        ready.notify_one();
    if (idle > 0 && hasWork(task->children.get()))
        work.notify_one();
}

// A helper: reads the listings the walk comes to next until it is stopped.
void TreeWalker::help() {
    Ahead& a = *m_ahead;
    Lister lister(*this, m_sorted, m_nameEncoding);
    std::unique_lock lock(a.mutex);
    for (;;) {
        std::shared_ptr<Ahead::Group> group;
        Ahead::Task* task = nullptr;
        while (!a.stop && !a.pick(group, task)) {
            ++a.idle;
            a.wakeAt = a.taken + Ahead::kWakeAfter;
            a.work.wait(lock);
            --a.idle;
        }
        if (a.stop)
            return;
        a.read(lister, lock, group, task);
    }
}

void TreeWalker::stopHelpers() {
    if (!m_ahead)
        return;
    {
        std::lock_guard lock(m_ahead->mutex);
        m_ahead->stop = true;
    }
    m_ahead->work.notify_all();
    for (std::thread& t : m_ahead->helpers)
        t.join();
    m_ahead->helpers.clear();
    m_ahead->stop = false;
}

} // namespace vorlane
