#include "core/store/catalogcheck.h"

#include "core/store/catalogrules.h"
#include "core/store/database.h"
#include "core/store/interchangestore.h"
#include "core/store/mediastore.h"
#include "core/store/schema.h"

namespace vorlane {

int checkCatalog(Database& db, const std::function<void(const QString&)>& onFault) {
    int faults = 0;
    {
        Query q(db, QStringLiteral("pragma integrity_check"));
        while (q.next()) {
            const QString line = q.textOr(0);
            if (line != QLatin1String("ok")) {
                ++faults;
                onFault(QStringLiteral("file: ") + line);
            }
        }
    }
    // Only the columns the rules read: a catalog's notes may be large.
    CatalogRules rules(CatalogRules::Scope::Catalog);
    const auto feed = [&](const QString& sql, void (CatalogRules::*add)(const RowView&)) {
        Query q(db, sql);
        interchangestore::readQuery(q, [&](const RowView& row) {
            (rules.*add)(row);
            return true;
        });
    };
    feed(QStringLiteral("select AutoId, FatherId, TreeName from qClass"),
         &CatalogRules::addCategory);
    feed(QStringLiteral("select AutoId, ClassId, CDName from qCD"), &CatalogRules::addDisc);
    QString entryColumns = QStringLiteral("AutoId, CdID, FatherId, IsDir, TreeName");
    if (hasVersion2Columns(db))
        entryColumns += QStringLiteral(", FName");
    if (hasVersion3Columns(db))
        entryColumns += QStringLiteral(", Archive");
    feed(QStringLiteral("select %1 from qCDFiles order by AutoId").arg(entryColumns),
         &CatalogRules::addEntry);
    faults += rules.run([&](const QString& line) {
        onFault(line);
        return true;
    });
    // The trigger removes an entry's media rows with it; another program may not have had it.
    if (const qint64 orphans = mediastore::orphanRows(db)) {
        ++faults;
        onFault(QStringLiteral("media: %1 row(s) of facts or thumbnails belong to no entry")
                    .arg(orphans));
    }
    return faults;
}

} // namespace vorlane
