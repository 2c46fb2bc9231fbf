#include "core/import/rescan.h"

#include "core/import/archivelist.h"
#include "core/import/filehash.h"
#include "core/import/fsnames.h"
#include "core/import/scanjob.h"
#include "core/import/treewalk.h"
#include "core/settings/text.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/rescanstore.h"

#include <QCollator>
#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace vorlane {

namespace {

using rescanstore::StoredEntry;

// How a stored row fares.
enum class Seen : quint8 { No, Same, Changed };
enum class Fate : quint8 { Unknown, Resolving, Keep, Remove };

// A stored row's key: its parent's AutoId and its name's bytes (a view of the loaded row).
// Matching a level at a time finds a row by where it is, so two rows with the same path (a
// damaged catalog) cannot both be taken for one entry.
struct Key {
    qint64 fatherId = 0;
    std::string_view name;
    bool operator==(const Key& o) const { return fatherId == o.fatherId && name == o.name; }
};

struct KeyHash {
    size_t operator()(const Key& k) const {
        return std::hash<std::string_view>()(k.name) ^ (std::hash<qint64>()(k.fatherId) * 31);
    }
};

QString fromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// One step of the walk, kept for the comparison: an entry (its strings in the chunk's text),
// or a folder that could not be read.
struct Step {
    enum Kind : quint8 { Enter, File, Unreadable };
    enum Flag : quint8 { IsDir = 1, IsLink = 2, Accepted = 4, HasTime = 8 };
    qint64 size = 0;
    qint64 mtime = 0;
    qint64 arg = 0; // Enter: the parent's tag; File: the folder's tag; Unreadable: errno
    quint32 text = 0;
    quint32 nameLen = 0;
    quint32 rawLen = 0;
    quint32 linkLen = 0;
    Kind kind = Enter;
    quint8 flags = 0;
    quint8 special = 0; // SpecialKind
};

struct Chunk {
    std::vector<Step> steps;
    std::string text;
};

constexpr size_t kChunkSteps = 4096;
constexpr size_t kChunkText = 1 << 20;
// Enough for a large tree to be walked whole while the catalog is read; beyond that the walk
// waits for the comparison rather than hold everything in memory.
constexpr size_t kQueuedChunks = 64;

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

// Hands the walk's steps from the walking thread to the comparing one.
class StepQueue {
public:
    // Waits while the queue is full. False once the reader has stopped.
    bool push(std::unique_ptr<Chunk> chunk) {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_chunks.size() < kQueuedChunks || m_stopped; });
        if (m_stopped)
            return false;
        m_chunks.push_back(std::move(chunk));
        lock.unlock();
        m_notEmpty.notify_one();
        return true;
    }

    // Nothing more comes.
    void close() {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_notEmpty.notify_all();
    }

    // The reader takes no more.
    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_notFull.notify_all();
    }

    // Null once the queue is closed and empty.
    std::unique_ptr<Chunk> pop() {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [&] { return !m_chunks.empty() || m_closed; });
        if (m_chunks.empty())
            return nullptr;
        std::unique_ptr<Chunk> chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        lock.unlock();
        m_notFull.notify_one();
        return chunk;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<std::unique_ptr<Chunk>> m_chunks;
    bool m_closed = false;
    bool m_stopped = false;
};

// The walk of a rescan, kept step by step. It needs nothing of the catalog, so it runs while
// the stored rows are read on another thread, which then compares the steps with them. The
// hooks are called here, on the calling thread.
class Recorder : TreeWalker {
public:
    Recorder(const ScanParams& params, const ScanHooks& hooks, StepQueue& queue)
        : TreeWalker(false, params.nameEncoding), m_params(params), m_hooks(hooks), m_queue(queue),
          m_reporter(hooks.progress, hooks.progressIntervalMs), m_prefix(rootPrefix(params.root)),
          m_chunk(std::make_unique<Chunk>()) {
        m_chunk->steps.reserve(kChunkSteps);
        readAhead(params.depthLimit); // classify() reads only its entry and m_choice
    }

    // Walks the whole tree, then closes the queue.
    void record() {
        walk(m_prefix);
        flush();
        m_queue.close();
    }

    bool cancelled() const { return m_cancelled; }

private:
    // The same choice of files as the scan's.
    bool classify(WalkEntry& e) override {
        e.accepted = m_choice.accepts(e.name);
        return !e.isDir && e.accepted;
    }

