// The rescan of a disc against the first scan of the same tree: 200,000 entries (about 10%
// folders, five levels), on a warm cache. Each round scans the tree into a new catalog (the
// baseline), rescans it unchanged, then changes 1% of the entries (files grown, removed and
// added) and rescans again. A rescan is timed whole: the walk, the comparison and the
// transaction that writes the changes.
#include "benchtree.h"
#include "benchutil.h"

#include "core/import/rescan.h"
#include "core/import/scanjob.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorlane;

namespace {

constexpr int kFolders = bench::NestedTree::Folders;
constexpr int kFiles = bench::NestedTree::Files;
constexpr int kChanged = (kFolders + kFiles) / 100;

bench::NestedTree g_tree;

// 1% of the entries: half of them files grown, a quarter removed, a quarter added (with
// names no earlier round used).
void changeTree(int round) {
    std::mt19937 rng{static_cast<unsigned>(round)};
    std::uniform_int_distribution<int> pick(0, kFiles - 1);
    for (int n = 0; n < kChanged / 2; ++n) {
        const std::string p = g_tree.filePath(pick(rng));
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0)
            bench::NestedTree::makeFile(p, long(st.st_size) + 1);
    }
    for (int n = 0; n < kChanged / 4; ++n)
        ::unlink(g_tree.filePath(pick(rng)).c_str());
    for (int n = 0; n < kChanged / 4; ++n)
        bench::NestedTree::makeFile(g_tree.filePath(kFiles + round * kChanged + n), 1000);
}

qint64 g_disc = 0;

double runScan(const QString& root, const QString& catalog) {
    QFile::remove(catalog);
    writeTemplate(catalog);
    return bench::timeMs([&] {
        Database db;
        db.open(catalog);
        ScanParams params;
        params.root = root;
        params.discId =
            catalogstore::addDiscRow(db, NewDisc{QStringLiteral("bench"), 1, 1, root, {}});
        g_disc = params.discId;
        const ScanResult r = scanDisc(db, params);
        if (!r.error.isEmpty() || r.rows < kFolders) {
            std::printf("scan failed\n");
            std::exit(1);
        }
    });
}

double runRescan(const QString& catalog, qint64 expectChanges) {
    RescanReport report;
    const double ms = bench::timeMs([&] {
        Database db;
        db.open(catalog);
        std::atomic<bool> cancel{false};
        ScanHooks hooks;
        hooks.cancel = &cancel;
        hooks.progress = [](const QString&) {};
        RescanPlan plan;
        report = compareRescan(db, g_disc, {}, hooks, plan);
        if (report.failure != RescanReport::Failure::None || !applyRescan(db, plan, &cancel)) {
            std::printf("rescan failed\n");
            std::exit(1);
        }
    });
    const qint64 changes = report.added + report.removed + report.changed;
    if ((expectChanges == 0) != (changes == 0)) {
        std::printf("rescan found %lld changes\n", static_cast<long long>(changes));
        std::exit(1);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    const QString root = tmp.filePath(QStringLiteral("tree"));
    QDir().mkpath(root);
    g_tree.build(root);
    const QString catalog = tmp.filePath(QStringLiteral("bench.vlr"));
    runScan(root, catalog); // warm the cache
    runRescan(catalog, 0);

    std::vector<double> baseline, unchanged, changed;
    for (int i = 0; i < 5; ++i) {
        baseline.push_back(runScan(root, catalog));
        unchanged.push_back(runRescan(catalog, 0));
        changeTree(i + 1);
        changed.push_back(runRescan(catalog, kChanged));
        std::printf("run %d: scan %.0f ms, rescan unchanged %.0f ms, rescan 1%% changed %.0f ms\n",
                    i + 1, baseline.back(), unchanged.back(), changed.back());
        std::fflush(stdout);
    }
    bench::report("rescan-unchanged", unchanged, baseline, false);
    bench::report("rescan-changed", changed, baseline, true);
    return 0;
}
