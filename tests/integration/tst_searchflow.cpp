// A disc imported from a real tree, then searched, jumped to, deleted from and annotated
// through the main window; the search window and the command line see the same catalog.
#include "common/actions.h"
#include "common/clirunner.h"
#include "core/search/indexkeeper.h"
#include "flow.h"
#include "gui/browser/filenotes.h"
#include "gui/interchange/interchangehandler.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <algorithm>

using namespace vorlane;
using namespace flow;

namespace {

// A window over a catalog with the categories 电影 and 其他, and the disc Movies imported
// into 电影 through the import dialog from this tree:
//   Film/ (clip.avi, Deeper/ (d.txt)), Music/ (song.mp3), poster.jpg, readme.txt
struct Imported {
    TestDir dir;
    TestDir disc;
    WindowFixture f;
    QString file;
    QTreeWidgetItem* category = nullptr;
    QTreeWidgetItem* discNode = nullptr;

    Imported() {
        disc.createFile(QStringLiteral("Film/clip.avi"), 700);
        disc.createFile(QStringLiteral("Film/Deeper/d.txt"), 2);
        disc.createFile(QStringLiteral("Music/song.mp3"), 300);
        disc.createFile(QStringLiteral("poster.jpg"), 50);
        disc.createFile(QStringLiteral("readme.txt"), 9);
        file = dir.path(QStringLiteral("s.vlr"));
        testcat::create(file);
        {
            Database db;
            db.open(file);
            testcat::addCategory(db, QStringLiteral("电影"), 0, 0);
            testcat::addCategory(db, QStringLiteral("其他"), 0, 1);
        }
        if (!f.open(file))
            qFatal("catalog not opened");
        f.w().show();
        category = findNode(f.tree(), QStringLiteral("电影"));
        f.tree()->setCurrentItem(category);
        scriptDirectoryImport(f.prompts, disc.path(), QStringLiteral("Movies"));
        TRIGGER(testui::action(&f.w(), "InCD"));
        discNode = f.tree()->currentItem();
        f.prompts.clear();
    }
    MainWindow& w() { return f.w(); }
    SearchWindow* win() { return f.w().searchWindow(); }
    QString current(QTreeWidget* tree) {
        return tree->currentItem() ? tree->currentItem()->text(0) : QString();
    }
};

} // namespace

class TestSearchFlow : public QObject {
    Q_OBJECT

private slots:
    void jumpShowsTheHit_data();
    void jumpShowsTheHit();
    void topFileAfterFolderOfSameDisc();
    void deletesReachViewsAndSearch();
    void fileNotesFoundBySearchAndCli();
    void countsAndSearchAfterEachWrite_data();
    void countsAndSearchAfterEachWrite();
};

void TestSearchFlow::jumpShowsTheHit_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("hit");
    QTest::addColumn<QString>("folder");     // current node of tvCDRom
    QTest::addColumn<QStringList>("list");   // what lvMain shows
    QTest::addColumn<QStringList>("picked"); // lvMain's selection
    const QStringList top{"Film", "Music", "poster.jpg", "readme.txt"};
    QTest::newRow("disc") << "movies"
                          << "Movies"
                          << "" << top << QStringList();
    QTest::newRow("folder at the top")
        << "film"
        << "Movies/Film"
        << "Film" << QStringList{"Deeper", "clip.avi"} << QStringList();
    QTest::newRow("file in a top folder")
        << "clip"
        << "Movies/clip.avi"
        << "Film" << QStringList{"Deeper", "clip.avi"} << QStringList{"clip.avi"};
    QTest::newRow("file at the top") << "poster"
                                     << "Movies/poster.jpg"
                                     << "" << top << QStringList{"poster.jpg"};
    // The levels down to it are loaded on the way.
    QTest::newRow("folder not loaded") << "deeper"
                                       << "Movies/Deeper"
                                       << "Deeper" << QStringList{"d.txt"} << QStringList();
    QTest::newRow("file in a folder not loaded")
        << "d.txt"
        << "Movies/d.txt"
        << "Deeper" << QStringList{"d.txt"} << QStringList{"d.txt"};
}

