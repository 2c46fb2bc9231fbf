// The disc scan against `find -printf` on a tree of 200,000 entries (about 10% folders,
// five levels), both on a warm cache. The scan goes through the same core call the
// progress window makes, into a new catalog each time.
#include "benchtree.h"
#include "benchutil.h"

#include "core/import/scanner.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <cstdlib>

using namespace vorlane;

namespace {

constexpr int kFolders = bench::NestedTree::Folders;
constexpr int kFiles = bench::NestedTree::Files;

double runFind(const QString& root) {
    const QByteArray cmd = "find '" + QFile::encodeName(root) + "' -printf '%s %p\\n' >/dev/null";
    return bench::timeMs([&] {
        if (std::system(cmd.constData()) != 0)
            std::exit(1);
    });
}

double runScan(const QString& root, const QString& catalog, ScanResult& result) {
    QFile::remove(catalog);
    writeTemplate(catalog);
    return bench::timeMs([&] {
        Database db;
        db.open(catalog);
        NewDisc disc{QStringLiteral("bench"), 1, 1, root, {}};
        ScanParams params;
        params.root = root;
        params.discId = catalogstore::addDiscRow(db, disc);
        // What the progress window hands the scan: a cancel flag and a path sink.
        std::atomic<bool> cancel{false};
        QMutex mutex;
        QString current;
        ScanHooks hooks;
        hooks.cancel = &cancel;
        hooks.progress = [&](const QString& path) {
            QMutexLocker lock(&mutex);
            current = path;
        };
        result = scanTree(db, params, hooks);
    });
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    const QString root = tmp.filePath(QStringLiteral("tree"));
    QDir().mkpath(root);
    bench::NestedTree().build(root);
    const QString catalog = tmp.filePath(QStringLiteral("bench.vlr"));

    runFind(root); // warm the cache
    ScanResult warm;
    runScan(root, catalog, warm);
    if (warm.files != kFiles || warm.folders != kFolders || warm.rows != kFiles + kFolders) {
        std::printf("scan found %d files, %d folders, %lld rows\n", warm.files, warm.folders,
                    static_cast<long long>(warm.rows));
        return 1;
    }

    std::vector<double> baseline, ours;
    for (int i = 0; i < 5; ++i) {
        baseline.push_back(runFind(root));
        ScanResult r;
        ours.push_back(runScan(root, catalog, r));
        std::printf("run %d: find %.0f ms, scan %.0f ms\n", i + 1, baseline.back(), ours.back());
        std::fflush(stdout);
    }
    bench::report("scan", ours, baseline, true);
    return 0;
}
