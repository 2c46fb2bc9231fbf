#include "core/store/entrychain.h"

#include "core/store/database.h"

#include <algorithm>

namespace vorlane::contentstore {

namespace {
constexpr int MaxDepth = 4096;
}

std::vector<FolderRef> entryChain(Database& db, qint64 entryId) {
    std::vector<FolderRef> chain;
    Query up(db, QStringLiteral("select TreeName, FatherId from qCDFiles where AutoId=?"));
    for (qint64 id = entryId; id != 0 && int(chain.size()) < MaxDepth;) {
        up.reset();
        up.bind(1, id);
        if (!up.next())
            break;
        chain.push_back({id, up.textOr(0)});
        id = up.integerOr(QStringLiteral("FatherId"), 0);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

qint64 entryAtPath(Database& db, qint64 discId, const QStringList& names) {
    Query find(db, QStringLiteral("select AutoId from qCDFiles where CdID=? and FatherId=? and "
                                  "TreeName=? order by AutoId limit 1"));
    qint64 id = 0;
    for (const QString& name : names) {
        find.reset();
        find.bind(1, discId).bind(2, id).bind(3, name);
        if (!find.next())
            return 0;
        id = find.integerOr(QStringLiteral("AutoId"), 0);
    }
    return id;
}

} // namespace vorlane::contentstore
