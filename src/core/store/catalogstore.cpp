#include "core/store/catalogstore.h"

#include "core/settings/text.h"
#include "core/store/database.h"

#include <QElapsedTimer>

namespace vorlane::catalogstore {

namespace {

// Rows of one table grouped by their parent id, each group by OrderId (ties in AutoId
// order).
QHash<qint64, QList<TreeNodeRow>> readGrouped(Database& db, const QString& sql,
                                              const QString& nullName) {
    QHash<qint64, QList<TreeNodeRow>> rows;
    Query q(db, sql);
    while (q.next()) {
        const QVariant name = q.value(1);
        rows[q.isNull(2) ? 0 : q.integer(2)].append(
            TreeNodeRow{q.integer(0), name.isNull() ? nullName : name.toString()});
    }
    return rows;
}

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
    tree.discs = readGrouped(
        db, QStringLiteral("select AutoId, CDName, ClassId from qCD order by OrderId, AutoId"),
        QStringLiteral("未命名"));
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
    return r.append();
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
