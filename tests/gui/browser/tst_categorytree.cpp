// The category tree: loading order, command states, the pop-up menu and keys, adding,
// renaming and deleting nodes, and moving them by drag and drop, each checked against the
// catalog file as a fresh window reads it.
#include "common/actions.h"
#include "common/testdir.h"
#include "gui/browser/smalltree.h"
#include "gui/store/windowfixture.h"

#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolTip>
#include <QtTest>

using namespace vorlane;

namespace {

bool enabled(MainWindow& w, const char* name) {
    if (QWidget* widget = w.findChild<QWidget*>(QLatin1String(name)))
        return widget->isEnabled();
    return testui::action(&w, name)->isEnabled();
}

} // namespace

class TestCategoryTree : public QObject {
    Q_OBJECT

private slots:
    void loadsInOrder();
    void emptyCatalog();
    void commandStates_data();
    void commandStates();
    void rightClick();
    void deleteKey();
    void deleteNodes();
    void addCommands();
    void labelEditsSetModified();
    void namesAsStored_data();
    void namesAsStored();
    void drops_data();
    void drops();
    void dropOnReadOnlyCatalog();
    void doubleClickReloadsTheDisc();
    void discFactsAndIncompleteMark();
};

void TestCategoryTree::loadsInOrder() {
    TestDir dir;
    const QString file = dir.path("order.vlr");
    testcat::create(file);
    {
        Database db;
        db.open(file);
        const qint64 late = testcat::addCategory(db, "后", 0, 9);
        const qint64 early = testcat::addCategory(db, "前", 0, 1);
        testcat::addCategory(db, "平一", early, 4);
        testcat::addCategory(db, "平二", early, 4); // equal OrderId: the database's order
        testcat::addDisc(db, early, "盘二", 3);
        testcat::addDisc(db, early, "盘一", 2);
        const qint64 unnamed = testcat::addDisc(db, late, QString(), 0);
        db.exec("update qCD set CDName=null where AutoId=?", {unnamed});
        testcat::addDisc(db, 999, "孤盘", 0);     // no such category
        testcat::addCategory(db, "孤类", 999, 0); // no such parent
    }
    WindowFixture f;
    QVERIFY(f.open(file));
    QCOMPARE(dumpTree(f.tree()),
             (QStringList{"前", "  平一", "  平二", "  *盘一", "  *盘二", "后", "  *未命名"}));
    QCOMPARE(f.w().session().discCount(), 3);
    QCOMPARE(f.w().countText(), QStringLiteral("分类：4，光盘：3"));
    QCOMPARE(f.w().session().nodeSerial(), 7);
    QCOMPARE(f.w().statusText(), QStringLiteral("就绪！"));
    QVERIFY(!f.w().session().isModified());
}

void TestCategoryTree::emptyCatalog() {
    TestDir dir;
    testcat::create(dir.path("e.vlr"));
    WindowFixture f;
    QVERIFY(f.open(dir.path("e.vlr")));
    QCOMPARE(f.tree()->topLevelItemCount(), 0);
    QCOMPARE(f.w().countText(), QStringLiteral("分类：0，光盘：0"));
}

void TestCategoryTree::commandStates_data() {
    QTest::addColumn<QString>("node");
    QTest::addColumn<bool>("full");
    QTest::addColumn<bool>("add");
    QTest::addColumn<bool>("import");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<bool>("rename");
    QTest::newRow("category with children") << "A" << true << true << true << false << true;
    QTest::newRow("childless category") << "A1" << true << true << true << true << true;
    QTest::newRow("disc") << "a" << true << false << true << true << true;
    QTest::newRow("category, read only") << "A1" << false << false << false << false << false;
    QTest::newRow("disc, read only") << "c" << false << false << false << false << false;
}

