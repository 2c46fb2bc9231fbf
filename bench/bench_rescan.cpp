// The rescan of a disc against the first scan of the same tree: 200,000 entries (about 10%
// folders, five levels), on a warm cache. Each round scans the tree into a new catalog (the
// baseline), rescans it unchanged, then changes 1% of the entries (files grown, removed and
// added) and rescans again. A rescan is timed whole: the walk, the comparison and the
// transaction that writes the changes.
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
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorlane;

namespace {

constexpr int kFolders = 20000;
constexpr int kFiles = 180000;
constexpr int kChanged = (kFolders + kFiles) / 100;

std::vector<std::string> g_folders;

void makeFile(const std::string& p, long size) {
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0) {
        std::perror("create");
        std::exit(1);
    }
    ::close(fd);
}

std::string filePath(int i) {
    static const char* const exts[] = {".jpg", ".txt", ".mp3", ".pdf", ".doc", ""};
    return g_folders[size_t(i) % g_folders.size()] + "/file" + std::to_string(i) + exts[i % 6];
}

// Folder i (1..kFolders) lies in folder (i - 1) / 8, 0 being the root: a tree five levels
// deep. Files are spread evenly over the folders and the root.
void buildTree(const QString& root) {
    g_folders.resize(kFolders + 1);
    g_folders[0] = QFile::encodeName(root).toStdString();
    for (int i = 1; i <= kFolders; ++i) {
        g_folders[size_t(i)] = g_folders[size_t(i - 1) / 8] + "/dir" + std::to_string(i);
        if (::mkdir(g_folders[size_t(i)].c_str(), 0755) != 0) {
            std::perror("mkdir");
            std::exit(1);
        }
    }
    std::mt19937 rng(42);
    std::uniform_int_distribution<long> size(0, 5'000'000);
    for (int i = 0; i < kFiles; ++i)
        makeFile(filePath(i), size(rng));
}

// 1% of the entries: half of them files grown, a quarter removed, a quarter added (with
// names no earlier round used).
void changeTree(int round) {
    std::mt19937 rng{static_cast<unsigned>(round)};
    std::uniform_int_distribution<int> pick(0, kFiles - 1);
    for (int n = 0; n < kChanged / 2; ++n) {
        const std::string p = filePath(pick(rng));
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0)
            makeFile(p, long(st.st_size) + 1);
    }
    for (int n = 0; n < kChanged / 4; ++n)
        ::unlink(filePath(pick(rng)).c_str());
    for (int n = 0; n < kChanged / 4; ++n)
        makeFile(filePath(kFiles + round * kChanged + n), 1000);
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
    std::printf("building %d folders and %d files...\n", kFolders, kFiles);
    std::fflush(stdout);
    buildTree(root);
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
