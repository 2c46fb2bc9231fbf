// Knowing where the list is and moving about: the path bar (through an archive too), a
// disc shown from its top, and the way up landing on the folder it came from.
#include "common/actions.h"
#include "core/import/scanner.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/contentsfixture.h"
#include "gui/browser/pathbar.h"

#include <QDir>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTreeView>
#include <QTreeWidgetItemIterator>

using namespace vorlane;

namespace {

PathBar* pathBar(DiscFixture& f) {
    return f.w->findChild<PathBar*>(QStringLiteral("pathBar"));
}

// Clicks the bar's button with this text, as the user would.
void clickSegment(DiscFixture& f, const QString& text) {
    QToolButton* hit = nullptr;
    for (QToolButton* b : pathBar(f)->findChildren<QToolButton*>()) {
        if (b->isVisibleTo(pathBar(f)) && b->text() == text)
            hit = b;
    }
    QVERIFY2(hit, qPrintable(text));
    QTest::mouseClick(hit, Qt::LeftButton);
}

QString selectedName(DiscFixture& f) {
    const QList<int> rows = f.list()->selectedRows();
    return rows.size() == 1 ? f.model()->entry(rows.first()).name : QStringLiteral("<none>");
}

// The row is inside the report view's visible area.
bool rowShown(DiscFixture& f, int row) {
    QTreeView* view = f.list()->reportView();
    const QRect rect = view->visualRect(f.model()->index(row, 0));
    return rect.isValid() && view->viewport()->rect().contains(rect.center());
}

} // namespace

class TestBrowsing : public QObject {
    Q_OBJECT

private slots:
    void pathBarNamesEveryLevelAndGoesThere();
    void discShownFromTopAndWayUpLandsOnTheFolderLeft();
    void viewComesBackAfterARestart();
    void verifyRowsJumpToTheirEntry();
    void rescanLinesJumpToTheirEntry();
};

void TestBrowsing::pathBarNamesEveryLevelAndGoesThere() {
    DiscFixture f;
    // Disc three holds sub/pack.zip, listed with its members.
    const QString location = f.dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(location + QStringLiteral("/sub")));
    QProcess python;
    python.setWorkingDirectory(location + QStringLiteral("/sub"));
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import zipfile\n"
                                              "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                                              "    z.writestr('docs/a.txt', b'a')\n"
                                              "    z.writestr('top.txt', b'top')\n")});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    const qint64 disc3 =
        testcat::addDisc(f.db(), f.category, QStringLiteral("光盘三"), 2, location);
    ScanParams params;
    params.root = location;
    params.discId = disc3;
    params.archives = true;
    QVERIFY(scanTree(f.db(), params).error.isEmpty());
    f.w->categoryTree()->load();
    PathBar* bar = pathBar(f);
    QVERIFY(bar);

    f.show();
    QCOMPARE(bar->texts(), (QStringList{"电影", "光盘一"}));
    f.selectFolder(f.docs);
    f.selectFolder(f.old);
    f.selectFolder(f.deep);
    QCOMPARE(bar->texts(), (QStringList{"电影", "光盘一", "Docs", "Old", "Deep"}));
    clickSegment(f, QStringLiteral("Docs"));
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));
    QCOMPARE(selectedName(f), QStringLiteral("Old"));
    QCOMPARE(f.tree()->currentItem(), f.node(f.docs));
    QCOMPARE(bar->texts(), (QStringList{"电影", "光盘一", "Docs"}));
    clickSegment(f, QStringLiteral("光盘一"));
    QCOMPARE(f.listNames().size(), 6);
    QCOMPARE(selectedName(f), QStringLiteral("Docs"));
    QVERIFY(!f.tree()->currentItem());

    // Into the archive: its members and folders have no node anywhere but the bar.
    const auto open = [&](const QString& name) {
        const int row = f.listNames().indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        f.list()->selectRow(row);
        emit f.list()->doubleClicked(row);
    };
    f.w->tvMain()->setCurrentItem(nodes::findDisc(f.w->tvMain(), disc3));
    QCOMPARE(f.listNames(), QStringList{"sub"});
    open(QStringLiteral("sub"));
    open(QStringLiteral("pack.zip"));
    open(QStringLiteral("docs"));
    QCOMPARE(f.listNames(), QStringList{"a.txt"});
    QCOMPARE(bar->texts(), (QStringList{"电影", "光盘三", "sub", "pack.zip", "docs"}));
    clickSegment(f, QStringLiteral("pack.zip"));
    QCOMPARE(f.listNames(), (QStringList{"docs", "top.txt"}));
    QCOMPARE(selectedName(f), QStringLiteral("docs"));
    QCOMPARE(bar->texts(), (QStringList{"电影", "光盘三", "sub", "pack.zip"}));
    // The folder holding the archive, which the content tree has selected all along.
    clickSegment(f, QStringLiteral("sub"));
    QCOMPARE(f.listNames(), QStringList{"pack.zip"});
    QCOMPARE(selectedName(f), QStringLiteral("pack.zip"));
    QCOMPARE(bar->texts(), (QStringList{"电影", "光盘三", "sub"}));
    // A category goes to its node in the category tree.
    clickSegment(f, QStringLiteral("电影"));
    QVERIFY(nodes::isCategory(f.w->tvMain()->currentItem()));
    QCOMPARE(f.w->tvMain()->currentItem()->text(0), QStringLiteral("电影"));
}

