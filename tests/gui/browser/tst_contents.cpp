// Browsing a disc: the fills and their order, lazy folder levels, the way up, sorting,
// selection-dependent commands and the size texts.
#include "common/actions.h"
#include "gui/browser/contentsfixture.h"

#include "gui/browser/categorytree.h"
#include "gui/common/icons.h"
#include "gui/store/cataloghandler.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeView>
#include <ctime>

using namespace vorlane;

class TestContents : public QObject {
    Q_OBJECT

private slots:
    void topLevelFillsBothViewsFoldersFirst();
    void timesAndLinksShow();
    void sizeTexts_data();
    void sizeTexts();
    void folderSelectionLoadsOneLevelAndListsIt();
    void emptyAndFilesOnlyLevels();
    void wayUpFromEveryLevel();
    void wayUpFromTopFolderShowsTheDiscAgain();
    void headerClickSortsFoldersFirst_data();
    void headerClickSortsFoldersFirst();
    void nameColumnTakesTheFreeWidth();
    void keysActAsInAFileManager();
    void statusPanelCountsTheSelection();
    void listCommandsFollowTheSelection_data();
    void listCommandsFollowTheSelection();
    void doubleClickOnFolderMovesDown();
    void selectByIdForTheSearchJump();
    void resetEmptiesEverything();
    void newFillStartsAtTheTop();
    void modelPassesTheTester();
};

