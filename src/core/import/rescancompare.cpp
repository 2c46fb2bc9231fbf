#include "core/import/rescancompare.h"

#include "core/import/filehash.h"
#include "core/media/mediareader.h"
#include "core/store/database.h"
#include "core/store/rescanstore.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vorlane {

namespace {

using Fate = StoredRows::Fate;
using Seen = StoredRows::Seen;

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;

QString fromUtf8(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString shown(const std::string& fpath, const WalkEntry& e) {
    return fromUtf8(fpath) + (e.isDir ? QString() : QLatin1Char('/') + fromUtf8(e.name));
}

} // namespace

RescanComparer::RescanComparer(const ScanParams& params, const ScanParams& stored,
                               const ScanHooks& hooks, bool takeHashes, RescanPlan& plan,
                               RescanReport& report)
    : m_params(params), m_hooks(hooks), m_hashes(params.checksums && takeHashes),
      m_rehash(m_hashes && !stored.checksums), m_relist(params.archives && !stored.archives),
      m_unlist(!params.archives && stored.archives),
      m_remedia((params.media && !stored.media) || (params.thumbnails && !stored.thumbnails)),
      m_plan(plan), m_report(report), m_names(params.nameEncoding),
      m_prefix(rootPrefix(params.root)) {}

RescanComparer::~RescanComparer() {
    if (m_dirFd >= 0 && m_dirFd != m_rootFd)
        ::close(m_dirFd);
    if (m_rootFd >= 0)
        ::close(m_rootFd);
}

bool RescanComparer::load(Database& db, qint64 discId) {
    m_db = &db;
    rescanstore::readEntries(db, discId, [&](const rescanstore::StoredRow& r) {
        m_rows.add(r);
        return (m_rows.size() & 1023) != 0 || !cancelled();
    });
    if (m_report.cancelled)
        return false;
    m_rows.index();
    return true;
}

void RescanComparer::replay(rescanwalk::StepQueue& queue) {
    using rescanwalk::Step;
    m_folders.push_back(Folder{StoredRows::kTop, -1});
    m_levels.push_back(Level{0, 0, {}});
    WalkEntry e;
    while (const std::unique_ptr<rescanwalk::Chunk> chunk = queue.pop()) {
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

bool RescanComparer::finish() {
    if (m_rootUnreadable) {
        m_report.failure = RescanReport::Failure::RootUnreadable;
        return false;
    }
    if (m_report.cancelled)
        return false;
    orderAdditions(m_plan.additions);
    collectRemovals();
    return true;
}

bool RescanComparer::cancelled() {
    if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
        m_report.cancelled = true;
        return true;
    }
    return false;
}

// Climbs back to folder `tag`, which lies on the way down: the walk goes depth first.
void RescanComparer::climbTo(qint64 tag) {
    while (m_levels.size() > 1 && m_levels.back().tag != tag)
        m_levels.pop_back();
    m_path.resize(m_levels.back().pathEnd);
}

// A descriptor of the folder at hand, for reading its files by name; -1 when it cannot be
// had. Opened name by name from the root, as the walk went, and kept for the folder's next
// file.
int RescanComparer::folderFd() {
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

// The stored row of `e` in folder `f`, of the right kind and not yet taken; -1 when there is
// none. An archive's members are found only in its listing.
int RescanComparer::find(const Folder& f, const WalkEntry& e, bool member) const {
    if (f.stored == StoredRows::kNone)
        return -1;
    quint32 index = m_rows.find(f.stored, e.rawName());
    // Rows stored before the raw names were kept have only the decoded name.
    if (index == StoredRows::kNone && !e.raw.empty()) {
        index = m_rows.find(f.stored, e.name);
        if (index != StoredRows::kNone && !m_rows.shown(m_rows[index]).empty())
            index = StoredRows::kNone;
    }
    if (index == StoredRows::kNone)
        return -1;
    const Row& s = m_rows[index];
    if (s.isDir() != e.isDir || s.seen != Seen::No || (s.archive == 2) != member)
        return -1;
    return int(index);
}

// `fpath` is the FPath the row gets; the report shows it with a file's name. Returns the
// addition's index.
int RescanComparer::add(const WalkEntry& e, const Folder& parent, const std::string& fpath,
                        ArchiveMark mark) {
    RescanPlan::Addition a;
    a.parentId = parent.stored < StoredRows::kTop ? m_rows[parent.stored].id : 0;
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

// An entry still there whose stored time is unknown or (for a folder) out of date.
void RescanComparer::retime(const Row& s, const WalkEntry& e) {
    if (e.mtime && s.time() != e.mtime) {
        RescanPlan::Change c;
        c.id = s.id;
        c.mtime = e.mtime;
        c.timeOnly = true;
        m_plan.changes.push_back(std::move(c));
    }
}

void RescanComparer::enter(const WalkEntry& e, qint64 parentTag) {
    climbTo(parentTag);
    m_path += '/';
    m_path += e.name;
    m_levels.push_back(Level{qint64(m_folders.size()), m_path.size(), e.rawName()});
    const Folder parent = m_folders[size_t(parentTag)];
    Folder self;
    const int index = find(parent, e);
    if (index >= 0) {
        Row& s = m_rows[quint32(index)];
        s.seen = Seen::Same;
        ++m_report.unchanged;
        retime(s, e);
        self.stored = quint32(index);
    } else {
        self.added = add(e, parent, path()); // a folder's FPath is its own path
    }
    m_folders.push_back(self);
}

void RescanComparer::file(const WalkEntry& e, qint64 folderTag) {
    climbTo(folderTag);
    const Folder folder = m_folders[size_t(folderTag)];
    const int found = find(folder, e);
    if (found < 0) {
        // A file's FPath is its folder's.
        const int added = add(e, folder, path());
        Contents read = readContents(e);
        RescanPlan::Addition& a = m_plan.additions[size_t(added)];
        a.mediaPath = mediaPath(e);
        a.hash = std::move(read.hash);
        if (read.listing.listed)
            a.archive = ArchiveMark::Archive;
        else if (!read.listing.problem.isEmpty())
            a.note = archivelist::problemNote(read.listing.problem).toStdString();
        if (read.listing.listed)
            listMembers(e, read.listing, Folder{StoredRows::kNone, added});
        return;
    }
    const auto index = quint32(found);
    Row& s = m_rows[index];
    if (!differs(s, e)) {
        s.seen = Seen::Same;
        ++m_report.unchanged;
        if (!reread(index, e))
            retime(s, e);
        if (m_remedia) {
            if (std::string media = mediaPath(e); !media.empty())
                m_plan.mediaOnly.push_back(RescanPlan::MediaOnly{s.id, std::move(media)});
        }
        return;
    }
    const size_t change = changed(index, e, path(), ArchiveMark::None);
    Contents read = readContents(e);
    RescanPlan::Change& c = m_plan.changes[change];
    c.mediaPath = mediaPath(e);
    c.hash = std::move(read.hash);
    takeListing(c, index, read);
    if (read.listing.listed)
        listMembers(e, read.listing, Folder{index, -1});
}

// A stored time that is unknown (an older catalog) is filled in, not reported. A FIFO or
// device that older catalogs hold as an empty file becomes what it is, once.
bool RescanComparer::differs(const Row& s, const WalkEntry& e) const {
    return s.size != e.size || (s.time() && s.time() != e.mtime) || m_rows.link(s) != e.link ||
           s.special != int(e.special);
}

// Stored row `index` differs from `e`: the change is planned and reported. Returns its index
// in the plan.
size_t RescanComparer::changed(quint32 index, const WalkEntry& e, const std::string& fpath,
                               ArchiveMark mark) {
    Row& s = m_rows[index];
    s.seen = Seen::Changed;
    RescanPlan::Change c;
    c.id = s.id;
    c.size = e.size;
    c.mtime = e.mtime;
    c.link = e.link;
    c.archive = mark;
    c.special = e.special;
    c.newContent = true;
    m_plan.changes.push_back(std::move(c));
    RescanChange r;
    r.kind = RescanChange::Kind::Changed;
    r.path = shown(fpath, e);
    r.note = noteOf(index);
    r.oldSize = s.size;
    r.newSize = e.size;
    r.oldTime = s.time();
    r.newTime = e.mtime;
    r.oldSpecial = specialKind(s.special);
    r.newSpecial = e.special;
    m_report.changes.push_back(std::move(r));
    ++m_report.changed;
    return m_plan.changes.size() - 1;
}

// What the import read of a file's content, for one that is new or changed; an archive is
// listed only with `list`.
RescanComparer::Contents RescanComparer::readContents(const WalkEntry& e, bool list) {
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

// The full path of a file at hand whose media the options read; empty for any other.
std::string RescanComparer::mediaPath(const WalkEntry& e) const {
    if (!(m_params.media || m_params.thumbnails) || !e.hasContent() || e.size == 0)
        return {};
    const MediaKind kind = media::kindOfName(e.name);
    if (kind == MediaKind::None || (kind == MediaKind::Audio && !m_params.media))
        return {};
    std::string out = QFile::encodeName(m_prefix).toStdString();
    for (size_t i = 1; i < m_levels.size(); ++i)
        out.append(1, '/').append(m_levels[i].raw);
    out.append(1, '/').append(e.rawName());
    return out;
}

void RescanComparer::takeListing(RescanPlan::Change& c, quint32 index, const Contents& read) {
    if (!read.archive)
        return;
    if (read.listing.listed)
        c.archive = ArchiveMark::Archive;
    // The note that said why the contents were missing follows the new content; one the user
    // wrote stays.
    const QString old = noteOf(index);
    if (old.isEmpty() || archivelist::isProblemNote(old)) {
        const QString note = read.listing.problem.isEmpty()
                                 ? QString()
                                 : archivelist::problemNote(read.listing.problem);
        if (note != old)
            c.note = note.toStdString();
    }
}

// An unchanged file is read again for what the options now read and the stored ones did not
// (its checksum, an archive's members), and an archive is no longer listed when they stopped
// listing archives: the rows then hold what the stored options say. The file is not reported
// as changed. True when its row is to be written.
bool RescanComparer::reread(quint32 index, const WalkEntry& e) {
    Row& s = m_rows[index];
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
    takeListing(c, index, read);
    m_plan.changes.push_back(std::move(c));
    if (unlist)
        s.seen = Seen::Changed; // its members go
    if (read.listing.listed)
        listMembers(e, read.listing, Folder{index, -1});
    return true;
}

// The members of archive `e`, whose row is `archive`, matched with those stored below it.
// Only their differences are counted: "unchanged" counts what the file system holds.
void RescanComparer::listMembers(const WalkEntry& e, const archivelist::Listing& listing,
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
        const int found = find(parent, m.entry, true);
        if (found < 0) {
            self.added = add(m.entry, parent, fpath, ArchiveMark::Member);
        } else {
            const auto index = quint32(found);
            Row& s = m_rows[index];
            self.stored = index;
            if (m.entry.isDir || !differs(s, m.entry)) {
                s.seen = Seen::Same;
                retime(s, m.entry);
            } else {
                changed(index, m.entry, fpath, ArchiveMark::Member);
            }
        }
        folders.push_back(self);
    }
}

// The folder entered last could not be read (the root, before any).
void RescanComparer::unreadable(int error) {
    if (path().empty()) {
        m_rootUnreadable = true;
    } else if (const Folder& f = m_folders.back(); f.stored < StoredRows::kTop) {
        // Its stored contents cannot be checked: they stay as they are.
        m_rows[f.stored].flags |= Row::Incomplete;
    }
    if (m_report.unreadable++ > 0)
        return;
    m_report.firstUnreadable =
        path().empty() && m_prefix.isEmpty() ? QStringLiteral("/") : m_prefix + fromUtf8(path());
    m_report.unreadableReason = QString::fromLocal8Bit(std::strerror(error));
}

// The note of a stored row, read from the catalog: only rows that are reported need theirs.
QString RescanComparer::noteOf(quint32 index) {
    const Row& s = m_rows[index];
    if (!s.hasNote() || !m_db)
        return {};
    if (!m_notes)
        m_notes = std::make_unique<rescanstore::NoteReader>(*m_db);
    return m_notes->noteOf(s.id);
}

// Whether an unmatched row goes, decided once its parent's fate is known.
Fate RescanComparer::decide(quint32 index, const std::vector<Fate>& fate) const {
    const Row& s = m_rows[index];
    if (s.seen != Seen::No)
        return Fate::Keep;
    const int p = m_rows.parentOf(index);
    if (p < 0)
        return Fate::Remove; // on the top level, or below a row that is gone
    const auto parent = quint32(p);
    if (fate[parent] == Fate::Resolving || fate[parent] == Fate::Remove)
        return Fate::Remove; // a loop of parent links, or a branch that goes
    const Row& up = m_rows[parent];
    if (s.archive == 2) {
        // An unchanged archive was not read again: its members stay. A changed one's new
        // listing, or the lack of one, no longer holds this member.
        if (up.archive == 2)
            return up.seen == Seen::No ? Fate::Keep : Fate::Remove;
        return up.seen == Seen::Changed ? Fate::Remove : Fate::Keep;
    }
    if (up.seen == Seen::No)
        return Fate::Keep; // below a folder that could not be read
    return up.flags & Row::Incomplete ? Fate::Keep : Fate::Remove;
}

QString RescanComparer::shownPath(quint32 index) const {
    QStringList names;
    for (int i = int(index), steps = 0; i >= 0 && steps <= int(m_rows.size());
         i = m_rows.parentOf(quint32(i)), ++steps) {
        const Row& s = m_rows[quint32(i)];
        const std::string_view other = m_rows.shown(s);
        names.prepend(fromUtf8(other.empty() ? m_rows.name(s) : other));
    }
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

void RescanComparer::collectRemovals() {
    std::vector<Fate> fate(m_rows.size(), Fate::Unknown);
    std::vector<quint32> chain;
    for (quint32 i = 0; i < m_rows.size(); ++i) {
        // The unresolved rows up to the first resolved ancestor, then each decided from the
        // top down: no recursion, whatever the depth.
        chain.clear();
        for (int j = int(i); j >= 0 && fate[size_t(j)] == Fate::Unknown;
             j = m_rows.parentOf(quint32(j))) {
            fate[size_t(j)] = Fate::Resolving;
            chain.push_back(quint32(j));
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            fate[*it] = decide(*it, fate);
    }
    std::vector<quint32> removed;
    for (quint32 i = 0; i < m_rows.size(); ++i) {
        if (fate[i] == Fate::Remove)
            removed.push_back(i);
    }
    // The rows come in no particular order; they go in the order they were stored.
    std::sort(removed.begin(), removed.end(),
              [&](quint32 a, quint32 b) { return m_rows[a].id < m_rows[b].id; });
    for (const quint32 i : removed) {
        const Row& s = m_rows[i];
        m_plan.removals.push_back(s.id);
        RescanChange c;
        c.kind = RescanChange::Kind::Removed;
        // A file's shown path ends in its name too; FPath is not trusted for rows the walk
        // did not see.
        c.path = shownPath(i);
        c.isDir = s.isDir();
        c.note = noteOf(i);
        c.oldSize = s.size;
        c.oldTime = s.time();
        c.oldSpecial = specialKind(s.special);
        if (!c.note.isEmpty())
            ++m_report.notesLost;
        m_report.changes.push_back(std::move(c));
        ++m_report.removed;
    }
}

} // namespace vorlane
