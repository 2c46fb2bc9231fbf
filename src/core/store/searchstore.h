// The search's reads (no widgets): row counts, the discs in tree order, the entries that
// pass a test run inside the statement, and disc names by id. Texts come as UTF-8 bytes
// straight from the engine, so that testing a row builds no string.
#pragma once

#include <QHash>
#include <QString>
#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3_context;
struct sqlite3_value;

namespace vorlane {

class Database;
class Query;

namespace searchstore {

// A column's UTF-8 bytes, valid until the cursor moves; `data` is null for a null value.
struct Utf8 {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// Rows a search reads: every disc, plus the folders and the files when `folders` and
// `files` say so.
qint64 rowCount(Database& db, bool folders, bool files);

// Every disc, in OrderId order (ties in AutoId order).
class Discs {
public:
    explicit Discs(Database& db);
    ~Discs();
    bool next();
    Utf8 name() const;
    Utf8 note() const;
    QString nameText() const;
    qint64 id() const;

private:
    std::unique_ptr<Query> m_query;
};

// Decides for each entry row, inside the statement, whether it comes back.
class EntryTest {
public:
    enum class Verdict { Hit, Miss, Stop };
    // `kind`: 1 a folder, 0 a file, -1 neither (a damaged row).
    // `time` is FTime, nullopt when unknown.
    virtual Verdict test(qint64 kind, Utf8 name, Utf8 note, qint64 size,
                         std::optional<qint64> time) = 0;

protected:
    ~EntryTest() = default;
};

// The entries that `test` passes, in AutoId order. `db` must have no statement running
// (the test is added to the connection as a function while the cursor lives).
class MatchingEntries {
public:
    MatchingEntries(Database& db, EntryTest& test);
    ~MatchingEntries();
    // False at the end, or once the test has said Stop. An exception thrown by the test
    // ends the read and is rethrown here. Throws DbError when the catalog cannot be read.
    bool next();
    bool isFolder() const;
    QString name() const;
    qint64 id() const;
    qint64 discId() const;
    qint64 folderId() const; // FatherId
    qint64 size() const;
    std::optional<qint64> time() const; // FTime; nullopt when unknown

private:
    static void call(sqlite3_context* context, int argc, sqlite3_value** argv);
    Database& m_db;
    EntryTest& m_test;
    std::unique_ptr<Query> m_query;
    bool m_stopped = false;
    std::exception_ptr m_failure;
};

// Disc names by id, each read once; empty for a disc that does not exist.
class DiscNames {
public:
    explicit DiscNames(Database& db);
    ~DiscNames();
    QString operator()(qint64 discId);

private:
    Database& m_db;
    std::unique_ptr<Query> m_query;
    QHash<qint64, QString> m_names;
};

// Which entry rows IndexRows reads instead of all: those with one of `ids`, and every row
// of the discs `discs`.
struct RowPick {
    std::vector<qint64> ids;
    std::vector<qint64> discs;
};

// What the in-memory search index reads of every entry (or of the rows `pick` names), in
// AutoId order, in one pass.
class IndexRows {
public:
    explicit IndexRows(Database& db, const RowPick* pick = nullptr);
    ~IndexRows();
    bool next();
    qint64 id() const;
    qint64 discId() const;
    qint64 fatherId() const;
    // 1 a folder, 0 a file, anything else neither (a damaged row), as the search reads it.
    qint64 kind() const;
    Utf8 name() const;
    Utf8 note() const;
    qint64 size() const;
    std::optional<qint64> time() const; // FTime; nullopt when unknown or not in the catalog
    // Archive: 1 an archive listed as a folder, 2 one of its members, else 0 (also in a
    // catalog from before the column).
    qint64 archive() const;

private:
    std::unique_ptr<Query> m_query;
    bool m_hasTime = false;
    bool m_hasArchive = false;
};

// The media facts the search filters on, of every entry that has any (or of the rows `pick`
// names), in EntryId order; none in a catalog without the table.
class IndexMedia {
public:
    explicit IndexMedia(Database& db, const RowPick* pick = nullptr);
    ~IndexMedia();
    bool next();
    qint64 entryId() const;
    qint64 kind() const; // MediaKind's value; 0 when unknown
    std::optional<qint64> width() const;
    std::optional<qint64> taken() const; // the camera's wall time counted as UTC
    std::optional<qint64> durationMs() const;
    Utf8 make() const;
    Utf8 model() const;
    Utf8 title() const;
    Utf8 artist() const;
    Utf8 album() const;

private:
    std::optional<qint64> number(int column) const;
    std::unique_ptr<Query> m_query;
};

// Every disc in OrderId order (ties in AutoId order) with what the index keeps of it.
class IndexDiscs {
public:
    explicit IndexDiscs(Database& db);
    ~IndexDiscs();
    bool next();
    qint64 id() const;
    qint64 categoryId() const;
    Utf8 name() const;
    Utf8 note() const;

private:
    std::unique_ptr<Query> m_query;
};

// Every category: id, parent, name.
class IndexCategories {
public:
    explicit IndexCategories(Database& db);
    ~IndexCategories();
    bool next();
    qint64 id() const;
    qint64 fatherId() const;
    Utf8 name() const;

private:
    std::unique_ptr<Query> m_query;
};

// Changes whenever the catalog may have changed as `db` sees it: a commit by any other
// connection, or a row written through `db` itself.
struct Stamp {
    qint64 dataVersion = -1;
    qint64 totalChanges = -1;
    bool operator==(const Stamp&) const = default;
};
Stamp stamp(Database& db);

// What a search index kept on disk is checked against: the catalog's change tag, renewed
// by every write to what the index reads, and the schema's version counter, renewed by
// every change of the schema (a trigger dropped, a column added, a compaction). Unlike
// Stamp it means the same on every connection and in every process.
struct ChangeTag {
    qint64 tag = 0;
    qint64 schema = 0;
    bool operator==(const ChangeTag&) const = default;
};
// Nullopt when the catalog has no intact change tag (an older file that was not upgraded,
// or one whose triggers were removed): its changes cannot be told.
std::optional<ChangeTag> changeTag(Database& db);

// The entry rows written through one connection, noted by temporary triggers of that
// connection (a write by any other connection is not seen: `pragma data_version` tells of
// those). Each noted row has a sequence number; a position says how far the log had come.
struct LogPosition {
    qint64 token = 0; // differs for every connection the log was set up on
    qint64 seq = 0;
    bool operator==(const LogPosition&) const = default;
};
// Sets the log up on `db` unless it is there, and says where it stands. `db` must have no
// transaction open. Throws DbError.
LogPosition changeLog(Database& db);
// The AutoIds (ascending, each once) of the rows written since `seq`, and the newest
// sequence number. -1 stands for any disc or category written.
std::vector<qint64> changedSince(Database& db, qint64 seq, qint64* newest);
// Forgets the rows noted at or before `seq`.
void forgetChanges(Database& db, qint64 seq);
// `pragma data_version`: moves whenever another connection has committed.
qint64 dataVersion(Database& db);

// What a job of this program wrote through a connection of its own, so that an index may
// follow without reading the catalog again: every entry row of `discs`. Valid only while
// `alone`: no other connection committed between the two tags.
struct WriteReport {
    std::optional<ChangeTag> before; // the catalog's tag before the first write
    std::optional<ChangeTag> after;  // and after the last one
    bool alone = false;
    std::vector<qint64> discs;
};

// Watches the writes of a job on `db`: made before the first write, finished after the
// last one. Discs added meanwhile are reported whether named or not. Never throws: a
// catalog that cannot be read yields a report nobody follows.
class WriteWatch {
public:
    explicit WriteWatch(Database& db);
    WriteReport finish(std::vector<qint64> discs = {});

private:
    Database& m_db;
    std::optional<ChangeTag> m_before;
    qint64 m_version = -1;
    qint64 m_lastDisc = -1;
};

// Where an entry lies: its disc's categories, its disc and the folders above it, outermost
// first, joined by " ▸ " (as the index gives it). `entryId` 0: the disc itself, whose
// categories alone are its place. A damaged loop of folders is cut off.
QString location(Database& db, qint64 discId, qint64 entryId);

// The folders from a disc's top level down to `folderId`, outermost first, `folderId`
// last; empty when it does not exist.
std::vector<qint64> folderChain(Database& db, qint64 folderId);

} // namespace searchstore
} // namespace vorlane
