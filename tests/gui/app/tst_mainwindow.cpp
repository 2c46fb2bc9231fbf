// The main window as a user meets it: menus, tool bar, view switches, list styles and the
// start-up with a catalog that cannot be opened.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "common/testdir.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/filelistview.h"
#include "gui/common/commands.h"
#include "gui/search/searchwindow.h"
#include "gui/store/windowfixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

using namespace vorlane;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { testcat::isolateSettings(); }
    void menusHoldEveryCommand();
    void toolBarOrderAndStartingStates();
    void viewSwitchesStayInStep();
    void leftPaneHidesWithBothViews();
    void switchesFollowDragsAndTheContextMenu();
    void statusBarPanels();
    void progressPaintsNowAndThenWithoutRunningEvents();
    void listStylesAreExclusive_data();
    void listStylesAreExclusive();
    void toolBarSwitch();
    void keysReachTheirCommands();
    void startUpWithBadCatalog_data();
    void startUpWithBadCatalog();
    void firstRunWithoutArgumentOpensExample();
};

void TestMainWindow::menusHoldEveryCommand() {
    WindowFixture f; // a catalog with one category, as after start-up
    MainWindow& w = f.w();
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Every command the window makes has a home a user can open: a menu of the menu bar,
    // a pop-up menu, the tool bar or one of its buttons.
    QStringList homeless;
    const QList<QAction*> commands =
        w.commands().findChildren<QAction*>(Qt::FindDirectChildrenOnly);
    for (QAction* a : commands) {
        if (!a->objectName().isEmpty() && !a->isSeparator() && !a->menu() && !testui::placed(a))
            homeless << a->objectName();
    }
    QVERIFY2(homeless.isEmpty(), qPrintable(homeless.join(QLatin1Char(' '))));
    QVERIFY(commands.size() > 40);

    // The pop-up menus are opened by their views: a right click on a category, and the
    // list's context menu.
    QTreeWidgetItem* category = w.tvMain()->topLevelItem(0);
    QVERIFY(category);
    const QPoint at = w.tvMain()->visualItemRect(category).center();
    QTest::mouseClick(w.tvMain()->viewport(), Qt::RightButton, {}, at);
    QTRY_VERIFY(w.treePopupMenu()->isVisible());
    w.treePopupMenu()->close();
    QWidget* list = w.lvMain()->findChildren<QAbstractItemView*>().first()->viewport();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5),
                              list->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(list, &menuKey);
    QTRY_VERIFY(w.listPopupMenu()->isVisible());
    w.listPopupMenu()->close();

    // No key is claimed twice where both commands listen: Qt would then run neither.
    // A widget's own shortcut clashes with the window's keys, as the widget is in it.
    QHash<QKeySequence, QString> keys;
    for (QAction* a : w.findChildren<QAction*>()) {
        for (const QKeySequence& key : a->shortcuts()) {
            QVERIFY2(!keys.contains(key),
                     qPrintable(key.toString() + QLatin1Char(' ') + a->objectName() +
                                QLatin1Char(' ') + keys.value(key)));
            keys.insert(key, a->objectName());
        }
    }
    QVERIFY(keys.size() >= 10);
}

void TestMainWindow::toolBarOrderAndStartingStates() {
    ScriptedPrompts prompts;
    MainWindow w;
    QStringList hints;
    for (QAction* a : w.toolBar()->actions()) {
        if (a->isSeparator())
            continue;
        QWidget* b = w.toolBar()->widgetForAction(a);
        if (qobject_cast<QToolButton*>(b))
            hints << b->toolTip();
    }
    // The buttons, then the search bar at the far end.
    QCOMPARE(w.toolBar()->widgetForAction(w.toolBar()->actions().last())->objectName(),
             QStringLiteral("searchBar"));
    QCOMPARE(hints, (QStringList{"新增文件", "打开最近文件", "保存修改", "显示/隐藏光盘分类视图",
                                 "显示/隐藏光盘内容视图", "显示/隐藏光盘备注视图", "查找...",
                                 "向上", "大图标", "小图标", "列表", "详细资料", "退出"}));
    QVERIFY(!w.findChild<QToolButton*>(QStringLiteral("tbSave"))->isEnabled());
    QVERIFY(!testui::action(&w, "MSave")->isEnabled());
    QVERIFY(!testui::action(&w, "tbBack")->isEnabled());
    QVERIFY(testui::action(&w, "tbReport")->isChecked());
    QVERIFY(testui::action(&w, "MReport")->isChecked());
    // Save is one command: the tool button and the menu item change together.
    w.session().setModified(true);
    QVERIFY(w.findChild<QToolButton*>(QStringLiteral("tbSave"))->isEnabled());
    QVERIFY(testui::action(&w, "MSave")->isEnabled());
    QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理"));
}