    bool proceed() override {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed))
            m_cancelled = true;
        return !m_cancelled && !m_stopped;
    }

    bool enter(const WalkEntry& e, qint64 parentTag, int depth, qint64& tag) override {
        m_reporter.report(m_prefix,
                          std::string_view(path()).substr(0, path().size() - e.name.size() - 1),
                          e.name);
        if (!proceed())
            return false;
        if (m_params.depthLimit != 0 && m_params.depthLimit < depth)
            return false;
        add(Step::Enter, e, parentTag);
        if (m_hooks.counts)
            m_hooks.counts->folders.fetch_add(1, std::memory_order_relaxed);
        tag = ++m_lastTag;
        return true;
    }

    void file(const WalkEntry& e, qint64 folderTag) override {
        m_reporter.report(m_prefix, path(), e.name);
        if (!m_params.foldersOnly && e.accepted) {
            add(Step::File, e, folderTag);
            if (m_hooks.counts)
                m_hooks.counts->files.fetch_add(1, std::memory_order_relaxed);
        }
    }

    void unreadable(int error) override {
        Step s;
        s.kind = Step::Unreadable;
        s.arg = error;
        m_chunk->steps.push_back(s);
    }

    void add(Step::Kind kind, const WalkEntry& e, qint64 arg) {
        Step s;
        s.kind = kind;
        s.arg = arg;
        s.size = e.size;
        s.mtime = e.mtime.value_or(0);
        s.flags = quint8((e.isDir ? Step::IsDir : 0) | (e.isLink ? Step::IsLink : 0) |
                         (e.accepted ? Step::Accepted : 0) | (e.mtime ? Step::HasTime : 0));
        s.special = quint8(e.special);
        std::string& text = m_chunk->text;
        s.text = quint32(text.size());
        s.nameLen = quint32(e.name.size());
        s.rawLen = quint32(e.raw.size());
        s.linkLen = quint32(e.link.size());
        text += e.name;
        text += e.raw;
        text += e.link;
        m_chunk->steps.push_back(s);
        if (m_chunk->steps.size() >= kChunkSteps || text.size() >= kChunkText)
            flush();
    }

    void flush() {
        if (m_chunk->steps.empty())
            return;
        if (!m_queue.push(std::move(m_chunk)))
            m_stopped = true; // the comparison has ended early
        m_chunk = std::make_unique<Chunk>();
        m_chunk->steps.reserve(kChunkSteps);
    }

    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    StepQueue& m_queue;
    fsnames::PathReporter m_reporter;
    QString m_prefix;
    const FileChoice m_choice{m_params};
    std::unique_ptr<Chunk> m_chunk;
    qint64 m_lastTag = 0; // the root's is 0
    bool m_cancelled = false;
    bool m_stopped = false;
};

// Compares the recorded walk with the stored rows, and plans and reports the differences.
// load() and replay() run on a thread of their own, the only one that uses the catalog then.
class Comparer {
public:
    // `stored`: the options the catalog's rows were read with.
    Comparer(const ScanParams& params, const ScanParams& stored, const ScanHooks& hooks,
             bool takeHashes, RescanPlan& plan, RescanReport& report)
        : m_params(params), m_hooks(hooks), m_hashes(params.checksums && takeHashes),
          m_rehash(m_hashes && !stored.checksums), m_relist(params.archives && !stored.archives),
          m_unlist(!params.archives && stored.archives), m_plan(plan), m_report(report),
          m_names(params.nameEncoding), m_prefix(rootPrefix(params.root)) {}

    ~Comparer() {
        if (m_dirFd >= 0 && m_dirFd != m_rootFd)
            ::close(m_dirFd);
        if (m_rootFd >= 0)
            ::close(m_rootFd);
    }
    Comparer(const Comparer&) = delete;
    Comparer& operator=(const Comparer&) = delete;

    // Reads the stored rows; false when the rescan was cancelled meanwhile.
    bool load(Database& db, qint64 discId) {
        rescanstore::readEntries(db, discId, [&](StoredEntry&& e) {
            m_rows.push_back(std::move(e));
            return (m_rows.size() & 1023) != 0 || !cancelled();
        });
        if (m_report.cancelled)
            return false;
        // The keys view the rows' names: made once the rows no longer move.
        m_byKey.reserve(m_rows.size());
        m_byId.reserve(m_rows.size());
        for (quint32 i = 0; i < m_rows.size(); ++i) {
            const StoredEntry& e = m_rows[i];
            m_byId.emplace(e.id, i);
            // Of two rows with one path (a damaged catalog), the older is matched.
            const auto [it, made] = m_byKey.emplace(Key{e.fatherId, e.name}, i);
            if (!made && m_rows[it->second].id > e.id)
                it->second = i;
        }
        m_seen.assign(m_rows.size(), Seen::No);
        m_incomplete.assign(m_rows.size(), false);
        return true;
    }