void TestCategoryTree::commandStates() {
    QFETCH(QString, node);
    QFETCH(bool, full);
    QFETCH(bool, add);
    QFETCH(bool, import);
    QFETCH(bool, remove);
    QFETCH(bool, rename);
    TestDir dir;
    WindowFixture f;
    QVERIFY(f.open(smallCatalog(dir)));
    if (!full)
        f.w().session().setAccessMode(AccessMode::ReadOnly);
    // Coming from a node of the other kind, so every state really changes.
    f.tree()->setCurrentItem(findNode(f.tree(), node == "a" || node == "c" ? "B1" : "b"));
    f.tree()->setCurrentItem(findNode(f.tree(), node));
    for (const char* name :
         {"btnAddChild", "NewChildClass", "MAddChildNode", "btnAddUp", "NewBrotherUp", "MAddUpNode",
          "btnAddDown", "NewBrotherDown", "MAddDownNode"})
        QVERIFY2(enabled(f.w(), name) == add, name);
    for (const char* name : {"btnInCD", "InCD", "MInCD"})
        QVERIFY2(enabled(f.w(), name) == import, name);
    for (const char* name : {"btnClassDelete", "MClassDelete"})
        QVERIFY2(enabled(f.w(), name) == remove, name);
    for (const char* name : {"RenameNode", "MRenameNode"})
        QVERIFY2(enabled(f.w(), name) == rename, name);
}

void TestCategoryTree::rightClick() {
    TestDir dir;
    WindowFixture f;
    QVERIFY(f.open(smallCatalog(dir)));
    f.w().show();
    f.tree()->expandAll();
    QMenu* menu = f.w().treePopupMenu();
    f.tree()->setCurrentItem(findNode(f.tree(), "A"));

    const QPoint empty(5, f.tree()->viewport()->height() - 3);
    QVERIFY(!f.tree()->itemAt(empty));
    QTest::mouseClick(f.tree()->viewport(), Qt::RightButton, {}, empty);
    QVERIFY(!menu->isVisible());
    QCOMPARE(f.tree()->currentItem()->text(0), QStringLiteral("A"));

    QTreeWidgetItem* disc = findNode(f.tree(), "c");
    QTest::mouseClick(f.tree()->viewport(), Qt::RightButton, {}, pointOn(f.tree(), disc, true));
    QCOMPARE(f.tree()->currentItem(), disc);
    QVERIFY(menu->isVisible());
    QVERIFY(enabled(f.w(), "MClassDelete"));
    menu->hide();
}

void TestCategoryTree::deleteKey() {
    TestDir dir;
    WindowFixture f;
    QVERIFY(f.open(smallCatalog(dir)));
    f.tree()->setCurrentItem(findNode(f.tree(), "A")); // has children: nothing asked
    QTest::keyClick(f.tree(), Qt::Key_Delete);
    QVERIFY(f.prompts.calls.isEmpty());

    f.tree()->setCurrentItem(findNode(f.tree(), "B1"));
    f.prompts.answer(QMessageBox::No);
    QTest::keyClick(f.tree(), Qt::Key_Delete);
    QCOMPARE(f.prompts.messages().size(), 1);
    QVERIFY(findNode(f.tree(), "B1"));

    // While the label is edited the key belongs to the editor.
    f.prompts.clear();
    f.tree()->editItem(findNode(f.tree(), "B1"), 0);
    QVERIFY(f.w().categoryTree()->isEditing());
    QTest::keyClick(f.tree(), Qt::Key_Delete);
    QVERIFY(f.prompts.calls.isEmpty());
}

