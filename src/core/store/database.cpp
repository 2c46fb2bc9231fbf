#include "core/store/database.h"

#include "core/store/schema.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace vorlane {

DbError::DbError(const QString& text, Cause cause)
    : std::runtime_error(text.toStdString()), m_text(text), m_cause(cause) {}

DbError DbError::fromEngine(sqlite3* db) {
    if (!db)
        return DbError(QStringLiteral("database not open"));
    const int code = sqlite3_extended_errcode(db);
    QString msg = QString::fromUtf8(sqlite3_errmsg(db));
    const auto systemText = [](int e) { return QString::fromLocal8Bit(std::strerror(e)); };
    switch (code & 0xff) {
    case SQLITE_BUSY:
        return DbError(msg, Cause::Busy);
    case SQLITE_FULL:
        // The engine reports a failed write for lack of space without the system's errno.
        return DbError(systemText(ENOSPC), Cause::DiskFull);
    case SQLITE_READONLY:
        return DbError(msg,
                       code == SQLITE_READONLY_DIRECTORY ? Cause::FolderReadOnly : Cause::Other);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: {
        const int e = sqlite3_system_errno(db);
        if (e == ENOSPC || e == EDQUOT)
            return DbError(systemText(e), Cause::DiskFull);
        if (e != 0)
            msg += QStringLiteral(" (") + systemText(e) + QLatin1Char(')');
        return DbError(msg);
    }
    default:
        return DbError(msg);
    }
}

namespace {

[[noreturn]] void fail(sqlite3* db) {
    throw DbError::fromEngine(db);
}

// The engine's failure on `db`, naming the file it concerns.
[[noreturn]] void fail(sqlite3* db, const QString& what) {
    const DbError e = DbError::fromEngine(db);
    throw DbError(what + QStringLiteral(": ") + e.text(), e.cause());
}

void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        fail(db);
}

} // namespace

Database::~Database() {
    close();
}

void Database::open(const QString& path, Mode mode) {
    // The engine's memory statistics take a lock around every allocation, and nothing here
    // reads them. Only possible before its first use; later calls are refused, harmlessly.
    static const int noStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    Q_UNUSED(noStatistics);
    close();
    const QFileInfo info(path);
    if (mode != Mode::Create && !info.isFile())
        throw DbError(QStringLiteral("file not found: ") + path);
    int flags = SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::Create)
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    else if (mode == Mode::ReadOnly || !info.isWritable() ||
             !QFileInfo(info.absolutePath()).isWritable())
        // The engine keeps its journal beside the file, so a folder that cannot be written
        // makes the file as read-only as its own mode would.
        flags |= SQLITE_OPEN_READONLY;
    else
        flags |= SQLITE_OPEN_READWRITE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const DbError error =
            db ? DbError::fromEngine(db) : DbError(QStringLiteral("out of memory"));
        sqlite3_close(db);
        throw error;
    }
    m_db = db;
    m_path = path;
    m_mode = mode;
    applyBusyWait();
    sqlite3_extended_result_codes(m_db, 1);
    if (mode == Mode::Create)
        return;
    // A damaged file or another program's database must be refused here, not later.
    try {
        if (!hasCatalogTables())
            throw DbError(QStringLiteral("not a catalog file: ") + path);
    } catch (...) {
        close();
        throw;
    }
}

void Database::close() {
    if (!m_db)
        return;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_schemaFacts = {};
}