// A view is seen when it is visible and has room; the category view is hidden by height.
static bool seen(const QWidget* panel) {
    return panel->isVisible() && panel->height() > 0;
}

void TestMainWindow::viewSwitchesStayInStep() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.resize(1000, 700);
    w.show();
    auto* pnlClass = w.findChild<QWidget*>(QStringLiteral("PnlClass"));
    auto* pnlCDRom = w.findChild<QWidget*>(QStringLiteral("PnlCDRom"));
    auto* pnlExp = w.findChild<QWidget*>(QStringLiteral("PnlExp"));

    struct View {
        const char* tool;
        const char* menu;
        const char* close;
        QWidget* panel;
    };
    for (const View& v : {View{"tbViewClass", "MViewClass", "btnClassClose", pnlClass},
                          View{"tbViewCDRom", "MViewCDRom", "btnCDRomClose", pnlCDRom},
                          View{"tbViewExp", "MViewExp", "btnExpClose", pnlExp}}) {
        QVERIFY2(seen(v.panel), v.tool);
        // The close button releases the tool button and clears the menu tick.
        testui::button(&w, v.close)->click();
        QVERIFY2(!seen(v.panel), v.tool);
        QVERIFY(!testui::action(&w, v.tool)->isChecked());
        QVERIFY(!testui::action(&w, v.menu)->isChecked());
        // The menu item shows it again and presses the tool button.
        TRIGGER(testui::action(&w, v.menu));
        QVERIFY2(seen(v.panel), v.menu);
        QVERIFY(testui::action(&w, v.tool)->isChecked());
        // The tool button hides it and clears the tick.
        TRIGGER(testui::action(&w, v.tool));
        QVERIFY(!seen(v.panel));
        QVERIFY(!testui::action(&w, v.menu)->isChecked());
        TRIGGER(testui::action(&w, v.tool));
        QVERIFY(seen(v.panel));
    }
}

void TestMainWindow::leftPaneHidesWithBothViews() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.resize(1000, 700);
    w.show();
    auto* left = w.findChild<QWidget*>(QStringLiteral("PnlLeft"));
    auto* right = w.findChild<QWidget*>(QStringLiteral("Panel6"));
    auto* pnlClass = w.findChild<QWidget*>(QStringLiteral("PnlClass"));
    auto* pnlCDRom = w.findChild<QWidget*>(QStringLiteral("PnlCDRom"));
    auto* splitter = w.findChild<QSplitter*>(QStringLiteral("Splitter2"));
    // At start the categories have half the pane.
    QTRY_COMPARE(pnlClass->height(), splitter->height() / 2);

    splitter->setSizes({150, splitter->height() - 150 - splitter->handleWidth()});
    emit splitter->splitterMoved(150, 1);
    const int cdRomHeight = pnlCDRom->height();
    TRIGGER(testui::action(&w, "tbViewCDRom")); // hide contents: the categories fill the pane
    QVERIFY(left->isVisible());
    QTRY_COMPARE(pnlClass->height(), splitter->height());
    TRIGGER(testui::action(&w, "tbViewCDRom")); // back with the height they had
    QCOMPARE(pnlCDRom->height(), cdRomHeight);
    QVERIFY(seen(pnlCDRom));

    // Both hidden: the pane goes and the list takes the width.
    const int rightWidth = right->width();
    TRIGGER(testui::action(&w, "tbViewClass"));
    TRIGGER(testui::action(&w, "tbViewCDRom"));
    QVERIFY(!left->isVisible());
    QTRY_VERIFY(right->width() > rightWidth);
    // The contents alone bring the pane back without the released categories.
    TRIGGER(testui::action(&w, "MViewCDRom"));
    QVERIFY(left->isVisible());
    QVERIFY(seen(pnlCDRom));
    QVERIFY(!seen(pnlClass));
    QVERIFY(!testui::action(&w, "MViewClass")->isChecked());
    TRIGGER(testui::action(&w, "MViewClass"));
    QCOMPARE(pnlClass->height(), splitter->height() / 2);

    // Dragging the categories shut releases their switches.
    splitter->setSizes({0, splitter->height()});
    emit splitter->splitterMoved(0, 1);
    QVERIFY(!testui::action(&w, "tbViewClass")->isChecked());
    QVERIFY(!testui::action(&w, "MViewClass")->isChecked());
}

