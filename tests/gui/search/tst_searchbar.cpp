// The main window's search bar: hits as the query is typed, in the file list's place and in
// the order a heading asks for; the jump to a hit; Escape back to the listing as it was.
#include "common/actions.h"
#include "common/manualclock.h"
#include "core/search/indexkeeper.h"
#include "core/settings/text.h"
#include "core/store/database.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/search/searchbar.h"
#include "gui/search/searchresults.h"
#include "gui/store/windowfixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <algorithm>

using namespace vorlane;

namespace {

struct File {
    QString name;
    qint64 size;
};

// Two discs. 光盘甲: docs/deep/report big.txt, docs/report small.txt, and at the top
// report mid.txt, other.bin and sixty fillers. 光盘乙: report folder/report zeta.txt, misc.txt.
struct Catalog {
    QTemporaryDir dir;
    QString path;
    qint64 discA = 0, discB = 0, docs = 0, deep = 0;
    qint64 big = 0, small = 0, mid = 0, filler30 = 0, reportFolder = 0, zeta = 0;
    // Every entry whose name holds "report", as the test knows them.
    QList<File> reports;

    Catalog() {
        path = dir.filePath(QStringLiteral("bar.vlr"));
        testcat::create(path);
        Database db;
        db.open(path);
        const qint64 cat = testcat::addCategory(db, QStringLiteral("分类"));
        discA = testcat::addDisc(db, cat, QStringLiteral("光盘甲"), 1);
        discB = testcat::addDisc(db, cat, QStringLiteral("光盘乙"), 2);
        // Found order (folders, then files by id) is neither the name nor the size order.
        mid = testcat::addEntry(db, discA, 0, QStringLiteral("report mid.txt"), false, 700);
        reportFolder = testcat::addEntry(db, discB, 0, QStringLiteral("report folder"), true, 0,
                                         QStringLiteral("/report folder"));
        zeta = testcat::addEntry(db, discB, reportFolder, QStringLiteral("report zeta.txt"), false,
                                 300, QStringLiteral("/report folder"));
        testcat::addEntry(db, discB, 0, QStringLiteral("misc.txt"), false, 1);
        docs = testcat::addEntry(db, discA, 0, QStringLiteral("docs"), true, 0,
                                 QStringLiteral("/docs"));
        deep = testcat::addEntry(db, discA, docs, QStringLiteral("deep"), true, 0,
                                 QStringLiteral("/docs/deep"));
        big = testcat::addEntry(db, discA, deep, QStringLiteral("report big.txt"), false, 5 << 20,
                                QStringLiteral("/docs/deep"));
        small = testcat::addEntry(db, discA, docs, QStringLiteral("report small.txt"), false, 10,
                                  QStringLiteral("/docs"));
        testcat::addEntry(db, discA, 0, QStringLiteral("other.bin"), false, 3);
        for (int i = 0; i < 60; ++i) {
            const qint64 id =
                testcat::addEntry(db, discA, 0, QStringLiteral("filler%1.dat").arg(i), false, i);
            if (i == 30)
                filler30 = id;
        }
        reports = {{QStringLiteral("report mid.txt"), 700},
                   {QStringLiteral("report folder"), 0},
                   {QStringLiteral("report zeta.txt"), 300},
                   {QStringLiteral("report big.txt"), 5 << 20},
                   {QStringLiteral("report small.txt"), 10}};
    }
};

} // namespace