void TestSearchFlow::jumpShowsTheHit() {
    QFETCH(QString, keyword);
    QFETCH(QString, hit);
    QFETCH(QString, folder);
    QFETCH(QStringList, list);
    QFETCH(QStringList, picked);
    Imported c;
    // Another node is selected, so the jump shows the disc afresh.
    c.f.tree()->setCurrentItem(findNode(c.f.tree(), QStringLiteral("其他")));
    QVERIFY(search(c.win(), keyword).contains(hit));
    QVERIFY(jumpTo(c.win(), hit));
    QCOMPARE(c.f.tree()->currentItem(), c.discNode);
    QCOMPARE(c.current(c.w().tvCDRom()), folder);
    // Folders come first; among themselves in the order the scan met them.
    QStringList shown = listNames(c.w());
    QCOMPARE(shown.size(), list.size());
    QCOMPARE(std::is_partitioned(shown.begin(), shown.end(),
                                 [](const QString& n) { return !n.contains(QLatin1Char('.')); }),
             true);
    shown.sort();
    QCOMPARE(shown, list);
    QCOMPARE(selectedListNames(c.w()), picked);
}

// The disc is already shown with a folder open: a hit at the disc's top still shows up.
void TestSearchFlow::topFileAfterFolderOfSameDisc() {
    Imported c;
    search(c.win(), QStringLiteral("clip"));
    QVERIFY(jumpTo(c.win(), QStringLiteral("Movies/clip.avi")));
    QCOMPARE(selectedListNames(c.w()), QStringList{"clip.avi"});
    search(c.win(), QStringLiteral("readme"));
    QVERIFY(jumpTo(c.win(), QStringLiteral("Movies/readme.txt")));
    QCOMPARE(c.f.tree()->currentItem(), c.discNode);
    QCOMPARE(selectedListNames(c.w()), QStringList{"readme.txt"});
    QVERIFY(listNames(c.w()).contains(QStringLiteral("poster.jpg")));
}

void TestSearchFlow::deletesReachViewsAndSearch() {
    Imported c;
    MainWindow& w = c.w();
    Database& db = w.session().db();

    // A folder of the content tree: its rows at every depth go, the rest stay.
    w.tvCDRom()->setCurrentItem(contentNode(w, QStringLiteral("Film")));
    QVERIFY(testui::button(&w, "btnCDRomDelete")->isEnabled());
    c.f.prompts.answer(QMessageBox::Yes);
    testui::button(&w, "btnCDRomDelete")->click();
    QCOMPARE(c.f.prompts.messages().size(), 1);
    QVERIFY(!contentNode(w, QStringLiteral("Film")));
    QVERIFY(!listNames(w).contains(QStringLiteral("Film")));
    for (const char* gone : {"Film", "clip.avi", "Deeper", "d.txt"})
        QCOMPARE(db.count(QStringLiteral("select AutoId from qCDFiles where TreeName=?"),
                          {QLatin1String(gone)}),
                 0);
    QCOMPARE(db.count(QStringLiteral("select AutoId from qCDFiles")), 4);
    QCOMPARE(search(c.win(), QStringLiteral("clip")), QStringList());
    QCOMPARE(search(c.win(), QStringLiteral("d.txt")), QStringList());
    QCOMPARE(search(c.win(), QStringLiteral("song")), QStringList{"Movies/song.mp3"});

    // The disc itself: the views and the notes empty, the count goes down.
    QCOMPARE(w.countText(), QStringLiteral("分类：2，光盘：1"));
    c.f.tree()->setCurrentItem(c.discNode);
    w.txtCDExp()->setPlainText(QStringLiteral("备注"));
    testui::button(&w, "btnExpSave")->click();
    c.f.prompts.clear();
    c.f.prompts.answer(QMessageBox::Yes);
    TRIGGER(testui::action(&w, "MClassDelete"));
    QCOMPARE(c.f.prompts.messages().size(), 1);
    QVERIFY(!findNode(c.f.tree(), QStringLiteral("Movies")));
    QCOMPARE(w.tvCDRom()->topLevelItemCount(), 0);
    QCOMPARE(w.lvMain()->model()->rowCount(), 0);
    QVERIFY(w.txtCDExp()->toPlainText().isEmpty());
    QVERIFY(w.lbCDName()->text().isEmpty());
    QVERIFY(!w.notes()->isDiscOpen());
    QCOMPARE(w.countText(), QStringLiteral("分类：2，光盘：0"));
    QCOMPARE(db.count(QStringLiteral("select AutoId from qCDFiles")), 0);
    QCOMPARE(db.count(QStringLiteral("select AutoId from qCD")), 0);
    QCOMPARE(search(c.win(), QStringLiteral("movies")), QStringList());
    QCOMPARE(reopenedTree(c.file), (QStringList{"电影", "其他"}));
}

