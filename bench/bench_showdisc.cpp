// Showing the top level of a disc of 1,000,000 entries (40 rows) in the list and the
// content tree, against the sqlite3 command-line tool printing the same rows. The cost
// must follow the rows shown, not the size of the disc.
//   BENCH_ENTRIES   entries below the disc's top folders (default 1,000,000)
//   BENCH_OLD_INDEX 1: put back the index on CdID alone, for a figure from before
#include "benchutil.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/common/prompts.h"
#include "silentprompts.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

using namespace vorlane;

namespace {

const int Entries = qEnvironmentVariableIntValue("BENCH_ENTRIES") > 0
                        ? qEnvironmentVariableIntValue("BENCH_ENTRIES")
                        : 1000000;
constexpr int TopFolders = 10;
constexpr int TopFiles = 30;
constexpr int SubFolders = 100; // in each top folder
constexpr int OtherDiscRows = 20000;
constexpr int Rounds = 5;

// One transaction and one prepared insert; rows come in the order a scan writes them,
// a folder's entries after the folder. Another disc's top level shares FatherId 0.
qint64 makeCatalog(const QString& path) {
    writeTemplate(path);
    Database db;
    db.open(path);
    db.exec(QStringLiteral("pragma journal_mode=off; pragma synchronous=off"));
    Transaction tx(db);
    auto disc = [&](const QString& name) {
        return Record(db, QStringLiteral("qCD"))
            .set(QStringLiteral("CDName"), name)
            .set(QStringLiteral("ClassId"), 1)
            .set(QStringLiteral("SourcePath"), QStringLiteral("/media/cdrom"))
            .append();
    };
    const qint64 other = disc(QStringLiteral("other"));
    const qint64 big = disc(QStringLiteral("big"));
    Query ins(db, QStringLiteral("insert into qCDFiles (CdID,FatherId,TreeName,FPath,FSize,IsDir)"
                                 " values (?,?,?,?,?,?)"));
    auto add = [&](qint64 cd, qint64 father, const QString& name, const QString& path, qint64 size,
                   bool dir) {
        ins.reset();
        ins.bindAll({cd, father, name, path, size, dir ? 1 : 0});
        ins.exec();
        return db.lastInsertId();
    };
    for (int i = 0; i < OtherDiscRows; ++i)
        add(other, 0, QStringLiteral("o%1.dat").arg(i), QString(), i, false);

    // The top level, files and folders mixed as a scan meets them.
    QList<qint64> top;
    QStringList topNames;
    for (int i = 0; i < TopFolders + TopFiles; ++i) {
        if (i % 4 == 0 && top.size() < TopFolders) {
            const QString name = QStringLiteral("folder_%1").arg(i, 2, 10, QLatin1Char('0'));
            top << add(big, 0, name, QLatin1Char('/') + name, 0, true);
            topNames << name;
        } else {
            add(big, 0, QStringLiteral("file_%1.txt").arg(i, 2, 10, QLatin1Char('0')), QString(),
                qint64(i) * 1537, false);
        }
    }
    const int perSub = qMax(1, Entries / (TopFolders * SubFolders));
    for (int t = 0; t < top.size(); ++t) {
        QList<qint64> subs;
        QStringList subPaths;
        for (int s = 0; s < SubFolders; ++s) {
            const QString path = QLatin1Char('/') + topNames[t] + QStringLiteral("/sub_%1").arg(s);
            subs << add(big, top[t], QStringLiteral("sub_%1").arg(s), path, 0, true);
            subPaths << path;
        }
        for (int s = 0; s < SubFolders; ++s) {
            for (int f = 0; f < perSub; ++f)
                add(big, subs[s], QStringLiteral("f%1.jpg").arg(f), subPaths[s],
                    qint64(f) * 4099 + 5'000'000'000LL, false);
        }
    }
    tx.commit();
    if (qEnvironmentVariableIntValue("BENCH_OLD_INDEX") == 1)
        db.exec(QStringLiteral("drop index qCDFiles_CdID_FatherId_IsDir;"
                               "create index qCDFiles_CdID on qCDFiles(CdID)"));
    return big;
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
    const double start = bench::nowMs();
    const qint64 disc = makeCatalog(file);
    std::printf("setup: %d entries in %.0f ms\n", Entries, bench::nowMs() - start);
    const QString sql = QStringLiteral("select AutoId,TreeName,FSize,TreeExp,FPath,IsDir from "
                                       "qCDFiles where CdID=%1 and FatherId=0 "
                                       "order by IsDir desc, AutoId")
                            .arg(disc);

    MainWindow w;
    w.resize(1200, 800);
    w.show();
    QApplication::processEvents(); // the first activation runs here
    QApplication::processEvents();
    w.session().db().open(file);

    const int expected = TopFolders + TopFiles;
    std::vector<double> ours, base;
    for (int round = 0; round < Rounds; ++round) {
        base.push_back(bench::timeMs([&] {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.start(QStringLiteral("sqlite3"), {file, sql});
            p.waitForFinished(-1);
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
                std::fprintf(stderr, "sqlite3 failed\n");
        }));
        ours.push_back(bench::timeMs([&] {
            w.contents()->showDisc(disc, QStringLiteral("big"));
            // The rows arrive in batches from the event loop; then laid out and painted.
            while (w.contents()->isFilling())
                QApplication::processEvents();
            QApplication::processEvents();
        }));
        if (w.lvMain()->model()->rowCount() != expected ||
            w.tvCDRom()->topLevelItemCount() != TopFolders) {
            std::fprintf(stderr, "wrong rows: %d in the list, %d in the tree\n",
                         w.lvMain()->model()->rowCount(), w.tvCDRom()->topLevelItemCount());
            return 1;
        }
        std::printf("round %d: ours %.1f ms, baseline %.1f ms\n", round + 1, ours.back(),
                    base.back());
    }
    const double o = bench::median(ours), b = bench::median(base);
    std::printf("peak-rss %.1f MB\n", bench::peakRssMb());
    std::printf("showdisc: ratio %.2f (ours %.1f ms, baseline %.1f ms)\n", o / b, o, b);
    return 0;
}
