// Bringing a catalogued disc up to date: its folder is walked again with the options it was
// imported with and compared with the catalog by path, and the differences are then written
// in one transaction. Entries that are still there keep their rows, and with them their
// AutoId and their notes.
//
// Matching goes folder by folder on the file system's own bytes of each name (FName where
// stored), so names that are not UTF-8 match too. A folder is never reported as changed:
// its time moves whenever something inside it is added or removed, and those entries are
// reported themselves; its stored time is brought up to date quietly. An entry that turned
// from a file into a folder (or back), or a renamed folder, counts as removed plus added.
// What lies below a folder that cannot be read now is left as it is.
//
// A file that is new or changed is read as the import read it: hashed when the disc was
// imported with checksums, listed when it is an archive and the disc was imported with
// archives. A re-listed archive's members are matched with the stored ones by path like
// any entry, so those still there keep their rows and notes, and only the differences are
// reported (an archive that is added reports its members as added, like a new folder's
// contents). Members of an archive that is unchanged stay unread; those of a changed
// archive that is not listed again go with its old contents.
#pragma once

#include "core/import/scanner.h"
#include "core/job.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/mediastore.h"
#include "core/store/searchstore.h"

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vorlane {

struct RescanChange {
    enum class Kind { Added, Removed, Changed };
    Kind kind = Kind::Added;
    QString path; // below the root, as shown: "/A/b.txt"
    bool isDir = false;
    QString note; // the note the entry carries: kept on a change, lost with a removal
    qint64 oldSize = 0;
    qint64 newSize = 0;
    std::optional<qint64> oldTime;
    std::optional<qint64> newTime;
    // What kind of special file it was and is (a FIFO, a device...); None for anything else.
    SpecialKind oldSpecial = SpecialKind::None;
    SpecialKind newSpecial = SpecialKind::None;
};

struct RescanReport {
    QString root; // the folder that was walked
    // Every entry added, removed or changed, in path order (case aside).
    std::vector<RescanChange> changes;
    qint64 added = 0;
    qint64 removed = 0;
    qint64 changed = 0;
    qint64 unchanged = 0;
    qint64 notesLost = 0; // removed entries that carried a note
    // Folders that could not be read; what the catalog holds below them stays.
    int unreadable = 0;
    QString firstUnreadable;
    QString unreadableReason;
    bool cancelled = false;
    // Why nothing could be compared or written; the catalog is unchanged then.
    enum class Failure {
        None,
        Catalog,        // the catalog could not be opened for writing (the job only)
        NoDisc,         // no such disc
        NoRoot,         // no root given and the disc has no SourcePath
        RootUnreadable, // the root cannot be read (unreadableReason says why)
        Write,          // the engine failed (error says how)
    };
    Failure failure = Failure::None;
    QString error; // the engine's text for a failed write

    bool hasChanges() const { return added + removed + changed > 0; }
};

// What applying a compared rescan writes. Made by compareRescan(), used once by applyRescan().
struct RescanPlan {
    struct Change {
        qint64 id = 0;
        qint64 size = 0;
        std::optional<qint64> mtime;
        std::string link;
        std::string hash; // the new content's hash; empty: none taken, a stale one goes
        ArchiveMark archive = ArchiveMark::None;
        SpecialKind special = SpecialKind::None;
        std::optional<std::string> note; // replaces the note (empty: none) when set
        bool timeOnly = false;   // an unchanged entry whose stored time is brought up to date
        bool newContent = false; // its media facts and thumbnail no longer hold
        std::string mediaPath;   // the file's bytes to read media from; empty: none
    };
    struct Addition {
        qint64 parentId = 0;  // an existing folder (0: the top level) ...
        int parentAdded = -1; // ... or an earlier addition
        std::string name;     // as shown (TreeName)
        std::string raw;      // the file system's bytes when they are not UTF-8
        std::string path;     // FPath
        std::string link;
        qint64 size = 0;
        std::optional<qint64> mtime;
        bool isDir = false;
        std::string hash; // empty: none taken
        std::string note; // why an archive's contents are missing
        ArchiveMark archive = ArchiveMark::None;
        SpecialKind special = SpecialKind::None;
        std::string mediaPath; // as for Change
    };
    // An unchanged file whose media the options now read and the stored ones did not.
    struct MediaOnly {
        qint64 id = 0;
        std::string mediaPath;
    };
    // What was read of a file's media: for changes[change], additions[addition] or
    // mediaOnly[unchanged].
    struct Media {
        int change = -1;
        int addition = -1;
        int unchanged = -1;
        MediaFacts facts;
        QByteArray thumbnail;
    };

    qint64 discId = 0;
    QString root;         // the root prefix walked
    bool newRoot = false; // the root becomes the disc's SourcePath
    std::vector<qint64> removals;
    std::vector<Change> changes;
    std::vector<Addition> additions;
    std::vector<MediaOnly> mediaOnly;
    std::vector<Media> media;
    ScanFacts facts; // the disc's facts after the rescan
};

// The options a rescan of disc `discId` repeats: those it was imported with (or last
// rescanned with), the defaults where none were stored, names read in `nameEncoding` then;
// the root is the disc's SourcePath. Nothing for a disc that is not there. Throws DbError.
std::optional<ScanParams> rescanOptions(Database& db, qint64 discId,
                                        const QString& nameEncoding = {});

// Walks `root` (empty: the disc's SourcePath) and compares it with disc `discId` of `db`,
// writing nothing. `plan` receives what applyRescan() would write. The walk repeats
// rescanOptions(), or takes `options` instead (their root and disc are not used); the plan
// stores what it walked with for the next rescan. Where the options now read what they did
// not (checksums, archives), files that are unchanged are read too; where archives are no
// longer listed, their members go. Without `takeHashes` (a report that will not be applied)
// nothing is hashed, and the plan lacks those hashes. Never throws.
RescanReport compareRescan(Database& db, qint64 discId, const QString& root, const ScanHooks& hooks,
                           RescanPlan& plan, const QString& nameEncoding = {},
                           bool takeHashes = true,
                           const std::optional<ScanParams>& options = std::nullopt);

// Writes `plan` in one transaction, with the disc's new scan time and state (and its new
// SourcePath). False, with nothing written, on a cancel (`cancel` is checked now and then)
// or a failure, whose text goes to `error`. Never throws.
bool applyRescan(Database& db, const RescanPlan& plan, const std::atomic<bool>* cancel,
                 QString* error = nullptr);

// The rescan in two steps for the window: a job compares, and once the user has read the
// report and agreed, a second job applies the plan. Each opens the catalog file for itself.
class RescanJob final : public Job {
    Q_OBJECT

public:
    // Compares disc `discId` of `catalog` with `root` (empty: its SourcePath), walking with
    // `options` where given (see compareRescan()).
    RescanJob(const QString& catalog, qint64 discId, const QString& root = {},
              const QString& nameEncoding = {}, std::optional<ScanParams> options = std::nullopt,
              QObject* parent = nullptr);
    // Applies a plan an earlier job made.
    RescanJob(const QString& catalog, std::shared_ptr<const RescanPlan> plan,
              QObject* parent = nullptr);
    ~RescanJob() override;

    // After finished(). For a compare: the report (its error names a catalog that could not
    // be opened) and the plan. For an apply: applied() and the report's error.
    const RescanReport& report() const { return m_report; }
    std::shared_ptr<const RescanPlan> plan() const { return m_plan; }
    bool applied() const { return m_applied; }
    // After an apply: what was written, for the search index.
    const searchstore::WriteReport& written() const { return m_written; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const qint64 m_discId = 0;
    const QString m_root;
    const QString m_nameEncoding;
    const std::optional<ScanParams> m_options;
    const bool m_apply = false;
    std::shared_ptr<const RescanPlan> m_plan;
    RescanReport m_report;
    bool m_applied = false;
    searchstore::WriteReport m_written;
};

} // namespace vorlane
