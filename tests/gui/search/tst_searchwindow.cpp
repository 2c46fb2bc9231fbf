// The search window inside the main window: controls, the empty-keyword message, Enter,
// results, history in the keyword box, and the jump to a disc.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/manualclock.h"
#include "common/scriptedprompts.h"
#include "core/search/indexkeeper.h"
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/interchange/interchangehandler.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

using namespace vorlane;

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString path;
    qint64 cat = 0, music = 0, backup = 0, folder = 0, file = 0;

    Fixture() {
        path = dir.filePath(QStringLiteral("w.vlr"));
        testcat::create(path);
        Database db;
        db.open(path);
        cat = testcat::addCategory(db, QStringLiteral("分类"));
        music = testcat::addDisc(db, cat, QStringLiteral("Music ABC"), 1);
        backup = testcat::addDisc(db, cat, QStringLiteral("备份"), 2, {}, QStringLiteral("abc"));
        folder = testcat::addEntry(db, music, 0, QStringLiteral("abc folder"), true);
        file = testcat::addEntry(db, music, folder, QStringLiteral("x.abc"), false, 3,
                                 QStringLiteral("/abc folder"));
    }
};

template <typename T> T* child(QWidget* parent, const char* name) {
    T* c = parent->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

} // namespace

class TestSearchWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<MainWindow> w;
    SearchWindow* win = nullptr;
    QComboBox* box = nullptr;

    void start(const QStringList& history = {}) {
        testcat::isolateSettings();
        // QSettings caches the file per process; clear through it, not behind its back.
        QSettings(Settings::filePath(), QSettings::IniFormat).clear();
        Settings s;
        for (auto it = history.crbegin(); it != history.crend(); ++it)
            s.rememberKeyword(*it);
        prompts = std::make_unique<ScriptedPrompts>();
        w = std::make_unique<MainWindow>();
        win = w->searchWindow();
        box = child<QComboBox>(win, "cobFind");
    }

    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < win->results()->rowCount(); ++r)
            out << win->results()->index(r, c).data().toString();
        return out;
    }

    // Starts a search and waits until it has ended.
    void search(const QString& keyword) {
        box->setEditText(keyword);
        QSignalSpy ended(win, &SearchWindow::searchFinished);
        win->btnBeginFindClick();
        if (win->isSearching())
            QVERIFY(ended.wait(20000));
        QVERIFY(!win->isSearching());
    }

    // Waits until the open catalog's index is built and current.
    void indexReady() {
        IndexKeeper* keeper = w->searchIndex();
        if (keeper->current())
            return;
        QSignalSpy ready(keeper, &IndexKeeper::ready);
        QVERIFY(ready.wait(20000));
        QVERIFY(keeper->current());
    }

    // A write by another connection (the window's own are laid over the index): the index
    // no longer describes the catalog and the next search reads SQLite.
    void staleIndex() {
        Database other;
        other.open(w->session().db().path());
        other.exec(QStringLiteral("update qCD set OrderId=OrderId"));
        QVERIFY(!w->searchIndex()->current());
    }

    // Shows a category with the fixture's discs in the category tree.
    QTreeWidgetItem* showCategory(qint64 id, const QList<QPair<qint64, QString>>& discs) {
        QTreeWidget* tree = w->tvMain();
        auto* category = new QTreeWidgetItem(tree, QStringList{QStringLiteral("分类")});
        category->setData(0, nodes::KindRole, nodes::Category);
        nodes::setId(category, id);
        for (const auto& d : discs)
            w->categoryTree()->addDiscNode(category, d.first, d.second);
        tree->setCurrentItem(category);
        return category;
    }

    QString countText() const { return child<QLabel>(win, "lblCount")->text(); }

