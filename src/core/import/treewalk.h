// The depth-first walk behind the disc scan and the file-type detection. It holds only a
// few folders open at a time and keeps its stack on the heap, so neither the depth of a
// tree nor the open-file limit bounds it.
#pragma once

#include "core/import/exclusions.h"
#include "core/import/fsnames.h"
#include "core/store/contentstore.h"

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vorlane {

// One entry of a folder's listing, taken while the folder was open.
struct WalkEntry {
    std::string name;            // as stored (fsnames::NameDecoder)
    std::string raw;             // the file system's bytes when they are not UTF-8
    qint64 size = 0;             // known only for entries that were looked at with lstat
    std::optional<qint64> mtime; // seconds since 1970 UTC, when looked at with lstat
    std::string link;            // a symbolic link's target, read when it was looked at
    bool isDir = false;
    bool isLink = false;                     // a symbolic link (stored as a file of size 0)
    SpecialKind special = SpecialKind::None; // a FIFO, device or socket (never opened)
    bool accepted = false;                   // free for the visitor, set in classify()
    bool excluded = false;                   // its name matches an exclusion: never visited

    const char* rawName() const { return raw.empty() ? name.c_str() : raw.c_str(); }
    // Whether there is content to read: not a link, not a special file.
    bool hasContent() const { return !isLink && special == SpecialKind::None; }
};

// Visits every entry below a root whose name does not begin with ".", depth first in
// listing order (or name order), each folder before its contents, as a recursive walk would go.
// Symbolic links are taken as files of size 0 and never followed. Every folder is looked at
// with lstat (its time), files only when the visitor asks. A subclass sees the walk through the
// virtual functions below; all run on the walking thread (classify() also on the helpers of
// readAhead()).
class TreeWalker {
public:
    // `sorted`: each folder's listing is taken in name order (nameCollator()) rather than
    // as the file system gives it. Costs a collation key per entry. `nameEncoding`: the
    // legacy encoding for names that are not UTF-8 (fsnames::NameDecoder).
    explicit TreeWalker(bool sorted = false, const QString& nameEncoding = {});
    virtual ~TreeWalker();
    TreeWalker(const TreeWalker&) = delete;
    TreeWalker& operator=(const TreeWalker&) = delete;

protected:
    // Walks below `prefix` (a root prefix as rootPrefix() gives it; "" is "/").
    void walk(const QString& prefix);

    // Lets helper threads read the listings of the folders the walk comes to next, while it
    // works through the ones before them; the visitor still sees everything in the same
    // order, on the walking thread. Folders deeper than `maxDepth` (0 = any) are left to
    // the walk, as are folders whose helper could not open them. classify() is then called
    // on the helpers too: it may only touch its entry and what does not change during the
    // walk. Call before walk().
    void readAhead(int maxDepth = 0);

    // Entries that match one of `patterns` (Exclusions) are passed over, folders with all
    // they hold, and counted in excluded(). Call before walk().
    void exclude(const QStringList& patterns) { m_exclusions = Exclusions(patterns); }
    // The entries passed over so far.
    qint64 excluded() const { return m_excluded; }

    // The folder being worked through, below the root ("" or "/A/B"). In enter() and
    // unreadable() it is the folder concerned.
    const std::string& path() const { return m_path; }
    // A descriptor of the folder being worked through, for reading its files by name
    // (WalkEntry::rawName()) while file() runs; -1 when it cannot be had. Owned by the walk.
    int folderFd() { return m_stack.empty() ? -1 : topFd(); }

    // Called for each entry while its folder's listing is read; `e.isDir` is what the
    // listing says. True asks for the entry's lstat (its size and time, a link's target);
    // folders and entries of unknown type are looked at anyway.
    virtual bool classify(WalkEntry& e) = 0;
    // Checked before every step: false ends the walk.
    virtual bool proceed() { return true; }
    // A sub-folder of a folder whose tag is `parentTag`, at `depth` (1 below the root).
    // False passes it over; otherwise `tag` is handed to its own entries.
    virtual bool enter(const WalkEntry& e, qint64 parentTag, int depth, qint64& tag) = 0;
    virtual void file(const WalkEntry& e, qint64 folderTag) = 0;
    // The folder at path() could not be opened or listed to the end (errno `error`).
    virtual void unreadable(int error) = 0;

private:
    struct Frame;
    class Lister;
    struct Ahead;

    void release(Frame& f);
    bool releaseOne(size_t keep);
    int openDir(int dirFd, const char* name, size_t keep);
    int topFd();
    void descend(const WalkEntry& e);
    void leave();
    void closeAll();
    // The helpers' part (only with readAhead()).
    void offerAhead(Frame& f);
    bool takeAhead(Frame& parent, bool wanted, Frame& child, int& error);
    bool excludedByPath(const WalkEntry& e);
    void dropAhead(Frame& f);
    void help();
    void stopHelpers();

    std::vector<Frame> m_stack;
    const bool m_sorted;
    const QString m_nameEncoding;
    std::unique_ptr<Lister> m_lister; // the walking thread's
    std::unique_ptr<Ahead> m_ahead;
    std::string m_path;
    Exclusions m_exclusions; // read by the helpers too: fixed while the walk runs
    qint64 m_excluded = 0;
    int m_held = 0; // descriptors the walk holds open
    int m_budget;
};

} // namespace vorlane