void TestContents::topLevelFillsBothViewsFoldersFirst() {
    DiscFixture f;
    f.show();
    QCOMPARE(f.listNames(), (QStringList{"Docs", "Music", "b.txt", "a.bin", "big.iso", "readme"}));
    QCOMPARE(f.topNodeNames(), (QStringList{"Docs", "Music"}));
    for (int i = 0; i < f.tree()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* n = f.tree()->topLevelItem(i);
        QCOMPARE(n->childCount(), 0); // loaded only when selected
        QCOMPARE(n->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    }
    QVERIFY(!f.tree()->currentItem());
    QCOMPARE(f.w->statusText(), QStringLiteral("就绪"));
    QCOMPARE(f.w->lbCDName()->text(), QStringLiteral("光盘一"));
    QCOMPARE(f.w->txtCDExp()->toPlainText(), QStringLiteral("第一张"));
    QCOMPARE(f.w->contents()->loadTotal(), 6);
    QVERIFY(f.buttonEnabled("btnInExp"));
    QVERIFY(!f.buttonEnabled("btnExpSave"));
    QVERIFY(!f.enabled("tbBack"));
    QVERIFY(!f.buttonEnabled("btnCDRomDelete"));
    for (const char* name : {"mitOpen", "mitDelete", "mitFileExp", "MAddDir", "MAddFile"})
        QVERIFY2(!f.enabled(name), name);
    QCOMPARE(f.w->progressBar()->value(), 0);

    // Hidden columns keep the path, id and kind; the note column shows the note.
    const int r = f.rowOf(f.readme);
    QCOMPARE(f.model()->index(r, EntryModel::Note).data().toString(), QStringLiteral("说明"));
    QCOMPARE(f.model()->index(r, EntryModel::Id).data().toString(), QString::number(f.readme));
    QCOMPARE(f.model()->index(r, EntryModel::IsDir).data().toString(), QStringLiteral("0"));
    const int d = f.rowOf(f.docs);
    QCOMPARE(f.model()->index(d, EntryModel::Path).data().toString(), QStringLiteral("/Docs"));
    QCOMPARE(f.model()->index(d, EntryModel::IsDir).data().toString(), QStringLiteral("1"));
    // A folder shows, sorts by and counts its total: the files below it at any depth.
    f.w->setSizesInKb(false);
    QCOMPARE(f.model()->index(d, EntryModel::Size).data().toString(), QStringLiteral("60 B"));
    f.selectRows({f.docs, f.music});
    QCOMPARE(f.w->listText(), QStringLiteral("6 项，已选 2 项（100 B）"));
    f.list()->clearSelection();
    f.model()->sort(EntryModel::Size, Qt::AscendingOrder);
    QCOMPARE(f.listNames().mid(0, 2), (QStringList{"Music", "Docs"}));
    f.model()->sort(-1);
    QHeaderView* header = f.list()->reportView()->header();
    for (int c : {EntryModel::Path, EntryModel::Id, EntryModel::IsDir})
        QVERIFY(header->isSectionHidden(c));
}

void TestContents::timesAndLinksShow() {
    qputenv("TZ", "Asia/Shanghai"); // the list shows local time
    ::tzset();
    const auto restore = qScopeGuard([] {
        qunsetenv("TZ");
        ::tzset();
    });
    DiscFixture f;
    f.db().exec(QStringLiteral("update qCDFiles set FTime=1000000000 where AutoId=?"), {f.readme});
    f.db().exec(QStringLiteral("update qCDFiles set Link='Docs/x.txt' where AutoId=?"), {f.bTxt});
    f.show();
    QHeaderView* header = f.list()->reportView()->header();
    QCOMPARE(f.model()->headerData(EntryModel::Time, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("修改时间"));
    QVERIFY(!header->isSectionHidden(EntryModel::Time));
    QCOMPARE(f.model()->index(f.rowOf(f.readme), EntryModel::Time).data().toString(),
             QStringLiteral("2001-09-09 09:46"));
    QVERIFY(f.model()->index(f.rowOf(f.aBin), EntryModel::Time).data().toString().isEmpty());
    // A link says where it points and wears a mark on its icon.
    const QModelIndex link = f.model()->index(f.rowOf(f.bTxt), EntryModel::Name);
    QVERIFY(link.data(Qt::ToolTipRole).toString().contains(QStringLiteral("Docs/x.txt")));
    const QImage marked = link.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    const QImage plain = fileIcon(QStringLiteral("b.txt")).pixmap(16).toImage();
    QVERIFY(!marked.isNull());
    QVERIFY(marked != plain);
    const QModelIndex file = f.model()->index(f.rowOf(f.readme), EntryModel::Name);
    QCOMPARE(file.data(Qt::ToolTipRole).toString(), QStringLiteral("readme"));
}

void TestContents::sizeTexts_data() {
    QTest::addColumn<bool>("inKb");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << true << qint64(0) << "0.0 KB";
    QTest::newRow("1536 B") << true << qint64(1536) << "1.5 KB";
    QTest::newRow("1 MiB") << true << qint64(1048576) << "1,024.0 KB";
    QTest::newRow("over 4 GiB") << true << 5LL * 1024 * 1024 * 1024 << "5,242,880.0 KB";
    QTest::newRow("by size: empty") << false << qint64(0) << "0 B";
    QTest::newRow("by size: bytes") << false << qint64(1023) << "1,023 B";
    QTest::newRow("by size: 1,246.6 KB") << false << qint64(1276518) << "1.2 MB";
    QTest::newRow("by size: just below 1 MiB") << false << qint64(1048575) << "1.0 MB";
    QTest::newRow("by size: over 4 GiB") << false << 5LL * 1024 * 1024 * 1024 << "5.0 GB";
    QTest::newRow("by size: terabytes")
        << false << 3LL * 1024 * 1024 * 1024 * 1024 + 1024LL * 1024 * 1024 * 1024 / 2 << "3.5 TB";
}

void TestContents::sizeTexts() {
    QFETCH(bool, inKb);
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    // Through the catalog and the list, so a 32-bit cut anywhere on the way shows.
    DiscFixture f;
    const qint64 id = testcat::addEntry(f.db(), f.disc, 0, QStringLiteral("sized"), false, bytes);
    f.w->setSizesInKb(inKb);
    f.show();
    QCOMPARE(f.model()->index(f.rowOf(id), EntryModel::Size).data().toString(), text);
}

void TestContents::folderSelectionLoadsOneLevelAndListsIt() {
    DiscFixture f;
    f.show();
    f.selectFolder(f.docs);
    QTreeWidgetItem* docs = f.node(f.docs);
    QCOMPARE(DiscFixture::childNames(docs), QStringList{"Old"});
    QCOMPARE(f.node(f.old)->childCount(), 0); // one level only
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));
    QVERIFY(f.enabled("tbBack"));
    QVERIFY(f.buttonEnabled("btnCDRomDelete"));
    QCOMPARE(f.w->statusText(), QStringLiteral("就绪"));

    // Selecting it again loads nothing twice.
    f.selectFolder(f.music);
    f.selectFolder(f.docs);
    QCOMPARE(docs->childCount(), 1);

    // A folder without sub-folders loses its mark once looked at.
    QCOMPARE(f.node(f.music)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    QCOMPARE(docs->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

    // Expanding a folder never selected loads its level too.
    f.node(f.old)->setExpanded(true);
    QCOMPARE(DiscFixture::childNames(f.node(f.old)), QStringList{"Deep"});

    // Read-only catalogs may browse but not delete.
    f.w->session().setAccessMode(AccessMode::ReadOnly);
    f.selectFolder(f.old);
    QVERIFY(!f.buttonEnabled("btnCDRomDelete"));
}

void TestContents::emptyAndFilesOnlyLevels() {
    DiscFixture f;
    const qint64 filesOnly = testcat::addDisc(f.db(), f.category, QStringLiteral("三"));
    testcat::addEntry(f.db(), filesOnly, 0, QStringLiteral("one.txt"), false, 1);
    const qint64 empty = testcat::addEntry(f.db(), f.disc, f.docs, QStringLiteral("Empty"), true);
    f.w->contents()->showDisc(filesOnly, QStringLiteral("三"));
    QCOMPARE(f.tree()->topLevelItemCount(), 0);
    QCOMPARE(f.listNames(), QStringList{"one.txt"});

    f.show();
    f.selectFolder(f.docs);
    f.w->progressBar()->setValue(0);
    f.selectFolder(empty);
    QCOMPARE(f.model()->rowCount(), 0);
    QCOMPARE(f.w->progressBar()->value(), 0);
    QCOMPARE(f.w->statusText(), QStringLiteral("就绪"));

    const qint64 none = testcat::addDisc(f.db(), f.category, QStringLiteral("空"));
    f.w->contents()->showDisc(none, QStringLiteral("空"));
    QCOMPARE(f.model()->rowCount(), 0);
    QCOMPARE(f.tree()->topLevelItemCount(), 0);
    QCOMPARE(f.w->statusText(), QStringLiteral("就绪"));
}

void TestContents::wayUpFromEveryLevel() {
    DiscFixture f;
    f.show();
    VERIFY_UNREACHABLE(testui::action(f.w, "tbBack")); // top level shown: there is no way up
    QCOMPARE(f.listNames().size(), 6);

    f.selectFolder(f.docs);
    f.selectFolder(f.old);
    f.selectFolder(f.deep);
    QCOMPARE(f.listNames(), QStringList{"z.txt"});
    TRIGGER(testui::action(f.w, "tbBack"));
    QCOMPARE(f.tree()->currentItem(), f.node(f.old));
    QCOMPARE(f.listNames(), (QStringList{"Deep", "y.txt"}));
    TRIGGER(testui::action(f.w, "tbBack"));
    QCOMPARE(f.tree()->currentItem(), f.node(f.docs));
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));
}

