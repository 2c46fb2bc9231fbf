// Correcting a disc's listing by hand: recursive deletes from the tree and the list
// (checked against the catalog), adds in both places, and read-only refusals.
#include "common/actions.h"
#include "gui/browser/contentsfixture.h"

#include "core/store/contentstore.h"

using namespace vorlane;

class TestContentEdit : public QObject {
    Q_OBJECT

private slots:
    void treeDeleteRemovesTheBranchOnly_data();
    void treeDeleteRemovesTheBranchOnly();
    void treeDeleteRefusedOrDeclined_data();
    void treeDeleteRefusedOrDeclined();
    void listDeleteFileAndFolderTogether();
    void listDeleteNeedsFullAccessAndASelection();
    void failedDeleteKeepsEverything();
    void addFolder_data();
    void addFolder();
    void addFile_data();
    void addFile();
    void addCancelledChangesNothing();
    void databaseErrorsAreShown_data();
    void databaseErrorsAreShown();
    void removeTreeSurvivesDamagedLinks();
};

void TestContentEdit::treeDeleteRemovesTheBranchOnly_data() {
    QTest::addColumn<bool>("viaKey");
    QTest::newRow("button") << false;
    QTest::newRow("Delete key") << true;
}

void TestContentEdit::treeDeleteRemovesTheBranchOnly() {
    QFETCH(bool, viaKey);
    DiscFixture f;
    f.show();
    f.selectFolder(f.docs);
    f.selectFolder(f.old);
    f.selectFolder(f.docs);
    QList<qint64> expected = f.entryIds();
    for (qint64 gone : {f.docs, f.old, f.deep, f.xTxt, f.yTxt, f.zTxt})
        expected.removeOne(gone);
    f.prompts.answer(QMessageBox::Yes);
    if (viaKey)
        QTest::keyClick(f.tree(), Qt::Key_Delete);
    else
        testui::button(f.w, "btnCDRomDelete")->click();
    const PromptCall q = f.prompts.lastMessage();
    QCOMPARE(q.text, QStringLiteral("是否确认删除光盘内容中当前选中的分支？"));
    QCOMPARE(q.caption, QStringLiteral("提示"));
    QCOMPARE(q.icon, QMessageBox::Question);
    QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(f.entryIds(), expected);
    QVERIFY(!f.node(f.docs));
    QCOMPARE(f.topNodeNames(), QStringList{"Music"});
    // The neighbour is now selected and listed.
    QCOMPARE(f.tree()->currentItem(), f.node(f.music));
    QCOMPARE(f.listNames(), QStringList{"song.mp3"});

    // The last folder gone leaves the list empty.
    f.prompts.answer(QMessageBox::Yes);
    testui::button(f.w, "btnCDRomDelete")->click();
    QCOMPARE(f.tree()->topLevelItemCount(), 0);
    QCOMPARE(f.model()->rowCount(), 0);
    QVERIFY(f.db().count(QStringLiteral("select AutoId from qCDFiles where CdID=?"), {f.disc2}) ==
            2);
}

void TestContentEdit::treeDeleteRefusedOrDeclined_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("answer no") << false;
    QTest::newRow("read-only") << true;
}

void TestContentEdit::treeDeleteRefusedOrDeclined() {
    QFETCH(bool, readOnly);
    DiscFixture f;
    if (readOnly)
        f.w->session().setAccessMode(AccessMode::ReadOnly);
    f.show();
    f.selectFolder(f.docs);
    const QList<qint64> before = f.entryIds();
    f.prompts.answer(QMessageBox::No);
    QTest::keyClick(f.tree(), Qt::Key_Delete);
    QCOMPARE(f.prompts.messages().size(), readOnly ? 0 : 1);
    QCOMPARE(f.entryIds(), before);
    QVERIFY(f.node(f.docs));
}

