// The rescan of an unchanged disc against a fresh import of the same tree, in one process with
// the same options: 1M entries by default (about 10% folders), or the count given as the
// argument ("3M", "3000000"), on a warm cache. Each round imports the tree into a new catalog
// (the baseline) and rescans it unchanged; then 1% of the entries change (files grown, removed
// and added) and it is rescanned again. A rescan is timed whole: the walk, the comparison and
// the transaction that writes the changes. The memory a rescan holds is its peak resident size
// less what the process held before it.
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
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorlane;

namespace {

bench::NestedTree g_tree;
int g_changed = 0;

// 1% of the entries: half of them files grown, a quarter removed, a quarter added (with
// names no earlier round used).
void changeTree(int round) {
    std::mt19937 rng{static_cast<unsigned>(round)};
    std::uniform_int_distribution<int> pick(0, g_tree.files() - 1);
    for (int n = 0; n < g_changed / 2; ++n) {
        const std::string p = g_tree.filePath(pick(rng));
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0)
            bench::NestedTree::makeFile(p, long(st.st_size) + 1);
    }
    for (int n = 0; n < g_changed / 4; ++n)
        ::unlink(g_tree.filePath(pick(rng)).c_str());
    for (int n = 0; n < g_changed / 4; ++n)
        bench::NestedTree::makeFile(g_tree.filePath(g_tree.files() + round * g_changed + n), 1000);
}

// A line of /proc/self/status in MB.
double statusMb(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    double mb = 0;
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, n) == 0) {
            mb = std::atof(line + n) / 1024.0;
            break;
        }
    }
    std::fclose(f);
    return mb;
}

// Starts a new peak of the resident size at what is resident now; returns that, in MB.
double resetPeak() {
    ::malloc_trim(0);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    return statusMb("VmRSS:");
}

// Processor time of the whole process (every thread) in ms: steadier than the wall clock
// on a machine that is busy with other work.
double cpuMs() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval& t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// Times `fn`, adding its processor time to `cpu`.
double timed(std::vector<double>& cpu, const std::function<void()>& fn) {
    const double start = cpuMs();
    const double ms = bench::timeMs(fn);
    cpu.push_back(cpuMs() - start);
    return ms;
}

std::vector<double> g_scanCpu, g_rescanCpu;
qint64 g_disc = 0;

double runScan(const QString& root, const QString& catalog) {
    QFile::remove(catalog);
    writeTemplate(catalog);
    return timed(g_scanCpu, [&] {
        Database db;
        db.open(catalog);
        ScanParams params;
        params.root = root;
        params.discId =
            catalogstore::addDiscRow(db, NewDisc{QStringLiteral("bench"), 1, 1, root, {}});
        g_disc = params.discId;
        const ScanResult r = scanDisc(db, params);
        if (!r.error.isEmpty() || r.rows < g_tree.folders()) {
            std::printf("scan failed\n");
            std::exit(1);
        }
    });
}

double runRescan(const QString& catalog, qint64 expectChanges, std::vector<double>& cpu) {
    RescanReport report;
    const double ms = timed(cpu, [&] {
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

// "3M", "500k" or a plain count.
long entriesArg(const char* arg) {
    char* end = nullptr;
    double n = std::strtod(arg, &end);
    if (end && (*end == 'M' || *end == 'm'))
        n *= 1e6;
    else if (end && (*end == 'k' || *end == 'K'))
        n *= 1e3;
    return long(n);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long entries = argc > 1 ? entriesArg(argv[1]) : 1'000'000;
    if (entries < 1000) {
        std::printf("usage: vorlane-bench-rescan [entries, e.g. 3M]\n");
        return 1;
    }
    g_tree = bench::NestedTree(int(entries / 10), int(entries - entries / 10));
    g_changed = int(entries / 100);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    const QString root = tmp.filePath(QStringLiteral("tree"));
    QDir().mkpath(root);
    g_tree.build(root);
    std::printf("built\n");
    std::fflush(stdout);
    const QString catalog = tmp.filePath(QStringLiteral("bench.vlr"));
    runScan(root, catalog); // warm the cache
    std::vector<double> ignored;
    runRescan(catalog, 0, ignored);
    g_scanCpu.clear();

    std::vector<double> baseline, unchanged, changed;
    double peak = 0;
    double held = 0;
    for (int i = 0; i < 3; ++i) {
        baseline.push_back(runScan(root, catalog));
        const double before = resetPeak();
        unchanged.push_back(runRescan(catalog, 0, g_rescanCpu));
        const double top = statusMb("VmHWM:");
        peak = std::max(peak, top);
        held = std::max(held, top - before);
        changeTree(i + 1);
        changed.push_back(runRescan(catalog, g_changed, ignored));
        std::printf("run %d: import %.0f ms (cpu %.0f ms), rescan unchanged %.0f ms (cpu %.0f ms, "
                    "peak %.0f MB), rescan 1%% changed %.0f ms\n",
                    i + 1, baseline.back(), g_scanCpu.back(), unchanged.back(), g_rescanCpu.back(),
                    top, changed.back());
        std::fflush(stdout);
    }
    std::printf("rescan changed: ratio %.2f (ours %.0f ms)\n",
                bench::median(changed) / bench::median(baseline), bench::median(changed));
    std::printf("rescan cpu: ratio %.2f (ours %.0f ms, baseline %.0f ms)\n",
                bench::median(g_rescanCpu) / bench::median(g_scanCpu), bench::median(g_rescanCpu),
                bench::median(g_scanCpu));
    std::printf("rescan holds %.0f bytes per entry\n", held * 1024 * 1024 / double(entries));
    std::printf("peak-rss %.1f MB\n", peak);
    bench::report("rescan", unchanged, baseline, false);
    return 0;
}