void TestContents::wayUpFromTopFolderShowsTheDiscAgain() {
    DiscFixture f;
    auto* cat = new QTreeWidgetItem(f.w->tvMain(), QStringList{QStringLiteral("电影")});
    cat->setData(0, nodes::KindRole, nodes::Category);
    nodes::setId(cat, f.category);
    f.w->categoryTree()->addDiscNode(cat, f.disc2, QStringLiteral("光盘二"));
    QTreeWidgetItem* discNode =
        f.w->categoryTree()->addDiscNode(cat, f.disc, QStringLiteral("光盘一"));
    f.w->session().setChangeHandling(false);
    f.w->tvMain()->setCurrentItem(cat); // a category is selected: the disc node is not
    f.w->session().setChangeHandling(true);
    f.show();
    f.selectFolder(f.docs);
    f.w->lbCDName()->setText(QStringLiteral("-"));
    TRIGGER(testui::action(f.w, "tbBack"));
    QCOMPARE(f.w->tvMain()->currentItem(), discNode);
    // The disc is shown again from its node, not left as it was.
    QCOMPARE(f.w->lbCDName()->text(), discNode->text(0));
    QVERIFY(!f.tree()->currentItem());
    QCOMPARE(f.listNames().size(), 6);
    QCOMPARE(f.node(f.docs)->childCount(), 0); // rebuilt collapsed
    QVERIFY(!f.enabled("tbBack"));
}