void TestContentEdit::listDeleteFileAndFolderTogether() {
    DiscFixture f;
    f.show();
    f.selectFolder(f.docs); // Docs' sub-folder Old gets its node
    TRIGGER(testui::action(f.w, "tbBack"));
    f.w->contents()->showDisc(f.disc, QStringLiteral("光盘一"));
    f.selectFolder(f.docs);
    QVERIFY(f.node(f.old));
    f.selectRows({f.old, f.xTxt});
    QList<qint64> expected = f.entryIds();
    for (qint64 gone : {f.old, f.deep, f.yTxt, f.zTxt, f.xTxt})
        expected.removeOne(gone);
    f.prompts.answer(QMessageBox::Yes);
    TRIGGER(testui::action(f.w, "mitDelete"));
    QCOMPARE(f.prompts.lastMessage().text, QStringLiteral("是否确认删除当前选中的内容？"));
    QCOMPARE(f.entryIds(), expected);
    QCOMPARE(f.model()->rowCount(), 0);
    QVERIFY(!f.node(f.old));
    QCOMPARE(f.node(f.docs)->childCount(), 0);
    QVERIFY(!f.enabled("mitDelete")); // nothing selected any more
}

void TestContentEdit::listDeleteNeedsFullAccessAndASelection() {
    DiscFixture f;
    f.show();
    const QList<qint64> before = f.entryIds();
    // Nothing selected: the Delete key asks nothing.
    QTest::keyClick(f.list()->reportView(), Qt::Key_Delete);
    VERIFY_UNREACHABLE(testui::action(f.w, "mitDelete"));
    f.w->contents()->mitDeleteClick(); // nor does the command itself
    QVERIFY(f.prompts.messages().isEmpty());

    f.selectRows({f.bTxt});
    f.prompts.answer(QMessageBox::No);
    QTest::keyClick(f.list()->reportView(), Qt::Key_Delete);
    QCOMPARE(f.prompts.messages().size(), 1);
    QCOMPARE(f.entryIds(), before);

    f.w->session().setAccessMode(AccessMode::ReadOnly);
    f.selectRows({f.aBin});
    QVERIFY(!f.enabled("mitDelete"));
    QTest::keyClick(f.list()->reportView(), Qt::Key_Delete);
    f.w->contents()->mitDeleteClick();
    QCOMPARE(f.prompts.messages().size(), 1);
    QCOMPARE(f.entryIds(), before);
}

void TestContentEdit::failedDeleteKeepsEverything() {
    DiscFixture f;
    f.db().close();
    f.db().open(f.file, Database::Mode::ReadOnly); // the catalog cannot be written
    f.show();
    f.selectFolder(f.docs);
    TRIGGER(testui::action(f.w, "tbBack"));
    f.w->contents()->showDisc(f.disc, QStringLiteral("光盘一"));
    const QList<qint64> before = f.entryIds();
    f.selectRows({f.bTxt, f.docs});
    f.prompts.answer(QMessageBox::Yes);
    TRIGGER(testui::action(f.w, "mitDelete"));
    QCOMPARE(f.prompts.lastMessage().icon, QMessageBox::Critical);
    QCOMPARE(f.entryIds(), before);
    QCOMPARE(f.model()->rowCount(), 6);
    QVERIFY(f.node(f.docs));

    f.selectFolder(f.docs);
    f.prompts.answer(QMessageBox::Yes);
    testui::button(f.w, "btnCDRomDelete")->click();
    QCOMPARE(f.prompts.lastMessage().icon, QMessageBox::Critical);
    QCOMPARE(f.entryIds(), before);
    QCOMPARE(f.tree()->currentItem(), f.node(f.docs));
}

void TestContentEdit::addFolder_data() {
    QTest::addColumn<bool>("inFolder");
    QTest::newRow("top level") << false;
    QTest::newRow("inside Docs") << true;
}