void TestBrowsing::discShownFromTopAndWayUpLandsOnTheFolderLeft() {
    DiscFixture f;
    for (int i = 0; i < 300; ++i) {
        testcat::addEntry(f.db(), f.disc, 0, QStringLiteral("f%1.txt").arg(i, 3, 10, QChar('0')),
                          false, i);
        testcat::addEntry(f.db(), f.disc2, 0, QStringLiteral("F%1").arg(i, 3, 10, QChar('0')),
                          true);
    }
    f.w->resize(800, 600);
    f.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
    f.db().open(f.file); // the first activation opened a start-up catalog of its own
    f.w->categoryTree()->load();
    f.w->contents()->showDisc(f.disc2, QStringLiteral("光盘二"));
    f.w->contents()->completeFill();
    QScrollBar* bar = f.list()->reportView()->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    f.w->contents()->showDisc(f.disc, QStringLiteral("光盘一"));
    f.w->contents()->completeFill();
    QTest::qWait(50);
    QTRY_VERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), 0);

    // Up from a folder far down the top level, by Backspace: the folder is selected and in
    // sight.
    f.w->contents()->showDisc(f.disc2, QStringLiteral("光盘二"));
    f.w->contents()->completeFill();
    QTreeWidgetItem* far = f.tree()->findItems(QStringLiteral("F250"), Qt::MatchExactly).value(0);
    QVERIFY(far);
    f.tree()->setCurrentItem(far);
    QCOMPARE(f.listNames(), QStringList{});
    QTest::keyClick(f.list()->reportView(), Qt::Key_Backspace);
    QCOMPARE(f.listNames().size(), 301);
    QCOMPARE(selectedName(f), QStringLiteral("F250"));
    QTRY_VERIFY(rowShown(f, f.list()->selectedRows().first()));

    // One level up inside a disc, by the up button.
    f.w->contents()->showDisc(f.disc, QStringLiteral("光盘一"));
    f.selectFolder(f.docs);
    f.selectFolder(f.old);
    TRIGGER(testui::action(f.w, "tbBack"));
    QCOMPARE(f.listNames(), (QStringList{"Old", "x.txt"}));
    QCOMPARE(selectedName(f), QStringLiteral("Old"));
}

// Style, sort and column widths as the user left them, in the next window on the same
// settings; the sort orders the first disc shown.
void TestBrowsing::viewComesBackAfterARestart() {
    DiscFixture f;
    TRIGGER(testui::action(f.w, "MList"));
    QHeaderView* header = f.list()->reportView()->header();
    emit header->sectionClicked(EntryModel::Size);
    emit header->sectionClicked(EntryModel::Size); // the other way round
    header->resizeSection(EntryModel::Name, 222);
    header->resizeSection(EntryModel::Note, 321);
    f.w.reset();

    f.w = std::make_unique<MainWindow>();
    QCOMPARE(f.list()->style(), FileListView::List);
    QVERIFY(testui::action(f.w, "MList")->isChecked());
    QVERIFY(!testui::action(f.w, "MReport")->isChecked());
    header = f.list()->reportView()->header();
    QCOMPARE(header->sectionSize(EntryModel::Name), 222);
    QCOMPARE(header->sectionSize(EntryModel::Note), 321);
    QCOMPARE(header->sortIndicatorSection(), int(EntryModel::Size));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    f.db().open(f.file);
    f.show();
    f.w->contents()->completeFill();
    // Folders sort by their totals too: Docs holds more than Music.
    QCOMPARE(f.listNames(), (QStringList{"Docs", "Music", "big.iso", "readme", "b.txt", "a.bin"}));
    // A second click on the restored column turns it round, as on the first run.
    emit header->sectionClicked(EntryModel::Size);
    QCOMPARE(f.listNames(), (QStringList{"Music", "Docs", "a.bin", "b.txt", "readme", "big.iso"}));
}