void TestSearchFlow::fileNotesFoundBySearchAndCli() {
    Imported c;
    MainWindow& w = c.w();
    const QStringList top = listNames(w);
    w.lvMain()->selectRow(0);
    TRIGGER(testui::action(&w, "mitFileExp"));
    FileNotesEditor* editor = w.contents()->fileNotes();
    QVERIFY(editor);
    auto* text = child<QPlainTextEdit>(editor, "txtExp");
    auto* name = child<QLabel>(editor, "lbFileName");
    auto* save = child<QPushButton>(editor, "btnSave");
    auto* next = child<QPushButton>(editor, "btnNext");
    auto* pre = child<QPushButton>(editor, "btnPre");
    QCOMPARE(name->text(), top[0]);
    QVERIFY(!pre->isEnabled());

    // Typed notes are saved when stepping on, and by the save button on the last entry.
    for (int i = 0; i < top.size(); ++i) {
        QCOMPARE(name->text(), top[i]);
        QCOMPARE(selectedListNames(w), QStringList{top[i]});
        text->setPlainText(QStringLiteral("标签%1 zq").arg(i));
        QVERIFY(save->isEnabled());
        if (i + 1 < top.size())
            next->click();
    }
    QVERIFY(!next->isEnabled());
    save->click();
    QVERIFY(!save->isEnabled());
    for (int i = 0; i < top.size(); ++i)
        QCOMPARE(w.lvMain()->model()->entry(i).note, QStringLiteral("标签%1 zq").arg(i));
    pre->click();
    QCOMPARE(text->toPlainText(), QStringLiteral("标签%1 zq").arg(top.size() - 2));
    editor->btnExitClick();
    QTRY_VERIFY(!w.contents()->isFileNotesOpen());

    // The search finds them by their notes, and only with the notes option on.
    QStringList expected;
    for (const QString& n : top)
        expected << QStringLiteral("Movies/") + n;
    QStringList found = search(c.win(), QStringLiteral("ZQ"));
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
    QCOMPARE(search(c.win(), QStringLiteral("ZQ"), false), QStringList());
    QCOMPARE(search(c.win(), QStringLiteral("签2")), QStringList{"Movies/" + top[2]});

    const CliResult cli = runCli({"find", c.file, QStringLiteral("签2"), "--format", "tsv"});
    QCOMPARE(cli.code, 0);
    const QStringList lines = cli.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1].section(QLatin1Char('\t'), 1, 2), QStringLiteral("Movies\t") + top[2]);
    QCOMPARE(runCli({"find", c.file, QStringLiteral("zq"), "--no-notes"}).out,
             QStringLiteral("0 hits\n"));
}

void TestSearchFlow::countsAndSearchAfterEachWrite_data() {
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("hits");
    QTest::addColumn<bool>("rebuilds"); // the index is built anew rather than patched
    const QStringList poster{"Movies/poster.jpg"};
    QTest::newRow("import") << "分类：2，光盘：2"
                            << "zzextra" << QStringList{"Extra/zzextra.txt"} << false;
    QTest::newRow("rescan") << "分类：2，光盘：1"
                            << "zzrescan" << QStringList{"Movies/zzrescan.txt"} << false;
    QTest::newRow("merge") << "分类：3，光盘：2"
                           << "zzmerged" << QStringList{"新光盘/zzmerged"} << false;
    QTest::newRow("delete disc") << "分类：2，光盘：0"
                                 << "poster" << QStringList() << false;
    QTest::newRow("delete category") << "分类：1，光盘：1"
                                     << "poster" << poster << false;
    QTest::newRow("delete entry") << "分类：2，光盘：1"
                                  << "poster" << QStringList() << false;
    QTest::newRow("add folder") << "分类：2，光盘：1"
                                << "zzfolder" << QStringList{"Movies/zzfolder"} << false;
    QTest::newRow("rename") << "分类：2，光盘：1"
                            << "zzrenamed" << QStringList{"zzrenamed"} << false;
    QTest::newRow("new category") << "分类：3，光盘：1"
                                  << "poster" << poster << false;
    QTest::newRow("drop") << "分类：2，光盘：1"
                          << "poster" << poster << false;
    QTest::newRow("disc note") << "分类：2，光盘：1"
                               << "zqdisc" << QStringList{"Movies"} << false;
    QTest::newRow("file note") << "分类：2，光盘：1"
                               << "zqfile" << poster << false;
    QTest::newRow("compaction") << "分类：2，光盘：1"
                                << "poster" << poster << true;
    QTest::newRow("another program") << "分类：2，光盘：1"
                                     << "zzother" << QStringList{"Movies/zzother"} << true;
}

