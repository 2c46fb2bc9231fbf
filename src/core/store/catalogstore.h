// The catalog's categories and discs (no widgets): the tree as the window and the command
// line show it, the disc rows with their notes and source paths, the order of new rows,
// the import's disc row, and the save that writes the whole category tree back.
//
// Entries of a disc are in contentstore.h, the search's reads in searchstore.h and the
// passwords in passwords.h; together with these they are every statement the program runs.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace vorlane {

class Database;

// A category's or a disc's row as the tree shows it.
struct TreeNodeRow {
    qint64 id = 0;
    QString name;
    bool incomplete = false; // a disc whose import was cancelled or failed
};

// Categories and discs, each grouped by their parent (FatherId, ClassId; a null parent
// counts as 0) and each group in OrderId order (ties in AutoId order). A category without
// a name reads as empty, a disc without one as "未命名".
struct CatalogTree {
    QHash<qint64, QList<TreeNodeRow>> categories;
    QHash<qint64, QList<TreeNodeRow>> discs;
};

// The shown disc's row of qCD.
struct DiscRow {
    qint64 id = 0;
    QString name; // CDName; null when the row has none
    QString sourcePath;
    QString note; // CDExp as stored
};

// How a disc's last import ended (qCD.ScanState).
enum class ScanState { Complete = 0, Cancelled = 1, Failed = 2 };

// What a disc's import recorded about it.
struct ScanFacts {
    std::optional<qint64> scanTime; // when the import ended, seconds since 1970 UTC
    ScanState state = ScanState::Failed;
    QString fsType;                 // the file system it was read from; empty when unknown
    std::optional<qint64> capacity; // that file system's size in bytes
    QString options;                // the import's options (scanOptionsText()); empty: none
};

// A disc's facts: what its import recorded (empty for discs from older catalogs, and
// wherever the catalog lacks the columns) and what its rows hold now.
struct DiscFacts {
    std::optional<qint64> scanTime;
    std::optional<ScanState> state; // nullopt: unknown
    QString fsType;
    std::optional<qint64> capacity;
    QString options; // the import's options, as ScanFacts::options
    qint64 folders = 0;
    qint64 files = 0;
    qint64 totalSize = 0; // bytes of all its files, links counting 0: its folders' totals summed
    // Files and folders listed inside its archives; not among the counts above, which are
    // what the disc itself holds (an archive counts as one file of its own size).
    qint64 members = 0;
};

struct NewDisc {
    QString name;      // CDName
    qint64 categoryId; // ClassId
    qint64 orderId;    // OrderId
    QString rootPath;  // stored as SourcePath without trailing "/" ("/" gives "")
    QString label;     // CDId; not written when empty (an import from a directory)
};

// One node of the category tree as it is saved, in display order (a node, everything
// below it, then its next sibling). A row's position is its OrderId.
struct TreeSaveRow {
    bool isDisc = false;
    qint64 id = 0;   // 0: a category added since the last save, appended
    QString name;    // a category's empty name is stored as "新分类"
    int parent = -1; // index of the parent's row in the same list; -1 at the top level
};

struct TreeSaveHooks {
    // Rows written so far out of all of them; at most about every 30 ms and at the end.
    std::function<void(qsizetype done, qsizetype total)> progress;
    // The category row at this index could not be written (its name too long for the
    // column, or the file not writable). The save stops there, after committing what
    // was written before it.
    std::function<void(qsizetype row)> rowFailed;
};

struct TreeSaveResult {
    bool saved = false;
    // The engine's text when the save failed for another reason than a category row (a
    // disc update, a commit, the transaction); empty otherwise.
    QString error;
    // Each row's id after the save: a new category's new AutoId once it is committed, 0
    // when it was not (a failed commit takes the new rows with it, so the next save
    // appends them again). Rows after a failure keep the ids they came with.
    std::vector<qint64> ids;
    // Category rows appended, committed or not.
    int appended = 0;
};

namespace catalogstore {

// Category names are limited to 50 bytes of their GBK form.
constexpr int CategoryNameBytes = 50;

// Number of category and disc rows: the steps of loading the tree.
qint64 treeRowCount(Database& db);

// Every category and disc, grouped for building the tree.
CatalogTree loadTree(Database& db);

bool categoryExists(Database& db, qint64 categoryId);
// The category's name; nullopt when there is no such category.
std::optional<QString> categoryName(Database& db, qint64 categoryId);
// Appends a category (its name limited as the tree save limits it) and returns its AutoId.
qint64 addCategory(Database& db, const QString& name, qint64 parentId, qint64 orderId);
// Removes a category's row (the categories and discs below it stay, unreachable).
void removeCategory(Database& db, qint64 categoryId);

// The OrderId for a new disc or category. The window passes the count of tree node ids
// it has handed out (`nodeSerial`) and gets the next one, so that a new disc follows what
// the window shows; without it, one after every category's and disc's OrderId, so a new
// row sorts last among its siblings. Either way the window's next save renumbers the
// whole tree.
qint64 nextOrderId(Database& db, std::optional<qint64> nodeSerial = std::nullopt);

bool discExists(Database& db, qint64 discId);
// The disc's row; nullopt when there is no such disc.
std::optional<DiscRow> discRow(Database& db, qint64 discId);
// Writes a disc's note; false when the disc no longer exists.
bool setDiscNote(Database& db, qint64 discId, const QString& note);
// Writes a disc's source path, and with it its note when one is given; false when the
// disc no longer exists.
bool setDiscSource(Database& db, qint64 discId, const QString& sourcePath,
                   const std::optional<QString>& note = std::nullopt);
// Removes a disc's row and all its entries, in one transaction.
void removeDisc(Database& db, qint64 discId);

// The category name of the first disc already stored with volume label `label`: empty
// when there is none, or when that disc's category no longer exists. The label is bound,
// so any character (quotes included) is safe. Throws DbError.
QString duplicateCategory(Database& db, const QString& label);
// Appends the qCD row and returns its AutoId. The row reads as a failed import until
// setScanFacts() records how the import ended, so one that is killed half-way never looks
// complete. Throws DbError.
qint64 addDiscRow(Database& db, const NewDisc& disc);
// Records how a disc's import went; false when the catalog has no columns for it (nothing
// is written then) or the disc no longer exists. Throws DbError.
bool setScanFacts(Database& db, qint64 discId, const ScanFacts& facts);
// The disc's facts; nullopt when there is no such disc. The counts and the total size are
// read from its rows each time, so they never disagree with them; without `counted` they
// are left 0 (they cost a pass over the disc's rows).
std::optional<DiscFacts> discFacts(Database& db, qint64 discId, bool counted = true);
// Discs whose import was cancelled or failed, by AutoId: (id, state).
std::vector<std::pair<qint64, ScanState>> incompleteDiscs(Database& db);

// Writes the whole category tree: each disc's name, order and category, each category's
// name, parent and order, appending the new categories. The rows are committed about
// every 250 ms and at the end; a failure stops the save after committing what was
// written before it. Never throws DbError: failures are in the result.
TreeSaveResult saveCategoryTree(Database& db, const std::vector<TreeSaveRow>& rows,
                                const TreeSaveHooks& hooks = {});

} // namespace catalogstore
} // namespace vorlane
