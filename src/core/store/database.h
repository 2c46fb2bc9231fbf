// A small RAII layer over the SQLite C API: one connection per catalog file, prepared
// statements with bound values, rows read by column name.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace vorlane {

// Every failure of the database layer. `text()` carries the engine's own message; a full
// disk is told in the system's words.
class DbError : public std::runtime_error {
public:
    // The causes a caller words for the user itself.
    enum class Cause { Other, Busy, DiskFull, FolderReadOnly };

    explicit DbError(const QString& text, Cause cause = Cause::Other);
    // The last failure on the connection `db`.
    static DbError fromEngine(sqlite3* db);
    QString text() const { return m_text; }
    Cause cause() const { return m_cause; }

private:
    QString m_text;
    Cause m_cause = Cause::Other;
};

class Database {
public:
    enum class Mode { ReadWrite, ReadOnly, Create };

    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing catalog. A file that is not a SQLite database holding the
    // catalog's four tables, with the columns the program reads, is refused with a
    // DbError. A file that cannot be written, or whose folder cannot, is opened read-only. `Create`
    // makes an empty SQLite file (used only to build templates).
    void open(const QString& path, Mode mode = Mode::ReadWrite);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    bool isReadOnly() const;
    QString path() const { return m_path; }

    // Closes and opens again on the same file ("set connected").
    void reopen();

    // While another connection holds the lock, wait up to `ms` for it (instead of the
    // default 2 s); `onWait` runs once, when the first wait begins. Applies to this
    // connection and to later opens.
    void setBusyWait(int ms, std::function<void()> onWait);

    // Runs one statement (or, with no parameters, several separated by ';').
    void exec(const QString& sql, const QVariantList& params = {});
    // First column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    // Exact number of rows the select would return.
    qint64 count(const QString& sql, const QVariantList& params = {});

    qint64 lastInsertId() const;
    int changes() const;

    void begin();
    void commit();
    // Also after a write that failed (a full disk): the engine may have ended the
    // transaction itself, keeping its journal to play back at the next read. The rollback
    // reads once, so that happens at once and no journal stays beside the file.
    void rollback();
    bool inTransaction() const;

    // Rebuilds the open database in place, smaller (VACUUM). Row ids, the file's inode,
    // links and permissions are kept. Other connections are ordered by the engine's locks:
    // this waits for their writes like any writer, and theirs wait for it.
    void vacuum();
    // Writes a consistent snapshot of the open database into the database file `dest`
    // (empty or not yet there), with the engine's online backup. Without `between`, in one
    // step under one read lock. With it, a few pages a step, calling `between` after each
    // with no lock held (it may wait; false stops the copy, which then throws).
    void backupTo(const QString& dest, const std::function<bool()>& between = {});

    sqlite3* handle() const { return m_db; }

    // True when the open file holds the catalog's tables and their columns.
    bool hasCatalogTables();

    // Answers about the open file's schema that readers ask often, kept until the file is
    // closed or its schema is changed through this connection (forgetSchemaFacts()).
    struct SchemaFacts {
        std::optional<bool> version2;  // hasVersion2Columns()
        std::optional<bool> version3;  // hasVersion3Columns()
        std::optional<bool> version4;  // hasVersion4Columns()
        std::optional<bool> version6;  // hasVersion6Columns()
        std::optional<bool> media;     // hasMediaTables()
        std::optional<bool> changeTag; // hasChangeTag()
        qint64 changeTagSchema = -1;   // the schema version changeTag was found at
    };
    SchemaFacts& schemaFacts() { return m_schemaFacts; }
    void forgetSchemaFacts() { m_schemaFacts = {}; }

private:
    static int onBusy(void* self, int attempt);
    void applyBusyWait();
    int effectiveBusyMs() const;

    sqlite3* m_db = nullptr;
    QString m_path;
    Mode m_mode = Mode::ReadWrite;
    int m_busyMs = -1; // -1: the default timeout
    std::function<void()> m_onWait;
    bool m_waitTold = false;
    std::chrono::steady_clock::time_point m_waitStart;
    SchemaFacts m_schemaFacts;
};

// A prepared statement. Values are bound by position (from 1) or by ":name".
class Query {
public:
    Query(Database& db, const QString& sql);
    Query(Database& db, const QString& sql, const QVariantList& params);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    Query(Query&& other) noexcept;

    Query& bind(int index, const QVariant& value);
    Query& bind(const QString& name, const QVariant& value);
    Query& bindAll(const QVariantList& values);

    // Steps to the next row; false at the end of the data.
    bool next();
    // Runs a statement that returns no rows.
    void exec();
    // Back to before the first row, keeping the bound values.
    void reset();
    void clearBindings();

    int columnCount() const;
    int columnIndex(const QString& name) const; // -1 when absent; names match without case
    bool isNull(const QString& name) const;
    bool isNull(int column) const;
    // Reading a null as text, integer or boolean throws DbError; use the *Or forms to
    // substitute a value.
    QString text(const QString& name) const;
    QString text(int column) const;
    QString textOr(const QString& name, const QString& fallback = {}) const;
    QString textOr(int column, const QString& fallback = {}) const;
    qint64 integer(const QString& name) const;
    qint64 integer(int column) const;
    qint64 integerOr(const QString& name, qint64 fallback) const;
    bool boolean(const QString& name) const;
    QVariant value(const QString& name) const;
    QVariant value(int column) const;

    sqlite3_stmt* statement() const { return m_stmt; }

private:
    int requireColumn(const QString& name) const;
    void bindValue(int index, const QVariant& value);

    Database* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_hasRow = false;
    mutable QStringList m_columnNames; // filled on the first lookup by name
};

// Append or edit one row of a table, then post it.
//   Record r(db, "qClass"); r.set("TreeName", name); qint64 id = r.append();
//   Record e(db, "qClass"); e.set("OrderId", 3); e.update(id);
class Record {
public:
    Record(Database& db, const QString& table);
    Record& set(const QString& column, const QVariant& value);
    // Inserts the row and returns its new AutoId.
    qint64 append();
    // Updates the row with this AutoId; returns false when no such row exists.
    bool update(qint64 autoId);

private:
    Database& m_db;
    QString m_table;
    QStringList m_columns;
    QVariantList m_values;
};

// Rolls back unless committed. Bulk work (the scan, the tree save) calls checkpoint()
// after each row: what is there is committed about every `interval` and at the end, so a
// cancelled or failed run keeps every row committed so far, while a commit per row would
// make the work many times slower.
class Transaction {
public:
    static constexpr std::chrono::milliseconds CommitInterval{250};

    explicit Transaction(Database& db, std::chrono::milliseconds interval = CommitInterval);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    // Once `interval` has passed since the last commit (at once for an interval of 0),
    // commits what is there and starts a new transaction. Throws DbError when either fails.
    void checkpoint();
    // Runs after every successful commit, the one of a checkpoint included.
    void setOnCommit(std::function<void()> onCommit) { m_onCommit = std::move(onCommit); }
    // False once committed, or when the engine has rolled the work back after a failure.
    bool isActive() const;

private:
    Database& m_db;
    bool m_open = false;
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_lastCommit;
    std::function<void()> m_onCommit;
};

// A read transaction for its lifetime: every read through `db` sees one snapshot, however
// others write meanwhile. Ended (never committing anything) when it goes.
class ReadSnapshot {
public:
    explicit ReadSnapshot(Database& db) : m_db(db) { m_db.begin(); }
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

private:
    Database& m_db;
};

// The SQLite library's version, e.g. "3.40.1".
QString engineVersion();

} // namespace vorlane