    // Takes the walk's steps in order until the queue ends or the rescan is cancelled.
    void replay(StepQueue& queue) {
        m_folders.push_back(Folder{0, -1, -1});
        m_levels.push_back(Level{0, 0, {}});
        WalkEntry e;
        while (const std::unique_ptr<Chunk> chunk = queue.pop()) {
            for (const Step& s : chunk->steps) {
                if (cancelled())
                    return;
                if (s.kind == Step::Unreadable) {
                    unreadable(int(s.arg));
                    continue;
                }
                const char* text = chunk->text.data() + s.text;
                e.name.assign(text, s.nameLen);
                e.raw.assign(text + s.nameLen, s.rawLen);
                e.link.assign(text + s.nameLen + s.rawLen, s.linkLen);
                e.size = s.size;
                e.mtime = s.flags & Step::HasTime ? std::optional<qint64>(s.mtime) : std::nullopt;
                e.isDir = s.flags & Step::IsDir;
                e.isLink = s.flags & Step::IsLink;
                e.accepted = s.flags & Step::Accepted;
                e.special = SpecialKind(s.special);
                if (s.kind == Step::Enter)
                    enter(e, s.arg);
                else
                    file(e, s.arg);
            }
        }
    }

    // After the walk and replay(): false when the root could not be read or the walk was
    // cancelled.
    bool finish() {
        if (m_rootUnreadable) {
            m_report.failure = RescanReport::Failure::RootUnreadable;
            return false;
        }
        if (m_report.cancelled)
            return false;
        orderAdditions();
        collectRemovals();
        return true;
    }

private:
    // A folder of the walk: the stored row it matched, or the addition it became.
    struct Folder {
        qint64 storedId = -1; // 0 for the root
        int storedIndex = -1;
        int added = -1;
    };

    // A folder on the way down to the step at hand.
    struct Level {
        qint64 tag = 0;
        size_t pathEnd = 0; // the length of its path
        std::string raw;    // its name's bytes
    };