void TestMainWindow::switchesFollowDragsAndTheContextMenu() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* right = w.findChild<QSplitter*>(QStringLiteral("Panel6"));
    auto* pnlExp = w.findChild<QWidget*>(QStringLiteral("PnlExp"));
    QSplitterHandle* handle = right->handle(1);
    auto drag = [&](int dy) {
        const QPoint at = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, at);
        QTest::mouseMove(handle, at + QPoint(0, dy / 2));
        QTest::mouseMove(handle, at + QPoint(0, dy));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at + QPoint(0, dy));
    };

    // The notes dragged shut release their switches and come back at their height.
    const int notesHeight = pnlExp->height();
    QVERIFY(notesHeight > 0);
    drag(right->height());
    QVERIFY(!seen(pnlExp));
    QVERIFY(!testui::action(&w, "tbViewExp")->isChecked());
    QVERIFY(!testui::action(&w, "MViewExp")->isChecked());
    TRIGGER(testui::action(&w, "MViewExp"));
    QVERIFY(seen(pnlExp));
    QCOMPARE(pnlExp->height(), notesHeight);
    // The list has no switch: it cannot be dragged shut.
    drag(-right->height());
    QVERIFY(seen(w.lvMain()));
    QVERIFY(testui::action(&w, "tbViewExp")->isChecked());

    // Hiding the tool bar from the window's own context menu clears its tick.
    std::unique_ptr<QMenu> menu(w.createPopupMenu());
    QVERIFY(menu);
    QAction* toolBarItem = nullptr;
    for (QAction* a : menu->actions()) {
        if (a == w.toolBar()->toggleViewAction())
            toolBarItem = a;
    }
    QVERIFY(toolBarItem);
    toolBarItem->trigger();
    QVERIFY(!w.toolBar()->isVisible());
    QVERIFY(!testui::action(&w, "ToolVisible")->isChecked());
    toolBarItem->trigger();
    QVERIFY(w.toolBar()->isVisible());
    QVERIFY(testui::action(&w, "ToolVisible")->isChecked());
}

void TestMainWindow::statusBarPanels() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.resize(1000, 700);
    w.show();
    auto* p0 = w.findChild<QLabel*>(QStringLiteral("StatusPanel0"));
    auto* p1 = w.findChild<QLabel*>(QStringLiteral("StatusPanel1"));
    QCOMPARE(p0->width(), 100);
    QCOMPARE(p1->width(), 150);
    QProgressBar* bar = w.progressBar();
    QCOMPARE(bar->parentWidget(), w.statusBar());
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    // The list's panel takes the room; the idle progress frame keeps to the right corner.
    auto* p3 = w.findChild<QLabel*>(QStringLiteral("StatusPanel3"));
    QVERIFY(p3->x() >= p1->geometry().right());
    QVERIFY(bar->x() >= p3->geometry().right());
    QVERIFY(p3->width() > 300);
    QVERIFY(bar->width() <= 200);
    // Resting on a command leaves the panels in place.
    for (const char* name : {"MFind", "FileNew", "tbViewClass", "MInCD"}) {
        testui::action(&w, name)->showStatusText(&w);
        QVERIFY2(p0->isVisible() && p1->isVisible() && bar->isVisible(), name);
    }
}

namespace {
// Counts how often pending events run: it posts itself again each time it is handled.
class PumpCounter : public QObject {
public:
    int pumps = 0;
    PumpCounter() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++pumps;
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }
};

// Counts the paints a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

void TestMainWindow::progressPaintsNowAndThenWithoutRunningEvents() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    PumpCounter counter;
    PaintCounter paints(w.progressBar());
    // A long load: thousands of rows, the bar painted as it moves on, not once per row.
    const int rows = 20000;
    for (int i = 0; i <= rows; ++i)
        w.showProgress(i * 100 / rows);
    QCOMPARE(w.progressBar()->value(), 100);
    QVERIFY2(paints.paints > 0 && paints.paints <= 101, qPrintable(QString::number(paints.paints)));
    // No command could have run in the middle of the load.
    QCOMPARE(counter.pumps, 0);
}