void TestContents::headerClickSortsFoldersFirst_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("names");
    const QStringList byName{"beta", "delta", "alpha", "epsilon", "file2", "file10", "gamma"};
    QTest::newRow("name") << int(EntryModel::Name) << 1 << byName;
    QTest::newRow("name reversed")
        << int(EntryModel::Name) << 2
        << QStringList{"delta", "beta", "gamma", "file10", "file2", "epsilon", "alpha"};
    // Numbers, not texts: 5 < 7 < 20 < 300 < 1000.
    QTest::newRow("size") << int(EntryModel::Size) << 1
                          << QStringList{"delta", "beta",  "file10", "file2",
                                         "alpha", "gamma", "epsilon"};
    QTest::newRow("size reversed")
        << int(EntryModel::Size) << 2
        << QStringList{"delta", "beta", "epsilon", "gamma", "alpha", "file2", "file10"};
    QTest::newRow("time, unknown first")
        << int(EntryModel::Time) << 1
        << QStringList{"beta", "delta", "file2", "file10", "alpha", "epsilon", "gamma"};
    QTest::newRow("note") << int(EntryModel::Note) << 1
                          << QStringList{"delta",   "beta",  "file2", "gamma",
                                         "epsilon", "alpha", "file10"};
    QTest::newRow("a third click is ascending again") << int(EntryModel::Name) << 3 << byName;
}

void TestContents::headerClickSortsFoldersFirst() {
    QFETCH(int, column);
    QFETCH(int, clicks);
    QFETCH(QStringList, names);
    DiscFixture f;
    const qint64 d = testcat::addDisc(f.db(), f.category, QStringLiteral("排序"));
    struct Row {
        const char* name;
        bool dir;
        qint64 size;
        qint64 time; // 0: unknown
        const char* note;
    };
    qint64 delta = 0;
    for (const Row& r : {Row{"gamma", false, 300, 3000, "a"}, Row{"delta", true, 0, 100, ""},
                         Row{"file10", false, 5, 500, "d"}, Row{"alpha", false, 20, 1000, "c"},
                         Row{"beta", true, 0, 50, ""}, Row{"epsilon", false, 1000, 2000, "b"},
                         Row{"file2", false, 7, 0, ""}}) {
        const qint64 id = testcat::addEntry(f.db(), d, 0, QLatin1String(r.name), r.dir, r.size, {},
                                            QLatin1String(r.note));
        if (r.time)
            f.db().exec(QStringLiteral("update qCDFiles set FTime=? where AutoId=?"), {r.time, id});
        if (qstrcmp(r.name, "delta") == 0)
            delta = id;
    }
    for (const char* sub : {"z10", "z9", "a1"})
        testcat::addEntry(f.db(), d, delta, QLatin1String(sub), true);
    f.w->contents()->showDisc(d, QStringLiteral("排序"));
    // Until a header is clicked the list keeps the stored order; the tree is in name order.
    QCOMPARE(f.listNames(),
             (QStringList{"delta", "beta", "gamma", "file10", "alpha", "epsilon", "file2"}));
    QCOMPARE(f.topNodeNames(), (QStringList{"beta", "delta"}));
    QHeaderView* header = f.list()->reportView()->header();
    QVERIFY(!header->isSortIndicatorShown());

    const qint64 gammaId = f.model()->entry(2).id;
    f.list()->selectRow(2);
    for (int i = 0; i < clicks; ++i)
        emit header->sectionClicked(column);
    QCOMPARE(f.listNames(), names);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), clicks % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
    // The selection moves with its entry.
    QCOMPARE(f.list()->selectedRows(), QList<int>{f.rowOf(gammaId)});

    // The chosen order holds for the next level shown, and the tree's levels are in name
    // order too.
    f.selectFolder(delta);
    QCOMPARE(DiscFixture::childNames(f.node(delta)), (QStringList{"a1", "z9", "z10"}));
    f.w->contents()->showDisc(d, QStringLiteral("排序"));
    QCOMPARE(f.listNames(), names);
    QCOMPARE(header->sortIndicatorSection(), column);
}