    bool cancelled() {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
            m_report.cancelled = true;
            return true;
        }
        return false;
    }

    // The folder at hand below the root ("" or "/A/B"), as the walk had it.
    const std::string& path() const { return m_path; }

    // Climbs back to folder `tag`, which lies on the way down: the walk goes depth first.
    void climbTo(qint64 tag) {
        while (m_levels.size() > 1 && m_levels.back().tag != tag)
            m_levels.pop_back();
        m_path.resize(m_levels.back().pathEnd);
    }

    // A descriptor of the folder at hand, for reading its files by name; -1 when it cannot
    // be had. Opened name by name from the root, as the walk went, and kept for the folder's
    // next file.
    int folderFd() {
        const Level& top = m_levels.back();
        if (m_dirTag == top.tag)
            return m_dirFd;
        if (m_rootFd < 0) {
            const QByteArray root =
                QFile::encodeName(m_prefix.isEmpty() ? QStringLiteral("/") : m_prefix);
            m_rootFd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
            if (m_rootFd < 0)
                return -1;
        }
        // Often a folder just below the one open.
        const bool below =
            m_levels.size() >= 2 && m_dirFd >= 0 && m_dirTag == m_levels[m_levels.size() - 2].tag;
        int fd = below ? m_dirFd : m_rootFd;
        if (!below && m_dirFd >= 0 && m_dirFd != m_rootFd)
            ::close(m_dirFd);
        for (size_t i = below ? m_levels.size() - 1 : 1; i < m_levels.size() && fd >= 0; ++i) {
            const int next = ::openat(fd, m_levels[i].raw.c_str(), kDirFlags);
            if (fd != m_rootFd)
                ::close(fd);
            fd = next;
        }
        m_dirFd = fd;
        m_dirTag = top.tag;
        return fd;
    }

    // The stored row of `name` in folder `f`, of the right kind and not yet taken; -1 when
    // there is none. An archive's members are found only in its listing.
    int find(const Folder& f, const WalkEntry& e, bool member = false) {
        if (f.storedId < 0)
            return -1;
        auto it = m_byKey.find(Key{f.storedId, e.rawName()});
        // Rows stored before the raw names were kept have only the decoded name.
        if (it == m_byKey.end() && !e.raw.empty()) {
            it = m_byKey.find(Key{f.storedId, e.name});
            if (it != m_byKey.end() && !m_rows[it->second].shown.empty())
                it = m_byKey.end();
        }
        if (it == m_byKey.end())
            return -1;
        const quint32 index = it->second;
        const StoredEntry& s = m_rows[index];
        if (s.isDir != e.isDir || m_seen[index] != Seen::No || (s.archive == 2) != member)
            return -1;
        return int(index);
    }

    // `fpath` is the FPath the row gets; the report shows it with a file's name. Returns the
    // addition's index.
    int add(const WalkEntry& e, const Folder& parent, const std::string& fpath,
            ArchiveMark mark = ArchiveMark::None) {
        RescanPlan::Addition a;
        a.parentId = std::max<qint64>(parent.storedId, 0);
        a.parentAdded = parent.added;
        a.name = e.name;
        a.raw = e.raw;
        a.path = fpath;
        a.link = e.link;
        a.size = e.isDir ? 0 : e.size;
        a.mtime = e.mtime;
        a.isDir = e.isDir;
        a.archive = mark;
        a.special = e.special;
        m_plan.additions.push_back(std::move(a));
        RescanChange c;
        c.kind = RescanChange::Kind::Added;
        c.path = shown(fpath, e);
        c.isDir = e.isDir;
        c.newSize = e.isDir ? 0 : e.size;
        c.newTime = e.mtime;
        c.newSpecial = e.special;
        m_report.changes.push_back(std::move(c));
        ++m_report.added;
        return int(m_plan.additions.size()) - 1;
    }

    static QString shown(const std::string& fpath, const WalkEntry& e) {
        return fromUtf8(fpath) + (e.isDir ? QString() : QLatin1Char('/') + fromUtf8(e.name));
    }

    // An entry still there whose stored time is unknown or (for a folder) out of date.
    void retime(const StoredEntry& s, const WalkEntry& e) {
        if (e.mtime && s.mtime != e.mtime) {
            RescanPlan::Change c;
            c.id = s.id;
            c.mtime = e.mtime;
            c.timeOnly = true;
            m_plan.changes.push_back(std::move(c));
        }
    }

    void enter(const WalkEntry& e, qint64 parentTag) {
        climbTo(parentTag);
        m_path += '/';
        m_path += e.name;
        m_levels.push_back(Level{qint64(m_folders.size()), m_path.size(), e.rawName()});
        const Folder parent = m_folders[size_t(parentTag)];
        Folder self;
        const int index = find(parent, e);
        if (index >= 0) {
            const StoredEntry& s = m_rows[size_t(index)];
            m_seen[size_t(index)] = Seen::Same;
            ++m_report.unchanged;
            retime(s, e);
            self.storedId = s.id;
            self.storedIndex = index;
        } else {
            self.added = add(e, parent, path()); // a folder's FPath is its own path
        }
        m_folders.push_back(self);
    }

    void file(const WalkEntry& e, qint64 folderTag) {
        climbTo(folderTag);
        const Folder folder = m_folders[size_t(folderTag)];
        const int index = find(folder, e);
        if (index < 0) {
            // A file's FPath is its folder's.
            const int added = add(e, folder, path());
            Contents read = readContents(e);
            RescanPlan::Addition& a = m_plan.additions[size_t(added)];
            a.hash = std::move(read.hash);
            if (read.listing.listed)
                a.archive = ArchiveMark::Archive;
            else if (!read.listing.problem.isEmpty())
                a.note = archivelist::problemNote(read.listing.problem).toStdString();
            if (read.listing.listed)
                listMembers(e, read.listing, Folder{-1, -1, added});
            return;
        }
        const StoredEntry& s = m_rows[size_t(index)];
        if (!differs(s, e)) {
            m_seen[size_t(index)] = Seen::Same;
            ++m_report.unchanged;
            if (!reread(size_t(index), e))
                retime(s, e);
            return;
        }
        const size_t change = changed(size_t(index), e, path(), ArchiveMark::None);
        Contents read = readContents(e);
        RescanPlan::Change& c = m_plan.changes[change];
        c.hash = std::move(read.hash);
        takeListing(c, s, read);
        if (read.listing.listed)
            listMembers(e, read.listing, Folder{s.id, index, -1});
    }

    // A stored time that is unknown (an older catalog) is filled in, not reported. A FIFO or
    // device that older catalogs hold as an empty file becomes what it is, once.
    static bool differs(const StoredEntry& s, const WalkEntry& e) {
        return s.size != e.size || (s.mtime && s.mtime != e.mtime) || s.link != e.link ||
               s.special != int(e.special);
    }

    // Stored row `index` differs from `e`: the change is planned and reported. Returns its
    // index in the plan.
    size_t changed(size_t index, const WalkEntry& e, const std::string& fpath, ArchiveMark mark) {
        const StoredEntry& s = m_rows[index];
        m_seen[index] = Seen::Changed;
        RescanPlan::Change c;
        c.id = s.id;
        c.size = e.size;
        c.mtime = e.mtime;
        c.link = e.link;
        c.archive = mark;
        c.special = e.special;
        m_plan.changes.push_back(std::move(c));
        RescanChange r;
        r.kind = RescanChange::Kind::Changed;
        r.path = shown(fpath, e);
        r.note = s.note;
        r.oldSize = s.size;
        r.newSize = e.size;
        r.oldTime = s.mtime;
        r.newTime = e.mtime;
        r.oldSpecial = specialKind(s.special);
        r.newSpecial = e.special;
        m_report.changes.push_back(std::move(r));
        ++m_report.changed;
        return m_plan.changes.size() - 1;
    }

    struct Contents {
        std::string hash;     // empty: not taken, or the file changed while it was read
        bool archive = false; // read as an archive
        archivelist::Listing listing;
    };

    // What the import read of a file's content, for one that is new or changed; an archive
    // is listed only with `list`.
    Contents readContents(const WalkEntry& e, bool list = true) {
        Contents out;
        if (!e.hasContent())
            return out;
        out.archive = list && m_params.archives && archivelist::hasArchiveName(e.name);
        if (!out.archive && !m_hashes)
            return out;
        const int dir = folderFd();
        if (dir < 0) {
            out.archive = false;
            return out;
        }
        if (out.archive)
            out.listing =
                archivelist::listArchive(dir, e.rawName(), m_names, [this] { return cancelled(); });
        if (m_hashes) {
            const filehash::Outcome h = filehash::hashFile(dir, e.rawName(), m_hooks.cancel);
            if (h.ok && h.bytes == e.size)
                out.hash.assign(reinterpret_cast<const char*>(h.digest.data()), h.digest.size());
            else if (h.cancelled)
                cancelled();
        }
        return out;
    }

    void takeListing(RescanPlan::Change& c, const StoredEntry& s, const Contents& read) {
        if (!read.archive)
            return;
        if (read.listing.listed)
            c.archive = ArchiveMark::Archive;
        // The note that said why the contents were missing follows the new content; one the
        // user wrote stays.
        if (s.note.isEmpty() || archivelist::isProblemNote(s.note)) {
            const QString note = read.listing.problem.isEmpty()
                                     ? QString()
                                     : archivelist::problemNote(read.listing.problem);
            if (note != s.note)
                c.note = note.toStdString();
        }
    }

    // An unchanged file is read again for what the options now read and the stored ones did
    // not (its checksum, an archive's members), and an archive is no longer listed when they
    // stopped listing archives: the rows then hold what the stored options say. The file is
    // not reported as changed. True when its row is to be written.
    bool reread(size_t index, const WalkEntry& e) {
        const StoredEntry& s = m_rows[index];
        const bool unlist = m_unlist && s.archive == 1;
        const bool list = m_relist && s.archive == 0 && archivelist::hasArchiveName(e.name);
        if (!unlist && !list && !m_rehash)
            return false;
        // The row is written whole: its checksum is taken again where the options take one.
        Contents read;
        if (list || m_hashes)
            read = readContents(e, list);
        if (!unlist && read.hash.empty() && !read.archive)
            return false;
        RescanPlan::Change c;
        c.id = s.id;
        c.size = e.size;
        c.mtime = e.mtime;
        c.link = e.link;
        c.special = e.special;
        c.hash = std::move(read.hash);
        c.archive = unlist || list ? ArchiveMark::None : ArchiveMark(s.archive);
        takeListing(c, s, read);
        m_plan.changes.push_back(std::move(c));
        if (unlist)
            m_seen[index] = Seen::Changed; // its members go
        if (read.listing.listed)
            listMembers(e, read.listing, Folder{s.id, int(index), -1});
        return true;
    }

    // The members of archive `e`, whose row is `archive`, matched with those stored below it.
    // Only their differences are counted: "unchanged" counts what the file system holds.
    void listMembers(const WalkEntry& e, const archivelist::Listing& listing,
                     const Folder& archive) {
        std::string base = path();
        base += '/';
        base += e.name;
        std::vector<Folder> folders; // by member index; only the folders' entries are used
        folders.reserve(listing.members.size());
        for (const archivelist::Member& m : listing.members) {
            const Folder parent = m.parent < 0 ? archive : folders[size_t(m.parent)];
            const std::string fpath = base + m.path;
            Folder self;
            const int index = find(parent, m.entry, true);
            if (index < 0) {
                self.added = add(m.entry, parent, fpath, ArchiveMark::Member);
            } else {
                const StoredEntry& s = m_rows[size_t(index)];
                self.storedId = s.id;
                self.storedIndex = index;
                if (m.entry.isDir || !differs(s, m.entry)) {
                    m_seen[size_t(index)] = Seen::Same;
                    retime(s, m.entry);
                } else {
                    changed(size_t(index), m.entry, fpath, ArchiveMark::Member);
                }
            }
            folders.push_back(self);
        }
    }

    // The folder entered last could not be read (the root, before any).
    void unreadable(int error) {
        if (path().empty()) {
            m_rootUnreadable = true;
        } else if (const Folder& f = m_folders.back(); f.storedIndex >= 0) {
            // Its stored contents cannot be checked: they stay as they are.
            m_incomplete[size_t(f.storedIndex)] = true;
        }
        if (m_report.unreadable++ > 0)
            return;
        m_report.firstUnreadable = path().empty() && m_prefix.isEmpty()
                                       ? QStringLiteral("/")
                                       : m_prefix + fromUtf8(path());
        m_report.unreadableReason = QString::fromLocal8Bit(std::strerror(error));
    }

    int parentOf(quint32 index) const {
        const qint64 father = m_rows[index].fatherId;
        if (father <= 0)
            return -1;
        const auto it = m_byId.find(father);
        return it == m_byId.end() ? -1 : int(it->second);
    }

    // Whether an unmatched row goes, decided once its parent's fate is known.
    Fate decide(quint32 index) const {
        const StoredEntry& s = m_rows[index];
        if (m_seen[index] != Seen::No)
            return Fate::Keep;
        const int p = parentOf(index);
        if (p < 0)
            return Fate::Remove; // on the top level, or below a row that is gone
        const auto parent = size_t(p);
        if (m_fate[parent] == Fate::Resolving || m_fate[parent] == Fate::Remove)
            return Fate::Remove; // a loop of parent links, or a branch that goes
        if (s.archive == 2) {
            // An unchanged archive was not read again: its members stay. A changed one's new
            // listing, or the lack of one, no longer holds this member.
            if (m_rows[parent].archive == 2)
                return m_seen[parent] == Seen::No ? Fate::Keep : Fate::Remove;
            return m_seen[parent] == Seen::Changed ? Fate::Remove : Fate::Keep;
        }
        if (m_seen[parent] == Seen::No)
            return Fate::Keep; // below a folder that could not be read
        return m_incomplete[parent] ? Fate::Keep : Fate::Remove;
    }

    QString shownPath(quint32 index) const {
        QStringList names;
        for (int i = int(index), steps = 0; i >= 0 && steps <= int(m_rows.size());
             i = parentOf(quint32(i)), ++steps) {
            const StoredEntry& s = m_rows[size_t(i)];
            names.prepend(fromUtf8(s.shown.empty() ? s.name : s.shown));
        }
        return QLatin1Char('/') + names.join(QLatin1Char('/'));
    }

    // The walk takes each folder as the file system lists it, which spares it a collation key
    // per entry. What is added goes in as a scan would store it: in name order within each
    // folder, each folder before its contents.
    void orderAdditions() {
        std::vector<RescanPlan::Addition>& adds = m_plan.additions;
        if (adds.size() < 2)
            return;
        // Siblings by their parent: an existing folder's AutoId (0: the top level), or -1 - i
        // for addition i.
        std::unordered_map<qint64, std::vector<int>> groups;
        std::vector<qint64> existing; // in order of first appearance
        for (int i = 0; i < int(adds.size()); ++i) {
            const RescanPlan::Addition& a = adds[size_t(i)];
            const qint64 group = a.parentAdded >= 0 ? -1 - qint64(a.parentAdded) : a.parentId;
            auto [it, made] = groups.try_emplace(group);
            if (made && group >= 0)
                existing.push_back(group);
            it->second.push_back(i);
        }
        const QCollator collator = nameCollator();
        std::vector<QString> names;
        names.reserve(adds.size());
        for (const RescanPlan::Addition& a : adds)
            names.push_back(fromUtf8(a.name));
        for (auto& [group, members] : groups) {
            std::stable_sort(members.begin(), members.end(), [&](int a, int b) {
                return collator.compare(names[size_t(a)], names[size_t(b)]) < 0;
            });
        }
        std::vector<int> order;
        order.reserve(adds.size());
        std::vector<int> moved(adds.size(), -1);
        std::vector<std::pair<const std::vector<int>*, size_t>> stack;
        for (const qint64 group : existing) {
            stack.emplace_back(&groups[group], 0);
            while (!stack.empty()) {
                auto& [members, next] = stack.back();
                if (next == members->size()) {
                    stack.pop_back();
                    continue;
                }
                const int i = (*members)[next++];
                moved[size_t(i)] = int(order.size());
                order.push_back(i);
                if (const auto it = groups.find(-1 - qint64(i)); it != groups.end())
                    stack.emplace_back(&it->second, 0);
            }
        }
        std::vector<RescanPlan::Addition> sorted;
        sorted.reserve(adds.size());
        for (const int i : order) {
            RescanPlan::Addition a = std::move(adds[size_t(i)]);
            if (a.parentAdded >= 0)
                a.parentAdded = moved[size_t(a.parentAdded)];
            sorted.push_back(std::move(a));
        }
        adds = std::move(sorted);
    }

    void collectRemovals() {
        m_fate.assign(m_rows.size(), Fate::Unknown);
        std::vector<quint32> chain;
        for (quint32 i = 0; i < m_rows.size(); ++i) {
            // The unresolved rows up to the first resolved ancestor, then each decided from the
            // top down: no recursion, whatever the depth.
            chain.clear();
            for (int j = int(i); j >= 0 && m_fate[size_t(j)] == Fate::Unknown;
                 j = parentOf(quint32(j))) {
                m_fate[size_t(j)] = Fate::Resolving;
                chain.push_back(quint32(j));
            }
            for (auto it = chain.rbegin(); it != chain.rend(); ++it)
                m_fate[*it] = decide(*it);
        }
        std::vector<quint32> removed;
        for (quint32 i = 0; i < m_rows.size(); ++i) {
            if (m_fate[i] == Fate::Remove)
                removed.push_back(i);
        }
        // The rows come in no particular order; they go in the order they were stored.
        std::sort(removed.begin(), removed.end(),
                  [&](quint32 a, quint32 b) { return m_rows[a].id < m_rows[b].id; });
        for (const quint32 i : removed) {
            const StoredEntry& s = m_rows[i];
            m_plan.removals.push_back(s.id);
            RescanChange c;
            c.kind = RescanChange::Kind::Removed;
            // A file's shown path ends in its name too; FPath is not trusted for rows the
            // walk did not see.
            c.path = shownPath(i);
            c.isDir = s.isDir;
            c.note = s.note;
            c.oldSize = s.size;
            c.oldTime = s.mtime;
            c.oldSpecial = specialKind(s.special);
            if (!s.note.isEmpty())
                ++m_report.notesLost;
            m_report.changes.push_back(std::move(c));
            ++m_report.removed;
        }
    }

    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    const bool m_hashes; // new content is hashed
    // The options read what the stored ones did not, or no longer list archives.
    const bool m_rehash;
    const bool m_relist;
    const bool m_unlist;
    RescanPlan& m_plan;
    RescanReport& m_report;
    fsnames::NameDecoder m_names; // archive members' names
    QString m_prefix;

    std::vector<StoredEntry> m_rows;
    std::unordered_map<Key, quint32, KeyHash> m_byKey;
    std::unordered_map<qint64, quint32> m_byId;
    std::vector<Seen> m_seen;
    std::vector<bool> m_incomplete;
    std::vector<Fate> m_fate;
    std::vector<Folder> m_folders; // by tag
    std::vector<Level> m_levels;   // the way down to the step at hand
    std::string m_path;
    int m_rootFd = -1;
    int m_dirFd = -1; // the folder of tag m_dirTag, kept for its next file
    qint64 m_dirTag = -1;
    bool m_rootUnreadable = false;
};

} // namespace