void TestCategoryTree::deleteNodes() {
    TestDir dir;
    const QString file = smallCatalog(dir);
    WindowFixture f;
    QVERIFY(f.open(file));
    Database& db = f.w().session().db();

    // A disc goes with its entries.
    f.tree()->setCurrentItem(findNode(f.tree(), "c"));
    f.prompts.answer(QMessageBox::Yes);
    testui::button(&f.w(), "btnClassDelete")->click();
    const PromptCall ask = f.prompts.lastMessage();
    QCOMPARE(ask.text, QStringLiteral("是否确认删除光盘分类中当前选中的分支？"));
    QCOMPARE(ask.caption, QStringLiteral("提示"));
    QCOMPARE(ask.icon, QMessageBox::Question);
    QCOMPARE(ask.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!findNode(f.tree(), "c"));
    QCOMPARE(db.count("select * from qCD where CDName='c'"), 0);
    QCOMPARE(db.count("select * from qCDFiles"), 0);
    QCOMPARE(f.w().session().discCount(), 2);
    QCOMPARE(f.w().countText(), QStringLiteral("分类：4，光盘：2"));
    QVERIFY(!f.w().session().isModified());

    // A category added since the last save has no row; the rows stay as they are.
    f.tree()->setCurrentItem(findNode(f.tree(), "B1"));
    f.w().categoryTree()->btnAddChildClick();
    f.tree()->setCurrentItem(findNode(f.tree(), "新分类"));
    f.prompts.answer(QMessageBox::Yes);
    TRIGGER(testui::action(&f.w(), "MClassDelete"));
    QVERIFY(!findNode(f.tree(), "新分类"));
    QCOMPARE(db.count("select * from qClass"), 4);

    // A childless saved category is removed at once; No keeps it.
    f.tree()->setCurrentItem(findNode(f.tree(), "B1"));
    f.prompts.answer(QMessageBox::No);
    f.w().categoryTree()->btnClassDeleteClick();
    QVERIFY(findNode(f.tree(), "B1"));
    f.prompts.answer(QMessageBox::Yes);
    f.w().categoryTree()->btnClassDeleteClick();
    QCOMPARE(db.count("select * from qClass where TreeName='B1'"), 0);
    // Its parent has no children now and can be deleted in turn.
    f.tree()->setCurrentItem(findNode(f.tree(), "A1"));
    f.tree()->setCurrentItem(findNode(f.tree(), "B"));
    QVERIFY(enabled(f.w(), "btnClassDelete"));
    QCOMPARE(reopenedTree(file), (QStringList{"A", "  A1", "  *a", "  *b", "B"}));
}

void TestCategoryTree::addCommands() {
    TestDir dir;
    WindowFixture f;
    QVERIFY(f.open(smallCatalog(dir)));
    QTreeWidget* tree = f.tree();
    tree->collapseAll();

    // A child of a collapsed category shows, with its editor open.
    tree->setCurrentItem(findNode(tree, "B"));
    TRIGGER(testui::action(&f.w(), "NewChildClass"));
    QTreeWidgetItem* child = tree->currentItem();
    QCOMPARE(child->text(0), QStringLiteral("新分类"));
    QCOMPARE(child->parent(), findNode(tree, "B"));
    QCOMPARE(child->parent()->indexOfChild(child), 2);
    QVERIFY(child->parent()->isExpanded());
    QVERIFY(f.w().categoryTree()->isEditing());
    QVERIFY(f.w().session().isModified());
    QVERIFY(!nodes::hasId(child));
    child->setText(0, "B2");

    tree->setCurrentItem(findNode(tree, "A1"));
    TRIGGER(testui::action(&f.w(), "NewBrotherUp"));
    tree->currentItem()->setText(0, "A0");
    // Below the last sub-category of A goes to A, not into the next category.
    tree->setCurrentItem(findNode(tree, "A1"));
    TRIGGER(testui::action(&f.w(), "MAddDownNode"));
    tree->currentItem()->setText(0, "A2");
    tree->setCurrentItem(findNode(tree, "B"));
    TRIGGER(testui::action(&f.w(), "NewBrotherDown"));
    tree->currentItem()->setText(0, "C");
    tree->setCurrentItem(findNode(tree, "A"));
    TRIGGER(testui::action(&f.w(), "MAddUpNode"));
    tree->currentItem()->setText(0, "Z");
    QCOMPARE(dumpTree(tree), (QStringList{"Z", "A", "  A0", "  A1", "  A2", "  *a", "  *b", "B",
                                          "  B1", "  *c", "  B2", "C"}));
    f.w().catalog()->saveCatalog();
    QCOMPARE(reopenedTree(f.w().session().currentFile()),
             (QStringList{"Z", "A", "  A0", "  A1", "  A2", "  *a", "  *b", "B", "  B1", "  B2",
                          "  *c", "C"}));
}

