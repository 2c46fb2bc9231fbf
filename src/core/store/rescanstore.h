// What a rescan reads of a disc's entries and how it writes its changes back (no widgets).
#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane {

class Database;
class Query;

namespace rescanstore {

// One qCDFiles row of a disc as the rescan compares it with the file system. The texts view
// the engine's row and last only until the next row is read.
struct StoredRow {
    qint64 id = 0;
    qint64 fatherId = 0;
    std::string_view name;  // the file system's bytes: FName where stored, else TreeName
    std::string_view shown; // TreeName where FName is stored; empty: the same as `name`
    std::string_view link;
    bool isDir = false;
    bool hasNote = false; // TreeExp holds text (noteOf() reads it)
    qint64 size = 0;
    std::optional<qint64> mtime;
    int archive = 0; // 0 ordinary, 1 an archive with its members below it, 2 a member
    int special = 0; // qCDFiles.Special: 0 an ordinary file, else a FIFO, device or socket
};

// Every row of disc `discId`, in no particular order, until `onRow` returns false. Columns a
// catalog lacks read as empty.
void readEntries(Database& db, qint64 discId, const std::function<bool(const StoredRow&)>& onRow);

// Reads the notes (TreeExp) of single rows with one prepared statement. Throws DbError.
class NoteReader {
public:
    explicit NoteReader(Database& db);
    ~NoteReader();
    NoteReader(const NoteReader&) = delete;
    NoteReader& operator=(const NoteReader&) = delete;

    QString noteOf(qint64 id);

private:
    std::unique_ptr<Query> m_query;
};

// Writes a rescan's changes with prepared statements reused for every row; the caller holds
// the transaction. Each call throws DbError.
class ChangeWriter {
public:
    explicit ChangeWriter(Database& db);
    ~ChangeWriter();
    ChangeWriter(const ChangeWriter&) = delete;
    ChangeWriter& operator=(const ChangeWriter&) = delete;

    // Deletes one row (only that row: the caller names every row of a branch).
    void remove(qint64 id);
    // A file that changed: its new size, time, link target, content hash (empty: none was
    // taken, and a stale one goes), archive mark (0 ordinary, 1 a listed archive, 2 a
    // member) and special kind (0 none). Its note is replaced by `note` (empty: none) when
    // that holds one.
    void change(qint64 id, qint64 size, std::optional<qint64> mtime, std::string_view link,
                std::string_view hash, int archive, int special,
                const std::optional<std::string>& note);
    // A row that is otherwise unchanged gets the time the file system has now.
    void retime(qint64 id, std::optional<qint64> mtime);

private:
    Database& m_db;
    bool m_facts; // the time and link columns
    bool m_v3;    // the hash and archive columns
    bool m_v4;    // the special-file column
    std::unique_ptr<Query> m_remove;
    std::unique_ptr<Query> m_change;
    std::unique_ptr<Query> m_retime;
};

} // namespace rescanstore
} // namespace vorlane
