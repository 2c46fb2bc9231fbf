// Showing a disc whose top level holds 100,000 entries, against the sqlite3 command-line
// tool printing the same rows. The window works as it does in use: the catalog holds a
// million entries, its search index is built and a search hitting most of them is listed,
// so the peak memory printed is that of the whole program at that size.
#include "benchutil.h"
#include "core/search/indexkeeper.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/common/platform.h"
#include "gui/common/prompts.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"
#include "silentprompts.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>

using namespace vorlane;

namespace {

const int Entries = qEnvironmentVariableIntValue("BENCH_ENTRIES") > 0
                        ? qEnvironmentVariableIntValue("BENCH_ENTRIES")
                        : 100000;
// Entries in the whole catalog, the listed disc's included.
const int CatalogEntries = qEnvironmentVariableIntValue("BENCH_CATALOG") > 0
                               ? qEnvironmentVariableIntValue("BENCH_CATALOG")
                               : 1000000;
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
    // The rest of the catalog: other discs, CJK names, mixed case, a few notes.
    const int rest = CatalogEntries - Entries - 20000;
    if (rest > 0) {
        const qint64 others = Record(db, QStringLiteral("qCD"))
                                  .set(QStringLiteral("CDName"), QStringLiteral("其他光盘"))
                                  .set(QStringLiteral("ClassId"), 1)
                                  .append();
        db.exec(QStringLiteral(
                    "with recursive n(i) as (select 1 union all select i + 1 from n where i < ?)"
                    " insert into qCDFiles (CdID,FatherId,TreeName,FPath,FSize,IsDir,TreeExp)"
                    " select ?, 0, '资料' || i || case i % 3 when 0 then '.JPG' when 1 then"
                    " '_Photo.png' else '文档.txt' end, '', i * 4099, 0,"
                    " case when i % 25 = 0 then '备注 ' || i end from n"),
                {rest, others});
    }
    tx.commit();
    return disc;
}

} // namespace

int main(int argc, char* argv[]) {
    tuneAllocator(); // as the program does at start
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

    // The index, built beside the window as after an open.
    QEventLoop built;
    QObject::connect(w.searchIndex(), &IndexKeeper::ready, &built, &QEventLoop::quit);
    const double buildMs = bench::timeMs([&] {
        w.searchIndex()->refresh();
        built.exec();
    });
    const std::shared_ptr<const SearchIndex> index = w.searchIndex()->current();
    if (!index) {
        std::fprintf(stderr, "no index\n");
        return 1;
    }
    std::printf("index: %lld entries, %.1f MB, built in %.0f ms\n",
                static_cast<long long>(index->entryCount()),
                double(index->memoryBytes()) / (1024 * 1024), buildMs);
    // A keyword that hits most entries, listed in the search window.
    SearchWindow* find = w.searchWindow();
    find->findChild<QComboBox*>(QStringLiteral("cobFind"))
        ->setEditText(qEnvironmentVariable("BENCH_KEY", QStringLiteral("资料")));
    const double findMs = bench::timeMs([&] { find->btnBeginFindClick(); });
    QApplication::processEvents();
    std::printf("search window: %d hits in %.0f ms, %d rows in the view\n",
                int(find->results()->hitCount()), findMs, find->results()->rowCount());

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
            // The rows arrive in batches from the event loop; then laid out and painted.
            while (w.contents()->isFilling())
                QApplication::processEvents();
            QApplication::processEvents();
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
