#include "core/store/searchstore.h"

#include "core/store/database.h"
#include "core/store/foldersizes.h"
#include "core/store/schema.h"

#include <QStringList>
#include <algorithm>
#include <sqlite3.h>
#include <utility>

namespace vorlane::searchstore {

namespace {

constexpr const char* MatchFunction = "vorlane_search_match";

Utf8 columnBytes(const Query& q, int column) {
    sqlite3_stmt* s = q.statement();
    const unsigned char* text = sqlite3_column_text(s, column);
    return {text, text ? size_t(sqlite3_column_bytes(s, column)) : 0};
}

Utf8 valueBytes(sqlite3_value* value) {
    const unsigned char* text = sqlite3_value_text(value);
    return {text, text ? size_t(sqlite3_value_bytes(value)) : 0};
}

QString columnText(const Query& q, int column) {
    const Utf8 t = columnBytes(q, column);
    return t.data ? QString::fromUtf8(reinterpret_cast<const char*>(t.data), qsizetype(t.size))
                  : QString();
}

} // namespace

qint64 rowCount(Database& db, bool folders, bool files) {
    qint64 total = db.scalar(QStringLiteral("select count(*) from qCD")).toLongLong();
    if (folders && files) {
        // Read in one pass, every entry row counts (and the index answers fast).
        total += db.scalar(QStringLiteral("select count(*) from qCDFiles")).toLongLong();
    } else if (folders || files) {
        total += db.scalar(folders ? QStringLiteral("select count(*) from qCDFiles where IsDir=1")
                                   : QStringLiteral("select count(*) from qCDFiles where IsDir=0"))
                     .toLongLong();
    }
    return total;
}

Discs::Discs(Database& db)
    : m_query(std::make_unique<Query>(
          db, QStringLiteral("select CDName, CDExp, AutoId from qCD order by OrderId, AutoId"))) {}

Discs::~Discs() = default;

bool Discs::next() {
    return m_query->next();
}
Utf8 Discs::name() const {
    return columnBytes(*m_query, 0);
}
Utf8 Discs::note() const {
    return columnBytes(*m_query, 1);
}
QString Discs::nameText() const {
    return columnText(*m_query, 0);
}
qint64 Discs::id() const {
    return sqlite3_column_int64(m_query->statement(), 2);
}

MatchingEntries::MatchingEntries(Database& db, EntryTest& test) : m_db(db), m_test(test) {
    sqlite3* handle = db.handle();
    const int rc =
        sqlite3_create_function_v2(handle, MatchFunction, 5, SQLITE_UTF8 | SQLITE_DIRECTONLY, this,
                                   &MatchingEntries::call, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(handle)));
    try {
        // A catalog without the time column passes null: no time known.
        m_query = std::make_unique<Query>(
            db,
            QStringLiteral("select IsDir, TreeName, AutoId, CdID, FatherId, %2, %1 from qCDFiles"
                           " where vorlane_search_match(ifnull(IsDir, -1), TreeName, TreeExp,"
                           " %2, %1) order by AutoId")
                .arg(hasVersion2Columns(db) ? QStringLiteral("FTime") : QStringLiteral("null"),
                     foldersizes::sizeColumn(db)));
    } catch (...) {
        sqlite3_create_function_v2(handle, MatchFunction, 5, SQLITE_UTF8, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
        throw;
    }
}

MatchingEntries::~MatchingEntries() {
    m_query.reset();
    sqlite3_create_function_v2(m_db.handle(), MatchFunction, 5, SQLITE_UTF8, nullptr, nullptr,
                               nullptr, nullptr, nullptr);
}

void MatchingEntries::call(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
    auto* self = static_cast<MatchingEntries*>(sqlite3_user_data(ctx));
    try {
        const std::optional<qint64> time =
            sqlite3_value_type(argv[4]) == SQLITE_NULL
                ? std::nullopt
                : std::optional<qint64>(sqlite3_value_int64(argv[4]));
        switch (self->m_test.test(sqlite3_value_int64(argv[0]), valueBytes(argv[1]),
                                  valueBytes(argv[2]), sqlite3_value_int64(argv[3]), time)) {
        case EntryTest::Verdict::Hit:
            sqlite3_result_int(ctx, 1);
            return;
        case EntryTest::Verdict::Miss:
            sqlite3_result_int(ctx, 0);
            return;
        case EntryTest::Verdict::Stop:
            self->m_stopped = true;
            sqlite3_result_error(ctx, "search stopped", -1);
            return;
        }
    } catch (...) {
        // Nothing may be thrown through the database engine.
        self->m_failure = std::current_exception();
        sqlite3_result_error(ctx, "search failed", -1);
    }
}

bool MatchingEntries::next() {
    if (m_stopped)
        return false;
    try {
        return m_query->next();
    } catch (const DbError&) {
        // A stop, or a failing test, ends the statement with an error.
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
        if (m_stopped)
            return false;
        throw;
    }
}

bool MatchingEntries::isFolder() const {
    return sqlite3_column_int64(m_query->statement(), 0) == 1;
}
QString MatchingEntries::name() const {
    return columnText(*m_query, 1);
}
qint64 MatchingEntries::id() const {
    return sqlite3_column_int64(m_query->statement(), 2);
}
qint64 MatchingEntries::discId() const {
    return sqlite3_column_int64(m_query->statement(), 3);
}
qint64 MatchingEntries::folderId() const {
    return sqlite3_column_int64(m_query->statement(), 4);
}
qint64 MatchingEntries::size() const {
    return sqlite3_column_int64(m_query->statement(), 5);
}
std::optional<qint64> MatchingEntries::time() const {
    if (sqlite3_column_type(m_query->statement(), 6) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(m_query->statement(), 6);
}

DiscNames::DiscNames(Database& db) : m_db(db) {}

DiscNames::~DiscNames() = default;

QString DiscNames::operator()(qint64 discId) {
    const auto it = m_names.constFind(discId);
    if (it != m_names.cend())
        return *it;
    // Prepared on the first hit: hits are few, rows are many.
    if (!m_query)
        m_query =
            std::make_unique<Query>(m_db, QStringLiteral("select CDName from qCD where AutoId=?"));
    m_query->reset();
    m_query->bind(1, discId);
    QString name;
    if (m_query->next())
        name = columnText(*m_query, 0);
    m_query->reset();
    m_names.insert(discId, name);
    return name;
}

namespace {

// A list of ids as one bound value, read back with json_each().
QString idList(const std::vector<qint64>& ids) {
    QStringList parts;
    parts.reserve(qsizetype(ids.size()));
    for (const qint64 id : ids)
        parts << QString::number(id);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace

IndexRows::IndexRows(Database& db, const RowPick* pick)
    : m_hasTime(hasVersion2Columns(db)), m_hasArchive(hasVersion3Columns(db)) {
    m_query = std::make_unique<Query>(
        db, QStringLiteral("select AutoId, CdID, FatherId, ifnull(IsDir, -1), TreeName, TreeExp,"
                           " %4, %1, %2 from qCDFiles%3 order by AutoId")
                .arg(m_hasTime ? QStringLiteral("FTime") : QStringLiteral("null"),
                     m_hasArchive ? QStringLiteral("ifnull(Archive, 0)") : QStringLiteral("0"),
                     pick ? QStringLiteral(" where AutoId in (select value from json_each(?1)"
                                           " union select AutoId from qCDFiles where CdID in"
                                           " (select value from json_each(?2)))")
                          : QString(),
                     foldersizes::sizeColumn(db)));
    if (pick) {
        m_query->bind(1, idList(pick->ids));
        m_query->bind(2, idList(pick->discs));
    }
}
IndexRows::~IndexRows() = default;
bool IndexRows::next() {
    return m_query->next();
}
qint64 IndexRows::id() const {
    return sqlite3_column_int64(m_query->statement(), 0);
}
qint64 IndexRows::discId() const {
    return sqlite3_column_int64(m_query->statement(), 1);
}
qint64 IndexRows::fatherId() const {
    return sqlite3_column_int64(m_query->statement(), 2);
}
qint64 IndexRows::kind() const {
    return sqlite3_column_int64(m_query->statement(), 3);
}
Utf8 IndexRows::name() const {
    return columnBytes(*m_query, 4);
}
Utf8 IndexRows::note() const {
    return columnBytes(*m_query, 5);
}
qint64 IndexRows::size() const {
    return sqlite3_column_int64(m_query->statement(), 6);
}
std::optional<qint64> IndexRows::time() const {
    if (!m_hasTime || sqlite3_column_type(m_query->statement(), 7) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(m_query->statement(), 7);
}
qint64 IndexRows::archive() const {
    return sqlite3_column_int64(m_query->statement(), 8);
}

IndexMedia::IndexMedia(Database& db, const RowPick* pick) {
    if (!hasMediaTables(db))
        return;
    m_query = std::make_unique<Query>(
        db, QStringLiteral("select EntryId, ifnull(Kind, 0), Width, Taken, DurationMs, Make, Model,"
                           " Title, Artist, Album from qMedia%1 order by EntryId")
                .arg(pick ? QStringLiteral(" where EntryId in (select value from json_each(?1)"
                                           " union select AutoId from qCDFiles where CdID in"
                                           " (select value from json_each(?2)))")
                          : QString()));
    if (pick) {
        m_query->bind(1, idList(pick->ids));
        m_query->bind(2, idList(pick->discs));
    }
}
IndexMedia::~IndexMedia() = default;
bool IndexMedia::next() {
    return m_query && m_query->next();
}
qint64 IndexMedia::entryId() const {
    return sqlite3_column_int64(m_query->statement(), 0);
}
qint64 IndexMedia::kind() const {
    return sqlite3_column_int64(m_query->statement(), 1);
}
std::optional<qint64> IndexMedia::number(int column) const {
    if (sqlite3_column_type(m_query->statement(), column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(m_query->statement(), column);
}
std::optional<qint64> IndexMedia::width() const {
    return number(2);
}
std::optional<qint64> IndexMedia::taken() const {
    return number(3);
}
std::optional<qint64> IndexMedia::durationMs() const {
    return number(4);
}
Utf8 IndexMedia::make() const {
    return columnBytes(*m_query, 5);
}
Utf8 IndexMedia::model() const {
    return columnBytes(*m_query, 6);
}
Utf8 IndexMedia::title() const {
    return columnBytes(*m_query, 7);
}
Utf8 IndexMedia::artist() const {
    return columnBytes(*m_query, 8);
}
Utf8 IndexMedia::album() const {
    return columnBytes(*m_query, 9);
}

IndexDiscs::IndexDiscs(Database& db)
    : m_query(std::make_unique<Query>(
          db, QStringLiteral("select AutoId, ClassId, CDName, CDExp from qCD order by OrderId, "
                             "AutoId"))) {}
IndexDiscs::~IndexDiscs() = default;
bool IndexDiscs::next() {
    return m_query->next();
}
qint64 IndexDiscs::id() const {
    return sqlite3_column_int64(m_query->statement(), 0);
}
qint64 IndexDiscs::categoryId() const {
    return sqlite3_column_int64(m_query->statement(), 1);
}
Utf8 IndexDiscs::name() const {
    return columnBytes(*m_query, 2);
}
Utf8 IndexDiscs::note() const {
    return columnBytes(*m_query, 3);
}

IndexCategories::IndexCategories(Database& db)
    : m_query(std::make_unique<Query>(
          db, QStringLiteral("select AutoId, FatherId, TreeName from qClass"))) {}
IndexCategories::~IndexCategories() = default;
bool IndexCategories::next() {
    return m_query->next();
}
qint64 IndexCategories::id() const {
    return sqlite3_column_int64(m_query->statement(), 0);
}
qint64 IndexCategories::fatherId() const {
    return sqlite3_column_int64(m_query->statement(), 1);
}
Utf8 IndexCategories::name() const {
    return columnBytes(*m_query, 2);
}

Stamp stamp(Database& db) {
    Stamp s;
    s.dataVersion = db.scalar(QStringLiteral("pragma data_version")).toLongLong();
    s.totalChanges = sqlite3_total_changes64(db.handle());
    return s;
}

std::optional<ChangeTag> changeTag(Database& db) {
    // Looked at again after any change of the schema, by whichever program.
    const qint64 schema = db.scalar(QStringLiteral("pragma schema_version")).toLongLong();
    if (db.schemaFacts().changeTagSchema != schema)
        db.schemaFacts().changeTag.reset();
    db.schemaFacts().changeTagSchema = schema;
    if (!hasChangeTag(db))
        return std::nullopt;
    Query q(db, QStringLiteral("select count(*), min(Tag), typeof(min(Tag)) from qChange"));
    if (!q.next() || q.integer(0) != 1 || q.textOr(2) != QLatin1String("integer"))
        return std::nullopt;
    ChangeTag t;
    t.tag = q.integer(1);
    t.schema = schema;
    return t;
}

namespace {

// Where the log stands; throws DbError while it is not set up.
LogPosition logPosition(Database& db) {
    Query q(db, QStringLiteral("select Token, ifnull((select seq from temp.sqlite_sequence where"
                               " name='vorlane_log'), 0) from temp.vorlane_log_token"));
    if (!q.next())
        throw DbError(QStringLiteral("change log damaged"));
    return {q.integer(0), q.integer(1)};
}

} // namespace

LogPosition changeLog(Database& db) {
    try {
        return logPosition(db);
    } catch (const DbError&) {
        // Not set up on this connection yet (it is made on the first call).
    }
    // Temporary triggers fire only for this connection's writes. A disc or category written
    // is noted as the id -1.
    db.exec(QStringLiteral("create temp table if not exists vorlane_log"
                           " (Seq integer primary key autoincrement, Id integer not null)"));
    const struct {
        const char* name;
        const char* table;
        const char* event;
        const char* ids;
    } triggers[] = {
        {"vorlane_log_insert", "qCDFiles", "insert", "values (new.AutoId)"},
        {"vorlane_log_delete", "qCDFiles", "delete", "values (old.AutoId)"},
        {"vorlane_log_update", "qCDFiles", "update",
         "values (old.AutoId); insert into vorlane_log (Id) select new.AutoId where new.AutoId is"
         " not old.AutoId"},
        {"vorlane_log_disc_insert", "qCD", "insert", "values (-1)"},
        {"vorlane_log_disc_delete", "qCD", "delete", "values (-1)"},
        {"vorlane_log_disc_update", "qCD", "update", "values (-1)"},
        {"vorlane_log_class_insert", "qClass", "insert", "values (-1)"},
        {"vorlane_log_class_delete", "qClass", "delete", "values (-1)"},
        {"vorlane_log_class_update", "qClass", "update", "values (-1)"},
    };
    // A write to an entry's media facts is a change of that entry, as the index sees it.
    const std::remove_reference_t<decltype(triggers[0])> mediaTriggers[] = {
        {"vorlane_log_media_insert", "qMedia", "insert", "values (new.EntryId)"},
        {"vorlane_log_media_delete", "qMedia", "delete", "values (old.EntryId)"},
        {"vorlane_log_media_update", "qMedia", "update",
         "values (old.EntryId); insert into vorlane_log (Id) select new.EntryId where"
         " new.EntryId is not old.EntryId"},
    };
    auto create = [&](const auto& list) {
        for (const auto& t : list)
            db.exec(QStringLiteral("create temp trigger if not exists %1 after %2 on main.%3"
                                   " begin insert into vorlane_log (Id) %4; end")
                        .arg(QLatin1String(t.name), QLatin1String(t.event), QLatin1String(t.table),
                             QLatin1String(t.ids)));
    };
    create(triggers);
    if (hasMediaTables(db))
        create(mediaTriggers);
    db.exec(QStringLiteral("create temp table if not exists vorlane_log_token (Token integer)"));
    db.exec(QStringLiteral("delete from temp.vorlane_log_token"));
    db.exec(QStringLiteral("insert into temp.vorlane_log_token values (random())"));
    return logPosition(db);
}

std::vector<qint64> changedSince(Database& db, qint64 seq, qint64* newest) {
    std::vector<qint64> ids;
    *newest = seq;
    Query q(db, QStringLiteral("select Id, Seq from temp.vorlane_log where Seq > ? order by Id"),
            {seq});
    while (q.next()) {
        const qint64 id = q.integer(0);
        if (ids.empty() || ids.back() != id)
            ids.push_back(id);
        *newest = std::max(*newest, q.integer(1));
    }
    return ids;
}

void forgetChanges(Database& db, qint64 seq) {
    db.exec(QStringLiteral("delete from temp.vorlane_log where Seq <= ?"), {seq});
}

qint64 dataVersion(Database& db) {
    return db.scalar(QStringLiteral("pragma data_version")).toLongLong();
}

WriteWatch::WriteWatch(Database& db) : m_db(db) {
    try {
        m_before = changeTag(db);
        m_version = dataVersion(db);
        m_lastDisc =
            db.scalar(QStringLiteral("select ifnull(max(AutoId), 0) from qCD")).toLongLong();
    } catch (const DbError&) {
        m_before.reset();
    }
}

WriteReport WriteWatch::finish(std::vector<qint64> discs) {
    WriteReport r;
    try {
        if (!m_before)
            return r;
        r.after = changeTag(m_db);
        // The connection's own commits leave data_version as it was; anyone else's move it.
        r.alone = r.after && dataVersion(m_db) == m_version;
        Query added(m_db, QStringLiteral("select AutoId from qCD where AutoId > ?"), {m_lastDisc});
        while (added.next())
            discs.push_back(added.integer(0));
        r.before = m_before;
        r.discs = std::move(discs);
    } catch (const DbError&) {
        r = {};
    }
    return r;
}

namespace {

// Deeper than any real tree; beyond it the rows point in a circle.
constexpr int MaxDepth = 4096;

} // namespace

QString location(Database& db, qint64 discId, qint64 entryId) {
    QStringList parts;
    if (entryId != 0) {
        Query up(db, QStringLiteral("select TreeName, FatherId from qCDFiles where AutoId=?"),
                 {entryId});
        qint64 father = up.next() ? up.integerOr(QStringLiteral("FatherId"), 0) : 0;
        for (int depth = 0; father != 0 && depth < MaxDepth; ++depth) {
            up.reset();
            up.bind(1, father);
            if (!up.next())
                break;
            parts.prepend(up.textOr(0));
            father = up.integerOr(QStringLiteral("FatherId"), 0);
        }
    }
    Query disc(db, QStringLiteral("select CDName, ClassId from qCD where AutoId=?"), {discId});
    if (!disc.next())
        return parts.join(QStringLiteral(" ▸ "));
    if (entryId != 0)
        parts.prepend(disc.textOr(0));
    qint64 category = disc.integerOr(QStringLiteral("ClassId"), 0);
    Query cat(db, QStringLiteral("select TreeName, FatherId from qClass where AutoId=?"));
    for (int depth = 0; category != 0 && depth < MaxDepth; ++depth) {
        cat.reset();
        cat.bind(1, category);
        if (!cat.next())
            break;
        parts.prepend(cat.textOr(0));
        category = cat.integerOr(QStringLiteral("FatherId"), 0);
    }
    return parts.join(QStringLiteral(" ▸ "));
}

std::vector<qint64> folderChain(Database& db, qint64 folderId) {
    std::vector<qint64> chain;
    Query up(db, QStringLiteral("select FatherId from qCDFiles where AutoId=?"));
    for (qint64 id = folderId; id != 0 && int(chain.size()) < MaxDepth;) {
        up.reset();
        up.bind(1, id);
        if (!up.next())
            break;
        chain.push_back(id);
        id = up.integerOr(QStringLiteral("FatherId"), 0);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

} // namespace vorlane::searchstore
