// The search window inside the main window: controls, the empty-keyword message, Enter,
// results, history in the keyword box, and the jump to a disc.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
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
        QCOMPARE(list->model()->columnCount(), 6);
        const QStringList headings{"序号",         "光盘名称",     "名   称",
                                   "光盘自动编号", "目录自动编号", "文件自动编号"};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), headings.at(c));
            QCOMPARE(list->isColumnHidden(c), c >= 3);
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
        TRIGGER(w->action("MFind"));
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