// The disc's folder holds none of its files: every file is a row of the verify report, and
// Enter or a double click on one shows it in the main window, the report staying open.
void TestBrowsing::verifyRowsJumpToTheirEntry() {
    DiscFixture f;
    f.w->categoryTree()->load();
    f.w->tvMain()->setCurrentItem(nodes::findDisc(f.w->tvMain(), f.disc));
    f.prompts.answerDialog([](QDialog* d) { return d->exec(); }); // the progress window
    QStringList seen;
    f.prompts.answerDialog([&](QDialog* d) {
        auto* report = d->findChild<QTreeWidget*>(QStringLiteral("tvVerifyReport"));
        const auto row = [&](const QString& tail) {
            for (QTreeWidgetItemIterator it(report); *it; ++it) {
                if ((*it)->text(1).endsWith(tail))
                    return *it;
            }
            return static_cast<QTreeWidgetItem*>(nullptr);
        };
        QTreeWidgetItem* deep = row(QStringLiteral("/Docs/Old/y.txt"));
        QTreeWidgetItem* top = row(QStringLiteral("/b.txt"));
        if (!deep || !top)
            return int(QDialog::Rejected);
        report->setCurrentItem(deep);
        QTest::keyClick(report, Qt::Key_Return);
        seen << QStringLiteral("%1 %2 %3")
                    .arg(f.tree()->currentItem() ? f.tree()->currentItem()->text(0)
                                                 : QStringLiteral("-"),
                         selectedName(f), QString::number(d->result()));
        emit report->itemDoubleClicked(top, 1);
        seen << QStringLiteral("%1 %2").arg(
            f.tree()->currentItem() ? QStringLiteral("?") : QStringLiteral("-"), selectedName(f));
        return int(QDialog::Accepted);
    });
    TRIGGER(testui::action(f.w, "MVerify"));
    QCOMPARE(seen, (QStringList{"Old y.txt 0", "- b.txt"}));
    QCOMPARE(f.listNames().size(), 6);
}

// A removed file's line shows the file; an added one's shows the folder it goes into.
// Enter does not apply the changes.
void TestBrowsing::rescanLinesJumpToTheirEntry() {
    DiscFixture f;
    QVERIFY(QDir().mkpath(f.dir.filePath(QStringLiteral("Docs/Old"))));
    QFile added(f.dir.filePath(QStringLiteral("Docs/new.txt")));
    QVERIFY(added.open(QIODevice::WriteOnly));
    added.close();
    f.w->categoryTree()->load();
    f.w->tvMain()->setCurrentItem(nodes::findDisc(f.w->tvMain(), f.disc));
    f.prompts.answerDialog([](QDialog* d) { // the options
        d->findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
        return d->result();
    });
    f.prompts.answerDialog([](QDialog* d) { return d->exec(); }); // the progress window
    QStringList seen;
    f.prompts.answerDialog([&](QDialog* d) {
        auto* list = d->findChild<QPlainTextEdit*>(QStringLiteral("txtChanges"));
        const QStringList lines = list->toPlainText().split(QLatin1Char('\n'));
        for (const QString& line :
             {QStringLiteral("- /Docs/Old/y.txt"), QStringLiteral("+ /Docs/new.txt")}) {
            QTextCursor at(list->document()->findBlockByNumber(int(lines.indexOf(line))));
            list->setTextCursor(at);
            QTest::keyClick(list, Qt::Key_Return);
            seen << QStringLiteral("%1: %2 %3 %4")
                        .arg(line,
                             f.tree()->currentItem() ? f.tree()->currentItem()->text(0)
                                                     : QStringLiteral("-"),
                             f.list()->selectedRows().size() == 1 ? selectedName(f)
                                                                  : QStringLiteral("none"))
                        .arg(d->result());
        }
        return int(QDialog::Rejected);
    });
    TRIGGER(testui::action(f.w, "MRescan"));
    QCOMPARE(seen, (QStringList{"- /Docs/Old/y.txt: Old y.txt 0", "+ /Docs/new.txt: Docs none 0"}));
    QCOMPARE(f.entryIds().size(), 14); // nothing applied
}

QTEST_MAIN(TestBrowsing)
#include "tst_browsing.moc"