class TestSearchBar : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<Catalog> c;
    SearchBar* bar = nullptr;
    QLineEdit* field = nullptr;
    QTreeView* hitsView = nullptr;
    QStackedWidget* stack = nullptr;

    MainWindow& w() const { return f->w(); }

    void start() {
        c = std::make_unique<Catalog>();
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->open(c->path));
        w().resize(1000, 700);
        w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&w()));
        bar = w().searchBar();
        field = w().findChild<QLineEdit*>(QStringLiteral("searchBar"));
        hitsView = w().findChild<QTreeView*>(QStringLiteral("lvHits"));
        stack = w().findChild<QStackedWidget*>(QStringLiteral("stkList"));
        QVERIFY(bar && field && hitsView && stack);
    }

    void indexReady() {
        IndexKeeper* keeper = w().searchIndex();
        if (keeper->current())
            return;
        QSignalSpy ready(keeper, &IndexKeeper::ready);
        QVERIFY(ready.wait(20000));
        QVERIFY(keeper->current());
    }

    void showDisc(qint64 disc) {
        QTreeWidgetItem* node = nodes::findDisc(w().tvMain(), disc);
        QVERIFY(node);
        w().tvMain()->setCurrentItem(node);
        w().contents()->completeFill();
    }

    // Types into the bar; the query runs once the typing has paused.
    void type(ManualClock& clock, const QString& text) {
        QSignalSpy listed(bar, &SearchBar::hitsListed);
        QTest::keyClicks(field, text);
        QTest::qWait(60);
        QCOMPARE(listed.count(), 0); // not before the pause
        clock.advance(SearchBar::LiveDelayMs);
        QVERIFY(listed.wait(20000));
        QCOMPARE(stack->currentWidget(), hitsView);
    }

    QStringList shownNames() const {
        QStringList out;
        for (int r = 0; r < bar->hits()->rowCount(); ++r)
            out << bar->hits()->index(r, SearchResultModel::Name).data().toString();
        return out;
    }

    // A click on a heading; the hits come back sorted from the pool.
    void clickHeading(int column) {
        QSignalSpy listed(bar, &SearchBar::hitsListed);
        QHeaderView* header = hitsView->header();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 6, header->height() / 2));
        QVERIFY(listed.wait(20000));
    }

    QString listStatus() const {
        return w().findChild<QLabel*>(QStringLiteral("StatusPanel3"))->text();
    }

    QList<qint64> selectedIds() {
        QList<qint64> ids;
        for (int row : w().lvMain()->selectedRows())
            ids << w().lvMain()->model()->entry(row).id;
        return ids;
    }