void TestContentEdit::addFolder() {
    QFETCH(bool, inFolder);
    DiscFixture f;
    f.show();
    if (inFolder)
        f.selectFolder(f.docs);
    f.list()->selectRow(0);
    QVERIFY(f.enabled("mitAddDir"));
    f.prompts.answerFolder(f.dir.filePath(QStringLiteral("Photos")), QStringLiteral("Photos"));
    const int rowsBefore = f.model()->rowCount();
    TRIGGER(testui::action(f.w, "MAddDir"));
    QCOMPARE(f.prompts.calls.first().kind, PromptCall::Folder);
    QCOMPARE(f.prompts.calls.first().caption, QStringLiteral("请选择目录"));
    QCOMPARE(f.prompts.calls.first().text, f.dir.path()); // starts at the disc's location

    Query q(f.db(), QStringLiteral("select AutoId,CdID,FatherId,FPath,FSize,IsDir,TreeExp from "
                                   "qCDFiles where TreeName='Photos'"));
    QVERIFY(q.next());
    const qint64 id = q.integer(0);
    QCOMPARE(q.integer(1), f.disc);
    QCOMPARE(q.integer(2), inFolder ? f.docs : 0);
    QCOMPARE(q.text(3), inFolder ? QStringLiteral("/Docs/Photos") : QStringLiteral("/Photos"));
    QCOMPARE(q.integer(4), 0);
    QCOMPARE(q.integer(5), 1);
    QVERIFY(q.isNull(6));

    QCOMPARE(f.model()->rowCount(), rowsBefore + 1);
    const Entry& e = f.model()->entry(rowsBefore);
    QCOMPARE(e.id, id);
    QVERIFY(e.isDir);
    QVERIFY(e.note.isEmpty());
    QCOMPARE(e.size, 0); // an empty folder's total
    QTreeWidgetItem* n = f.node(id);
    QVERIFY(n);
    QCOMPARE(n->parent(), inFolder ? f.node(f.docs) : nullptr);
    QCOMPARE(n->childCount(), 0);
    QCOMPARE(n->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);

    // The new folder browses like any other.
    f.selectFolder(id);
    QCOMPARE(f.model()->rowCount(), 0);
}

void TestContentEdit::addFile_data() {
    QTest::addColumn<bool>("inFolder");
    QTest::newRow("top level") << false;
    QTest::newRow("inside Docs") << true;
}

void TestContentEdit::addFile() {
    QFETCH(bool, inFolder);
    DiscFixture f;
    // A real file of some size: only its name is taken.
    QDir(f.dir.path()).mkpath(QStringLiteral("Docs"));
    const QString real = f.dir.filePath(QStringLiteral("Docs/new.txt"));
    QFile file(real);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'x'));
    file.close();
    f.show();
    if (inFolder)
        f.selectFolder(f.docs);
    f.list()->selectRow(0);
    const int treeNodes = f.tree()->topLevelItemCount();
    f.prompts.answerFile(real);
    TRIGGER(testui::action(f.w, "mitAddFile"));

    Query q(f.db(), QStringLiteral("select AutoId,FatherId,FPath,FSize,IsDir from qCDFiles "
                                   "where TreeName='new.txt'"));
    QVERIFY(q.next());
    const qint64 id = q.integer(0);
    QCOMPARE(q.integer(1), inFolder ? f.docs : 0);
    QCOMPARE(q.text(2), inFolder ? QStringLiteral("/Docs") : QString());
    QCOMPARE(q.integer(3), 0);
    QCOMPARE(q.integer(4), 0);
    const int row = f.rowOf(id);
    QCOMPARE(row, f.model()->rowCount() - 1);
    QCOMPARE(f.model()->index(row, EntryModel::Size).data().toString(), QStringLiteral("0.0 KB"));
    QCOMPARE(f.tree()->topLevelItemCount(), treeNodes);
    QVERIFY(!f.node(id));

    // Opening it looks where the scan would have put it.
    f.list()->selectRow(row);
    TRIGGER(testui::action(f.w, "mitOpen"));
    QCOMPARE(f.opener.paths.last(), inFolder ? real : f.dir.path() + QStringLiteral("/new.txt"));
}

void TestContentEdit::addCancelledChangesNothing() {
    DiscFixture f;
    f.show();
    const QList<qint64> before = f.entryIds();
    f.list()->selectRow(0);
    TRIGGER(testui::action(f.w, "mitAddDir"));
    TRIGGER(testui::action(f.w, "mitAddFile"));
    QCOMPARE(f.entryIds(), before);
    QCOMPARE(f.model()->rowCount(), 6);
    // Without full access the commands do nothing at all.
    f.w->session().setAccessMode(AccessMode::ReadOnly);
    f.prompts.clear();
    f.w->contents()->mitAddDirClick();
    f.w->contents()->mitAddFileClick();
    QVERIFY(f.prompts.calls.isEmpty());
}

