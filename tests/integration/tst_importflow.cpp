// Importing real directory trees through the main window, into catalogs opened from a file
// and into a new catalog that has never been saved, and what the window and the file show
// afterwards.
#include "common/actions.h"
#include "core/settings/settings.h"
#include "flow.h"

#include <QLineEdit>

using namespace vorlane;
using namespace flow;

namespace {

// 电影 (动作), 音乐 with the disc 老歌.
QString smallCatalog(TestDir& dir) {
    const QString file = dir.path(QStringLiteral("c.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 films = testcat::addCategory(db, QStringLiteral("电影"), 0, 0);
    testcat::addCategory(db, QStringLiteral("动作"), films, 0);
    const qint64 music = testcat::addCategory(db, QStringLiteral("音乐"), 0, 1);
    testcat::addDisc(db, music, QStringLiteral("老歌"));
    return file;
}

// A disc-like tree: two top-level folders, a file at the top, a hidden file, nesting.
void makeTree(TestDir& t) {
    t.createFile(QStringLiteral("Sub/a.txt"), 3);
    t.createFile(QStringLiteral("Sub/Inner/b.txt"), 4);
    t.createDir(QStringLiteral("Empty"));
    t.createFile(QStringLiteral("top.txt"), 5);
    t.createFile(QStringLiteral(".hidden"), 1);
}

// Types a label into the open in-place editor of the category tree and commits it.
bool typeLabel(QTreeWidget* tree, const QString& text) {
    QLineEdit* editor = nullptr;
    for (QLineEdit* e : tree->viewport()->findChildren<QLineEdit*>()) {
        if (e->isVisible())
            editor = e;
    }
    if (!editor)
        return false;
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return); // committed through the event loop
    QCoreApplication::processEvents();
    return true;
}

} // namespace

class TestImportFlow : public QObject {
    Q_OBJECT

private slots:
    void importIntoOpenedCatalog();
    void newCatalogImportAndClose_data();
    void newCatalogImportAndClose();
};

void TestImportFlow::importIntoOpenedCatalog() {
    TestDir dir;
    TestDir disc;
    makeTree(disc);
    WindowFixture f;
    QVERIFY(f.open(smallCatalog(dir)));
    MainWindow& w = f.w();
    QCOMPARE(w.countText(), QStringLiteral("分类：3，光盘：1"));

    QTreeWidgetItem* action = findNode(f.tree(), QStringLiteral("动作"));
    f.tree()->setCurrentItem(action);
    for (const char* name :
         {"NewChildClass", "NewBrotherUp", "NewBrotherDown", "InCD", "RenameNode", "MClassDelete"})
        QVERIFY2(testui::action(&w, name)->isEnabled(), name);
    for (const char* name : {"btnAddChild", "btnAddUp", "btnAddDown", "btnInCD", "btnClassDelete"})
        QVERIFY2(testui::button(&w, name)->isEnabled(), name);
    scriptDirectoryImport(f.prompts, disc.path(), QStringLiteral("新片"));
    TRIGGER(testui::action(&w, "InCD"));
    QCOMPARE(f.prompts.pendingAnswers(), 0);
    QCOMPARE(f.prompts.lastMessage().text,
             QStringLiteral("数据导入完毕！\r\n\r\n文件：3，目录：3"));

    // The new disc is selected and shown: its top level in both views, its name above
    // the notes.
    QTreeWidgetItem* node = f.tree()->currentItem();
    QVERIFY(nodes::isDisc(node));
    QCOMPARE(node->text(0), QStringLiteral("新片"));
    QCOMPARE(node->parent(), action);
    QCOMPARE(w.notes()->discId(), nodes::id(node));
    QStringList folders = topLevelFolders(w.tvCDRom());
    folders.sort();
    QCOMPARE(folders, (QStringList{"Empty", "Sub"}));
    QStringList names = listNames(w);
    QCOMPARE(names.last(), QStringLiteral("top.txt")); // folders first
    names.sort();
    QCOMPARE(names, (QStringList{"Empty", "Sub", "top.txt"}));
    QCOMPARE(w.countText(), QStringLiteral("分类：3，光盘：2"));
    QVERIFY(w.session().changeHandling());
    QVERIFY(!w.session().isModified());

    // Its folders open level by level like any other disc's.
    f.tree()->setCurrentItem(nullptr);
    f.tree()->setCurrentItem(node);
    w.tvCDRom()->setCurrentItem(contentNode(w, QStringLiteral("Sub")));
    names = listNames(w);
    QCOMPARE(names, (QStringList{"Inner", "a.txt"}));

    const QStringList shown = dumpTree(f.tree());
    QCOMPARE(reopenedTree(w.session().currentFile()), shown);
    QVERIFY(shown.contains(QStringLiteral("    *新片")));
}

void TestImportFlow::newCatalogImportAndClose_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("storedName");
    QTest::newRow("cancel keeps the window") << int(QMessageBox::Cancel) << false << "新片";
    QTest::newRow("no closes without writing") << int(QMessageBox::No) << true << "新片";
    QTest::newRow("yes writes the rename") << int(QMessageBox::Yes) << true << "改名";
}