void TestCategoryTree::labelEditsSetModified() {
    TestDir dir;
    WindowFixture f;
    QVERIFY(f.open(smallCatalog(dir)));
    f.w().show();
    QTreeWidgetItem* node = findNode(f.tree(), "b");
    f.tree()->setCurrentItem(node);
    TRIGGER(testui::action(&f.w(), "RenameNode"));
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : f.tree()->viewport()->findChildren<QLineEdit*>()) {
        if (e->isVisible())
            editor = e;
    }
    QVERIFY(editor);
    editor->setText("b'\"2");
    QTest::keyClick(editor, Qt::Key_Return); // committed through the event loop
    QTRY_COMPARE(node->text(0), QStringLiteral("b'\"2"));
    QVERIFY(f.w().session().isModified());
    QVERIFY(!f.w().categoryTree()->isEditing());
}

void TestCategoryTree::namesAsStored_data() {
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("stored");
    const QString han = QString(30, QChar(0x5149)); // 60 GBK bytes
    QTest::newRow("cut to 50 bytes") << "A1" << han << QString(25, QChar(0x5149));
    QTest::newRow("never half a character") << "A1"
                                            << "x" + han << "x" + QString(24, QChar(0x5149));
    QTest::newRow("four-byte characters")
        << "A1" << QString::fromUcs4(U"𠀀𠀁𠀂𠀃𠀄𠀅𠀆𠀇𠀈𠀉𠀊𠀋𠀌")
        << QString::fromUcs4(U"𠀀𠀁𠀂𠀃𠀄𠀅𠀆𠀇𠀈𠀉𠀊𠀋");
    QTest::newRow("empty category") << "A1"
                                    << ""
                                    << "新分类";
    QTest::newRow("disc name whole")
        << "a" << han + "'; drop table qCD; --" << han + "'; drop table qCD; --";
    QTest::newRow("empty disc") << "a"
                                << ""
                                << "";
}

void TestCategoryTree::namesAsStored() {
    QFETCH(QString, node);
    QFETCH(QString, label);
    QFETCH(QString, stored);
    TestDir dir;
    const QString file = smallCatalog(dir);
    WindowFixture f;
    QVERIFY(f.open(file));
    QTreeWidgetItem* item = findNode(f.tree(), node);
    const qint64 id = nodes::id(item);
    item->setText(0, label);
    f.w().catalog()->saveCatalog();
    QVERIFY(!f.w().session().saveIncomplete());
    const QString table = nodes::isDisc(item) ? "qCD" : "qClass";
    const QString column = nodes::isDisc(item) ? "CDName" : "TreeName";
    QCOMPARE(f.w().session().db().scalar("select " + column + " from " + table + " where AutoId=?",
                                         {id}),
             QVariant(stored));
    // The node keeps what it was given, except an empty category name.
    QCOMPARE(item->text(0), label.isEmpty() && table == "qClass" ? stored : label);
}

