#include "core/store/rescanstore.h"

#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <sqlite3.h>

namespace vorlane::rescanstore {

namespace {

QString textOf(sqlite3_stmt* st, int column) {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    const int size = sqlite3_column_bytes(st, column);
    return data && size > 0 ? QString::fromUtf8(data, size) : QString();
}

void step(Database& db, sqlite3_stmt* st) {
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        const DbError error = DbError::fromEngine(db.handle());
        sqlite3_reset(st);
        throw error;
    }
    sqlite3_reset(st);
}

void bindTime(sqlite3_stmt* st, int index, std::optional<qint64> mtime) {
    if (mtime)
        sqlite3_bind_int64(st, index, *mtime);
    else
        sqlite3_bind_null(st, index);
}

// Valid until the next step; each column is read once, as bytes, so no conversion moves it.
std::string_view viewOf(sqlite3_stmt* st, int column) {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(st, column));
    const int size = sqlite3_column_bytes(st, column);
    return data && size > 0 ? std::string_view(data, size_t(size)) : std::string_view();
}

} // namespace

void readEntries(Database& db, qint64 discId, const std::function<bool(const StoredRow&)>& onRow) {
    const bool facts = hasVersion2Columns(db);
    const bool v3 = hasVersion3Columns(db);
    const bool v4 = hasVersion4Columns(db);
    // The note's length only: a note is read when its row is reported.
    const QString columns =
        QStringLiteral("AutoId,FatherId,TreeName,IsDir,FSize,length(TreeExp),%1,%2,%3")
            .arg(facts ? QStringLiteral("FName,FTime,Link") : QStringLiteral("null,null,null"),
                 v3 ? QStringLiteral("Archive") : QStringLiteral("null"),
                 v4 ? QStringLiteral("Special") : QStringLiteral("null"));
    // In the order of the index on CdID: sorting by AutoId would read every row before the first.
    Query q(db, QStringLiteral("select %1 from qCDFiles where CdID=?").arg(columns), {discId});
    sqlite3_stmt* st = q.statement();
    StoredRow e;
    while (q.next()) {
        e.id = sqlite3_column_int64(st, 0);
        e.fatherId = sqlite3_column_int64(st, 1);
        e.name = viewOf(st, 6);
        e.shown = {};
        if (e.name.empty())
            e.name = viewOf(st, 2);
        else
            e.shown = viewOf(st, 2);
        e.isDir = sqlite3_column_int64(st, 3) != 0;
        e.size = sqlite3_column_int64(st, 4);
        e.hasNote = sqlite3_column_int64(st, 5) > 0;
        e.mtime.reset();
        if (sqlite3_column_type(st, 7) != SQLITE_NULL)
            e.mtime = sqlite3_column_int64(st, 7);
        e.link = viewOf(st, 8);
        e.archive = int(sqlite3_column_int64(st, 9));
        e.special = e.isDir ? 0 : int(specialKind(sqlite3_column_int64(st, 10)));
        if (!onRow(e))
            return;
    }
}

NoteReader::NoteReader(Database& db)
    : m_query(std::make_unique<Query>(
          db, QStringLiteral("select TreeExp from qCDFiles where AutoId=?1"))) {}

NoteReader::~NoteReader() = default;

QString NoteReader::noteOf(qint64 id) {
    sqlite3_stmt* st = m_query->statement();
    sqlite3_reset(st);
    sqlite3_bind_int64(st, 1, id);
    QString note;
    if (m_query->next())
        note = textOf(st, 0);
    sqlite3_reset(st);
    return note;
}

ChangeWriter::ChangeWriter(Database& db)
    : m_db(db), m_facts(hasVersion2Columns(db)), m_v3(hasVersion3Columns(db)),
      m_v4(hasVersion4Columns(db)) {
    m_remove = std::make_unique<Query>(db, QStringLiteral("delete from qCDFiles where AutoId=?1"));
    QString change = QStringLiteral(
        "update qCDFiles set FSize=?2, TreeExp=case when ?7 then ?8 else TreeExp end");
    if (m_facts)
        change += QStringLiteral(", FTime=?3, Link=?4");
    if (m_v3)
        change += QStringLiteral(", FHash=?5, Archive=?6");
    if (m_v4)
        change += QStringLiteral(", Special=?9");
    m_change = std::make_unique<Query>(db, change + QStringLiteral(" where AutoId=?1"));
    if (m_facts)
        m_retime = std::make_unique<Query>(
            db, QStringLiteral("update qCDFiles set FTime=?2 where AutoId=?1"));
}

ChangeWriter::~ChangeWriter() = default;

void ChangeWriter::remove(qint64 id) {
    sqlite3_stmt* st = m_remove->statement();
    sqlite3_bind_int64(st, 1, id);
    step(m_db, st);
}

void ChangeWriter::change(qint64 id, qint64 size, std::optional<qint64> mtime,
                          std::string_view link, std::string_view hash, int archive, int special,
                          const std::optional<std::string>& note) {
    sqlite3_stmt* st = m_change->statement();
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_int64(st, 2, size);
    sqlite3_bind_int(st, 7, note ? 1 : 0);
    if (note && !note->empty())
        sqlite3_bind_text(st, 8, note->data(), int(note->size()), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(st, 8);
    if (m_facts) {
        bindTime(st, 3, mtime);
        if (link.empty())
            sqlite3_bind_null(st, 4);
        else
            sqlite3_bind_text(st, 4, link.data(), int(link.size()), SQLITE_TRANSIENT);
    }
    if (m_v3) {
        if (hash.empty())
            sqlite3_bind_null(st, 5);
        else
            sqlite3_bind_blob(st, 5, hash.data(), int(hash.size()), SQLITE_TRANSIENT);
        if (archive == 0)
            sqlite3_bind_null(st, 6);
        else
            sqlite3_bind_int(st, 6, archive);
    }
    if (m_v4) {
        if (special == 0)
            sqlite3_bind_null(st, 9);
        else
            sqlite3_bind_int(st, 9, special);
    }
    step(m_db, st);
}

void ChangeWriter::retime(qint64 id, std::optional<qint64> mtime) {
    if (!m_retime)
        return;
    sqlite3_stmt* st = m_retime->statement();
    sqlite3_bind_int64(st, 1, id);
    bindTime(st, 2, mtime);
    step(m_db, st);
}

} // namespace vorlane::rescanstore
