// Reading and changing a disc's entries in the catalog (no widgets): the list fills, the
// folder levels of the content tree, hand-made entries, notes, recursive deletes and the
// scan's writer.
#pragma once

#include "core/store/foreignhash.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

struct sqlite3_stmt;

namespace vorlane {

class Database;
class Query;

// qCDFiles.Archive: an archive whose members are listed below it, and such a member (a
// folder or a file inside the archive).
enum class ArchiveMark { None = 0, Archive = 1, Member = 2 };

// qCDFiles.Special: a file that is none of a regular file, a folder or a link. Such a file
// is catalogued with size 0 and never opened.
enum class SpecialKind { None = 0, Fifo = 1, CharDevice = 2, BlockDevice = 3, Socket = 4 };

// The stored value as a kind; anything unknown is an ordinary file.
SpecialKind specialKind(qint64 stored);

// One row of qCDFiles as the file list shows it.
struct Entry {
    qint64 id = 0;
    QString name;
    qint64 size = 0;
    QString note;
    QString path; // FPath: the folder's own path, or the holding folder's path for a file
    bool isDir = false;
    std::optional<qint64> mtime; // seconds since 1970 UTC; unknown for older or hand-made rows
    QString link;                // a symbolic link's target; empty for anything else
    ArchiveMark archive = ArchiveMark::None;
    SpecialKind special = SpecialKind::None;
};

struct FolderRef {
    qint64 id = 0;
    QString name;
};

namespace contentstore {

// True when `folderId` is a folder of disc `discId`.
bool isFolderOf(Database& db, qint64 folderId, qint64 discId);

// True when `entryId` lists entries of disc `discId`: a folder, or an archive whose
// members are listed below it.
bool isListingOf(Database& db, qint64 entryId, qint64 discId);

struct EntryLink {
    qint64 fatherId = 0;
    ArchiveMark archive = ArchiveMark::None;
};
// The entry's parent and archive mark; nullopt when there is no such entry.
std::optional<EntryLink> entryLink(Database& db, qint64 entryId);

// The archive row that a member (file or folder) lies in; 0 when `memberId` is not a
// member of a listed archive.
qint64 archiveOf(Database& db, qint64 memberId);

// An entry's note (empty when it has none); nullopt when there is no such entry.
std::optional<QString> entryNote(Database& db, qint64 entryId);

// Number of entries at a disc's top level.
qint64 countTopLevel(Database& db, qint64 discId);

// Number of entries directly inside a folder.
qint64 countChildren(Database& db, qint64 folderId);

// Entries of one level, folders first, each group in stored order. `discId` is used only
// for the top level (`folderId` 0); a folder lists the entries of its own disc. `onRow`
// returns false to stop reading early.
void readLevel(Database& db, qint64 discId, qint64 folderId,
               const std::function<bool(Entry&&)>& onRow);

// The path of an entry below its disc's root as the file system names it ("/A/B/f.txt"):
// the raw name (FName) of the entry and of each folder above it where one is stored, else
// its name as UTF-8. Joined to the disc's location it gives the real path, also for
// names that are not UTF-8. Nullopt when there is no such entry; a damaged loop of
// parent links ends the path where it comes round again.
std::optional<QByteArray> rawEntryPath(Database& db, qint64 entryId);

// The stored bytes of names that are not UTF-8 (FName), entry by entry, through one
// statement: for listings that must tell such a name from text that looks like it.
class RawNames {
public:
    explicit RawNames(Database& db);
    ~RawNames();
    RawNames(const RawNames&) = delete;
    RawNames& operator=(const RawNames&) = delete;
    // The entry's name bytes when they are not UTF-8; empty otherwise.
    QByteArray of(qint64 entryId);

private:
    Database& m_db;
    bool m_prepared = false;        // made at the first look-up: most listings never need it
    std::unique_ptr<Query> m_query; // null: the catalog stores no such bytes
    // After many lookups, every such name read at once: one pass over the table costs
    // less than a lookup per row of a long listing.
    qint64 m_lookups = 0;
    std::unique_ptr<QHash<qint64, QByteArray>> m_all;
};

// Sub-folders of a folder, in stored order.
std::vector<FolderRef> subFolders(Database& db, qint64 folderId);

// FPath for a hand-made entry below `parentId` (0: the disc's top level): a folder names
// itself, a file names the folder holding it. Unknown parents count as the top level;
// `parentId` is set to 0 in that case.
QString pathForNewEntry(Database& db, qint64& parentId, const QString& name, bool isDir);

// Appends an entry made by hand (size 0, no note) and returns its AutoId.
qint64 addEntry(Database& db, qint64 discId, qint64 parentId, const QString& name,
                const QString& path, bool isDir);

// Writes an entry's note; false when the entry no longer exists.
bool setNote(Database& db, qint64 entryId, const QString& note);

// Removes an entry and everything below it at any depth, in one transaction. `progress`
// gets the rows removed so far; `cancel` returning true rolls everything back. Returns
// the number of rows removed (0 after a cancel). Damaged parent links that loop back are
// followed only once.
qint64 removeTree(Database& db, qint64 entryId,
                  const std::function<void(qint64 done, qint64 total)>& progress = {},
                  const std::function<bool()>& cancel = {});
// The same for several entries at once, all in one transaction: either every branch goes
// or, on a failure or a cancel, none does.
qint64 removeTrees(Database& db, const QList<qint64>& entryIds,
                   const std::function<void(qint64 done, qint64 total)>& progress = {},
                   const std::function<bool()>& cancel = {});

// A stored file as the verify reads it back.
struct StoredFile {
    qint64 id = 0;
    qint64 fatherId = 0;
    QString name;   // TreeName
    QString path;   // FPath: the holding folder's path
    QByteArray raw; // the name's own bytes (FName), else empty
    qint64 size = 0;
    std::optional<qint64> mtime;
    QByteArray hash;      // FHash; empty when none was taken
    bool skipped = false; // a symbolic link or an archive's member: nothing to read back
    SpecialKind special = SpecialKind::None; // a FIFO, a device or a socket: not read either
    std::vector<ForeignHash> foreign;        // hashes brought in from another program's listing
};

struct StoredFolder {
    qint64 id = 0;
    qint64 fatherId = 0;
    QByteArray name; // the name's bytes on the file system (FName, else TreeName as UTF-8)
};

// Every folder of a disc, for building its files' paths. Short: folders are few.
std::vector<StoredFolder> discFolders(Database& db, qint64 discId);
// Up to `limit` files of a disc, in AutoId order, after the file `afterId`. Read a page at
// a time, so that no read lasts long enough to hold up a writer.
std::vector<StoredFile> discFiles(Database& db, qint64 discId, qint64 afterId, int limit);

struct DiscFileTotals {
    qint64 files = 0;   // files to read back: not links, archive members or special files
    qint64 bytes = 0;   // their stored sizes
    qint64 hashed = 0;  // of them, those with a stored hash
    qint64 foreign = 0; // of them, those without one but with a hash brought in
};
DiscFileTotals discFileTotals(Database& db, qint64 discId);

// One folder or file as the scan found it. The views must stay valid until add() returns.
struct ScannedEntry {
    std::string_view name; // UTF-8, as shown (TreeName)
    std::string_view path; // FPath: the folder's own path, or the holding folder's path
    qint64 size = 0;       // a folder is stored with size 0
    bool isDir = false;
    qint64 fatherId = 0;
    std::optional<qint64> mtime; // seconds since 1970 UTC (FTime)
    std::string_view raw;        // the file system's bytes when they are not UTF-8 (FName)
    std::string_view link;       // a symbolic link's target (Link)
    std::string_view hash;       // the content's hash (FHash), 16 bytes; empty: none taken
    std::string_view note;       // TreeExp, e.g. why an archive's contents are missing
    ArchiveMark archive = ArchiveMark::None;
    SpecialKind special = SpecialKind::None; // (Special)
};

// The scan's writer: one qCDFiles row per folder or file of a disc, through prepared
// statements reused for every row. With `rowsPerStatement` above 1, rows wait and go in
// that many at a time, which spares the engine most of its work per statement; the AutoId
// add() returns is then the one the row will be given, since the ids of a transaction's
// rows follow one another.
class EntryWriter {
public:
    EntryWriter(Database& db, qint64 discId, int rowsPerStatement = 1);
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    // Stores one row, or has it wait, and returns its AutoId. A waiting row's views must
    // stay valid until flush(). Throws DbError.
    qint64 add(const ScannedEntry& e);
    // Stores the rows that wait; call it before every commit. Throws DbError.
    void flush();
    // Rows stored so far, waiting ones not counted.
    qint64 stored() const { return m_stored; }

private:
    void bindRow(sqlite3_stmt* st, int base, const ScannedEntry& e);
    void step(sqlite3_stmt* st);

    Database& m_db;
    std::unique_ptr<Query> m_insert; // one row
    std::unique_ptr<Query> m_many;   // m_rowsPerStatement rows
    int m_rowsPerStatement;
    int m_columns = 7;
    std::vector<ScannedEntry> m_waiting;
    qint64 m_nextId = 0; // the AutoId the next row gets; 0 until a row of this run is stored
    qint64 m_stored = 0;
    bool m_facts; // the catalog has the time, raw-name and link columns
    bool m_v3;    // ... and the archive mark and content-hash columns
    bool m_v4;    // ... and the special-file column
};

} // namespace contentstore
} // namespace vorlane