void TestCategoryTree::drops_data() {
    QTest::addColumn<QString>("dragged");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("onItem");
    QTest::addColumn<QStringList>("reopened");
    QTest::newRow("category on category")
        << "B1"
        << "A1" << true << QStringList{"A", "  B1", "  A1", "  *a", "  *b", "B", "  *c"};
    QTest::newRow("disc on category")
        << "c"
        << "A1" << true << QStringList{"A", "  A1", "    *c", "  *a", "  *b", "B", "  B1"};
    QTest::newRow("disc on disc") << "b"
                                  << "a" << true
                                  << QStringList{"A", "  A1", "  *b", "  *a", "B", "  B1", "  *c"};
    QTest::newRow("disc on disc of another category")
        << "c"
        << "b" << true << QStringList{"A", "  A1", "  *a", "  *c", "  *b", "B", "  B1"};
    QTest::newRow("category on disc: no move") << "B1"
                                               << "a" << true << smallTree();
    QTest::newRow("category beside category")
        << "B"
        << "A1" << false
        << QStringList{"A", "  A1", "    B", "      B1", "      *c", "  *a", "  *b"};
    QTest::newRow("disc beside category")
        << "a"
        << "B" << false << QStringList{"A", "  A1", "  *b", "B", "  B1", "  *c", "  *a"};
    QTest::newRow("disc beside disc")
        << "c"
        << "a" << false << QStringList{"A", "  A1", "  *c", "  *a", "  *b", "B", "  B1"};
    QTest::newRow("category beside disc: no move") << "A1"
                                                   << "c" << false << smallTree();
    QTest::newRow("onto itself") << "A"
                                 << "A" << true << smallTree();
    QTest::newRow("into its own subtree") << "A"
                                          << "A1" << false << smallTree();
    QTest::newRow("before its own child") << "A"
                                          << "A1" << true << smallTree();
}

void TestCategoryTree::drops() {
    QFETCH(QString, dragged);
    QFETCH(QString, target);
    QFETCH(bool, onItem);
    QFETCH(QStringList, reopened);
    TestDir dir;
    const QString file = smallCatalog(dir);
    WindowFixture f;
    QVERIFY(f.open(file));
    f.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
    f.tree()->expandAll();
    // Unsaved edits go out with the drop's save.
    findNode(f.tree(), "b")->setText(0, "b");
    f.w().session().setModified(true);

    QTreeWidgetItem* t = findNode(f.tree(), target);
    const QPoint at = pointOn(f.tree(), t, onItem);
    bool on = !onItem;
    QCOMPARE(f.w().categoryTree()->dropTarget(at, &on), t);
    QCOMPARE(on, onItem);

    QTreeWidgetItem* d = findNode(f.tree(), dragged);
    f.tree()->setCurrentItem(d);
    f.w().categoryTree()->tvMainDragDrop(at);
    QCOMPARE(f.tree()->currentItem(), d);
    QVERIFY(!f.w().session().isModified());
    QVERIFY(!f.w().session().saveIncomplete());
    QVERIFY(f.prompts.messages().isEmpty());
    QCOMPARE(reopenedTree(file), reopened);
}

void TestCategoryTree::dropOnReadOnlyCatalog() {
    TestDir dir;
    const QString file = smallCatalog(dir);
    WindowFixture f;
    QVERIFY(f.open(file));
    f.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
    f.tree()->expandAll();
    f.w().session().setAccessMode(AccessMode::ReadOnly);
    f.tree()->setCurrentItem(findNode(f.tree(), "c"));
    f.w().categoryTree()->tvMainDragDrop(pointOn(f.tree(), findNode(f.tree(), "A1"), true));
    QCOMPARE(dumpTree(f.tree()), smallTree());
    f.tree()->editItem(findNode(f.tree(), "c"), 0);
    QVERIFY(!f.w().categoryTree()->isEditing());
}

