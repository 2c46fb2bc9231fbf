// From launch to a search answered, over a catalog of 3,000,000 entries: the backup after
// opening switched on (ours) against switched off (baseline), so the ratio is what the
// backup costs the user.
//
// Each round builds the main window as the program's start does, shows it (the first show
// opens the catalog), presses Ctrl+F at once and searches a rare keyword, to the end of the
// search. Also printed: how long after the window appeared the search window came up, and,
// with the backup on, how long after the answer the backup had ended.
#include "benchutil.h"
#include "core/settings/settings.h"
#include "core/store/compaction.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "gui/app/mainwindow.h"
#include "gui/common/commands.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"
#include "gui/store/cataloghandler.h"
#include "silentprompts.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <string>

namespace {

constexpr int Discs = 1000;
constexpr int EntriesPerDisc = 3000;
constexpr int Rounds = 3;
const char* const Keyword = "zephyr";

void check(sqlite3* db, int rc) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// One category, the discs below it, their entries in folders of 100; one entry in 10,000
// holds the keyword. Returns the expected hits.
int generate(const QString& catalog) {
    std::printf("generating %d entries...\n", Discs * EntriesPerDisc);
    std::fflush(stdout);
    vorlane::writeTemplate(catalog);
    vorlane::Database database;
    database.open(catalog);
    vorlane::upgradeCatalog(database);
    sqlite3* db = database.handle();
    database.exec(QStringLiteral("pragma synchronous=off"));
    database.begin();
    database.exec(QStringLiteral("insert into qClass (AutoId, TreeName) values (1, '档案')"));
    sqlite3_stmt* disc = nullptr;
    sqlite3_stmt* entry = nullptr;
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCD (AutoId, CDName, ClassId, OrderId, SourcePath)"
                                 " values (?, ?, 1, ?, '/media/cdrom')",
                                 -1, &disc, nullptr));
    check(db, sqlite3_prepare_v2(db,
                                 "insert into qCDFiles (AutoId, CdID, FatherId, TreeName, FPath,"
                                 " FSize, IsDir) values (?, ?, ?, ?, ?, ?, ?)",
                                 -1, &entry, nullptr));
    int expected = 0;
    qint64 id = 0;
    char buf[128];
    for (int d = 1; d <= Discs; ++d) {
        std::snprintf(buf, sizeof buf, "光盘 %04d", d);
        sqlite3_bind_int64(disc, 1, d);
        sqlite3_bind_text(disc, 2, buf, -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(disc, 3, d);
        check(db, sqlite3_step(disc));
        sqlite3_reset(disc);
        qint64 folder = 0;
        for (int j = 0; j < EntriesPerDisc; ++j) {
            ++id;
            const bool isDir = j % 100 == 0;
            const bool hit = id % 10000 == 77;
            if (isDir)
                std::snprintf(buf, sizeof buf, "Folder %05d", j);
            else
                std::snprintf(buf, sizeof buf, "photo %07lld %s.jpg", id, hit ? "Zephyr" : "view");
            sqlite3_bind_int64(entry, 1, id);
            sqlite3_bind_int64(entry, 2, d);
            sqlite3_bind_int64(entry, 3, isDir ? 0 : folder);
            sqlite3_bind_text(entry, 4, buf, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(entry, 5, isDir ? "" : "/Folder", -1, SQLITE_STATIC);
            sqlite3_bind_int64(entry, 6, isDir ? 0 : 1'000'000 + id);
            sqlite3_bind_int(entry, 7, isDir ? 1 : 0);
            check(db, sqlite3_step(entry));
            sqlite3_reset(entry);
            if (isDir)
                folder = id;
            expected += hit ? 1 : 0;
        }
    }
    sqlite3_finalize(disc);
    sqlite3_finalize(entry);
    database.commit();
    return expected;
}

// Runs the search window's searches when it is shown; every other prompt is silent.
class FindPrompts final : public bench::SilentPrompts {
public:
    std::function<void(QDialog*)> onDialog;
    int exec(QDialog* d) override {
        if (onDialog)
            onDialog(d);
        return 0;
    }
};

struct Round {
    double answered = 0;     // launch to the search's end
    double findShown = 0;    // the window shown to the search window up
    double backupAfter = -1; // the answer to the backup's end
};

Round runOnce(const QString& file, bool backup, FindPrompts& prompts, int expected) {
    if (!vorlane::Settings().saveOptions(backup, true)) {
        std::fprintf(stderr, "cannot write the settings\n");
        std::exit(1);
    }
    QFile::remove(vorlane::backupPath(file));
    Round r;
    double shownAt = 0;
    double answeredAt = 0;
    int hits = -1;
    const double start = bench::nowMs();
    auto w = std::make_unique<vorlane::MainWindow>(file);
    bool backupDone = false;
    QObject::connect(w->catalog(), &vorlane::CatalogHandler::backupFinished,
                     [&backupDone] { backupDone = true; });
    prompts.onDialog = [&](QDialog* d) {
        auto* win = qobject_cast<vorlane::SearchWindow*>(d);
        if (!win)
            return;
        r.findShown = bench::nowMs() - shownAt;
        win->findChild<QComboBox*>(QStringLiteral("cobFind"))
            ->setEditText(QString::fromLatin1(Keyword));
        QEventLoop loop;
        QObject::connect(win, &vorlane::SearchWindow::searchFinished, &loop, &QEventLoop::quit);
        win->btnBeginFindClick();
        if (win->isSearching())
            loop.exec();
        answeredAt = bench::nowMs();
        hits = win->results()->rowCount();
    };
    w->showMaximized();
    shownAt = bench::nowMs();
    // Ctrl+F, queued behind the open that the first show started.
    QMetaObject::invokeMethod(
        w.get(), [&w] { w->commands().MFind->trigger(); }, Qt::QueuedConnection);
    while (hits < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    r.answered = answeredAt - start;
    if (hits != expected) {
        std::fprintf(stderr, "%d hits, expected %d\n", hits, expected);
        std::exit(1);
    }
    if (backup) {
        while (!backupDone)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        r.backupAfter = bench::nowMs() - answeredAt;
        if (!QFile::exists(vorlane::backupPath(file))) {
            std::fprintf(stderr, "no backup\n");
            std::exit(1);
        }
    }
    prompts.onDialog = nullptr;
    return r;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vorlane-bench-open-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    QApplication app(argc, argv);
    const QString file = dir.filePath(QStringLiteral("big.vlr"));
    const double g0 = bench::nowMs();
    const int expected = generate(file);
    std::printf("generated in %.0f ms, %d hits expected\n", bench::nowMs() - g0, expected);
    FindPrompts prompts;
    vorlane::setPrompts(&prompts);
    {
        vorlane::Settings s;
        s.takeFirstRun();
    }

    std::vector<double> ours, baseline;
    for (int i = 0; i < Rounds; ++i) {
        const Round off = runOnce(file, false, prompts, expected);
        baseline.push_back(off.answered);
        const Round on = runOnce(file, true, prompts, expected);
        ours.push_back(on.answered);
        std::printf("round %d: backup on %.0f ms (search window %.0f ms after the window "
                    "appeared, backup ended %.0f ms after the answer); backup off %.0f ms "
                    "(search window after %.0f ms)\n",
                    i + 1, on.answered, on.findShown, on.backupAfter, off.answered, off.findShown);
        std::fflush(stdout);
    }
    vorlane::setPrompts(nullptr);
    bench::report("open", ours, baseline, true);
    return 0;
}