void TestContents::nameColumnTakesTheFreeWidth() {
    DiscFixture f;
    f.w->resize(1000, 600);
    f.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
    f.db().open(f.file); // the first activation opened a start-up catalog of its own
    f.show();
    QTreeView* view = f.list()->reportView();
    QHeaderView* header = view->header();
    const auto shown = [&] {
        int sum = 0;
        for (int c = 0; c < header->count(); ++c)
            sum += header->isSectionHidden(c) ? 0 : header->sectionSize(c);
        return sum;
    };
    QTRY_COMPARE(shown(), view->viewport()->width());
    QVERIFY(header->sectionSize(EntryModel::Name) > header->sectionSize(EntryModel::Note));

    // A column the user widens takes its width from the name, and keeps it through a refill.
    const int name = header->sectionSize(EntryModel::Name);
    header->resizeSection(EntryModel::Size, 180);
    QCOMPARE(header->sectionSize(EntryModel::Name), name - 80);
    f.selectFolder(f.docs);
    f.show();
    QCOMPARE(header->sectionSize(EntryModel::Size), 180);
    QCOMPARE(shown(), view->viewport()->width());

    // A name column sized by hand stays so when the window changes.
    header->resizeSection(EntryModel::Name, 260);
    f.w->resize(1200, 600);
    QTRY_VERIFY(view->viewport()->width() > 900);
    QCOMPARE(header->sectionSize(EntryModel::Name), 260);
}

void TestContents::keysActAsInAFileManager() {
    DiscFixture f;
    f.show();
    QTreeView* list = f.list()->reportView();
    // Enter opens the focused folder, as a double click does, not the first one selected.
    f.selectRows({f.docs, f.music});
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(f.tree()->currentItem(), f.node(f.music));
    QCOMPARE(f.listNames(), QStringList{"song.mp3"});
    f.show();
    f.list()->selectRow(f.rowOf(f.docs));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(f.tree()->currentItem(), f.node(f.docs));
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));
    f.list()->selectRow(f.rowOf(f.old));
    QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(f.listNames(), (QStringList{"Deep", "y.txt"}));
    // Backspace goes up, from the list and from the content tree.
    QTest::keyClick(list, Qt::Key_Backspace);
    QCOMPARE(f.tree()->currentItem(), f.node(f.docs));
    f.selectFolder(f.old);
    QTest::keyClick(f.tree(), Qt::Key_Backspace);
    QCOMPARE(f.tree()->currentItem(), f.node(f.docs));
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));

    // The Menu key and Shift+F10 open the focused view's own pop-up menu.
    struct Case {
        QWidget* view;
        QMenu* menu;
    };
    for (const Case& c :
         {Case{list, f.w->listPopupMenu()}, Case{f.tree(), f.w->contentsPopupMenu()},
          Case{f.w->tvMain(), f.w->treePopupMenu()}}) {
        for (const auto& [key, mods] :
             {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
            for (QMenu* m : {f.w->listPopupMenu(), f.w->contentsPopupMenu(), f.w->treePopupMenu()})
                m->hide();
            QTest::keyClick(c.view, key, mods);
            QVERIFY2(c.menu->isVisible(), qPrintable(c.view->objectName()));
            for (QMenu* other :
                 {f.w->listPopupMenu(), f.w->contentsPopupMenu(), f.w->treePopupMenu()})
                QVERIFY(other == c.menu || !other->isVisible());
        }
        c.menu->hide();
    }
    // The content tree's menu deletes the selected folder, as its caption button does.
    QTest::keyClick(f.tree(), Qt::Key_Menu);
    QAction* del = testui::action(f.w, "mitCDRomDelete");
    QVERIFY(del->isEnabled());
    f.prompts.answer(QMessageBox::No);
    del->trigger();
    QCOMPARE(f.prompts.messages().size(), 1);
    f.w->contentsPopupMenu()->hide();
}