// A double click on the disc being shown reads it again: the contents go back to its top
// level and show what was added since.
void TestCategoryTree::doubleClickReloadsTheDisc() {
    TestDir dir;
    const QString file = smallCatalog(dir);
    WindowFixture f;
    QVERIFY(showTree(f, file));
    QTreeWidgetItem* disc = findNode(f.tree(), "c");
    f.tree()->setCurrentItem(disc);
    QTreeWidget* contents = f.w().tvCDRom();
    QCOMPARE(contents->topLevelItemCount(), 1);
    contents->setCurrentItem(contents->topLevelItem(0)); // into "folder"
    QCOMPARE(f.w().lvMain()->model()->rowCount(), 1);
    QCOMPARE(f.w().lvMain()->model()->entries().front().name, QStringLiteral("file.txt"));
    {
        Database other;
        other.open(file);
        testcat::addEntry(other, nodes::id(disc), 0, "later.txt", false, 5);
    }

    const QPoint at = pointOn(f.tree(), disc, true);
    QTest::mouseClick(f.tree()->viewport(), Qt::LeftButton, {}, at); // already current: no reload
    QCOMPARE(f.w().lvMain()->model()->rowCount(), 1);
    QTest::mouseDClick(f.tree()->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(f.tree()->currentItem(), disc);
    QStringList names;
    for (const Entry& e : f.w().lvMain()->model()->entries())
        names << e.name;
    QCOMPARE(names, (QStringList{"folder", "later.txt"}));
    QVERIFY(!contents->currentItem());
    QCOMPARE(f.w().lbCDName()->text(), QStringLiteral("c"));
    QVERIFY(f.prompts.messages().isEmpty());
}

// A disc whose import did not finish carries a mark; its facts are in the node's tool tip
// and above the disc note.
void TestCategoryTree::discFactsAndIncompleteMark() {
    TestDir dir;
    const QString file = smallCatalog(dir);
    {
        Database db;
        db.open(file);
        db.exec("update qCD set ScanState=1, FsType='udf', Capacity=1000, "
                "ScanOptions='{\"types\":[\".mp4\",\".jpg\",\"\"]}' where CDName='b'");
        db.exec("update qCD set ScanState=0, ScanTime=1700000000 where CDName='c'");
    }
    WindowFixture f;
    QVERIFY(showTree(f, file));
    QTreeWidgetItem* a = findNode(f.tree(), "a");
    QTreeWidgetItem* b = findNode(f.tree(), "b");
    QTreeWidgetItem* c = findNode(f.tree(), "c");
    QVERIFY(!a->data(0, nodes::IncompleteRole).toBool()); // unknown: no mark
    QVERIFY(b->data(0, nodes::IncompleteRole).toBool());
    QVERIFY(!c->data(0, nodes::IncompleteRole).toBool());
    QVERIFY(b->icon(0).cacheKey() != c->icon(0).cacheKey());
    QCOMPARE(dumpTree(f.tree()), smallTree()); // the names stay as they are

    QHelpEvent help(QEvent::ToolTip, pointOn(f.tree(), c, true),
                    f.tree()->viewport()->mapToGlobal(pointOn(f.tree(), c, true)));
    QApplication::sendEvent(f.tree()->viewport(), &help);
    const QString tip = QToolTip::text();
    QVERIFY2(tip.contains(QStringLiteral("扫描结果：完成")), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("文件系统：未知")), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("文件夹：1，文件：1，总大小：")), qPrintable(tip));

    f.tree()->setCurrentItem(b);
    const QString line = f.w().findChild<QLabel*>("lbDiscFacts")->text();
    QVERIFY2(line.startsWith(QStringLiteral("扫描于 未知 · 已取消，内容不完整 · 文件系统 udf · "
                                            "容量 ")),
             qPrintable(line));
    // A type filter is repeated by every rescan: it is never out of sight.
    QVERIFY2(line.contains(QStringLiteral(" · 只导入：.mp4 .jpg （无扩展名）")), qPrintable(line));
    f.tree()->setCurrentItem(a);
    QVERIFY(
        f.w().findChild<QLabel*>("lbDiscFacts")->text().startsWith(QStringLiteral("没有扫描记录")));
}

QTEST_MAIN(TestCategoryTree)
#include "tst_categorytree.moc"