private slots:
    void cleanup() {
        f.reset();
        c.reset();
    }

    // Hits follow the typing, also while the index is still being built; a click on a
    // heading sorts them, the next query keeps that order, and sizes follow the size unit.
    void hitsAsYouTypeSorted() {
        ManualClock clock;
        start();
        showDisc(c->discB);
        QCOMPARE(field->placeholderText().isEmpty(), false);
        // Another program's write makes the index stale: the query waits for the new one.
        Database other;
        other.open(w().session().db().path());
        other.exec(QStringLiteral("update qCD set OrderId=OrderId"));
        QVERIFY(!w().searchIndex()->current());
        type(clock, QStringLiteral("report"));
        QStringList expected;
        for (const File& file : c->reports)
            expected << file.name;
        QStringList found = shownNames();
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(found, expected);
        QCOMPARE(listStatus(), QStringLiteral("找到 5 项"));

        auto bySize = [&](bool descending) {
            QList<File> files = c->reports;
            std::stable_sort(files.begin(), files.end(), [&](const File& a, const File& b) {
                return descending ? a.size > b.size : a.size < b.size;
            });
            QStringList names;
            for (const File& file : files)
                names << file.name;
            return names;
        };
        clickHeading(SearchResultModel::Size);
        QCOMPARE(shownNames(), bySize(false));
        clickHeading(SearchResultModel::Size);
        QCOMPARE(shownNames(), bySize(true));
        clickHeading(SearchResultModel::Name);
        QCOMPARE(shownNames(), expected); // sorted by name above
        clickHeading(SearchResultModel::Size);

        // The next query lists its hits in the order chosen.
        indexReady();
        field->clear();
        type(clock, QStringLiteral("rep"));
        QCOMPARE(shownNames(), bySize(false));

        const int bigRow = int(shownNames().indexOf(QStringLiteral("report big.txt")));
        const QModelIndex size = bar->hits()->index(bigRow, SearchResultModel::Size);
        QCOMPARE(size.data().toString(), sizeText(5 << 20, true));
        w().setSizesInKb(false);
        QCOMPARE(size.data().toString(), sizeText(5 << 20, false));
        QVERIFY(sizeText(5 << 20, true) != sizeText(5 << 20, false));
    }

    // Enter in the bar (the first hit), Enter in the hit list or a double click: the
    // hit's folder is shown with the hit selected, and the bar is emptied.
    void jumpShowsTheHit_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("disc");  // 0 光盘甲, 1 光盘乙
        QTest::addColumn<int>("where"); // the folder listed: 0 the disc's top, 1 deep
        QTest::addColumn<int>("hit");   // 0 big, 1 report folder, 2 mid
        QTest::addColumn<int>("listed");
        QTest::newRow("file five levels down, Enter in the bar") << "report big"
                                                                 << "bar" << 0 << 1 << 0 << 1;
        QTest::newRow("folder, double click: shown among its siblings")
            << "report folder"
            << "double" << 1 << 0 << 1 << 2;
        QTest::newRow("file at a disc's top, Enter in the list") << "report mid"
                                                                 << "list" << 0 << 0 << 2 << 63;
    }

    void jumpShowsTheHit() {
        QFETCH(QString, query);
        QFETCH(QString, how);
        QFETCH(int, disc);
        QFETCH(int, where);
        QFETCH(int, hit);
        QFETCH(int, listed);
        ManualClock clock;
        start();
        // Another disc, and in it a folder, shown before.
        showDisc(disc == 0 ? c->discB : c->discA);
        indexReady();
        type(clock, query);
        QCOMPARE(bar->hits()->rowCount(), 1);
        if (how == QLatin1String("bar")) {
            QTest::keyClick(field, Qt::Key_Return);
        } else if (how == QLatin1String("list")) {
            QTest::keyClick(field, Qt::Key_Down);
            QCOMPARE(hitsView->currentIndex().row(), 0);
            QTest::keyClick(hitsView, Qt::Key_Return);
        } else {
            const QRect cell = hitsView->visualRect(bar->hits()->index(0, SearchResultModel::Name));
            QTest::mouseClick(hitsView->viewport(), Qt::LeftButton, {}, cell.center());
            QCOMPARE(stack->currentWidget(), hitsView); // a click only chooses
            QTest::mouseDClick(hitsView->viewport(), Qt::LeftButton, {}, cell.center());
        }
        QCOMPARE(stack->currentWidget(), static_cast<QWidget*>(w().lvMain()));
        QCOMPARE(field->text(), QString());
        w().contents()->completeFill();
        QCOMPARE(w().tvMain()->currentItem(),
                 nodes::findDisc(w().tvMain(), disc == 0 ? c->discA : c->discB));
        if (where == 1)
            QCOMPARE(nodes::id(w().tvCDRom()->currentItem()), c->deep);
        const qint64 ids[] = {c->big, c->reportFolder, c->mid};
        QCOMPARE(selectedIds(), QList<qint64>{ids[hit]});
        QCOMPARE(w().lvMain()->model()->rowCount(), listed);
        // The bar's undo brings the query back.
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(field->text(), query);
    }

    // Escape in the bar or in the hits, or the bar emptied: the listing is back as it was
    // left, its folder, selection, scroll position and status unchanged.
    void escapeBringsBackTheListing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Escape in the bar") << "bar";
        QTest::newRow("Escape in the hits") << "list";
        QTest::newRow("bar emptied") << "empty";
    }

    void escapeBringsBackTheListing() {
        QFETCH(QString, how);
        ManualClock clock;
        start();
        showDisc(c->discA);
        indexReady();
        FileListView* list = w().lvMain();
        list->selectRow(w().lvMain()->model()->rowOfId(c->filler30));
        QScrollBar* scroll = list->reportView()->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        scroll->setValue(scroll->maximum() / 2);
        const int scrolled = scroll->value();
        QTreeWidgetItem* folder = w().tvCDRom()->currentItem();
        const QString status = listStatus();

        QAction* erase = testui::action(&w(), "mitDelete");
        QVERIFY(erase->isEnabled());
        type(clock, QStringLiteral("report"));
        QVERIFY(listStatus() != status);
        // The hidden list's selection is out of reach.
        QVERIFY(!erase->isEnabled());
        if (how == QLatin1String("bar")) {
            QTest::keyClick(field, Qt::Key_Escape);
        } else if (how == QLatin1String("list")) {
            hitsView->setFocus();
            QTest::keyClick(hitsView, Qt::Key_Escape);
        } else {
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Backspace);
        }
        QCOMPARE(field->text(), QString());
        QCOMPARE(stack->currentWidget(), static_cast<QWidget*>(list));
        QCOMPARE(w().tvMain()->currentItem(), nodes::findDisc(w().tvMain(), c->discA));
        QCOMPARE(w().tvCDRom()->currentItem(), folder);
        QCOMPARE(selectedIds(), QList<qint64>{c->filler30});
        QCOMPARE(scroll->value(), scrolled);
        QCOMPARE(listStatus(), status);
        QVERIFY(erase->isEnabled());
        QCOMPARE(bar->hits()->rowCount(), 0);
    }
};

QTEST_MAIN(TestSearchBar)
#include "tst_searchbar.moc"
