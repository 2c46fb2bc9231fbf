// The disc scan against `find -printf` on a tree of 200,000 entries (about 10% folders,
// five levels), both on a warm cache. The scan goes through the same core call the
// progress window makes, into a new catalog each time.
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
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorlane;

namespace {

constexpr int kFolders = 20000;
constexpr int kFiles = 180000;

// Folder i (1..kFolders) lies in folder (i - 1) / 8, 0 being the root: a tree five levels
// deep. Files are spread evenly over the folders and the root.
void buildTree(const QString& root) {
    std::vector<std::string> paths(kFolders + 1);
    paths[0] = QFile::encodeName(root).toStdString();
    for (int i = 1; i <= kFolders; ++i) {
        paths[i] = paths[(i - 1) / 8] + "/dir" + std::to_string(i);
        if (::mkdir(paths[i].c_str(), 0755) != 0) {
            std::perror("mkdir");
            std::exit(1);
        }
    }
    std::mt19937 rng(42);
    std::uniform_int_distribution<long> size(0, 5'000'000);
    static const char* const exts[] = {".jpg", ".txt", ".mp3", ".pdf", ".doc", ""};
    for (int i = 0; i < kFiles; ++i) {
        const std::string p = paths[i % (kFolders + 1)] + "/file" + std::to_string(i) + exts[i % 6];
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, size(rng)) != 0) {
            std::perror("create");
            std::exit(1);
        }
        ::close(fd);
    }
}

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
    std::printf("building %d folders and %d files...\n", kFolders, kFiles);
    std::fflush(stdout);
    buildTree(root);
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
