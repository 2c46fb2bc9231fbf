// Showing a disc whose top level holds 100,000 entries, against the sqlite3 command-line
// tool printing the same rows.
#include "benchutil.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "gui/app/mainwindow.h"
#include "gui/app/prompts.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "silentprompts.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

using namespace vorlane;

namespace {

const int Entries = qEnvironmentVariableIntValue("BENCH_ENTRIES") > 0
                        ? qEnvironmentVariableIntValue("BENCH_ENTRIES")
                        : 100000;
constexpr int Runs = 5;

qint64 makeCatalog(const QString& path) {
    writeTemplate(path);
    Database db;
    db.open(path);
    Transaction tx(db);
    const qint64 disc = Record(db, QStringLiteral("qCD"))
                            .set(QStringLiteral("CDName"), QStringLiteral("bench"))
                            .set(QStringLiteral("ClassId"), 1)
                            .set(QStringLiteral("SourcePath"), QStringLiteral("/media/cdrom"))
                            .append();
    // Another disc's rows share the top level (FatherId 0) as in a real catalog.
    Query ins(db, QStringLiteral("insert into qCDFiles (CdID,FatherId,TreeName,FPath,FSize,IsDir,"
                                 "TreeExp) values (?,0,?,?,?,?,?)"));
    const char* exts[] = {".txt", ".jpg", ".mp3", ".pdf", ".doc", ".zip", ".exe", ""};
    for (int i = 0; i < Entries + 20000; ++i) {
        const bool other = i >= Entries;
        const bool dir = i % 10 == 0;
        const QString name = dir ? QStringLiteral("folder_%1").arg(i, 6, 10, QLatin1Char('0'))
                                 : QStringLiteral("file_%1").arg(i, 6, 10, QLatin1Char('0')) +
                                       QLatin1String(exts[i % 8]);
        ins.reset();
        ins.bindAll({other ? disc + 1 : disc, name, dir ? QStringLiteral("/") + name : QString(),
                     dir ? 0 : qint64(i) * 1537, dir ? 1 : 0,
                     i % 7 == 0 ? QVariant(QStringLiteral("note %1").arg(i)) : QVariant()});
        ins.exec();
    }
    tx.commit();
    return disc;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir tmp;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("config"))));
    QApplication app(argc, argv);
    bench::SilentPrompts silent;
    setPrompts(&silent);

    const QString file = tmp.filePath(QStringLiteral("bench.vlr"));
    const qint64 disc = makeCatalog(file);
    const QString sql =
        QStringLiteral("select * from qCDFiles where FatherId=0 and CdID=%1 order by IsDir desc")
            .arg(disc);

    MainWindow w;
    w.resize(1200, 800);
    w.show();
    QApplication::processEvents(); // the first activation runs here
    QApplication::processEvents();
    w.session().db().open(file);

    std::vector<double> ours, base;
    for (int run = 0; run < Runs; ++run) {
        base.push_back(bench::timeMs([&] {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.start(QStringLiteral("sqlite3"), {file, sql});
            p.waitForFinished(-1);
            if (p.exitCode() != 0)
                std::fprintf(stderr, "sqlite3 failed\n");
        }));
        ours.push_back(bench::timeMs([&] {
            w.contents()->showDisc(disc, QStringLiteral("bench"));
            QApplication::processEvents(); // laid out and painted: the list is shown
        }));
        if (w.lvMain()->model()->rowCount() != Entries) {
            std::fprintf(stderr, "wrong row count %d\n", w.lvMain()->model()->rowCount());
            return 1;
        }
        std::printf("run %d: ours %.1f ms, baseline %.1f ms\n", run + 1, ours.back(), base.back());
    }
    const double o = bench::median(ours), b = bench::median(base);
    std::printf("peak-rss %.1f MB\n", bench::peakRssMb());
    std::printf("listfill: ratio %.2f (ours %.1f ms, baseline %.1f ms)\n", o / b, o, b);
    return 0;
}