void TestContents::statusPanelCountsTheSelection() {
    DiscFixture f;
    const qint64 d = testcat::addDisc(f.db(), f.category, QStringLiteral("大"));
    {
        Transaction tx(f.db());
        for (int i = 0; i < 2; ++i)
            testcat::addEntry(f.db(), d, 0, QStringLiteral("dir%1").arg(i), true);
        // 20,000 files of 300,000 bytes: six gigabytes in all, beyond any 32-bit sum.
        for (int i = 0; i < 20000; ++i)
            testcat::addEntry(f.db(), d, 0, QStringLiteral("f%1").arg(i), false, 300000);
        tx.commit();
    }
    f.w->resize(1000, 600);
    f.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
    QApplication::setActiveWindow(f.w.get());
    QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
    f.db().open(f.file); // the first activation opened a start-up catalog of its own
    f.w->contents()->showDisc(d, QStringLiteral("大"));
    // A level this large is added in batches from the event loop.
    QTRY_VERIFY(!f.w->contents()->isFilling());
    QCOMPARE(f.w->listText(), QStringLiteral("20002 项"));

    QTreeView* list = f.list()->reportView();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.list()->selectedCount(), 20002);
    QCOMPARE(f.w->listText(), QStringLiteral("20002 项，已选 20002 项（5,859,375.0 KB）"));
    f.w->setSizesInKb(false);
    QCOMPARE(f.w->listText(), QStringLiteral("20002 项，已选 20002 项（5.6 GB）"));
    // Rows picked one by one count once each, however the ranges overlap.
    f.list()->selectRow(0);
    f.list()->selectRow(2, false);
    f.list()->selectRow(3, false);
    f.list()->selectRow(3, false);
    QCOMPARE(f.w->listText(), QStringLiteral("20002 项，已选 3 项（585.9 KB）"));
    f.w->setSizesInKb(true);
    f.list()->clearSelection();
    QCOMPARE(f.w->listText(), QStringLiteral("20002 项"));

    // Read-only is said in the bar; the idle progress frame keeps to its corner.
    auto* readOnly = f.w->findChild<QLabel*>(QStringLiteral("StatusReadOnly"));
    QVERIFY(!readOnly->isVisible());
    f.w->session().setAccessMode(AccessMode::ReadOnly);
    QVERIFY(readOnly->isVisible());
    QCOMPARE(readOnly->text(), QStringLiteral("只读"));
    f.w->session().setAccessMode(AccessMode::Full);
    QVERIFY(!readOnly->isVisible());
    QVERIFY(f.w->progressBar()->width() < f.w->statusBar()->width() / 4);

    f.w->catalog()->resetToEmpty();
    QVERIFY(f.w->listText().isEmpty());
}

void TestContents::listCommandsFollowTheSelection_data() {
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("selected");
    QTest::newRow("full, one") << true << 1;
    QTest::newRow("full, several") << true << 3;
    QTest::newRow("read-only, one") << false << 1;
    QTest::newRow("read-only, all") << false << 6;
}

void TestContents::listCommandsFollowTheSelection() {
    QFETCH(bool, full);
    QFETCH(int, selected);
    DiscFixture f;
    f.w->session().setAccessMode(full ? AccessMode::Full : AccessMode::ReadOnly);
    f.show();
    if (selected == 6) {
        TRIGGER(testui::action(f.w, "mitSelAll"));
        QCOMPARE(f.list()->selectedCount(), 6);
    } else {
        for (int r = 0; r < selected; ++r)
            f.list()->selectRow(r, r == 0);
    }
    QCOMPARE(f.enabled("mitOpen"), selected == 1);
    QCOMPARE(f.enabled("MOpen"), selected == 1);
    QCOMPARE(f.enabled("mitFileExp"), selected == 1);
    QCOMPARE(f.enabled("MFileExp"), selected == 1);
    QCOMPARE(f.enabled("mitDelete"), full);
    for (const char* name : {"mitAddDir", "MAddDir", "mitAddFile", "MAddFile"})
        QCOMPARE(f.enabled(name), full);

    // The Delete key deletes only through an enabled delete command.
    f.prompts.answer(QMessageBox::No);
    QTest::keyClick(f.list()->reportView(), Qt::Key_Delete);
    QCOMPARE(f.prompts.messages().size(), full ? 1 : 0);
    QCOMPARE(f.entryIds().size(), 14);
}