bool Database::isReadOnly() const {
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

void Database::reopen() {
    const QString path = m_path;
    const Mode mode = m_mode == Mode::Create ? Mode::ReadWrite : m_mode;
    close();
    open(path, mode);
}

void Database::setBusyWait(int ms, std::function<void()> onWait) {
    m_busyMs = std::max(0, ms);
    m_onWait = std::move(onWait);
    if (m_db)
        applyBusyWait();
}

int Database::effectiveBusyMs() const {
    return m_busyMs < 0 ? 2000 : m_busyMs;
}

void Database::applyBusyWait() {
    if (m_busyMs < 0)
        sqlite3_busy_timeout(m_db, effectiveBusyMs());
    else
        sqlite3_busy_handler(m_db, &Database::onBusy, this);
}

int Database::onBusy(void* self, int attempt) {
    using namespace std::chrono;
    auto* d = static_cast<Database*>(self);
    const auto now = steady_clock::now();
    if (attempt == 0)
        d->m_waitStart = now;
    const auto waited = duration_cast<milliseconds>(now - d->m_waitStart).count();
    if (waited >= d->m_busyMs)
        return 0;
    // Another program's commit holds the lock for moments; only a longer wait is told.
    if (waited >= 250 && !d->m_waitTold) {
        d->m_waitTold = true;
        if (d->m_onWait)
            d->m_onWait();
    }
    sqlite3_sleep(int(std::min<qint64>(20, d->m_busyMs - waited)));
    return 1;
}

bool Database::hasCatalogTables() {
    return hasCatalogSchema(*this);
}

void Database::exec(const QString& sql, const QVariantList& params) {
    if (!m_db)
        fail(nullptr);
    if (params.isEmpty()) {
        char* err = nullptr;
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
        if (rc != SQLITE_OK) {
            sqlite3_free(err);
            fail(m_db);
        }
        return;
    }
    Query q(*this, sql, params);
    q.exec();
}

QVariant Database::scalar(const QString& sql, const QVariantList& params) {
    Query q(*this, sql, params);
    if (!q.next())
        return {};
    return q.value(0);
}

qint64 Database::count(const QString& sql, const QVariantList& params) {
    return scalar(QStringLiteral("select count(*) from (") + sql + QStringLiteral(")"), params)
        .toLongLong();
}

qint64 Database::lastInsertId() const {
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Database::changes() const {
    return m_db ? sqlite3_changes(m_db) : 0;
}

void Database::begin() {
    exec(QStringLiteral("begin"));
}
void Database::commit() {
    exec(QStringLiteral("commit"));
}
void Database::rollback() {
    const auto settle = qScopeGuard([this] {
        // When this read fails too, the journal stays hot and the next connection to open
        // the file plays it back, as the engine intends.
        if (m_db && !inTransaction())
            sqlite3_exec(m_db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr);
    });
    if (inTransaction())
        exec(QStringLiteral("rollback"));
}
bool Database::inTransaction() const {
    return m_db && sqlite3_get_autocommit(m_db) == 0;
}

void Database::vacuum() {
    if (inTransaction())
        throw DbError(QStringLiteral("cannot compact inside a transaction"));
    // Compaction needs a moment when no other connection writes; under a steady stream of
    // small commits that can take longer than an ordinary statement waits.
    const int was = m_busyMs;
    m_busyMs = std::max(effectiveBusyMs(), 10'000);
    applyBusyWait();
    const auto restore = qScopeGuard([&] {
        m_busyMs = was;
        applyBusyWait();
    });
    // In place, through the rollback journal: a kill midway leaves a hot journal that the
    // next connection rolls back, never a half-built file.
    exec(QStringLiteral("vacuum"));
}

void Database::backupTo(const QString& dest, const std::function<bool()>& between) {
    if (!m_db)
        fail(nullptr);
    sqlite3* out = nullptr;
    int rc =
        sqlite3_open_v2(dest.toUtf8().constData(), &out,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    const auto closeOut = qScopeGuard([&] { sqlite3_close_v2(out); });
    if (rc != SQLITE_OK)
        throw DbError(out ? QString::fromUtf8(sqlite3_errmsg(out))
                          : QStringLiteral("out of memory"));
    // The copy is private until it is renamed into place; it needs no journal of its own.
    rc = sqlite3_exec(out, "pragma journal_mode=off", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(out, dest);
    sqlite3_backup* backup = sqlite3_backup_init(out, "main", m_db, "main");
    if (!backup)
        fail(out, dest);
    // All pages in one step, under one read lock of the source: commits of other
    // connections wait for it (their busy timeout) and are wholly in or out. While a
    // writer holds the file, the source's busy handler waits; retry a while after that.
    // In steps, the lock is let go between them; a commit of another connection meanwhile
    // makes the engine start the copy over, so it is still one snapshot. After a few
    // restarts the rest goes in one step, so that a busy writer cannot hold it off forever.
    constexpr int pagesPerStep = 256;
    constexpr int restartsAllowed = 3;
    int restarts = 0;
    int remaining = -1;
    QElapsedTimer waited;
    waited.start();
    do {
        const bool stepwise = between && restarts < restartsAllowed;
        rc = sqlite3_backup_step(backup, stepwise ? pagesPerStep : -1);
        if (rc == SQLITE_OK) {
            const int left = sqlite3_backup_remaining(backup);
            if (remaining >= 0 && left >= remaining)
                ++restarts;
            remaining = left;
            waited.restart();
            if (stepwise && !between()) {
                sqlite3_backup_finish(backup);
                throw DbError(QStringLiteral("cancelled"));
            }
        } else if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && waited.elapsed() < 10'000) {
            sqlite3_sleep(50);
        } else {
            break;
        }
    } while (true);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) {
        if ((rc & 0xff) == SQLITE_FULL)
            throw DbError(dest + QStringLiteral(": ") +
                              QString::fromLocal8Bit(std::strerror(ENOSPC)),
                          DbError::Cause::DiskFull);
        throw DbError(QString::fromUtf8(sqlite3_errstr(rc)));
    }
    if (finished != SQLITE_OK)
        fail(out, dest);
}

// ---------------------------------------------------------------------------------------

Query::Query(Database& db, const QString& sql) : m_db(&db) {
    if (!db.handle())
        fail(nullptr);
    const QByteArray utf8 = sql.toUtf8();
    const int rc =
        sqlite3_prepare_v2(db.handle(), utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        fail(db.handle());
    }
    if (!m_stmt)
        throw DbError(QStringLiteral("empty statement"));
}

Query::Query(Database& db, const QString& sql, const QVariantList& params) : Query(db, sql) {
    bindAll(params);
}

Query::~Query() {
    sqlite3_finalize(m_stmt);
}

Query::Query(Query&& other) noexcept
    : m_db(other.m_db), m_stmt(other.m_stmt), m_hasRow(other.m_hasRow),
      m_columnNames(std::move(other.m_columnNames)) {
    other.m_stmt = nullptr;
}

void Query::bindValue(int index, const QVariant& v) {
    sqlite3_stmt* s = m_stmt;
    int rc;
    if (v.isNull()) {
        rc = sqlite3_bind_null(s, index);
    } else {
        switch (v.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int(s, index, v.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            rc = sqlite3_bind_int64(s, index, v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(s, index, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob64(s, index, b.constData(), sqlite3_uint64(b.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray t = v.toString().toUtf8();
            rc = sqlite3_bind_text64(s, index, t.constData(), sqlite3_uint64(t.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
    }
    check(m_db->handle(), rc);
}

Query& Query::bind(int index, const QVariant& value) {
    bindValue(index, value);
    return *this;
}

Query& Query::bind(const QString& name, const QVariant& value) {
    QByteArray key = name.toUtf8();
    if (!key.startsWith(':') && !key.startsWith('@') && !key.startsWith('$'))
        key.prepend(':');
    const int index = sqlite3_bind_parameter_index(m_stmt, key.constData());
    if (index == 0)
        throw DbError(QStringLiteral("no parameter ") + name);
    bindValue(index, value);
    return *this;
}

Query& Query::bindAll(const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        bindValue(i + 1, values.at(i));
    return *this;
}

bool Query::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        m_hasRow = true;
        return true;
    }
    m_hasRow = false;
    if (rc == SQLITE_DONE)
        return false;
    const DbError error = DbError::fromEngine(m_db->handle());
    sqlite3_reset(m_stmt);
    throw error;
}

void Query::exec() {
    while (next()) {
    }
    sqlite3_reset(m_stmt);
}

void Query::reset() {
    sqlite3_reset(m_stmt);
    m_hasRow = false;
}

void Query::clearBindings() {
    sqlite3_clear_bindings(m_stmt);
}

int Query::columnCount() const {
    return sqlite3_column_count(m_stmt);
}

int Query::columnIndex(const QString& name) const {
    // Rows are read by column name in loops; convert the names once per statement.
    if (m_columnNames.isEmpty()) {
        const int n = sqlite3_column_count(m_stmt);
        for (int c = 0; c < n; ++c)
            m_columnNames << QString::fromUtf8(sqlite3_column_name(m_stmt, c));
    }
    for (int c = 0; c < m_columnNames.size(); ++c) {
        if (name.compare(m_columnNames.at(c), Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

int Query::requireColumn(const QString& name) const {
    const int i = columnIndex(name);
    if (i < 0)
        throw DbError(QStringLiteral("no column ") + name);
    if (!m_hasRow)
        throw DbError(QStringLiteral("no current row"));
    return i;
}

bool Query::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}
bool Query::isNull(const QString& name) const {
    return isNull(requireColumn(name));
}

QString Query::text(int column) const {
    if (isNull(column))
        throw DbError(QStringLiteral("null value in column ") +
                      QString::fromUtf8(sqlite3_column_name(m_stmt, column)));
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column));
}
QString Query::text(const QString& name) const {
    return text(requireColumn(name));
}

QString Query::textOr(int column, const QString& fallback) const {
    return isNull(column) ? fallback : text(column);
}
QString Query::textOr(const QString& name, const QString& fallback) const {
    return textOr(requireColumn(name), fallback);
}

qint64 Query::integer(int column) const {
    if (isNull(column))
        throw DbError(QStringLiteral("null value in column ") +
                      QString::fromUtf8(sqlite3_column_name(m_stmt, column)));
    return sqlite3_column_int64(m_stmt, column);
}
qint64 Query::integer(const QString& name) const {
    return integer(requireColumn(name));
}
qint64 Query::integerOr(const QString& name, qint64 fallback) const {
    const int i = requireColumn(name);
    return isNull(i) ? fallback : integer(i);
}

bool Query::boolean(const QString& name) const {
    return integer(name) != 0;
}

QVariant Query::value(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_stmt, column)),
                          sqlite3_column_bytes(m_stmt, column));
    default:
        return text(column);
    }
}
QVariant Query::value(const QString& name) const {
    return value(requireColumn(name));
}

// ---------------------------------------------------------------------------------------

Record::Record(Database& db, const QString& table) : m_db(db), m_table(table) {}

Record& Record::set(const QString& column, const QVariant& value) {
    const int i = m_columns.indexOf(column);
    if (i >= 0) {
        m_values[i] = value;
    } else {
        m_columns << column;
        m_values << value;
    }
    return *this;
}

namespace {
QString quoted(const QString& ident) {
    QString s = ident;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}
} // namespace

qint64 Record::append() {
    QStringList cols, marks;
    for (const QString& c : m_columns) {
        cols << quoted(c);
        marks << QStringLiteral("?");
    }
    QString sql = QStringLiteral("insert into ") + quoted(m_table);
    if (cols.isEmpty())
        sql += QStringLiteral(" default values");
    else
        sql += QStringLiteral(" (") + cols.join(QLatin1Char(',')) + QStringLiteral(") values (") +
               marks.join(QLatin1Char(',')) + QLatin1Char(')');
    m_db.exec(sql, m_values.isEmpty() ? QVariantList{} : m_values);
    return m_db.lastInsertId();
}

bool Record::update(qint64 autoId) {
    if (m_columns.isEmpty())
        return m_db.count(QStringLiteral("select 1 from ") + quoted(m_table) +
                              QStringLiteral(" where AutoId=?"),
                          {autoId}) > 0;
    QStringList sets;
    for (const QString& c : m_columns)
        sets << quoted(c) + QStringLiteral("=?");
    QVariantList values = m_values;
    values << autoId;
    Query q(m_db,
            QStringLiteral("update ") + quoted(m_table) + QStringLiteral(" set ") +
                sets.join(QLatin1Char(',')) + QStringLiteral(" where AutoId=?"),
            values);
    q.exec();
    return m_db.changes() > 0;
}

// ---------------------------------------------------------------------------------------

Transaction::Transaction(Database& db, std::chrono::milliseconds interval)
    : m_db(db), m_interval(interval) {
    m_db.begin();
    m_open = true;
    m_lastCommit = std::chrono::steady_clock::now();
}

Transaction::~Transaction() {
    if (m_open) {
        try {
            m_db.rollback();
        } catch (...) {
        }
    }
}

void Transaction::commit() {
    if (m_open) {
        m_db.commit();
        m_open = false;
        m_lastCommit = std::chrono::steady_clock::now();
        if (m_onCommit)
            m_onCommit();
    }
}

void Transaction::checkpoint() {
    if (std::chrono::steady_clock::now() - m_lastCommit < m_interval)
        return;
    commit();
    m_db.begin();
    m_open = true;
}

bool Transaction::isActive() const {
    return m_open && m_db.inTransaction();
}

QString engineVersion() {
    return QString::fromLatin1(sqlite3_libversion());
}

ReadSnapshot::~ReadSnapshot() {
    try {
        m_db.rollback();
    } catch (const DbError&) {
        // The engine has already ended it.
    }
}

} // namespace vorlane
