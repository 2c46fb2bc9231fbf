#include "core/import/importcore.h"

#include "core/import/scanner.h"
#include "core/store/database.h"

namespace vorlane {

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
    Record r(db, QStringLiteral("qCD"));
    r.set(QStringLiteral("CDName"), disc.name)
        .set(QStringLiteral("ClassId"), disc.categoryId)
        .set(QStringLiteral("OrderId"), disc.orderId)
        .set(QStringLiteral("SourcePath"), rootPrefix(disc.rootPath));
    if (!disc.label.isEmpty())
        r.set(QStringLiteral("CDId"), disc.label);
    return r.append();
}

} // namespace vorlane