void TestContents::doubleClickOnFolderMovesDown() {
    DiscFixture f;
    f.show();
    f.list()->selectRow(f.rowOf(f.music));
    emit f.list()->doubleClicked(f.rowOf(f.music));
    QCOMPARE(f.tree()->currentItem(), f.node(f.music));
    QCOMPARE(f.listNames(), QStringList{"song.mp3"});
    QVERIFY(f.opener.paths.isEmpty());

    // One level further: the sub-folder's node was loaded with its parent.
    f.selectFolder(f.docs);
    f.list()->selectRow(f.rowOf(f.old));
    TRIGGER(testui::action(f.w, "mitOpen"));
    QCOMPARE(f.tree()->currentItem(), f.node(f.old));
    QCOMPARE(f.listNames(), (QStringList{"Deep", "y.txt"}));
}

void TestContents::selectByIdForTheSearchJump() {
    DiscFixture f;
    f.show();
    QVERIFY(!f.w->contents()->selectFolderById(QString::number(f.old))); // not loaded yet
    QVERIFY(f.w->contents()->selectFolderById(QString::number(f.docs)));
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));
    f.list()->selectRow(0);
    QVERIFY(f.w->contents()->selectFileById(QString::number(f.xTxt)));
    QCOMPARE(f.list()->selectedRows(), QList<int>{f.rowOf(f.xTxt)});
    QVERIFY(!f.w->contents()->selectFileById(QString::number(f.zTxt)));
    QVERIFY(!f.w->contents()->selectFileById(QStringLiteral("x")));
}

void TestContents::resetEmptiesEverything() {
    DiscFixture f;
    f.show();
    f.selectFolder(f.docs);
    f.list()->selectRow(0);
    TRIGGER(testui::action(f.w, "mitFileExp"));
    QVERIFY(f.w->contents()->isFileNotesOpen());
    f.w->catalog()->resetToEmpty();
    QVERIFY(!f.w->contents()->isFileNotesOpen());
    QCOMPARE(f.model()->rowCount(), 0);
    QCOMPARE(f.tree()->topLevelItemCount(), 0);
    QVERIFY(!f.w->notes()->isDiscOpen());
    QVERIFY(f.w->txtCDExp()->toPlainText().isEmpty());
    QVERIFY(f.w->lbCDName()->text().isEmpty());
    QVERIFY(!f.enabled("tbBack"));
    QVERIFY(!f.buttonEnabled("btnInExp"));
}

// A disc shown after another must not open at the scroll position the last one was left at.
void TestContents::newFillStartsAtTheTop() {
    DiscFixture f;
    for (int i = 0; i < 300; ++i)
        testcat::addEntry(f.db(), f.disc2, 0, QStringLiteral("F%1").arg(i), true);
    f.w->resize(800, 600);
    f.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
    f.db().open(f.file); // the first activation opened a start-up catalog of its own
    f.w->contents()->showDisc(f.disc2, QStringLiteral("光盘二"));
    QCoreApplication::processEvents();
    QScrollBar* bar = f.tree()->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    f.w->contents()->showDisc(f.disc2, QStringLiteral("光盘二"));
    QTest::qWait(50);
    QCOMPARE(bar->value(), 0);
}

void TestContents::modelPassesTheTester() {
    DiscFixture f;
    QAbstractItemModelTester tester(f.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.show();
    f.selectFolder(f.docs);
    emit f.list()->reportView()->header()->sectionClicked(EntryModel::Size);
    emit f.list()->reportView()->header()->sectionClicked(EntryModel::Size);
    f.show();
    f.model()->removeRowsById({f.docs, f.readme, f.aBin});
    QCOMPARE(f.listNames(), (QStringList{"Music", "big.iso", "b.txt"}));
}

QTEST_MAIN(TestContents)
#include "tst_contents.moc"
