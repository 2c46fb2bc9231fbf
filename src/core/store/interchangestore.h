// Reading and writing whole rows of the catalog for export and merge (no widgets). Rows
// are carried column by column under the catalog's own column names, so a column added by
// a later schema travels without any change here, and a catalog that lacks one simply
// leaves it out.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vorlane {

class Database;
class Query;

// One value as the engine holds it. `bytes` (text as UTF-8, or a blob) stays valid only
// while the callback that received it runs, unless its owner says otherwise.
struct Cell {
    enum class Type : quint8 { Null, Integer, Real, Text, Blob };
    Type type = Type::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArrayView bytes;
};

// One row: parallel column names and values.
struct RowView {
    const std::vector<QByteArray>* names = nullptr;
    const Cell* cells = nullptr;
    int count = 0;

    // The column's index, letter case ignored; -1 when absent.
    int indexOf(QByteArrayView name) const;
    // The column's value as an integer column stores it (see storedInteger), or `fallback`
    // when absent or not an integer.
    qint64 integerOr(QByteArrayView name, qint64 fallback) const;
    // The column's text (blobs read as Latin-1 is never wanted: they give a null string).
    QString textOr(QByteArrayView name, const QString& fallback = {}) const;
};

using RowCallback = std::function<bool(const RowView&)>; // false stops the reading

// The integer that a column declared `integer` stores for this value: the engine turns a
// whole real, or text that reads as a whole number, into one. Nullopt for anything else
// (null, a fraction, other text, bytes), which can name no row.
std::optional<qint64> storedInteger(const Cell& cell);

// The order-relevant facts of a disc, for laying discs out in tree order.
struct DiscKey {
    qint64 id = 0;
    qint64 categoryId = 0; // a null ClassId counts as 0
    qint64 orderId = 0;
};

namespace interchangestore {

// Every row of `q` as cells.
void readQuery(Query& q, const RowCallback& onRow);
// Every category row, every column, in AutoId order.
void readCategories(Database& db, const RowCallback& onRow);
// Every disc's id, category and order.
std::vector<DiscKey> discKeys(Database& db);
// One disc's row with every column; false when there is no such disc.
bool readDisc(Database& db, qint64 discId, const RowCallback& onRow);
// Entries of the whole catalog (`discId` nullopt) or of one disc, every column, in AutoId
// order. Read in the table's own order, so even a million rows stream with flat memory.
void readEntries(Database& db, std::optional<qint64> discId, const RowCallback& onRow);
// One disc's entries level by level (grouped by folder, folders first), in the order of
// the index that lists a level, so no sort is needed.
void readEntriesByFolder(Database& db, qint64 discId, const RowCallback& onRow);
// Reads single entries by id, every column, one prepared statement for all of them.
class EntryLookup {
public:
    explicit EntryLookup(Database& db);
    ~EntryLookup();
    // False when there is no such entry.
    bool read(qint64 entryId, const RowCallback& onRow);

private:
    std::unique_ptr<Query> m_query;
    std::vector<QByteArray> m_names; // the statement's columns, read once
    std::vector<Cell> m_cells;
};
// Number of entries of these discs.
qint64 countEntries(Database& db, const std::vector<qint64>& discIds);

// Adds rows of another catalog (or of an export) to this one, in one transaction: either
// everything is committed or, on any failure or when the writer is dropped uncommitted,
// nothing is. Throws DbError.
class MergeWriter {
public:
    explicit MergeWriter(Database& db);
    ~MergeWriter();
    MergeWriter(const MergeWriter&) = delete;
    MergeWriter& operator=(const MergeWriter&) = delete;

    // Appends a category under a new id (its parent is set later, by setCategoryParent).
    // Columns the catalog does not have are left out.
    qint64 addCategory(const RowView& row);
    void setCategoryParent(qint64 categoryId, qint64 parentId);
    // Appends a category named `name` at the top level, after everything there.
    qint64 addTopCategory(const QString& name);
    // The name of a disc that was in the catalog before the merge and has this volume
    // label or, when `label` is empty, this name; nullopt when there is none.
    std::optional<QString> existingDisc(const QString& label, const QString& name);
    // Appends a disc under a new id in category `categoryId`.
    qint64 addDisc(const RowView& row, qint64 categoryId);
    // Appends an entry of disc `discId`. Its id and its parent's id are moved above every
    // id the catalog had, by one offset for the whole merge, so links between entries and
    // their order hold without remembering each id. Throws DbError for an id out of range.
    // Returns the entry's new id.
    qint64 addEntry(const RowView& row, qint64 discId);
    // The id that the source's entry `sourceId` was given by addEntry() in this merge;
    // nullopt when no such entry was added.
    std::optional<qint64> mergedEntry(qint64 sourceId);
    void commit();
    // The catalog written to, for further writes inside the merge's transaction.
    Database& database() { return m_db; }

    struct Table;

private:
    qint64 insert(Table& table, const RowView& row, const QHash<QByteArray, Cell>& overrides);

    Database& m_db;
    std::unique_ptr<Table> m_categories;
    std::unique_ptr<Table> m_discs;
    std::unique_ptr<Table> m_entries;
    std::unique_ptr<Query> m_entryExists;
    qint64 m_lastDiscBefore = 0;
    qint64 m_entryOffset = 0;
    bool m_open = false;
};

} // namespace interchangestore
} // namespace vorlane
