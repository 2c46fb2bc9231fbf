#include "core/store/contentstore.h"

#include "core/store/database.h"
#include "core/store/foldersizes.h"
#include "core/store/schema.h"
#include "core/throttle.h"

#include <QSet>
#include <algorithm>
#include <sqlite3.h>

namespace vorlane {

SpecialKind specialKind(qint64 stored) {
    return stored >= 1 && stored <= 4 ? SpecialKind(stored) : SpecialKind::None;
}

} // namespace vorlane

namespace vorlane::contentstore {

bool isFolderOf(Database& db, qint64 folderId, qint64 discId) {
    return db
        .scalar(QStringLiteral("select 1 from qCDFiles where AutoId=? and CdID=? and IsDir<>0"),
                {folderId, discId})
        .isValid();
}

bool isListingOf(Database& db, qint64 entryId, qint64 discId) {
    if (isFolderOf(db, entryId, discId))
        return true;
    return hasVersion3Columns(db) &&
           db.scalar(QStringLiteral("select 1 from qCDFiles where AutoId=? and CdID=? and "
                                    "Archive=1"),
                     {entryId, discId})
               .isValid();
}

std::optional<EntryLink> entryLink(Database& db, qint64 entryId) {
    const bool marks = hasVersion3Columns(db);
    Query q(db,
            marks ? QStringLiteral("select FatherId,Archive from qCDFiles where AutoId=?")
                  : QStringLiteral("select FatherId from qCDFiles where AutoId=?"),
            {entryId});
    if (!q.next())
        return std::nullopt;
    EntryLink link;
    link.fatherId = q.isNull(0) ? 0 : q.integer(0);
    if (marks && !q.isNull(1) && (q.integer(1) == 1 || q.integer(1) == 2))
        link.archive = ArchiveMark(q.integer(1));
    return link;
}

qint64 archiveOf(Database& db, qint64 memberId) {
    QSet<qint64> seen;
    for (qint64 id = memberId; id > 0 && !seen.contains(id);) {
        seen.insert(id);
        const std::optional<EntryLink> link = entryLink(db, id);
        if (!link)
            return 0;
        if (link->archive == ArchiveMark::Archive)
            return id == memberId ? 0 : id;
        if (link->archive != ArchiveMark::Member)
            return 0;
        id = link->fatherId;
    }
    return 0;
}

std::optional<QString> entryNote(Database& db, qint64 entryId) {
    Query q(db, QStringLiteral("select TreeExp from qCDFiles where AutoId=?"), {entryId});
    if (!q.next())
        return std::nullopt;
    return q.textOr(0);
}

qint64 countTopLevel(Database& db, qint64 discId) {
    return db
        .scalar(QStringLiteral("select count(*) from qCDFiles where FatherId=0 and CdID=?"),
                {discId})
        .toLongLong();
}

qint64 countChildren(Database& db, qint64 folderId) {
    return db.scalar(QStringLiteral("select count(*) from qCDFiles where FatherId=?"), {folderId})
        .toLongLong();
}

void readLevel(Database& db, qint64 discId, qint64 folderId,
               const std::function<bool(Entry&&)>& onRow) {
    // AutoId keeps the stored order inside each group; the sort alone would not promise it.
    // Both forms name the disc and the parent, so the index on (CdID, FatherId, IsDir desc)
    // hands the rows over in this order: a level costs its own rows, not its disc's, and
    // nothing is sorted.
    // A catalog that could not be upgraded has no time or link to give.
    QString columns = QStringLiteral("AutoId,TreeName,%1,TreeExp,FPath,IsDir")
                          .arg(foldersizes::sizeColumn(db, true));
    if (hasVersion2Columns(db)) {
        columns += QStringLiteral(",FTime,Link");
        if (hasVersion3Columns(db)) {
            columns += QStringLiteral(",Archive");
            if (hasVersion4Columns(db))
                columns += QStringLiteral(",Special");
        }
    }
    Query q = folderId == 0
                  ? Query(db,
                          QStringLiteral("select %1 from qCDFiles where CdID=? and FatherId=0 "
                                         "order by IsDir desc, AutoId")
                              .arg(columns),
                          {discId})
                  : Query(db,
                          QStringLiteral("select %1 from qCDFiles where CdID=(select CdID from "
                                         "qCDFiles where AutoId=?1) and FatherId=?1 order by "
                                         "IsDir desc, AutoId")
                              .arg(columns),
                          {folderId});
    const bool facts = q.columnCount() > 6;
    QString lastPath; // the rows of one level mostly share their path: keep one copy
    while (q.next()) {
        Entry e;
        e.id = q.isNull(0) ? 0 : q.integer(0);
        e.name = q.textOr(1);
        e.size = q.isNull(2) ? 0 : q.integer(2);
        e.note = q.textOr(3);
        QString path = q.textOr(4);
        if (path == lastPath)
            e.path = lastPath;
        else
            e.path = lastPath = std::move(path);
        e.isDir = !q.isNull(5) && q.integer(5) != 0;
        if (facts) {
            if (!q.isNull(6))
                e.mtime = q.integer(6);
            e.link = q.textOr(7);
        }
        if (q.columnCount() > 8 && !q.isNull(8)) {
            const qint64 mark = q.integer(8);
            if (mark == 1 || mark == 2)
                e.archive = ArchiveMark(mark);
        }
        if (q.columnCount() > 9 && !q.isNull(9) && !e.isDir)
            e.special = specialKind(q.integer(9));
        if (!onRow(std::move(e)))
            break;
    }
}

std::optional<QByteArray> rawEntryPath(Database& db, qint64 entryId) {
    const bool raw = hasVersion2Columns(db);
    Query q(db, raw ? QStringLiteral("select FatherId,TreeName,FName from qCDFiles where AutoId=?")
                    : QStringLiteral("select FatherId,TreeName from qCDFiles where AutoId=?"));
    QList<QByteArray> names; // the entry's first, then each folder above it
    QSet<qint64> seen;
    for (qint64 id = entryId; id > 0 && !seen.contains(id);) {
        seen.insert(id);
        q.reset();
        q.bind(1, id);
        if (!q.next()) {
            if (id == entryId)
                return std::nullopt;
            break; // a parent that is gone: the path starts below it
        }
        const QVariant bytes = raw ? q.value(2) : QVariant();
        names << (bytes.isNull() || bytes.toByteArray().isEmpty() ? q.textOr(1).toUtf8()
                                                                  : bytes.toByteArray());
        id = q.isNull(0) ? 0 : q.integer(0);
    }
    QByteArray path;
    for (auto it = names.crbegin(); it != names.crend(); ++it)
        path += '/' + *it;
    return path;
}

RawNames::RawNames(Database& db) : m_db(db) {}

RawNames::~RawNames() = default;

QByteArray RawNames::of(qint64 entryId) {
    if (!m_prepared) {
        m_prepared = true;
        if (hasVersion2Columns(m_db))
            m_query = std::make_unique<Query>(
                m_db, QStringLiteral("select FName from qCDFiles where AutoId=?"));
    }
    if (!m_query || entryId <= 0)
        return {};
    if (m_all)
        return m_all->value(entryId);
    if (++m_lookups > 4096) {
        m_all = std::make_unique<QHash<qint64, QByteArray>>();
        Query all(m_db,
                  QStringLiteral("select AutoId,FName from qCDFiles where FName is not null"));
        while (all.next())
            m_all->insert(all.integer(0), all.value(1).toByteArray());
        return m_all->value(entryId);
    }
    m_query->reset();
    m_query->bind(1, entryId);
    return m_query->next() && !m_query->isNull(0) ? m_query->value(0).toByteArray() : QByteArray();
}

std::vector<FolderRef> subFolders(Database& db, qint64 folderId) {
    std::vector<FolderRef> out;
    Query q(db,
            QStringLiteral("select AutoId,TreeName from qCDFiles where IsDir<>0 and FatherId=? "
                           "order by AutoId"),
            {folderId});
    while (q.next())
        out.push_back({q.integer(0), q.textOr(1)});
    return out;
}

QString pathForNewEntry(Database& db, qint64& parentId, const QString& name, bool isDir) {
    QString parentPath;
    if (parentId != 0) {
        Query q(db, QStringLiteral("select AutoId,TreeName,FPath from qCDFiles where AutoId=?"),
                {parentId});
        if (q.next())
            parentPath = q.textOr(2);
        else
            parentId = 0;
    }
    return isDir ? parentPath + QLatin1Char('/') + name : parentPath;
}

qint64 addEntry(Database& db, qint64 discId, qint64 parentId, const QString& name,
                const QString& path, bool isDir) {
    Transaction tx(db);
    Record row(db, QStringLiteral("qCDFiles"));
    row.set(QStringLiteral("CdID"), discId)
        .set(QStringLiteral("TreeName"), name)
        .set(QStringLiteral("FPath"), path)
        .set(QStringLiteral("FSize"), 0)
        .set(QStringLiteral("FatherId"), parentId)
        .set(QStringLiteral("IsDir"), isDir ? 1 : 0);
    if (isDir && foldersizes::available(db))
        row.set(QStringLiteral("DirSize"), 0);
    const qint64 id = row.append();
    foldersizes::refreshAbove(db, {parentId});
    tx.commit();
    return id;
}

bool setNote(Database& db, qint64 entryId, const QString& note) {
    return Record(db, QStringLiteral("qCDFiles"))
        .set(QStringLiteral("TreeExp"), note)
        .update(entryId);
}

qint64 removeTree(Database& db, qint64 entryId, const std::function<void(qint64, qint64)>& progress,
                  const std::function<bool()>& cancel) {
    return removeTrees(db, {entryId}, progress, cancel);
}

qint64 removeTrees(Database& db, const QList<qint64>& entryIds,
                   const std::function<void(qint64, qint64)>& progress,
                   const std::function<bool()>& cancel) {
    // "union" (not "union all") visits each row once, so a damaged loop of parent links
    // cannot run forever. Children are listed after their parents.
    Query below(db, QStringLiteral("with recursive below(id) as (select ?1 union "
                                   "select f.AutoId from qCDFiles f join below on "
                                   "f.FatherId=below.id) select id from below"));
    std::vector<qint64> ids;
    for (qint64 entryId : entryIds) {
        // Id 0 would mean a whole top level (of every disc): never a valid entry.
        if (entryId <= 0)
            continue;
        below.reset();
        below.bind(1, entryId);
        while (below.next())
            ids.push_back(below.integer(0));
    }
    const auto total = qint64(ids.size());
    // The folders holding the removed branches, read while they are still linked.
    QList<qint64> above;
    for (qint64 entryId : entryIds) {
        if (const std::optional<EntryLink> link = entryLink(db, entryId); link && link->fatherId)
            above << link->fatherId;
    }
    Transaction tx(db);
    Query del(db, QStringLiteral("delete from qCDFiles where AutoId=?"));
    Throttle report(30);
    qint64 done = 0;
    // Deepest rows first, so that a parent never goes before its children.
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        del.reset();
        del.bind(1, *it);
        del.exec();
        done += db.changes(); // an entry reached twice is removed once
        if (cancel && cancel())
            return 0; // the transaction rolls back
        if (progress && report.due()) {
            progress(qint64(it - ids.rbegin()) + 1, total);
        }
    }
    foldersizes::refreshAbove(db, above);
    tx.commit();
    if (progress)
        progress(total, total);
    return done;
}