void TestContentEdit::databaseErrorsAreShown_data() {
    QTest::addColumn<QString>("sabotage");   // run on a second connection to the catalog
    QTest::addColumn<QByteArray>("command"); // empty: open the folder Docs
    QTest::addColumn<QString>("engineText");
    const QString noInserts = "create trigger t before insert on qCDFiles begin"
                              " select raise(abort, 'disk full'); end";
    QTest::newRow("filling a folder")
        << "alter table qCDFiles rename to gone" << QByteArray() << "qCDFiles";
    QTest::newRow("adding a folder") << noInserts << QByteArray("mitAddDir") << "disk full";
    QTest::newRow("adding a file") << noInserts << QByteArray("mitAddFile") << "disk full";
}

// A failing read or write says what the database said and leaves the view usable, with
// nothing shown that the catalog does not hold.
void TestContentEdit::databaseErrorsAreShown() {
    QFETCH(QString, sabotage);
    QFETCH(QByteArray, command);
    QFETCH(QString, engineText);
    DiscFixture f;
    const QString picked = f.dir.filePath(QStringLiteral("Extra"));
    QDir(f.dir.path()).mkpath(QStringLiteral("Extra"));
    f.show();
    const QList<qint64> before = f.entryIds();
    const QStringList listed = f.listNames();
    {
        Database other;
        other.open(f.file);
        other.exec(sabotage);
    }
    f.prompts.clear();
    if (command.isEmpty()) {
        f.selectFolder(f.docs);
    } else {
        f.list()->selectRow(0);
        f.prompts.answerFolder(picked, QStringLiteral("Extra"));
        f.prompts.answerFile(picked);
        TRIGGER(testui::action(f.w, command.constData()));
    }
    const QList<PromptCall> messages = f.prompts.messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages.first().text.contains(engineText), qPrintable(messages.first().text));
    QCOMPARE(messages.first().caption, QStringLiteral("提示"));
    QCOMPARE(messages.first().icon, QMessageBox::Critical);
    QCOMPARE(f.w->statusText(), QStringLiteral("就绪"));
    if (!command.isEmpty()) {
        QCOMPARE(f.entryIds(), before);
        QCOMPARE(f.listNames(), listed);
        QCOMPARE(f.topNodeNames(), (QStringList{"Docs", "Music"}));
    }
}

void TestContentEdit::removeTreeSurvivesDamagedLinks() {
    DiscFixture f;
    // A loop of parent links (a damaged catalog) and a deep chain.
    const qint64 a = testcat::addEntry(f.db(), f.disc, 0, QStringLiteral("A"), true);
    const qint64 b = testcat::addEntry(f.db(), f.disc, a, QStringLiteral("B"), true);
    f.db().exec(QStringLiteral("update qCDFiles set FatherId=? where AutoId=?"), {b, a});
    qint64 parent = testcat::addEntry(f.db(), f.disc, 0, QStringLiteral("chain"), true);
    const qint64 chain = parent;
    for (int i = 0; i < 300; ++i)
        parent = testcat::addEntry(f.db(), f.disc, parent, QString::number(i), true);
    const qint64 total = f.entryIds().size();

    QCOMPARE(contentstore::removeTree(f.db(), a), 2);
    QCOMPARE(contentstore::removeTree(f.db(), 0), 0); // never "the whole top level"
    // A cancel rolls everything back.
    qint64 calls = 0;
    QCOMPARE(contentstore::removeTree(
                 f.db(), chain, [&](qint64, qint64) { ++calls; }, [] { return true; }),
             0);
    QCOMPARE(f.entryIds().size(), total - 2);
    QCOMPARE(contentstore::removeTree(f.db(), chain), 301);
    QCOMPARE(f.entryIds().size(), total - 303);
}

QTEST_MAIN(TestContentEdit)
#include "tst_contentedit.moc"