void TestMainWindow::listStylesAreExclusive_data() {
    QTest::addColumn<QByteArray>("trigger");
    QTest::addColumn<int>("style");
    QTest::newRow("menu large icons") << QByteArray("MIcon") << int(FileListView::LargeIcon);
    QTest::newRow("tool small icons") << QByteArray("tbSmallIcon") << int(FileListView::SmallIcon);
    QTest::newRow("menu list") << QByteArray("MList") << int(FileListView::List);
    QTest::newRow("tool details") << QByteArray("tbReport") << int(FileListView::Report);
}

void TestMainWindow::listStylesAreExclusive() {
    QFETCH(QByteArray, trigger);
    QFETCH(int, style);
    ScriptedPrompts prompts;
    MainWindow w;
    if (style == FileListView::Report)
        TRIGGER(testui::action(&w, "MList"));
    TRIGGER(testui::action(&w, trigger.constData()));
    QCOMPARE(int(w.lvMain()->style()), style);
    const char* menus[] = {"MIcon", "MSmallIcon", "MList", "MReport"};
    const char* tools[] = {"tbIcon", "tbSmallIcon", "tbList", "tbReport"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(testui::action(&w, menus[i])->isChecked(), i == style);
        QCOMPARE(testui::action(&w, tools[i])->isChecked(), i == style);
    }
}

void TestMainWindow::toolBarSwitch() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.show();
    TRIGGER(testui::action(&w, "ToolVisible"));
    QVERIFY(!w.toolBar()->isVisible());
    QVERIFY(!testui::action(&w, "ToolVisible")->isChecked());
    TRIGGER(testui::action(&w, "ToolVisible"));
    QVERIFY(w.toolBar()->isVisible());
}

void TestMainWindow::keysReachTheirCommands() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(w.lvMain()->style(), FileListView::SmallIcon);
    QVERIFY(testui::action(&w, "tbSmallIcon")->isChecked());
    QTest::keyClick(&w, Qt::Key_4, Qt::ControlModifier);
    QCOMPARE(w.lvMain()->style(), FileListView::Report);
    prompts.clear();
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(prompts.calls.size(), 1);
    QCOMPARE(prompts.calls.first().kind, PromptCall::Exec);
    QCOMPARE(prompts.calls.first().text, w.searchWindow()->objectName());
}

void TestMainWindow::startUpWithBadCatalog_data() {
    QTest::addColumn<QByteArray>("content"); // empty: the file does not exist
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not a database") << QByteArray("plain text, not a catalog");
}

void TestMainWindow::startUpWithBadCatalog() {
    QFETCH(QByteArray, content);
    TestDir dir;
    const QString file = dir.path("bad.vlr");
    if (!content.isEmpty())
        dir.writeFile("bad.vlr", content);
    ScriptedPrompts prompts;
    MainWindow w(file);
    w.FormActivate();
    const QList<PromptCall> m = prompts.messages();
    QCOMPARE(m.size(), 2);
    QCOMPARE(m[0].text, QStringLiteral("欢迎使用本系统！")); // the first run, with an argument
    QCOMPARE(m[0].icon, QMessageBox::Information);
    QCOMPARE(m[1].text, QStringLiteral("文件：\r\n") + file +
                            QStringLiteral("\r\n打开出错，文件不存在或文件格式不正确！"));
    QCOMPARE(m[1].caption, QStringLiteral("连接失败"));
    QCOMPARE(m[1].icon, QMessageBox::Critical);
    QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--新文件"));
    QVERIFY(w.session().currentFile().isEmpty());
    QCOMPARE(w.tvMain()->topLevelItemCount(), 1);
    QCOMPARE(w.tvMain()->topLevelItem(0)->text(0), QStringLiteral("新分类"));
    QVERIFY(w.session().isModified());
    QVERIFY(!w.session().db().isOpen());
}

void TestMainWindow::firstRunWithoutArgumentOpensExample() {
    ScriptedPrompts prompts;
    MainWindow w;
    w.FormActivate();
    QVERIFY(!prompts.messages().isEmpty());
    QCOMPARE(prompts.messages().first().text,
             QStringLiteral(
                 "您应该是第一次使用本系统，为让您很快熟悉操作方法，系统将为您打开示例文件！"));
    QVERIFY(w.session().currentFile().endsWith(QStringLiteral("example.vlr")));
    QVERIFY(w.session().db().isOpen());
    QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--") + w.session().currentFile());
    QVERIFY(!w.session().isModified());
    // The next start is not a first run.
    prompts.clear();
    MainWindow again;
    QVERIFY(!again.firstRun());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
