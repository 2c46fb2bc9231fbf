#include "core/store/catalogcheck.h"

#include "core/store/database.h"
#include "core/store/schema.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace vorlane {

namespace {

// Each query lists the offending rows as (id, detail) with a message template.
struct Rule {
    const char* sql;
    const char* message; // %1 = id, %2 = detail
};

const Rule rules[] = {
    {"select c.AutoId, c.ClassId from qCD c where not exists "
     "(select 1 from qClass k where k.AutoId = c.ClassId)",
     "disc %1: its category %2 does not exist"},
    {"select k.AutoId, k.FatherId from qClass k where k.FatherId <> 0 and not exists "
     "(select 1 from qClass p where p.AutoId = k.FatherId)",
     "category %1: its parent category %2 does not exist"},
    {"select f.AutoId, f.CdID from qCDFiles f where not exists "
     "(select 1 from qCD c where c.AutoId = f.CdID)",
     "entry %1: its disc %2 does not exist"},
    {"select f.AutoId, f.FatherId from qCDFiles f where f.FatherId <> 0 and not exists "
     "(select 1 from qCDFiles p where p.AutoId = f.FatherId)",
     "entry %1: its parent folder %2 does not exist"},
    {"select f.AutoId, f.FatherId from qCDFiles f join qCDFiles p on p.AutoId = f.FatherId "
     "where f.FatherId <> 0 and p.CdID <> f.CdID",
     "entry %1: its parent folder %2 belongs to another disc"},
    {"select AutoId, '' from qCDFiles where TreeName is null", "entry %1: it has no name"},
};

// A file holds entries only when it is an archive whose members are listed; such rows are
// known by qCDFiles.Archive, which catalogs from before it lack.
const Rule fileParentRule = {
    "select f.AutoId, f.FatherId from qCDFiles f join qCDFiles p on p.AutoId = f.FatherId "
    "where f.FatherId <> 0 and p.IsDir = 0",
    "entry %1: its parent %2 is a file, not a folder"};

const Rule archiveRules[] = {
    {"select f.AutoId, f.FatherId from qCDFiles f join qCDFiles p on p.AutoId = f.FatherId "
     "where f.FatherId <> 0 and p.IsDir = 0 and p.Archive is not 1",
     "entry %1: its parent %2 is a file, not a folder"},
    {"select AutoId, Archive from qCDFiles where Archive is not null and Archive not in (1, 2)",
     "entry %1: unknown archive mark %2"},
    {"select AutoId, '' from qCDFiles where Archive = 1 and IsDir <> 0",
     "entry %1: a folder marked as an archive"},
    {"select AutoId, '' from qCDFiles where Archive = 2 and FatherId = 0",
     "entry %1: an archive member outside any archive"},
    {"select f.AutoId, f.FatherId from qCDFiles f join qCDFiles p on p.AutoId = f.FatherId "
     "where f.Archive = 2 and p.IsDir <> 0 and p.Archive is not 2",
     "entry %1: an archive member in the folder %2, which is not inside an archive"},
    {"select f.AutoId, f.FatherId from qCDFiles f join qCDFiles p on p.AutoId = f.FatherId "
     "where f.Archive is not 2 and p.Archive in (1, 2)",
     "entry %1: not an archive member, yet inside the archive %2"},
};

// Ids of the rows whose chain of parents runs in a circle.
QList<qint64> cycles(Database& db, const QString& sql) {
    std::unordered_map<qint64, qint64> parent;
    Query q(db, sql);
    while (q.next())
        parent[q.integer(0)] = q.integerOr(QStringLiteral("FatherId"), 0);
    QList<qint64> out;
    std::unordered_map<qint64, int> state; // 1 on the current path, 2 settled
    for (const auto& [start, _] : parent) {
        if (state[start] == 2)
            continue;
        std::vector<qint64> pathIds;
        qint64 id = start;
        while (id != 0 && parent.count(id) && state[id] == 0) {
            state[id] = 1;
            pathIds.push_back(id);
            id = parent[id];
        }
        if (id != 0 && state[id] == 1) {
            // `id` is on the current path: everything from it on is the circle.
            bool inCycle = false;
            for (qint64 p : pathIds) {
                inCycle = inCycle || p == id;
                if (inCycle)
                    out << p;
            }
        }
        for (qint64 p : pathIds)
            state[p] = 2;
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

int checkCatalog(Database& db, const std::function<void(const QString&)>& onFault) {
    int faults = 0;
    const auto report = [&](const QString& line) {
        ++faults;
        onFault(line);
    };
    {
        Query q(db, QStringLiteral("pragma integrity_check"));
        while (q.next()) {
            const QString line = q.textOr(0);
            if (line != QLatin1String("ok"))
                report(QStringLiteral("file: ") + line);
        }
    }
    const auto apply = [&](const Rule& r) {
        Query q(db, QString::fromLatin1(r.sql));
        while (q.next())
            report(QString::fromLatin1(r.message).arg(q.integer(0)).arg(q.textOr(1)));
    };
    for (const Rule& r : rules)
        apply(r);
    if (hasVersion3Columns(db)) {
        for (const Rule& r : archiveRules)
            apply(r);
    } else {
        apply(fileParentRule);
    }
    for (qint64 id : cycles(db, QStringLiteral("select AutoId, FatherId from qClass")))
        report(QStringLiteral("category %1: its parents lead back to itself").arg(id));
    for (qint64 id : cycles(db, QStringLiteral("select AutoId, FatherId from qCDFiles")))
        report(QStringLiteral("entry %1: its parent folders lead back to itself").arg(id));
    return faults;
}

} // namespace vorlane