namespace {

// What marks a row the verify passes over, by the columns the catalog has: a link
// (Link) and an archive's member (Archive=2) have no content of their own to read back.
// Special files (Special) are counted apart.
QString skippedTest(Database& db) {
    if (hasVersion3Columns(db))
        return QStringLiteral("(coalesce(Link,'')<>'' or coalesce(Archive,0)=2)");
    if (hasVersion2Columns(db))
        return QStringLiteral("(coalesce(Link,'')<>'')");
    return QStringLiteral("0");
}

QString specialColumn(Database& db) {
    return hasVersion4Columns(db) ? QStringLiteral("Special") : QStringLiteral("null");
}

} // namespace

std::vector<StoredFolder> discFolders(Database& db, qint64 discId) {
    std::vector<StoredFolder> out;
    Query q(db,
            hasVersion2Columns(db)
                ? QStringLiteral("select AutoId,FatherId,TreeName,FName from qCDFiles where CdID=? "
                                 "and IsDir<>0")
                : QStringLiteral("select AutoId,FatherId,TreeName from qCDFiles where CdID=? and "
                                 "IsDir<>0"),
            {discId});
    const bool raw = q.columnCount() > 3;
    while (q.next()) {
        StoredFolder f;
        f.id = q.integer(0);
        f.fatherId = q.isNull(1) ? 0 : q.integer(1);
        const QByteArray bytes = raw ? q.value(3).toByteArray() : QByteArray();
        f.name = bytes.isEmpty() ? q.textOr(2).toUtf8() : bytes;
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<StoredFile> discFiles(Database& db, qint64 discId, qint64 afterId, int limit) {
    const bool v2 = hasVersion2Columns(db);
    const bool v3 = v2 && hasVersion3Columns(db);
    const QString columns =
        QStringLiteral("AutoId,FatherId,TreeName,FPath,FSize,%1 as Skipped,%2,%3")
            .arg(skippedTest(db),
                 v3   ? QStringLiteral("FName,FTime,FHash")
                 : v2 ? QStringLiteral("FName,FTime,null")
                      : QStringLiteral("null,null,null"),
                 specialColumn(db));
    Query q(db,
            // Walking the primary key from `afterId` costs a page per page; by the disc's
            // index, each page would sort the whole disc again.
            QStringLiteral("select %1 from qCDFiles not indexed where CdID=? and "
                           "coalesce(IsDir,0)=0 and AutoId>? order by AutoId limit ?")
                .arg(columns),
            {discId, afterId, limit});
    std::vector<StoredFile> out;
    while (q.next()) {
        StoredFile f;
        f.id = q.integer(0);
        f.fatherId = q.isNull(1) ? 0 : q.integer(1);
        f.name = q.textOr(2);
        f.path = q.textOr(3);
        f.size = q.isNull(4) ? 0 : q.integer(4);
        f.skipped = !q.isNull(5) && q.integer(5) != 0;
        f.raw = q.value(6).toByteArray();
        if (!q.isNull(7))
            f.mtime = q.integer(7);
        f.hash = q.value(8).toByteArray();
        if (!q.isNull(9))
            f.special = specialKind(q.integer(9));
        out.push_back(std::move(f));
    }
    if (out.empty() || !hasMediaTables(db))
        return out;
    // The page's ids ascend: one range of the table's key holds all their hashes.
    QHash<qint64, size_t> at;
    for (size_t i = 0; i < out.size(); ++i)
        at.insert(out[i].id, i);
    Query h(db,
            QStringLiteral("select EntryId, Algorithm, Digest from qForeignHash where EntryId "
                           "between ? and ?"),
            {out.front().id, out.back().id});
    while (h.next()) {
        const auto it = at.constFind(h.integer(0));
        const std::optional<HashAlgorithm> a = foreignhash::algorithmNamed(h.textOr(1));
        const QByteArray digest = h.value(2).toByteArray();
        if (it != at.cend() && a && digest.size() == foreignhash::digestLength(*a))
            out[*it].foreign.push_back({*a, digest});
    }
    return out;
}

DiscFileTotals discFileTotals(Database& db, qint64 discId) {
    Query q(db,
            QStringLiteral("select count(*),coalesce(sum(FSize),0),%1,%4 from qCDFiles where "
                           "CdID=? and coalesce(IsDir,0)=0 and not %2 and coalesce(%3,0) not in "
                           "(1,2,3,4)")
                .arg(hasVersion3Columns(db) ? QStringLiteral("count(FHash)") : QStringLiteral("0"),
                     skippedTest(db), specialColumn(db),
                     !hasMediaTables(db) ? QStringLiteral("0")
                     : hasVersion3Columns(db)
                         ? QStringLiteral("coalesce(sum(FHash is null and exists (select 1 from "
                                          "qForeignHash where EntryId=qCDFiles.AutoId)),0)")
                         : QStringLiteral("coalesce(sum(exists (select 1 from qForeignHash where "
                                          "EntryId=qCDFiles.AutoId)),0)")),
            {discId});
    DiscFileTotals t;
    if (q.next()) {
        t.files = q.integer(0);
        t.bytes = q.integer(1);
        t.hashed = q.integer(2);
        t.foreign = q.integer(3);
    }
    return t;
}

EntryWriter::EntryWriter(Database& db, qint64 discId, int rowsPerStatement)
    : m_db(db), m_rowsPerStatement(std::max(1, rowsPerStatement)), m_facts(hasVersion2Columns(db)),
      m_v3(m_facts && hasVersion3Columns(db)), m_v4(m_v3 && hasVersion4Columns(db)) {
    QString sql = QStringLiteral("insert into qCDFiles (CdID, FatherId, TreeName, FPath, FSize, "
                                 "IsDir, TreeExp");
    if (m_facts) {
        sql += QStringLiteral(", FTime, FName, Link");
        m_columns = 10;
    }
    if (m_v3) {
        sql += QStringLiteral(", Archive, FHash");
        m_columns = 12;
    }
    if (m_v4) {
        sql += QStringLiteral(", Special");
        m_columns = 13;
    }
    sql += QStringLiteral(") values ");
    const auto values = [&](int rows) {
        QString text = sql;
        for (int r = 0; r < rows; ++r) {
            text += r == 0 ? QStringLiteral("(") : QStringLiteral(",(");
            for (int c = 1; c <= m_columns; ++c)
                text += (c == 1 ? QStringLiteral("?") : QStringLiteral(",?")) +
                        QString::number(r * m_columns + c);
            text += QLatin1Char(')');
        }
        return text;
    };
    m_insert = std::make_unique<Query>(db, values(1));
    m_insert->bind(1, discId);
    if (m_rowsPerStatement > 1) {
        m_many = std::make_unique<Query>(db, values(m_rowsPerStatement));
        for (int r = 0; r < m_rowsPerStatement; ++r)
            m_many->bind(r * m_columns + 1, discId);
        m_waiting.reserve(size_t(m_rowsPerStatement));
    }
}

EntryWriter::~EntryWriter() = default;

namespace {

// Binds the caller's bytes as they are: the scan stores rows as fast as it lists them. An
// empty view may carry no pointer at all, which would bind null.
void bindText(sqlite3_stmt* st, int index, std::string_view text) {
    sqlite3_bind_text(st, index, text.data() ? text.data() : "", int(text.size()), SQLITE_STATIC);
}

} // namespace

void EntryWriter::bindRow(sqlite3_stmt* st, int base, const ScannedEntry& e) {
    sqlite3_bind_int64(st, base + 2, e.fatherId);
    bindText(st, base + 3, e.name);
    bindText(st, base + 4, e.path);
    sqlite3_bind_int64(st, base + 5, e.isDir ? 0 : e.size);
    sqlite3_bind_int(st, base + 6, e.isDir ? 1 : 0);
    if (e.note.empty())
        sqlite3_bind_null(st, base + 7);
    else
        bindText(st, base + 7, e.note);
    if (m_facts) {
        if (e.mtime)
            sqlite3_bind_int64(st, base + 8, *e.mtime);
        else
            sqlite3_bind_null(st, base + 8);
        if (e.raw.empty())
            sqlite3_bind_null(st, base + 9);
        else
            sqlite3_bind_blob(st, base + 9, e.raw.data(), int(e.raw.size()), SQLITE_STATIC);
        if (e.link.empty())
            sqlite3_bind_null(st, base + 10);
        else
            bindText(st, base + 10, e.link);
    }
    if (m_v3) {
        if (e.archive == ArchiveMark::None)
            sqlite3_bind_null(st, base + 11);
        else
            sqlite3_bind_int(st, base + 11, int(e.archive));
        if (e.hash.empty())
            sqlite3_bind_null(st, base + 12);
        else
            sqlite3_bind_blob(st, base + 12, e.hash.data(), int(e.hash.size()), SQLITE_STATIC);
    }
    if (m_v4) {
        if (e.special == SpecialKind::None || e.isDir)
            sqlite3_bind_null(st, base + 13);
        else
            sqlite3_bind_int(st, base + 13, int(e.special));
    }
}

void EntryWriter::step(sqlite3_stmt* st) {
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) {
        const DbError error = DbError::fromEngine(m_db.handle());
        sqlite3_reset(st);
        throw error;
    }
    sqlite3_reset(st);
}

qint64 EntryWriter::add(const ScannedEntry& e) {
    if (!m_many || m_nextId == 0) {
        // The first row after a flush goes alone: another program may have added rows
        // since, and the engine tells which id comes next.
        sqlite3_stmt* st = m_insert->statement();
        bindRow(st, 0, e);
        step(st);
        ++m_stored;
        const qint64 id = sqlite3_last_insert_rowid(m_db.handle());
        if (m_many)
            m_nextId = id + 1;
        return id;
    }
    m_waiting.push_back(e);
    const qint64 id = m_nextId++;
    if (m_waiting.size() == size_t(m_rowsPerStatement)) {
        sqlite3_stmt* st = m_many->statement();
        for (int r = 0; r < m_rowsPerStatement; ++r)
            bindRow(st, r * m_columns, m_waiting[size_t(r)]);
        m_waiting.clear();
        try {
            step(st);
        } catch (const DbError&) {
            m_nextId = 0;
            throw;
        }
        if (sqlite3_last_insert_rowid(m_db.handle()) != id) {
            // Never while the transaction is ours alone; should it happen, rows would hang
            // under the wrong folders, so none of the transaction may stay.
            m_nextId = 0;
            m_db.rollback();
            throw DbError(QStringLiteral("the catalog's row ids did not come in order"));
        }
        m_stored += m_rowsPerStatement;
    }
    return id;
}

void EntryWriter::flush() {
    if (m_waiting.empty()) {
        m_nextId = 0;
        return;
    }
    // Fewer than a full statement's worth: one at a time, with the ids they were promised.
    const qint64 first = m_nextId - qint64(m_waiting.size());
    sqlite3_stmt* st = m_insert->statement();
    std::vector<ScannedEntry> waiting;
    waiting.swap(m_waiting);
    m_waiting.reserve(waiting.capacity());
    m_nextId = 0;
    for (size_t i = 0; i < waiting.size(); ++i) {
        bindRow(st, 0, waiting[i]);
        step(st);
        if (sqlite3_last_insert_rowid(m_db.handle()) != first + qint64(i)) {
            m_db.rollback();
            throw DbError(QStringLiteral("the catalog's row ids did not come in order"));
        }
        ++m_stored;
    }
}

} // namespace vorlane::contentstore