std::optional<ScanParams> rescanOptions(Database& db, qint64 discId, const QString& nameEncoding) {
    const std::optional<DiscRow> disc = catalogstore::discRow(db, discId);
    const std::optional<DiscFacts> facts = catalogstore::discFacts(db, discId, false);
    if (!disc || !facts)
        return std::nullopt;
    ScanParams params;
    params.nameEncoding = nameEncoding;
    readScanOptions(facts->options, params);
    params.root = disc->sourcePath;
    params.discId = discId;
    return params;
}

RescanReport compareRescan(Database& db, qint64 discId, const QString& root, const ScanHooks& hooks,
                           RescanPlan& plan, const QString& nameEncoding, bool takeHashes,
                           const std::optional<ScanParams>& options) {
    RescanReport report;
    plan = RescanPlan();
    plan.discId = discId;
    try {
        const std::optional<DiscRow> disc = catalogstore::discRow(db, discId);
        const std::optional<DiscFacts> facts = catalogstore::discFacts(db, discId, false);
        if (!disc || !facts) {
            report.failure = RescanReport::Failure::NoDisc;
            return report;
        }
        // An empty SourcePath would walk the whole file system: a root must be named then.
        const QString prefix = root.isEmpty() ? rootPrefix(disc->sourcePath) : rootPrefix(root);
        if (root.isEmpty() && prefix.isEmpty()) {
            report.failure = RescanReport::Failure::NoRoot;
            return report;
        }
        report.root = prefix.isEmpty() ? QStringLiteral("/") : prefix;
        plan.root = prefix;
        plan.newRoot = prefix != rootPrefix(disc->sourcePath);

        ScanParams stored;
        stored.nameEncoding = nameEncoding;
        readScanOptions(facts->options, stored);
        ScanParams params = options.value_or(stored);
        if (params.nameEncoding.isEmpty())
            params.nameEncoding = stored.nameEncoding;
        params.root = prefix;
        params.discId = discId;
        plan.facts.fsType = facts->fsType;
        plan.facts.capacity = facts->capacity;
        plan.facts.options = scanOptionsText(params);
        plan.facts.state = ScanState::Complete;

        // The walk goes on here while another thread reads the stored rows and then compares
        // what the walk has found so far with them.
        Comparer comparer(params, stored, hooks, takeHashes, plan, report);
        StepQueue queue;
        std::exception_ptr failure;
        std::thread comparing([&] {
            try {
                if (comparer.load(db, discId))
                    comparer.replay(queue);
            } catch (...) {
                failure = std::current_exception();
            }
            queue.stop();
        });
        struct Join {
            StepQueue& queue;
            std::thread& thread;
            ~Join() {
                queue.close();
                thread.join();
            }
        };
        bool walkCancelled = false;
        {
            const Join join{queue, comparing};
            Recorder recorder(params, hooks, queue);
            recorder.record();
            walkCancelled = recorder.cancelled();
        }
        if (failure)
            std::rethrow_exception(failure);
        if (walkCancelled)
            report.cancelled = true;
        if (!comparer.finish()) {
            // A cancelled or failed walk reports no differences: nothing is known of them.
            report.changes.clear();
            report.added = report.removed = report.changed = report.unchanged = 0;
            report.notesLost = 0;
            plan = RescanPlan();
            return report;
        }
        plan.facts.scanTime = QDateTime::currentSecsSinceEpoch();
    } catch (const DbError& e) {
        report = RescanReport();
        report.failure = RescanReport::Failure::Write;
        report.error = e.text();
        plan = RescanPlan();
        return report;
    }
    // Case does not split the list; removed comes before added where one path is both (a
    // file that became a folder).
    std::sort(report.changes.begin(), report.changes.end(),
              [](const RescanChange& a, const RescanChange& b) {
                  if (const int c = a.path.compare(b.path, Qt::CaseInsensitive); c != 0)
                      return c < 0;
                  if (const int c = a.path.compare(b.path); c != 0)
                      return c < 0;
                  const auto rank = [](RescanChange::Kind k) {
                      return k == RescanChange::Kind::Removed ? 0 : 1;
                  };
                  return rank(a.kind) < rank(b.kind);
              });
    return report;
}

