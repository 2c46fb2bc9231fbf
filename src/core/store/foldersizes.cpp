#include "core/store/foldersizes.h"

#include "core/store/database.h"
#include "core/store/schema.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <sqlite3.h>
#include <vector>

namespace vorlane::foldersizes {

namespace {

// What a file row adds to the folder holding it; a catalog without the link column has
// no links to leave out.
QString fileBytes(Database& db, const QString& table) {
    return hasVersion2Columns(db) ? QStringLiteral("case when coalesce(%1Link,'')<>'' then 0 else "
                                                   "coalesce(%1FSize,0) end")
                                        .arg(table)
                                  : QStringLiteral("coalesce(%1FSize,0)").arg(table);
}

} // namespace

bool available(Database& db) {
    return hasVersion6Columns(db);
}

QString sizeColumn(Database& db, bool unknownNegative) {
    if (available(db))
        return QStringLiteral("case when coalesce(IsDir,0)<>0 then coalesce(DirSize,FSize) else "
                              "FSize end");
    return unknownNegative ? QStringLiteral("case when coalesce(IsDir,0)<>0 then -1 else FSize end")
                           : QStringLiteral("FSize");
}

void storeTotals(Database& db, std::optional<qint64> discId) {
    if (!available(db))
        return;
    // In AutoId order the ids come sorted, so a parent is found by a binary search and no
    // map of a million rows is built.
    Query rows(db, QStringLiteral("select AutoId, coalesce(FatherId,0), coalesce(IsDir,0)<>0, %1, "
                                  "DirSize from qCDFiles%2 order by AutoId")
                       .arg(fileBytes(db, QString()),
                            discId ? QStringLiteral(" where CdID=?") : QString()));
    if (discId)
        rows.bind(1, *discId);
    std::vector<qint64> ids;
    std::vector<qint64> fathers;
    std::vector<qint64> bytes; // a file's own size; a folder's total once worked out
    std::vector<qint64> stored;
    std::vector<char> isDir;
    sqlite3_stmt* const s = rows.statement();
    while (rows.next()) {
        ids.push_back(sqlite3_column_int64(s, 0));
        fathers.push_back(sqlite3_column_int64(s, 1));
        const bool dir = sqlite3_column_int64(s, 2) != 0;
        isDir.push_back(dir ? 1 : 0);
        bytes.push_back(dir ? 0 : sqlite3_column_int64(s, 3));
        stored.push_back(sqlite3_column_type(s, 4) == SQLITE_NULL ? -1
                                                                  : sqlite3_column_int64(s, 4));
    }
    const size_t n = ids.size();
    // The folder a row adds to, or -1: none on this disc, or an archive (its members are
    // inside its own size).
    std::vector<qint64> parent(n, -1);
    std::vector<int> pending(n, 0); // sub-folders whose total has not reached this folder
    for (size_t i = 0; i < n; ++i) {
        const auto it = std::lower_bound(ids.begin(), ids.end(), fathers[i]);
        if (fathers[i] == 0 || it == ids.end() || *it != fathers[i])
            continue;
        const auto p = size_t(it - ids.begin());
        if (!isDir[p] || p == i)
            continue;
        parent[i] = qint64(p);
        if (isDir[i])
            ++pending[p];
        else
            bytes[p] += bytes[i];
    }
    // Bottom up: a folder passes its total on once all its sub-folders have passed theirs.
    // Folders on a damaged loop of parent links never get there and keep what they have.
    std::vector<size_t> ready;
    for (size_t i = 0; i < n; ++i) {
        if (isDir[i] && pending[i] == 0)
            ready.push_back(i);
    }
    while (!ready.empty()) {
        const size_t f = ready.back();
        ready.pop_back();
        if (parent[f] < 0)
            continue;
        const auto p = size_t(parent[f]);
        bytes[p] += bytes[f];
        if (--pending[p] == 0)
            ready.push_back(p);
    }
    Query write(db, QStringLiteral("update qCDFiles set DirSize=? where AutoId=?"));
    for (size_t i = 0; i < n; ++i) {
        if (!isDir[i] || stored[i] == bytes[i])
            continue;
        write.reset();
        write.bind(1, bytes[i]);
        write.bind(2, ids[i]);
        write.exec();
    }
}

void refreshAbove(Database& db, const QList<qint64>& folderIds) {
    if (!available(db))
        return;
    // Each chain from a folder up to its disc's top level; a folder's depth is its distance
    // from the top, so the deepest are worked out first and pass their totals up.
    Query up(db, QStringLiteral("select coalesce(FatherId,0) from qCDFiles where AutoId=? and "
                                "coalesce(IsDir,0)<>0"));
    QHash<qint64, int> depth;
    for (qint64 id : folderIds) {
        std::vector<qint64> chain;
        QSet<qint64> seen; // a damaged loop of parent links is followed once
        while (id > 0 && !seen.contains(id)) {
            seen.insert(id);
            up.reset();
            up.bind(1, id);
            if (!up.next())
                break;
            chain.push_back(id);
            id = up.integer(0);
        }
        for (size_t k = 0; k < chain.size(); ++k)
            depth[chain[k]] = std::max(depth.value(chain[k], 0), int(chain.size() - 1 - k));
    }
    std::vector<std::pair<int, qint64>> order;
    for (auto it = depth.cbegin(); it != depth.cend(); ++it)
        order.emplace_back(it.value(), it.key());
    std::sort(order.begin(), order.end(), std::greater<>());
    Query sum(db, QStringLiteral("update qCDFiles set DirSize=(select coalesce(sum(case when "
                                 "coalesce(c.IsDir,0)<>0 then coalesce(c.DirSize,0) else %1 "
                                 "end),0) from qCDFiles c where c.FatherId=?1) where AutoId=?1")
                      .arg(fileBytes(db, QStringLiteral("c."))));
    for (const auto& [d, id] : order) {
        sum.reset();
        sum.bind(1, id);
        sum.exec();
    }
}

} // namespace vorlane::foldersizes
