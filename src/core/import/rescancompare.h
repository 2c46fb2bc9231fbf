// The comparison behind a rescan: the walk's steps against the stored rows of the disc.
#pragma once

#include "core/import/archivelist.h"
#include "core/import/fsnames.h"
#include "core/import/rescan.h"
#include "core/import/rescanrows.h"
#include "core/import/rescanwalk.h"

#include <QString>
#include <memory>
#include <string>
#include <vector>

namespace vorlane {

class Database;

namespace rescanstore {
class NoteReader;
}

// Compares the recorded walk with the stored rows, and plans and reports the differences.
// load() and replay() run on a thread of their own, the only one that uses the catalog then;
// finish() runs once that thread is done.
class RescanComparer {
public:
    // `stored`: the options the catalog's rows were read with.
    RescanComparer(const ScanParams& params, const ScanParams& stored, const ScanHooks& hooks,
                   bool takeHashes, RescanPlan& plan, RescanReport& report);
    ~RescanComparer();
    RescanComparer(const RescanComparer&) = delete;
    RescanComparer& operator=(const RescanComparer&) = delete;

    // Reads the stored rows; false when the rescan was cancelled meanwhile.
    bool load(Database& db, qint64 discId);
    // Takes the walk's steps in order until the queue ends or the rescan is cancelled.
    void replay(rescanwalk::StepQueue& queue);
    // After the walk and replay(): false when the root could not be read or the walk was
    // cancelled.
    bool finish();

private:
    using Row = StoredRows::Row;

    // A folder of the walk: the stored row it matched (StoredRows::kTop for the root), or the
    // addition it became.
    struct Folder {
        quint32 stored = StoredRows::kNone;
        int added = -1;
    };

    // A folder on the way down to the step at hand.
    struct Level {
        qint64 tag = 0;
        size_t pathEnd = 0; // the length of its path
        std::string raw;    // its name's bytes
    };

    struct Contents {
        std::string hash;     // empty: not taken, or the file changed while it was read
        bool archive = false; // read as an archive
        archivelist::Listing listing;
    };

    bool cancelled();
    // The folder at hand below the root ("" or "/A/B"), as the walk had it.
    const std::string& path() const { return m_path; }
    void climbTo(qint64 tag);
    int folderFd();
    int find(const Folder& f, const WalkEntry& e, bool member = false) const;
    int add(const WalkEntry& e, const Folder& parent, const std::string& fpath,
            ArchiveMark mark = ArchiveMark::None);
    void retime(const Row& s, const WalkEntry& e);
    void enter(const WalkEntry& e, qint64 parentTag);
    void file(const WalkEntry& e, qint64 folderTag);
    bool differs(const Row& s, const WalkEntry& e) const;
    size_t changed(quint32 index, const WalkEntry& e, const std::string& fpath, ArchiveMark mark);
    Contents readContents(const WalkEntry& e, bool list = true);
    void takeListing(RescanPlan::Change& c, quint32 index, const Contents& read);
    bool reread(quint32 index, const WalkEntry& e);
    void listMembers(const WalkEntry& e, const archivelist::Listing& listing,
                     const Folder& archive);
    void unreadable(int error);
    std::string mediaPath(const WalkEntry& e) const;
    QString noteOf(quint32 index);
    StoredRows::Fate decide(quint32 index, const std::vector<StoredRows::Fate>& fate) const;
    QString shownPath(quint32 index) const;
    void collectRemovals();

    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    const bool m_hashes; // new content is hashed
    // The options read what the stored ones did not, or no longer list archives.
    const bool m_rehash;
    const bool m_relist;
    const bool m_unlist;
    const bool m_remedia;
    RescanPlan& m_plan;
    RescanReport& m_report;
    fsnames::NameDecoder m_names; // archive members' names
    QString m_prefix;

    Database* m_db = nullptr;
    std::unique_ptr<rescanstore::NoteReader> m_notes; // made when a note is first needed
    StoredRows m_rows;
    std::vector<Folder> m_folders; // by tag
    std::vector<Level> m_levels;   // the way down to the step at hand
    std::string m_path;
    int m_rootFd = -1;
    int m_dirFd = -1; // the folder of tag m_dirTag, kept for its next file
    qint64 m_dirTag = -1;
    bool m_rootUnreadable = false;
};

// Puts the additions of a plan in the order a scan would store them: in name order within
// each folder, each folder before its contents.
void orderAdditions(std::vector<RescanPlan::Addition>& adds);

} // namespace vorlane