bool applyRescan(Database& db, const RescanPlan& plan, const std::atomic<bool>* cancel,
                 QString* error) {
    const auto stopped = [&](size_t step) {
        return cancel && (step & 1023) == 0 && cancel->load(std::memory_order_relaxed);
    };
    try {
        if (!catalogstore::discExists(db, plan.discId)) {
            if (error)
                *error = QStringLiteral("the disc no longer exists");
            return false;
        }
        Transaction tx(db);
        size_t step = 0;
        {
            rescanstore::ChangeWriter writer(db);
            for (const qint64 id : plan.removals) {
                if (stopped(++step))
                    return false;
                writer.remove(id);
            }
            for (const RescanPlan::Change& c : plan.changes) {
                if (stopped(++step))
                    return false;
                if (c.timeOnly)
                    writer.retime(c.id, c.mtime);
                else
                    writer.change(c.id, c.size, c.mtime, c.link, c.hash, int(c.archive),
                                  int(c.special), c.note);
            }
        }
        {
            contentstore::EntryWriter rows(db, plan.discId);
            std::vector<qint64> ids(plan.additions.size(), 0);
            for (size_t i = 0; i < plan.additions.size(); ++i) {
                if (stopped(++step))
                    return false;
                const RescanPlan::Addition& a = plan.additions[i];
                contentstore::ScannedEntry row;
                row.name = a.name;
                row.path = a.path;
                row.size = a.size;
                row.isDir = a.isDir;
                row.fatherId = a.parentAdded >= 0 ? ids[size_t(a.parentAdded)] : a.parentId;
                row.mtime = a.mtime;
                row.raw = a.raw;
                row.link = a.link;
                row.hash = a.hash;
                row.note = a.note;
                row.archive = a.archive;
                row.special = a.special;
                ids[i] = rows.add(row);
            }
        }
        if (cancel && cancel->load())
            return false;
        if (plan.newRoot)
            catalogstore::setDiscSource(db, plan.discId, plan.root);
        catalogstore::setScanFacts(db, plan.discId, plan.facts);
        tx.commit();
    } catch (const DbError& e) {
        if (error)
            *error = e.text();
        return false;
    }
    return true;
}

