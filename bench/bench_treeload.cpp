// Loading a large catalog into the category tree, against the sqlite3 tool printing the
// same two tables.
#include "benchutil.h"
#include "core/settings/settings.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/store/cataloghandler.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

namespace {

constexpr int Categories = 2000;
constexpr int Discs = 20000;
constexpr int Rounds = 5;

// 200 top-level categories with 9 sub-categories each; the discs spread over all of them.
void makeCatalog(const QString& file) {
    vorlane::writeTemplate(file);
    vorlane::Database db;
    db.open(file);
    vorlane::Transaction t(db);
    std::vector<qint64> ids;
    int order = 0;
    for (int top = 0; top < Categories / 10; ++top) {
        const qint64 parent =
            vorlane::Record(db, QStringLiteral("qClass"))
                .set(QStringLiteral("TreeName"), QStringLiteral("分类 %1").arg(top))
                .set(QStringLiteral("FatherId"), 0)
                .set(QStringLiteral("OrderId"), order++)
                .append();
        ids.push_back(parent);
        for (int sub = 0; sub < 9; ++sub)
            ids.push_back(vorlane::Record(db, QStringLiteral("qClass"))
                              .set(QStringLiteral("TreeName"),
                                   QStringLiteral("子分类 %1-%2").arg(top).arg(sub))
                              .set(QStringLiteral("FatherId"), parent)
                              .set(QStringLiteral("OrderId"), order++)
                              .append());
    }
    for (int d = 0; d < Discs; ++d)
        vorlane::Record(db, QStringLiteral("qCD"))
            .set(QStringLiteral("CDName"), QStringLiteral("光盘 %1").arg(d))
            .set(QStringLiteral("ClassId"), ids[size_t(d) % ids.size()])
            .set(QStringLiteral("OrderId"), order++)
            .set(QStringLiteral("SourcePath"), QStringLiteral("/media/cdrom"))
            .append();
    t.commit();
}

double runBaseline(const QString& file) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    const double start = bench::nowMs();
    p.start(QStringLiteral("sqlite3"),
            {file, QStringLiteral("select * from qClass; select * from qCD;")});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed\n");
        std::exit(1);
    }
    return bench::nowMs() - start;
}

double runOurs(vorlane::MainWindow& w, const QString& file) {
    w.catalog()->resetToEmpty();
    const double start = bench::nowMs();
    w.catalog()->openCatalogFile(file);
    const double elapsed = bench::nowMs() - start;
    const int nodes = w.session().categoryCount() + w.session().discCount();
    if (nodes != Categories + Discs) {
        std::fprintf(stderr, "tree has %d nodes\n", nodes);
        std::exit(1);
    }
    return elapsed;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    QApplication app(argc, argv);
    const QString file = dir.filePath(QStringLiteral("big.vlr"));
    makeCatalog(file);

    // No backup copy inside the timing. Every open reads the options from the settings
    // file again, so the option is turned off there, not only in the window.
    if (!vorlane::Settings().saveOptions(false, false)) {
        std::fprintf(stderr, "cannot write the settings\n");
        return 1;
    }
    vorlane::MainWindow w;
    std::vector<double> ours, baseline;
    for (int i = 0; i < Rounds; ++i) {
        baseline.push_back(runBaseline(file));
        ours.push_back(runOurs(w, file));
        std::printf("round %d: ours %.1f ms, baseline %.1f ms\n", i + 1, ours.back(),
                    baseline.back());
    }
    const double o = bench::median(ours), b = bench::median(baseline);
    std::printf("peak-rss %.1f MB\n", bench::peakRssMb());
    std::printf("treeload: ratio %.2f (ours %.1f ms, baseline %.1f ms)\n", o / b, o, b);
    return 0;
}