void TestImportFlow::newCatalogImportAndClose() {
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(QString, storedName);
    TestDir dir;
    TestDir disc;
    makeTree(disc);
    WindowFixture f; // a new catalog, its first category "新分类"
    MainWindow& w = f.w();
    w.show();
    QVERIFY(w.session().currentFile().isEmpty());

    // Name the first category and give it a child.
    QTreeWidgetItem* top = f.tree()->topLevelItem(0);
    f.tree()->setCurrentItem(top);
    TRIGGER(testui::action(&w, "RenameNode"));
    QVERIFY(typeLabel(f.tree(), QStringLiteral("影视")));
    TRIGGER(testui::action(&w, "NewChildClass"));
    QVERIFY(typeLabel(f.tree(), QStringLiteral("纪录片")));
    QTRY_COMPARE(dumpTree(f.tree()), (QStringList{"影视", "  纪录片"}));
    QVERIFY(w.session().isModified());

    // Importing first saves the tree: the save dialog names the new file.
    const QString file = dir.path(QStringLiteral("new.vlr"));
    f.tree()->setCurrentItem(findNode(f.tree(), QStringLiteral("纪录片")));
    f.prompts.answerFile(file);
    scriptDirectoryImport(f.prompts, disc.path(), QStringLiteral("新片"));
    TRIGGER(testui::action(&w, "InCD"));
    QCOMPARE(f.prompts.pendingAnswers(), 0);
    QCOMPARE(w.session().currentFile(), file);
    QVERIFY(!w.session().isModified());
    QCOMPARE(f.tree()->currentItem()->text(0), QStringLiteral("新片"));
    QCOMPARE(w.countText(), QStringLiteral("分类：2，光盘：1"));
    QCOMPARE(reopenedTree(file), (QStringList{"影视", "  纪录片", "    *新片"}));
    QStringList names = listNames(w);
    names.sort();
    QCOMPARE(names, (QStringList{"Empty", "Sub", "top.txt"}));

    // An unsaved rename of the disc, then the window is closed.
    TRIGGER(testui::action(&w, "RenameNode"));
    QVERIFY(typeLabel(f.tree(), QStringLiteral("改名")));
    QTRY_VERIFY(w.session().isModified());
    f.prompts.clear();
    f.prompts.answer(QMessageBox::StandardButton(answer));
    w.close();
    QCOMPARE(f.prompts.messages().size(), 1);
    const PromptCall ask = f.prompts.lastMessage();
    QCOMPARE(ask.text, QStringLiteral("当前文件未保存！保存吗？"));
    QCOMPARE(ask.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(ask.defaultButton, QMessageBox::Cancel);
    QCOMPARE(w.isVisible(), !closes);
    QCOMPARE(reopenedTree(file), (QStringList{"影视", "  纪录片", "    *" + storedName}));
    if (closes) {
        QCOMPARE(Settings().lastOpenedFile(), file);
        QCOMPARE(Settings().recentFiles().value(0), file);
    } else {
        QVERIFY(w.session().isModified());
    }
}

QTEST_MAIN(TestImportFlow)
#include "tst_importflow.moc"