RescanJob::RescanJob(const QString& catalog, qint64 discId, const QString& root,
                     const QString& nameEncoding, std::optional<ScanParams> options,
                     QObject* parent)
    : Job(parent), m_catalog(catalog), m_discId(discId), m_root(root), m_nameEncoding(nameEncoding),
      m_options(std::move(options)) {}

RescanJob::RescanJob(const QString& catalog, std::shared_ptr<const RescanPlan> plan,
                     QObject* parent)
    : Job(parent), m_catalog(catalog), m_apply(true), m_plan(std::move(plan)) {}

RescanJob::~RescanJob() {
    stop();
}

void RescanJob::work() {
    Database db;
    try {
        if (!m_catalog.isEmpty())
            db.open(m_catalog);
    } catch (const DbError& e) {
        m_report.error = e.text();
    }
    if (!db.isOpen() || db.isReadOnly()) {
        m_report.failure = RescanReport::Failure::Catalog;
        return;
    }
    if (m_apply) {
        if (m_plan) {
            m_applied = applyRescan(db, *m_plan, &cancelFlag(), &m_report.error);
            if (!m_applied && !isCancelled())
                m_report.failure = RescanReport::Failure::Write;
        }
        return;
    }
    ScanHooks hooks;
    hooks.cancel = &cancelFlag();
    ScanCounts counts;
    hooks.counts = &counts;
    hooks.progress = [this, &counts](const QString& path) {
        JobProgress p;
        p.path = path;
        p.folders = counts.folders.load(std::memory_order_relaxed);
        p.files = counts.files.load(std::memory_order_relaxed);
        emit progressed(p);
    };
    auto plan = std::make_shared<RescanPlan>();
    m_report = compareRescan(db, m_discId, m_root, hooks, *plan, m_nameEncoding, true, m_options);
    m_plan = std::move(plan);
}

} // namespace vorlane