// Whatever the write, the status bar counts what the tree holds, and the search index
// follows: the program's own writes (its jobs' included) are laid over it at once without
// a build, and finds what the search through the catalog finds; another program's write,
// or a compaction, has it built anew without a search having to ask for it.
void TestSearchFlow::countsAndSearchAfterEachWrite() {
    QFETCH(QString, counts);
    QFETCH(QString, keyword);
    QFETCH(QStringList, hits);
    QFETCH(bool, rebuilds);
    const QString write = QString::fromLatin1(QTest::currentDataTag());
    Imported c;
    MainWindow& w = c.w();
    ScriptedPrompts& prompts = c.f.prompts;
    IndexKeeper* index = w.searchIndex();
    index->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(!index->isBuilding(), 20000);
    QVERIFY(index->current());
    const int builds = index->buildCount();
    QSignalSpy ready(index, &IndexKeeper::ready);
    TestDir extra;
    const auto select = [&](const QString& name) {
        c.f.tree()->setCurrentItem(findNode(c.f.tree(), name));
    };

    if (write == "import") {
        extra.createFile(QStringLiteral("zzextra.txt"), 5);
        select(QStringLiteral("其他"));
        scriptDirectoryImport(prompts, extra.path(), QStringLiteral("Extra"));
        TRIGGER(testui::action(&w, "InCD"));
    } else if (write == "rescan") {
        c.disc.createFile(QStringLiteral("zzrescan.txt"), 5);
        const auto click = [](const char* button) {
            return [button](QDialog* d) {
                child<QPushButton>(d, button)->click();
                return d->result();
            };
        };
        const auto run = [](QDialog* d) { return d->exec(); };
        prompts.answerDialog(click("btnStart"));
        prompts.answerDialog(run);
        prompts.answerDialog(click("btnApply"));
        prompts.answerDialog(run);
        TRIGGER(testui::action(&w, "MRescan"));
        QCOMPARE(prompts.pendingAnswers(), 0);
    } else if (write == "merge") {
        const QString source = c.dir.path(QStringLiteral("theirs.vlr"));
        testcat::create(source);
        {
            Database db;
            db.open(source);
            const qint64 cat = testcat::addCategory(db, QStringLiteral("外来"));
            const qint64 disc = testcat::addDisc(db, cat, QStringLiteral("新光盘"), 1);
            testcat::addEntry(db, disc, 0, QStringLiteral("zzmerged"), false, 1);
        }
        prompts.answerFile(source);
        auto* handler = w.findChild<InterchangeHandler*>(QStringLiteral("InterchangeHandler"));
        QSignalSpy merged(handler, &InterchangeHandler::mergeFinished);
        TRIGGER(testui::action(&w, "MMerge"));
        QVERIFY(merged.wait(20000));
    } else if (write == "delete disc" || write == "delete category") {
        select(write == "delete disc" ? QStringLiteral("Movies") : QStringLiteral("其他"));
        prompts.answer(QMessageBox::Yes);
        TRIGGER(testui::action(&w, "MClassDelete"));
    } else if (write == "delete entry") {
        w.lvMain()->selectRow(listRow(w, QStringLiteral("poster.jpg")));
        prompts.answer(QMessageBox::Yes);
        TRIGGER(testui::action(&w, "mitDelete"));
    } else if (write == "add folder") {
        w.lvMain()->selectRow(0);
        prompts.answerFolder(extra.path(), QStringLiteral("zzfolder"));
        TRIGGER(testui::action(&w, "mitAddDir"));
    } else if (write == "rename") {
        c.discNode->setText(0, QStringLiteral("zzrenamed"));
        w.categoryTree()->tvMainEdited(c.discNode);
        TRIGGER(testui::action(&w, "MSave"));
    } else if (write == "new category") {
        select(QStringLiteral("电影"));
        TRIGGER(testui::action(&w, "NewChildClass"));
        TRIGGER(testui::action(&w, "MSave"));
    } else if (write == "drop") {
        QTreeWidgetItem* other = findNode(c.f.tree(), QStringLiteral("其他"));
        select(QStringLiteral("Movies"));
        w.categoryTree()->tvMainDragDrop(c.f.tree()->visualItemRect(other).center());
        QCOMPARE(c.discNode->parent(), other);
    } else if (write == "disc note") {
        w.txtCDExp()->setPlainText(QStringLiteral("zqdisc"));
        testui::button(&w, "btnExpSave")->click();
    } else if (write == "file note") {
        w.lvMain()->selectRow(listRow(w, QStringLiteral("poster.jpg")));
        TRIGGER(testui::action(&w, "mitFileExp"));
        FileNotesEditor* editor = w.contents()->fileNotes();
        QVERIFY(editor);
        child<QPlainTextEdit>(editor, "txtExp")->setPlainText(QStringLiteral("zqfile"));
        child<QPushButton>(editor, "btnSave")->click();
        editor->btnExitClick();
    } else if (write == "another program") {
        Database other;
        other.open(c.file);
        testcat::addEntry(
            other, w.session().db().scalar(QStringLiteral("select AutoId from qCD")).toLongLong(),
            0, QStringLiteral("zzother"), false, 1);
    } else if (write == "compaction") {
        prompts.answer(QMessageBox::Yes);
        QSignalSpy compacted(w.catalog(), &CatalogHandler::compactionFinished);
        TRIGGER(testui::action(&w, "MCompactFile"));
        QVERIFY(compacted.wait(20000));
    }
    QCOMPARE(prompts.pendingAnswers(), 0);
    if (rebuilds) {
        if (write == "another program")
            index->refresh(); // no notice comes from another program
        QTRY_VERIFY_WITH_TIMEOUT(!ready.isEmpty() && !index->isBuilding(), 20000);
        QCOMPARE(index->buildCount(), builds + 1);
    } else {
        QVERIFY(!index->isBuilding());
        QCOMPARE(index->buildCount(), builds);
    }
    const std::shared_ptr<const SearchIndex> current = index->current();
    QVERIFY(current);
    QCOMPARE(w.countText(), counts);
    QCOMPARE(search(c.win(), keyword), hits);

    // Hit for hit what the search through the catalog finds, names and notes alike.
    Database& db = w.session().db();
    const auto hitsOf = [](const std::function<void(const SearchCallbacks&)>& run) {
        QStringList out;
        SearchCallbacks cb;
        cb.onHit = [&](const SearchHit& h) {
            out << QStringLiteral("%1/%2/%3/%4 %5 %6 %7")
                       .arg(h.discId)
                       .arg(h.folderId)
                       .arg(h.fileId)
                       .arg(h.size)
                       .arg(h.discName, h.name)
                       .arg(h.time.value_or(-1));
        };
        run(cb);
        return out;
    };
    for (const QString& k : {keyword, QStringLiteral("zz"), QStringLiteral("zq"),
                             QStringLiteral("poster"), QStringLiteral("."), QStringLiteral("e")}) {
        SearchOptions options;
        options.keyword = k;
        const QStringList viaCatalog =
            hitsOf([&](const SearchCallbacks& cb) { runSearch(db, options, cb); });
        const QStringList viaIndex =
            hitsOf([&](const SearchCallbacks& cb) { QVERIFY(current->search(options, cb)); });
        QCOMPARE(viaIndex, viaCatalog);
    }
}

QTEST_MAIN(TestSearchFlow)
#include "tst_searchflow.moc"
