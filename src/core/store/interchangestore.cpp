#include "core/store/interchangestore.h"

#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "core/store/foldersizes.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sqlite3.h>

namespace vorlane {

int RowView::indexOf(QByteArrayView name) const {
    for (int i = 0; i < count; ++i) {
        if (QByteArrayView((*names)[i]).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qint64 RowView::integerOr(QByteArrayView name, qint64 fallback) const {
    const int i = indexOf(name);
    if (i < 0)
        return fallback;
    return storedInteger(cells[i]).value_or(fallback);
}

namespace {

std::optional<qint64> wholeReal(double v) {
    // 2^63 itself is out of range; every double below it converts exactly.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(v) || v != std::trunc(v) || v < -limit || v >= limit)
        return std::nullopt;
    return qint64(v);
}

} // namespace

std::optional<qint64> storedInteger(const Cell& cell) {
    switch (cell.type) {
    case Cell::Type::Integer:
        return cell.integer;
    case Cell::Type::Real:
        return wholeReal(cell.real);
    case Cell::Type::Text:
        break;
    case Cell::Type::Null:
    case Cell::Type::Blob:
        return std::nullopt;
    }
    // The engine reads a number with spaces around it and a sign before it.
    QByteArrayView text = cell.bytes.trimmed();
    if (text.startsWith('+'))
        text = text.sliced(1);
    if (text.isEmpty())
        return std::nullopt;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
            return std::nullopt;
    }
    qint64 v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec == std::errc() && r.ptr == text.data() + text.size())
        return v;
    const std::string copy(text.data(), size_t(text.size()));
    char* end = nullptr;
    const double real = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size())
        return std::nullopt;
    return wholeReal(real);
}

QString RowView::textOr(QByteArrayView name, const QString& fallback) const {
    const int i = indexOf(name);
    if (i < 0 || cells[i].type != Cell::Type::Text)
        return fallback;
    return QString::fromUtf8(cells[i].bytes);
}

namespace interchangestore {

namespace {

std::vector<QByteArray> columnNames(sqlite3_stmt* s) {
    const int n = sqlite3_column_count(s);
    std::vector<QByteArray> names;
    names.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        names.emplace_back(sqlite3_column_name(s, i));
    return names;
}

// The current row of `s` as cells, without a copy of any value.
void readCells(sqlite3_stmt* s, std::vector<Cell>& cells) {
    const int n = int(cells.size());
    for (int i = 0; i < n; ++i) {
        Cell& c = cells[size_t(i)];
        switch (sqlite3_column_type(s, i)) {
        case SQLITE_INTEGER:
            c.type = Cell::Type::Integer;
            c.integer = sqlite3_column_int64(s, i);
            break;
        case SQLITE_FLOAT:
            c.type = Cell::Type::Real;
            c.real = sqlite3_column_double(s, i);
            break;
        case SQLITE_TEXT: {
            c.type = Cell::Type::Text;
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
            c.bytes = QByteArrayView(p, sqlite3_column_bytes(s, i));
            break;
        }
        case SQLITE_BLOB: {
            c.type = Cell::Type::Blob;
            const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
            c.bytes = QByteArrayView(p, sqlite3_column_bytes(s, i));
            break;
        }
        default:
            c.type = Cell::Type::Null;
            c.bytes = {};
            break;
        }
    }
}

} // namespace

void readQuery(Query& q, const RowCallback& onRow) {
    sqlite3_stmt* s = q.statement();
    const std::vector<QByteArray> names = columnNames(s);
    std::vector<Cell> cells(names.size());
    const RowView row{&names, cells.data(), int(cells.size())};
    while (q.next()) {
        readCells(s, cells);
        if (!onRow(row))
            return;
    }
}

void readCategories(Database& db, const RowCallback& onRow) {
    Query q(db, QStringLiteral("select * from qClass order by AutoId"));
    readQuery(q, onRow);
}

std::vector<DiscKey> discKeys(Database& db) {
    std::vector<DiscKey> keys;
    Query q(db, QStringLiteral("select AutoId, ClassId, OrderId from qCD order by AutoId"));
    while (q.next())
        keys.push_back(
            {q.integer(0), q.isNull(1) ? 0 : q.integer(1), q.isNull(2) ? 0 : q.integer(2)});
    return keys;
}

bool readDisc(Database& db, qint64 discId, const RowCallback& onRow) {
    Query q(db, QStringLiteral("select * from qCD where AutoId = ?"), {discId});
    bool found = false;
    readQuery(q, [&](const RowView& row) {
        found = true;
        return onRow(row);
    });
    return found;
}

void readEntries(Database& db, std::optional<qint64> discId, const RowCallback& onRow) {
    // The unary plus keeps the engine from the CdID index: that would need a sort of the
    // whole disc in memory, while the table itself is already in AutoId order.
    if (discId) {
        Query q(db, QStringLiteral("select * from qCDFiles where +CdID = ? order by AutoId"),
                {*discId});
        readQuery(q, onRow);
    } else {
        Query q(db, QStringLiteral("select * from qCDFiles order by AutoId"));
        readQuery(q, onRow);
    }
}

void readEntriesByFolder(Database& db, qint64 discId, const RowCallback& onRow) {
    Query q(db,
            QStringLiteral("select * from qCDFiles where CdID = ? order by FatherId, IsDir desc"),
            {discId});
    readQuery(q, onRow);
}

EntryLookup::EntryLookup(Database& db)
    : m_query(
          std::make_unique<Query>(db, QStringLiteral("select * from qCDFiles where AutoId = ?"))),
      m_names(columnNames(m_query->statement())), m_cells(m_names.size()) {}

EntryLookup::~EntryLookup() = default;

bool EntryLookup::read(qint64 entryId, const RowCallback& onRow) {
    m_query->reset();
    m_query->bind(1, entryId);
    if (!m_query->next())
        return false;
    readCells(m_query->statement(), m_cells);
    onRow(RowView{&m_names, m_cells.data(), int(m_cells.size())});
    return true;
}

qint64 countEntries(Database& db, const std::vector<qint64>& discIds) {
    Query q(db, QStringLiteral("select count(*) from qCDFiles where CdID = ?"));
    qint64 total = 0;
    for (qint64 id : discIds) {
        q.reset();
        q.bind(1, id);
        if (q.next())
            total += q.integer(0);
    }
    return total;
}

// ---- merge ----

struct MergeWriter::Table {
    QString name;
    QHash<QByteArray, QByteArray> columns;             // lower-case name -> the catalog's spelling
    QHash<QByteArray, std::shared_ptr<Query>> inserts; // by column list
};

namespace {

std::unique_ptr<MergeWriter::Table> describeTable(Database& db, const QString& name) {
    auto t = std::make_unique<MergeWriter::Table>();
    t->name = name;
    Query q(db, QStringLiteral("select name from pragma_table_info(?)"), {name});
    while (q.next()) {
        const QByteArray column = q.text(0).toUtf8();
        t->columns.insert(column.toLower(), column);
    }
    return t;
}

void bindCell(sqlite3_stmt* s, int index, const Cell& c) {
    switch (c.type) {
    case Cell::Type::Null:
        sqlite3_bind_null(s, index);
        break;
    case Cell::Type::Integer:
        sqlite3_bind_int64(s, index, c.integer);
        break;
    case Cell::Type::Real:
        sqlite3_bind_double(s, index, c.real);
        break;
    case Cell::Type::Text:
        sqlite3_bind_text64(s, index, c.bytes.data() ? c.bytes.data() : "",
                            sqlite3_uint64(c.bytes.size()), SQLITE_STATIC, SQLITE_UTF8);
        break;
    case Cell::Type::Blob:
        sqlite3_bind_blob64(s, index, c.bytes.data() ? c.bytes.data() : "",
                            sqlite3_uint64(c.bytes.size()), SQLITE_STATIC);
        break;
    }
}

Cell integerCell(qint64 v) {
    Cell c;
    c.type = Cell::Type::Integer;
    c.integer = v;
    return c;
}

} // namespace

MergeWriter::MergeWriter(Database& db)
    : m_db(db), m_categories(describeTable(db, QStringLiteral("qClass"))),
      m_discs(describeTable(db, QStringLiteral("qCD"))),
      m_entries(describeTable(db, QStringLiteral("qCDFiles"))) {
    m_db.begin();
    m_open = true;
    try {
        m_lastDiscBefore = m_db.scalar(QStringLiteral("select max(AutoId) from qCD")).toLongLong();
        qint64 last = m_db.scalar(QStringLiteral("select max(AutoId) from qCDFiles")).toLongLong();
        // Ids once handed out and deleted since are not handed out again.
        last = std::max(last, m_db.scalar(QStringLiteral("select seq from sqlite_sequence where "
                                                         "name = 'qCDFiles'"))
                                  .toLongLong());
        m_entryOffset = last;
    } catch (const DbError&) {
        m_db.rollback(); // the destructor does not run for a constructor that throws
        throw;
    }
}

MergeWriter::~MergeWriter() {
    if (m_open) {
        try {
            m_db.rollback();
        } catch (const DbError&) {
            // The engine has already rolled back after the failure that brought us here.
        }
    }
}

qint64 MergeWriter::insert(Table& table, const RowView& row,
                           const QHash<QByteArray, Cell>& overrides) {
    QByteArray key;
    std::vector<const Cell*> values;
    values.reserve(size_t(row.count) + size_t(overrides.size()));
    for (int i = 0; i < row.count; ++i) {
        const QByteArray lower = (*row.names)[size_t(i)].toLower();
        if (lower == "autoid" || overrides.contains(lower))
            continue;
        const auto column = table.columns.constFind(lower);
        if (column == table.columns.constEnd())
            continue; // a column this catalog does not have
        key += '[' + *column + "],";
        values.push_back(&row.cells[i]);
    }
    for (auto it = overrides.constBegin(); it != overrides.constEnd(); ++it) {
        const auto column = table.columns.constFind(it.key());
        if (column == table.columns.constEnd())
            continue;
        key += '[' + *column + "],";
        values.push_back(&it.value());
    }
    key.chop(1);
    std::shared_ptr<Query>& q = table.inserts[key];
    if (!q) {
        QString marks;
        for (size_t i = 0; i < values.size(); ++i)
            marks += i ? QStringLiteral(",?") : QStringLiteral("?");
        const QString sql = key.isEmpty()
                                ? QStringLiteral("insert into [%1] default values").arg(table.name)
                                : QStringLiteral("insert into [%1] (%2) values (%3)")
                                      .arg(table.name, QString::fromUtf8(key), marks);
        q = std::make_shared<Query>(m_db, sql);
    }
    sqlite3_stmt* s = q->statement();
    sqlite3_reset(s);
    for (size_t i = 0; i < values.size(); ++i)
        bindCell(s, int(i) + 1, *values[i]);
    q->exec();
    sqlite3_clear_bindings(s);
    return m_db.lastInsertId();
}

qint64 MergeWriter::addCategory(const RowView& row) {
    return insert(*m_categories, row, {{"fatherid", integerCell(0)}});
}

void MergeWriter::setCategoryParent(qint64 categoryId, qint64 parentId) {
    m_db.exec(QStringLiteral("update qClass set FatherId = ? where AutoId = ?"),
              {parentId, categoryId});
}

qint64 MergeWriter::addTopCategory(const QString& name) {
    return catalogstore::addCategory(m_db, name, 0, catalogstore::nextOrderId(m_db));
}

std::optional<QString> MergeWriter::existingDisc(const QString& label, const QString& name) {
    QVariant found;
    if (!label.isEmpty())
        found = m_db.scalar(QStringLiteral("select coalesce(CDName, '') from qCD where CDId = ? "
                                           "and AutoId <= ? order by AutoId limit 1"),
                            {label, m_lastDiscBefore});
    else if (!name.isEmpty())
        found = m_db.scalar(QStringLiteral("select coalesce(CDName, '') from qCD where CDName "
                                           "= ? and AutoId <= ? order by AutoId limit 1"),
                            {name, m_lastDiscBefore});
    if (!found.isValid())
        return std::nullopt;
    return found.toString();
}

qint64 MergeWriter::addDisc(const RowView& row, qint64 categoryId) {
    return insert(*m_discs, row, {{"classid", integerCell(categoryId)}});
}

qint64 MergeWriter::addEntry(const RowView& row, qint64 discId) {
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    const qint64 id = row.integerOr("AutoId", 0);
    if (id < 1 || id > top - m_entryOffset)
        throw DbError(QStringLiteral("an entry has no usable id (%1)").arg(id));
    QHash<QByteArray, Cell> overrides{{"autoid", integerCell(id + m_entryOffset)},
                                      {"cdid", integerCell(discId)}};
    const int father = row.indexOf("FatherId");
    const std::optional<qint64> f = father >= 0 ? storedInteger(row.cells[father]) : std::nullopt;
    if (f && *f > 0) {
        if (*f > top - m_entryOffset)
            throw DbError(QStringLiteral("an entry's folder id is out of range (%1)").arg(*f));
        overrides.insert("fatherid", integerCell(*f + m_entryOffset));
    }
    insert(*m_entries, row, overrides);
    return id + m_entryOffset;
}

std::optional<qint64> MergeWriter::mergedEntry(qint64 sourceId) {
    if (sourceId < 1 || sourceId > std::numeric_limits<qint64>::max() - m_entryOffset)
        return std::nullopt;
    if (!m_entryExists)
        m_entryExists = std::make_unique<Query>(
            m_db, QStringLiteral("select 1 from qCDFiles where AutoId = ?"));
    m_entryExists->reset();
    m_entryExists->bind(1, sourceId + m_entryOffset);
    if (!m_entryExists->next())
        return std::nullopt;
    return sourceId + m_entryOffset;
}

void MergeWriter::commit() {
    // Totals carried over from elsewhere are not trusted: the merged discs' own rows tell.
    Query added(m_db, QStringLiteral("select AutoId from qCD where AutoId>? order by AutoId"),
                {m_lastDiscBefore});
    while (added.next())
        foldersizes::storeTotals(m_db, added.integer(0));
    m_db.commit();
    m_open = false;
}

} // namespace interchangestore
} // namespace vorlane