private slots:
    void cleanup() {
        w.reset();
        prompts.reset();
    }

    void controls() {
        start();
        QCOMPARE(win->windowTitle(), QStringLiteral("查找.........."));
        struct Check {
            const char* name;
            const char* text;
            bool on;
        };
        for (const Check& c :
             {Check{"ckExp", "查找注释", true}, Check{"ckDir", "查找目录", true},
              Check{"ckFile", "查找文件", true}, Check{"ckDaXiao", "区别大小写", false}}) {
            auto* box = child<QCheckBox>(win, c.name);
            QCOMPARE(box->text(), QString::fromUtf8(c.text));
            QCOMPARE(box->isChecked(), c.on);
        }
        for (const Check& c :
             {Check{"btnBeginFind", "开始查找", true}, Check{"btnStopFind", "停    止", false},
              Check{"btnLook", "查看", false}, Check{"btnExit", "退    出", true}}) {
            auto* b = child<QPushButton>(win, c.name);
            QCOMPARE(b->text(), QString::fromUtf8(c.text));
            QCOMPARE(b->isEnabled(), c.on);
            QVERIFY(!b->autoDefault());
        }
        QVERIFY(box->isEditable());
        QVERIFY(!box->completer());
        QCOMPARE(box->currentText(), QString());
        auto* bar = child<QProgressBar>(win, "ProgressBar1");
        QVERIFY(bar->isHidden());
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        auto* list = child<QTableView>(win, "ListView1");
        QCOMPARE(list->model()->columnCount(), 9);
        const QStringList headings{"序号",         "光盘名称",     "名   称",
                                   "光盘自动编号", "目录自动编号", "文件自动编号",
                                   "位置",         "大小",         "修改时间"};
        for (int c = 0; c < 9; ++c) {
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), headings.at(c));
            QCOMPARE(list->isColumnHidden(c), c >= 3 && c <= 5);
        }
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void historyInTheBox() {
        start({QStringLiteral("new"), QStringLiteral("old")});
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("new"));
        QCOMPARE(box->itemText(1), QStringLiteral("old"));
        // The box starts empty even with a history.
        QCOMPARE(box->currentText(), QString());

        Fixture f;
        w->session().db().open(f.path);
        search(QStringLiteral("old"));
        search(QStringLiteral("fresh"));
        // The list shown in this run is not reordered; a new keyword joins at its end.
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->itemText(2), QStringLiteral("fresh"));
        QCOMPARE(
            Settings().findWords(),
            (QStringList{QStringLiteral("fresh"), QStringLiteral("old"), QStringLiteral("new")}));
    }

    void emptyKeyword_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("blanks and controls") << QStringLiteral(" \t ");
    }

    void emptyKeyword() {
        QFETCH(QString, text);
        start();
        Fixture f;
        w->session().db().open(f.path);
        search(QStringLiteral("abc"));
        const int rows = win->results()->rowCount();
        QVERIFY(rows > 0);
        prompts->clear();
        search(text);
        QCOMPARE(prompts->messages().size(), 1);
        const PromptCall m = prompts->lastMessage();
        QCOMPARE(m.text, QStringLiteral("请输入查询关键字！"));
        QCOMPARE(m.caption, QStringLiteral("提示"));
        QCOMPARE(m.icon, QMessageBox::Information);
        QCOMPARE(box->currentText(), QString());
        // Nothing else changes: the last results stay, nothing is remembered.
        QCOMPARE(win->results()->rowCount(), rows);
        QCOMPARE(Settings().findWords(), QStringList{QStringLiteral("abc")});
    }

    void enterStartsTheSearch() {
        start();
        Fixture f;
        w->session().db().open(f.path);
        box->setEditText(QStringLiteral("  abc "));
        QSignalSpy ended(win, &SearchWindow::searchFinished);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QVERIFY(ended.wait());
        // The keyword is trimmed in the box.
        QCOMPARE(box->currentText(), QStringLiteral("abc"));
        QCOMPARE(column(0), (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(column(1), (QStringList{"Music ABC", "备份", "Music ABC", "Music ABC"}));
        QCOMPARE(column(2), (QStringList{"", "", "abc folder", "x.abc"}));
        const QString m = QString::number(f.music), b = QString::number(f.backup);
        QCOMPARE(column(3), (QStringList{m, b, m, m}));
        QCOMPARE(column(4),
                 (QStringList{"0", "0", QString::number(f.folder), QString::number(f.folder)}));
        QCOMPARE(column(5), (QStringList{"0", "0", "0", QString::number(f.file)}));
        // After the search: idle again, and the changed list enables the jump.
        QVERIFY(child<QPushButton>(win, "btnBeginFind")->isEnabled());
        QVERIFY(child<QPushButton>(win, "btnExit")->isEnabled());
        QVERIFY(!child<QPushButton>(win, "btnStopFind")->isEnabled());
        QVERIFY(child<QPushButton>(win, "btnLook")->isEnabled());
        QVERIFY(child<QProgressBar>(win, "ProgressBar1")->isHidden());
        QVERIFY(prompts->messages().isEmpty());
    }

    void optionsAreRead() {
        start();
        Fixture f;
        w->session().db().open(f.path);
        child<QCheckBox>(win, "ckDaXiao")->setChecked(true);
        child<QCheckBox>(win, "ckExp")->setChecked(false);
        search(QStringLiteral("ABC"));
        QCOMPARE(column(1), QStringList{"Music ABC"});
        // A new search replaces the results and numbers from 1 again.
        child<QCheckBox>(win, "ckDaXiao")->setChecked(false);
        child<QCheckBox>(win, "ckDir")->setChecked(false);
        search(QStringLiteral("abc"));
        QCOMPARE(column(0), (QStringList{"1", "2"}));
        QCOMPARE(column(2), (QStringList{"", "x.abc"}));
    }

    void modelIsSound() {
        start();
        Fixture f;
        w->session().db().open(f.path);
        QAbstractItemModelTester tester(win->results(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        search(QStringLiteral("abc"));
        search(QStringLiteral("zzz"));
        QCOMPARE(win->results()->rowCount(), 0);
    }

    void stopKeepsTheHits() {
        start();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.vlr"));
        testcat::create(path);
        {
            Database db;
            db.open(path);
            const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "d");
            db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n"
                                   " where i < 200000) insert into qCDFiles (CdID, FatherId,"
                                   " TreeName, IsDir) select ?, 0, 'hit ' || i, 0 from n"),
                    {disc});
        }
        w->session().db().open(path);
        // Pressed as soon as the window serves events during the search.
        QTimer::singleShot(0, win, [this] {
            QVERIFY(win->isSearching());
            QVERIFY(child<QPushButton>(win, "btnStopFind")->isEnabled());
            QVERIFY(!child<QPushButton>(win, "btnExit")->isEnabled());
            QVERIFY(child<QProgressBar>(win, "ProgressBar1")->isVisible() || !win->isVisible());
            child<QPushButton>(win, "btnStopFind")->click();
        });
        search(QStringLiteral("HIT"));
        const int rows = win->results()->rowCount();
        QVERIFY2(rows < 200000, qPrintable(QString::number(rows)));
        // The hits found stay, numbered without gaps; the window is idle again.
        for (int r = 0; r < rows; ++r)
            QCOMPARE(win->results()->index(r, 0).data().toString(), QString::number(r + 1));
        QVERIFY(!win->isSearching());
        QVERIFY(child<QPushButton>(win, "btnBeginFind")->isEnabled());
        QVERIFY(child<QPushButton>(win, "btnExit")->isEnabled());
        QVERIFY(!child<QPushButton>(win, "btnStopFind")->isEnabled());
        QVERIFY(child<QProgressBar>(win, "ProgressBar1")->isHidden());
    }

    void noCatalogOpen() {
        start();
        search(QStringLiteral("abc"));
        QCOMPARE(win->results()->rowCount(), 0);
        QVERIFY(prompts->messages().isEmpty());
        QVERIFY(child<QPushButton>(win, "btnBeginFind")->isEnabled());
    }

    // The window is shown modally through the prompts seam and searches while shown.
    void searchWhileModal() {
        start();
        Fixture f;
        w->session().db().open(f.path);
        int rowsSeen = -1;
        QSignalSpy ended(win, &SearchWindow::searchFinished);
        prompts->answerDialog([&](QDialog* d) {
            auto* cob = d->findChild<QComboBox*>(QStringLiteral("cobFind"));
            cob->setEditText(QStringLiteral("备份"));
            d->findChild<QPushButton*>(QStringLiteral("btnBeginFind"))->click();
            if (ended.wait())
                rowsSeen = win->results()->rowCount();
            d->findChild<QPushButton*>(QStringLiteral("btnExit"))->click();
            return d->result();
        });
        TRIGGER(testui::action(w, "MFind"));
        QCOMPARE(rowsSeen, 1);
        QCOMPARE(prompts->calls.last().kind, PromptCall::Exec);
        QCOMPARE(prompts->calls.last().text, QStringLiteral("FindFrm"));
        // Shown again later, the window still has its keyword and results.
        QCOMPARE(box->currentText(), QStringLiteral("备份"));
        QCOMPARE(win->results()->rowCount(), 1);
    }

    void jumpSelectsTheDisc() {
        start();
        Fixture f;
        w->session().db().open(f.path);
        QTreeWidget* tree = w->tvMain();
        auto* category = new QTreeWidgetItem(tree, QStringList{QStringLiteral("分类")});
        category->setData(0, nodes::KindRole, nodes::Category);
        nodes::setId(category, f.cat);
        QTreeWidgetItem* musicNode =
            w->categoryTree()->addDiscNode(category, f.music, QStringLiteral("Music ABC"));
        QTreeWidgetItem* backupNode =
            w->categoryTree()->addDiscNode(category, f.backup, QStringLiteral("备份"));
        tree->setCurrentItem(category);

        search(QStringLiteral("abc"));
        auto* list = child<QTableView>(win, "ListView1");

        // Nothing selected: nothing happens.
        win->btnLookClick();
        QCOMPARE(tree->currentItem(), category);

        list->selectRow(1); // the disc 备份
        win->btnLookClick();
        QCOMPARE(tree->currentItem(), backupNode);

        // A file hit inside a folder of the other disc: its disc is selected.
        list->selectRow(3);
        win->btnLookClick();
        QCOMPARE(tree->currentItem(), musicNode);

        // Already selected: the disc is not selected again (nothing reloads).
        QSignalSpy changes(tree, &QTreeWidget::currentItemChanged);
        list->selectRow(0);
        win->btnLookClick();
        QCOMPARE(changes.count(), 0);
        QCOMPARE(tree->currentItem(), musicNode);

        // A double click jumps too.
        const QModelIndex cell = list->model()->index(1, 1);
        list->selectRow(1);
        emit list->doubleClicked(cell);
        QCOMPARE(tree->currentItem(), backupNode);
    }

    // Results follow the keyword once the typing has paused for 150 ms on the throttle's
    // clock; they are the hits of the full search, and only 查找 records the keyword.
    void liveResults() {
        ManualClock clock;
        start();
        Fixture f;
        w->session().db().open(f.path);
        indexReady();
        QTest::keyClicks(box->lineEdit(), QStringLiteral("abc"));
        QTest::qWait(120); // the poll runs, but no time has passed on the clock
        QCOMPARE(win->results()->rowCount(), 0);
        clock.advance(SearchWindow::LiveDelayMs - 1);
        QTest::qWait(80);
        QCOMPARE(win->results()->rowCount(), 0);
        clock.advance(1);
        QTRY_COMPARE(win->results()->rowCount(), 4);
        QStringList live[SearchResultModel::ColumnCount];
        for (int c = 0; c < SearchResultModel::ColumnCount; ++c)
            live[c] = column(c);
        QCOMPARE(live[2], (QStringList{"", "", "abc folder", "x.abc"}));
        QCOMPARE(countText(), QStringLiteral("找到 4 项"));
        QVERIFY(Settings().findWords().isEmpty());

        // A changed keyword replaces them, again only after the pause.
        QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(box->lineEdit(), QStringLiteral("c folder"));
        QTest::qWait(60);
        QCOMPARE(win->results()->rowCount(), 4);
        clock.advance(SearchWindow::LiveDelayMs);
        QTRY_COMPARE(win->results()->rowCount(), 1);
        QCOMPARE(countText(), QStringLiteral("找到 1 项"));

        // The full search from SQLite lists the same rows as the live one did.
        box->setEditText(QStringLiteral("abc"));
        staleIndex();
        search(QStringLiteral("abc"));
        for (int c = 0; c < SearchResultModel::ColumnCount; ++c)
            QCOMPARE(column(c), live[c]);
        QCOMPARE(Settings().findWords(), QStringList{QStringLiteral("abc")});
        // Nothing more arrives on its own afterwards.
        clock.advance(1000);
        QTest::qWait(80);
        QCOMPARE(column(2), live[2]);
    }

    // The place column names the categories, the disc and every folder above a hit, from
    // the index and from SQLite alike; the count follows the list.
    void placeOfADeepHit_data() {
        QTest::addColumn<bool>("fromIndex");
        QTest::newRow("index") << true;
        QTest::newRow("sqlite") << false;
    }

    void placeOfADeepHit() {
        QFETCH(bool, fromIndex);
        start();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("deep.vlr"));
        testcat::create(path);
        {
            Database db;
            db.open(path);
            const qint64 top = testcat::addCategory(db, QStringLiteral("影音"));
            const qint64 sub = testcat::addCategory(db, QStringLiteral("电影"), top);
            const qint64 disc = testcat::addDisc(db, sub, QStringLiteral("盘一"));
            qint64 father = 0;
            for (const char* name : {"a", "b", "c", "d", "e"})
                father = testcat::addEntry(db, disc, father, QString::fromLatin1(name), true);
            testcat::addEntry(db, disc, father, QStringLiteral("目标.txt"), false, 5);
            testcat::addEntry(db, disc, 0, QStringLiteral("目标.doc"), false, 5);
        }
        w->session().db().open(path);
        indexReady();
        if (!fromIndex)
            staleIndex();
        search(QStringLiteral("目标"));
        QCOMPARE(column(2), (QStringList{"目标.txt", "目标.doc"}));
        QCOMPARE(column(SearchResultModel::Path),
                 (QStringList{"影音 ▸ 电影 ▸ 盘一 ▸ a ▸ b ▸ c ▸ d ▸ e", "影音 ▸ 电影 ▸ 盘一"}));
        QCOMPARE(countText(), QStringLiteral("找到 2 项"));
        search(QStringLiteral("盘"));
        QCOMPARE(column(SearchResultModel::Path), QStringList{"影音 ▸ 电影"});
        QCOMPARE(countText(), QStringLiteral("找到 1 项"));
    }

    // 更多条件 narrows the hits by size, date and extension, in the full search through
    // SQLite and through the index, and in the live results.
    void moreConditions_data() {
        QTest::addColumn<QString>("minSize");
        QTest::addColumn<QString>("maxSize");
        QTest::addColumn<int>("unit");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QStringList>("names");
        // The disc and the folder are found too while no condition counts.
        const QStringList all{"", "pic", "pic a.jpg", "pic b.JPG", "pic c.png", "pic d.jpg"};
        QTest::newRow("folded away") << "2"
                                     << "" << 0 << ""
                                     << ""
                                     << ".png" << false << all;
        QTest::newRow("nothing set") << ""
                                     << "" << 0 << ""
                                     << ""
                                     << "" << true << all;
        QTest::newRow("at least 2 KB")
            << "2"
            << "" << 0 << ""
            << ""
            << "" << true << QStringList{"pic b.JPG", "pic c.png", "pic d.jpg"};
        QTest::newRow("2 KB to 3 KB") << "2"
                                      << "3" << 0 << ""
                                      << ""
                                      << "" << true << QStringList{"pic b.JPG", "pic c.png"};
        QTest::newRow("at most 1.5 MB")
            << ""
            << "1.5" << 1 << ""
            << ""
            << "" << true << QStringList{"pic", "pic a.jpg", "pic b.JPG", "pic c.png"};
        QTest::newRow("extensions")
            << ""
            << "" << 0 << ""
            << ""
            << "jpg, .PNG" << true
            << QStringList{"pic a.jpg", "pic b.JPG", "pic c.png", "pic d.jpg"};
        QTest::newRow("one extension") << ""
                                       << "" << 0 << ""
                                       << ""
                                       << ".png" << true << QStringList{"pic c.png"};
        QTest::newRow("from a day") << ""
                                    << "" << 0 << "2021-06-15"
                                    << ""
                                    << "" << true << QStringList{"pic b.JPG", "pic c.png"};
        QTest::newRow("up to a day, that day included")
            << ""
            << "" << 0 << ""
            << "2021-06-15"
            << "" << true << QStringList{"pic a.jpg", "pic b.JPG"};
        QTest::newRow("everything at once")
            << "1"
            << "4" << 0 << "2021-01-01"
            << "2022-12-31"
            << ".jpg,.png" << true << QStringList{"pic b.JPG", "pic c.png"};
    }

    void moreConditions() {
        QFETCH(QString, minSize);
        QFETCH(QString, maxSize);
        QFETCH(int, unit);
        QFETCH(QString, after);
        QFETCH(QString, before);
        QFETCH(QString, ext);
        QFETCH(bool, open);
        QFETCH(QStringList, names);
        ManualClock clock;
        start();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pics.vlr"));
        testcat::create(path);
        {
            Database db;
            db.open(path);
            const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "pic disc");
            const qint64 folder = testcat::addEntry(db, disc, 0, QStringLiteral("pic"), true);
            struct File {
                const char* name;
                qint64 size;
                const char* time; // noon UTC, or none
            };
            for (const File& file :
                 {File{"pic a.jpg", 1024, "2020-01-10"}, File{"pic b.JPG", 3 * 1024, "2021-06-15"},
                  File{"pic c.png", 2 * 1024, "2022-03-01"},
                  File{"pic d.jpg", 2 * 1024 * 1024, nullptr}}) {
                const qint64 id = testcat::addEntry(
                    db, disc, folder, QString::fromLatin1(file.name), false, file.size);
                if (file.time)
                    db.exec(
                        QStringLiteral("update qCDFiles set FTime=? where AutoId=?"),
                        {QDateTime(QDate::fromString(QString::fromLatin1(file.time), Qt::ISODate),
                                   QTime(12, 0), QTimeZone::utc())
                             .toSecsSinceEpoch(),
                         id});
            }
        }
        child<QGroupBox>(win, "gbMore")->setChecked(open);
        child<QLineEdit>(win, "edMinSize")->setText(minSize);
        child<QLineEdit>(win, "edMaxSize")->setText(maxSize);
        child<QComboBox>(win, "cobSizeUnit")->setCurrentIndex(unit);
        child<QCheckBox>(win, "ckAfter")->setChecked(!after.isEmpty());
        if (!after.isEmpty())
            child<QDateEdit>(win, "deAfter")->setDate(QDate::fromString(after, Qt::ISODate));
        child<QCheckBox>(win, "ckBefore")->setChecked(!before.isEmpty());
        if (!before.isEmpty())
            child<QDateEdit>(win, "deBefore")->setDate(QDate::fromString(before, Qt::ISODate));
        child<QLineEdit>(win, "edExt")->setText(ext);

        w->session().db().open(path);
        indexReady();
        staleIndex();
        search(QStringLiteral("pic"));
        QCOMPARE(column(2), names);
        indexReady();
        search(QStringLiteral("pic"));
        QCOMPARE(column(2), names);
        // Live: the results follow a change of the keyword.
        QTest::keyClicks(box->lineEdit(), QStringLiteral(" "));
        win->results()->clear();
        clock.advance(SearchWindow::LiveDelayMs);
        QTRY_COMPARE(column(2), names);
    }

    // A keyword that hits most of a large catalog: the count tells every hit while the
    // list hands them to the view a block at a time, in order, as it scrolls.
    void manyHits() {
        start();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("many.vlr"));
        testcat::create(path);
        {
            Database db;
            db.open(path);
            const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "d");
            db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n"
                                   " where i < 25000) insert into qCDFiles (CdID, FatherId,"
                                   " TreeName, IsDir) select ?, 0, 'hit ' || i, 0 from n"),
                    {disc});
        }
        w->session().db().open(path);
        indexReady();
        QAbstractItemModelTester tester(win->results(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        search(QStringLiteral("hit"));
        SearchResultModel* model = win->results();
        QTest::qWait(50);
        QCOMPARE(countText(), QStringLiteral("找到 25000 项"));
        QCOMPARE(model->rowCount(), int(SearchResultModel::FetchBlock));
        // The export takes every hit, also those the list has not fetched.
        const QString out = dir.filePath(QStringLiteral("many.csv"));
        prompts->answerFile(out);
        QSignalSpy exported(w->findChild<InterchangeHandler*>(),
                            &InterchangeHandler::exportFinished);
        child<QPushButton>(win, "btnExport")->click();
        QVERIFY(exported.wait(10000));
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 25001);
        while (model->canFetchMore({}))
            model->fetchMore({});
        QCOMPARE(model->rowCount(), 25000);
        QCOMPARE(countText(), QStringLiteral("找到 25000 项"));
        QCOMPARE(model->index(24999, SearchResultModel::Number).data().toString(),
                 QStringLiteral("25000"));
        QCOMPARE(model->index(24999, SearchResultModel::Name).data().toString(),
                 QStringLiteral("hit 25000"));
    }

    // The results leave as CSV rows in the order shown, discs included, whichever engine
    // found them; with the index also the hits the list has not fetched yet.
    void exportWritesEveryHit_data() {
        QTest::addColumn<bool>("fromIndex");
        QTest::newRow("index") << true;
        QTest::newRow("SQLite") << false;
    }
    void exportWritesEveryHit() {
        QFETCH(bool, fromIndex);
        start();
        Fixture f;
        w->session().db().open(f.path);
        if (fromIndex)
            indexReady();
        else
            staleIndex();
        QPushButton* button = child<QPushButton>(win, "btnExport");
        QVERIFY(!button->isEnabled());
        search(QStringLiteral("abc"));
        QVERIFY(button->isEnabled());
        const QString out = f.dir.filePath(QStringLiteral("hits.csv"));
        prompts->answerFile(out);
        auto* handler = w->findChild<InterchangeHandler*>();
        QSignalSpy exported(handler, &InterchangeHandler::exportFinished);
        button->click();
        QVERIFY(exported.wait(10000));
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The fixture's folder row carries no path of its own.
        QCOMPARE(file.readAll(),
                 QStringLiteral("\uFEFFdisc,category,path,name,size,modified,kind,note\r\n"
                                "Music ABC,分类,,Music ABC,,,disc,\r\n"
                                "备份,分类,,备份,,,disc,abc\r\n"
                                "Music ABC,分类,,abc folder,0,,folder,\r\n"
                                "Music ABC,分类,/abc folder/x.abc,x.abc,3,,file,\r\n")
                     .toUtf8());
    }

    // A jump lands on every kind of hit: the levels down to a hit five folders deep, never
    // opened, are loaded, the hit's folder is listed and the hit selected.
    void jumpArrives() {
        start();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("jump.vlr"));
        testcat::create(path);
        qint64 cat = 0, disc = 0, other = 0, top = 0, deep = 0;
        std::vector<qint64> folders;
        {
            Database db;
            db.open(path);
            cat = testcat::addCategory(db, QStringLiteral("分类"));
            other = testcat::addDisc(db, cat, QStringLiteral("别的盘"), 1);
            disc = testcat::addDisc(db, cat, QStringLiteral("光盘"), 2);
            // Siblings at every level, so that the right branch has to be found.
            qint64 father = 0;
            for (int level = 1; level <= 5; ++level) {
                testcat::addEntry(db, disc, father, QStringLiteral("旁%1").arg(level), true);
                father =
                    testcat::addEntry(db, disc, father, QStringLiteral("层%1").arg(level), true);
                folders.push_back(father);
            }
            for (int i = 0; i < 300; ++i)
                testcat::addEntry(db, disc, father, QStringLiteral("填充%1").arg(i), false);
            deep = testcat::addEntry(db, disc, father, QStringLiteral("深处.txt"), false, 7);
            top = testcat::addEntry(db, disc, 0, QStringLiteral("顶层.txt"), false, 1);
        }
        w->session().db().open(path);
        showCategory(cat, {{other, QStringLiteral("别的盘")}, {disc, QStringLiteral("光盘")}});
        QTreeWidgetItem* discNode = w->categoryTree()->findDiscNode(QString::number(disc));
        auto* list = child<QTableView>(win, "ListView1");
        QTreeWidget* contents = w->tvCDRom();
        auto jump = [&](const QString& keyword) {
            search(keyword);
            QCOMPARE(win->results()->rowCount(), 1);
            list->selectRow(0);
            win->btnLookClick();
            QCOMPARE(w->tvMain()->currentItem(), discNode);
        };
        auto listed = [&] {
            QList<qint64> ids;
            for (int row : w->lvMain()->selectedRows())
                ids << w->lvMain()->model()->entry(row).id;
            return ids;
        };
        auto openFolder = [&]() -> qint64 {
            QTreeWidgetItem* node = contents->currentItem();
            if (!node)
                return 0;
            // Shown: every level above it is open.
            for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
                if (!p->isExpanded())
                    return -1;
            return nodes::id(node);
        };

        jump(QStringLiteral("深处"));
        QCOMPARE(openFolder(), folders[4]);
        QCOMPARE(listed(), QList<qint64>{deep});
        QCOMPARE(w->lvMain()->model()->rowCount(), 301);

        // Another branch of the disc shown: the folder hit itself is selected.
        jump(QStringLiteral("层3"));
        QCOMPARE(openFolder(), folders[2]);

        // Back to the top level of the disc shown.
        jump(QStringLiteral("顶层"));
        QCOMPARE(listed(), QList<qint64>{top});

        // From another disc, straight down again.
        search(QStringLiteral("别的盘"));
        list->selectRow(0);
        win->btnLookClick();
        QCOMPARE(w->tvMain()->currentItem(),
                 w->categoryTree()->findDiscNode(QString::number(other)));
        jump(QStringLiteral("深处"));
        QCOMPARE(openFolder(), folders[4]);
        QCOMPARE(listed(), QList<qint64>{deep});
    }

    void progressPosition_data() {
        QTest::addColumn<qint64>("examined");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("position");
        QTest::newRow("start") << qint64(0) << qint64(10) << 0;
        QTest::newRow("half") << qint64(5) << qint64(10) << 50;
        QTest::newRow("end") << qint64(10) << qint64(10) << 100;
        QTest::newRow("beyond the total") << qint64(12) << qint64(10) << 100;
        QTest::newRow("nothing to examine") << qint64(0) << qint64(0) << 0;
        QTest::newRow("large catalog") << qint64(3'000'000'000) << qint64(6'000'000'000) << 50;
    }

    void progressPosition() {
        QFETCH(qint64, examined);
        QFETCH(qint64, total);
        QFETCH(int, position);
        QCOMPARE(SearchWindow::progressPosition(examined, total), position);
    }
};

QTEST_MAIN(TestSearchWindow)
#include "tst_searchwindow.moc"
