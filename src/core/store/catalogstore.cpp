#include "core/store/catalogstore.h"

#include "core/settings/text.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QElapsedTimer>

namespace vorlane::catalogstore {

namespace {

// Rows of one table grouped by their parent id, each group by OrderId (ties in AutoId
// order). A fourth column, where the query has one, marks an incomplete import.
QHash<qint64, QList<TreeNodeRow>> readGrouped(Database& db, const QString& sql,
                                              const QString& nullName, bool withState = false) {
    QHash<qint64, QList<TreeNodeRow>> rows;
    Query q(db, sql);
    while (q.next()) {
        const QVariant name = q.value(1);
        rows[q.isNull(2) ? 0 : q.integer(2)].append(
            TreeNodeRow{q.integer(0), name.isNull() ? nullName : name.toString(),
                        withState && !q.isNull(3) && q.integer(3) != 0});
    }
    return rows;
}

constexpr auto incompleteStates = "ScanState in (1, 2)";

} // namespace

qint64 treeRowCount(Database& db) {
    return db
        .scalar(QStringLiteral("select (select count(*) from qClass) + "
                               "(select count(*) from qCD)"))
        .toLongLong();
}

CatalogTree loadTree(Database& db) {
    CatalogTree tree;
    tree.categories = readGrouped(db,
                                  QStringLiteral("select AutoId, TreeName, FatherId from qClass"
                                                 " order by OrderId, AutoId"),
                                  QString());
    const bool facts = hasVersion2Columns(db);
    tree.discs = readGrouped(
        db,
        facts ? QStringLiteral("select AutoId, CDName, ClassId, %1 from qCD order by OrderId, "
                               "AutoId")
                    .arg(QLatin1String(incompleteStates))
              : QStringLiteral("select AutoId, CDName, ClassId from qCD order by OrderId, AutoId"),
        QStringLiteral("未命名"), facts);
    return tree;
}

bool categoryExists(Database& db, qint64 categoryId) {
    return db.scalar(QStringLiteral("select 1 from qClass where AutoId=?"), {categoryId}).isValid();
}

std::optional<QString> categoryName(Database& db, qint64 categoryId) {
    Query q(db, QStringLiteral("select TreeName from qClass where AutoId=?"), {categoryId});
    if (!q.next())
        return std::nullopt;
    return q.textOr(0);
}

qint64 addCategory(Database& db, const QString& name, qint64 parentId, qint64 orderId) {
    return Record(db, QStringLiteral("qClass"))
        .set(QStringLiteral("TreeName"), truncateGbk(name, CategoryNameBytes))
        .set(QStringLiteral("FatherId"), parentId)
        .set(QStringLiteral("OrderId"), orderId)
        .append();
}

void removeCategory(Database& db, qint64 categoryId) {
    db.exec(QStringLiteral("delete from qClass where AutoId=?"), {categoryId});
}

qint64 nextOrderId(Database& db, std::optional<qint64> nodeSerial) {
    if (nodeSerial)
        return *nodeSerial + 1;
    return db.scalar(QStringLiteral("select max(m) from (select max(OrderId) as m from qClass "
                                    "union all select max(OrderId) from qCD)"))
               .toLongLong() +
           1;
}

bool discExists(Database& db, qint64 discId) {
    return db.scalar(QStringLiteral("select 1 from qCD where AutoId=?"), {discId}).isValid();
}

std::optional<DiscRow> discRow(Database& db, qint64 discId) {
    Query q(db, QStringLiteral("select CDName, SourcePath, CDExp from qCD where AutoId=?"),
            {discId});
    if (!q.next())
        return std::nullopt;
    DiscRow row;
    row.id = discId;
    row.name = q.textOr(0);
    row.sourcePath = q.textOr(1);
    row.note = q.textOr(2);
    return row;
}

bool setDiscNote(Database& db, qint64 discId, const QString& note) {
    return Record(db, QStringLiteral("qCD")).set(QStringLiteral("CDExp"), note).update(discId);
}

bool setDiscSource(Database& db, qint64 discId, const QString& sourcePath,
                   const std::optional<QString>& note) {
    Record r(db, QStringLiteral("qCD"));
    r.set(QStringLiteral("SourcePath"), sourcePath);
    if (note)
        r.set(QStringLiteral("CDExp"), *note);
    return r.update(discId);
}

void removeDisc(Database& db, qint64 discId) {
    Transaction t(db);
    db.exec(QStringLiteral("delete from qCD where AutoId=?"), {discId});
    db.exec(QStringLiteral("delete from qCDFiles where CdID=?"), {discId});
    t.commit();
}

QString duplicateCategory(Database& db, const QString& label) {
    Query q(db,
            QStringLiteral("SELECT qClass.TreeName FROM qCD LEFT JOIN qClass ON qCD.ClassId = "
                           "qClass.AutoId where qCD.CDId = ? order by qCD.AutoId limit 1"),
            {label});
    if (!q.next())
        return {};
    return q.textOr(0);
}

qint64 addDiscRow(Database& db, const NewDisc& disc) {
    QString source = disc.rootPath;
    while (source.endsWith(QLatin1Char('/')))
        source.chop(1);
    Record r(db, QStringLiteral("qCD"));
    r.set(QStringLiteral("CDName"), disc.name)
        .set(QStringLiteral("ClassId"), disc.categoryId)
        .set(QStringLiteral("OrderId"), disc.orderId)
        .set(QStringLiteral("SourcePath"), source);
    if (!disc.label.isEmpty())
        r.set(QStringLiteral("CDId"), disc.label);
    if (hasVersion2Columns(db))
        r.set(QStringLiteral("ScanState"), int(ScanState::Failed));
    return r.append();
}

bool setScanFacts(Database& db, qint64 discId, const ScanFacts& facts) {
    if (!hasVersion2Columns(db))
        return false;
    const auto orNull = [](const std::optional<qint64>& v) {
        return v ? QVariant(*v) : QVariant();
    };
    Record row(db, QStringLiteral("qCD"));
    row.set(QStringLiteral("ScanTime"), orNull(facts.scanTime))
        .set(QStringLiteral("ScanState"), int(facts.state))
        .set(QStringLiteral("FsType"), facts.fsType.isEmpty() ? QVariant() : QVariant(facts.fsType))
        .set(QStringLiteral("Capacity"), orNull(facts.capacity));
    if (hasVersion3Columns(db))
        row.set(QStringLiteral("ScanOptions"),
                facts.options.isEmpty() ? QVariant() : QVariant(facts.options));
    return row.update(discId);
}

std::optional<DiscFacts> discFacts(Database& db, qint64 discId, bool counted) {
    DiscFacts facts;
    if (hasVersion2Columns(db)) {
        // The import's options came with version 3.
        Query q(db,
                QStringLiteral("select ScanTime, ScanState, FsType, Capacity, %1 from qCD where "
                               "AutoId=?")
                    .arg(hasVersion3Columns(db) ? QStringLiteral("ScanOptions")
                                                : QStringLiteral("null")),
                {discId});
        if (!q.next())
            return std::nullopt;
        if (!q.isNull(0))
            facts.scanTime = q.integer(0);
        if (!q.isNull(1)) {
            const qint64 state = q.integer(1);
            if (state >= 0 && state <= 2)
                facts.state = ScanState(state);
        }
        facts.fsType = q.textOr(2);
        if (!q.isNull(3))
            facts.capacity = q.integer(3);
        facts.options = q.textOr(4);
    } else if (!discExists(db, discId)) {
        return std::nullopt;
    }
    if (!counted)
        return facts;
    // Served by the index that starts with CdID. Archive members are counted apart: their
    // bytes are inside the archive's own size, not more on the disc.
    const bool marks = hasVersion3Columns(db);
    Query q(db,
            marks ? QStringLiteral(
                        "select coalesce(sum(IsDir<>0 and m=0), 0), coalesce(sum(IsDir=0 and m=0), "
                        "0), coalesce(sum(case when IsDir=0 and m=0 and not l then FSize end), 0), "
                        "coalesce(sum(m<>0), 0) from (select IsDir, FSize, coalesce(Archive=2, "
                        "0) as m, coalesce(Link,'')<>'' as l from qCDFiles where CdID=?)")
                  : QStringLiteral("select coalesce(sum(IsDir<>0), 0), coalesce(sum(IsDir=0), 0), "
                                   "coalesce(sum(case when IsDir=0 then FSize end), 0), 0 from "
                                   "qCDFiles where CdID=?"),
            {discId});
    if (q.next()) {
        facts.folders = q.integer(0);
        facts.files = q.integer(1);
        facts.totalSize = q.integer(2);
        facts.members = q.integer(3);
    }
    return facts;
}

std::vector<std::pair<qint64, ScanState>> incompleteDiscs(Database& db) {
    std::vector<std::pair<qint64, ScanState>> out;
    if (!hasVersion2Columns(db))
        return out;
    Query q(db, QStringLiteral("select AutoId, ScanState from qCD where %1 order by AutoId")
                    .arg(QLatin1String(incompleteStates)));
    while (q.next())
        out.emplace_back(q.integer(0), ScanState(q.integer(1)));
    return out;
}

TreeSaveResult saveCategoryTree(Database& db, const std::vector<TreeSaveRow>& rows,
                                const TreeSaveHooks& hooks) {
    TreeSaveResult result;
    result.ids.reserve(rows.size());
    for (const TreeSaveRow& row : rows)
        result.ids.push_back(row.id);
    std::vector<qsizetype> uncommitted; // new categories whose rows are not committed yet
    const auto total = qsizetype(rows.size());
    const auto parentId = [&](const TreeSaveRow& row) {
        return row.parent >= 0 && row.parent < total ? result.ids[size_t(row.parent)] : 0;
    };

    std::optional<Transaction> tx;
    // After a failed commit the transaction is gone: the new categories lose their ids
    // again, so that the next save appends them anew.
    const auto abandon = [&] {
        for (qsizetype i : uncommitted)
            result.ids[size_t(i)] = 0;
        uncommitted.clear();
        tx.reset(); // rolls back whatever is left
    };
    // Commits what is written; the engine's text when that fails.
    const auto commit = [&]() -> QString {
        try {
            tx->commit();
            return {};
        } catch (const DbError& e) {
            abandon();
            return e.text();
        }
    };

    try {
        tx.emplace(db);
        tx->setOnCommit([&] { uncommitted.clear(); });
    } catch (const DbError& e) {
        result.error = e.text();
        return result;
    }
    QElapsedTimer sinceReport;
    sinceReport.start();
    for (qsizetype i = 0; i < total; ++i) {
        const TreeSaveRow& row = rows[size_t(i)];
        try {
            tx->checkpoint();
        } catch (const DbError& e) {
            result.error = e.text();
            abandon();
            return result;
        }
        if (row.isDisc) {
            try {
                db.exec(
                    QStringLiteral("update qCD set CDName=?, OrderId=?, ClassId=? where AutoId=?"),
                    {row.name, i, parentId(row), row.id});
            } catch (const DbError& e) {
                result.error = e.text();
                commit();
                return result;
            }
        } else {
            Record category(db, QStringLiteral("qClass"));
            category
                .set(QStringLiteral("TreeName"),
                     truncateGbk(row.name.isEmpty() ? QStringLiteral("新分类") : row.name,
                                 CategoryNameBytes))
                .set(QStringLiteral("FatherId"), parentId(row))
                .set(QStringLiteral("OrderId"), i);
            try {
                if (row.id != 0) {
                    category.update(row.id); // a row deleted meanwhile is left alone
                } else {
                    ++result.appended;
                    result.ids[size_t(i)] = category.append();
                    uncommitted.push_back(i);
                }
            } catch (const DbError&) {
                commit();
                if (hooks.rowFailed)
                    hooks.rowFailed(i);
                return result;
            }
        }
        if (hooks.progress && sinceReport.elapsed() >= 30) {
            sinceReport.restart();
            hooks.progress(i + 1, total);
        }
    }
    result.error = commit();
    if (!result.error.isEmpty())
        return result;
    if (hooks.progress)
        hooks.progress(total, total);
    result.saved = true;
    return result;
}

} // namespace vorlane::catalogstore
