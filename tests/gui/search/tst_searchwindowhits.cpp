// The search window's result list: sorted by a click on any heading, from the index and
// from SQLite alike; Enter on a hit jumps; the 更多条件 conditions search without a keyword.
#include "common/catalogs.h"
#include "core/search/indexkeeper.h"
#include "core/settings/settings.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"
#include "gui/store/windowfixture.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace vorlane;

namespace {

struct File {
    const char* name;
    qint64 size;
    qint64 time;
};

// Files of one disc, in a folder: neither the order found nor the name order is the
// order of the sizes or the times.
const File files[] = {
    {"photo b.jpg", 3000, 1'600'000'000},      {"photo a.png", 100, 1'700'000'000},
    {"photo d.JPG", 2'000'000, 1'500'000'000}, {"photo c.txt", 50, 1'650'000'000},
    {"note.txt", 7000, 1'550'000'000},
};

} // namespace

class TestSearchWindowHits : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path;
    qint64 disc = 0, folder = 0;
    QList<qint64> ids;
    std::unique_ptr<WindowFixture> f;
    SearchWindow* win = nullptr;

    void start(bool fromIndex) {
        path = dir.filePath(QStringLiteral("hits.vlr"));
        QFile::remove(path);
        testcat::create(path);
        {
            Database db;
            db.open(path);
            disc = testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("分类")),
                                    QStringLiteral("照片盘"));
            folder = testcat::addEntry(db, disc, 0, QStringLiteral("photos"), true, 0,
                                       QStringLiteral("/photos"));
            ids.clear();
            for (const File& file : files) {
                ids << testcat::addEntry(db, disc, folder, QString::fromLatin1(file.name), false,
                                         file.size, QStringLiteral("/photos"));
                db.exec(QStringLiteral("update qCDFiles set FTime=? where AutoId=?"),
                        {file.time, ids.last()});
            }
        }
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->open(path));
        win = f->w().searchWindow();
        IndexKeeper* keeper = f->w().searchIndex();
        if (!keeper->current()) {
            QSignalSpy ready(keeper, &IndexKeeper::ready);
            QVERIFY(ready.wait(20000));
        }
        if (!fromIndex) {
            // A write by another connection: the searches read SQLite.
            Database other;
            other.open(path);
            other.exec(QStringLiteral("update qCD set OrderId=OrderId"));
            QVERIFY(!keeper->current());
        }
    }

    void search(const QString& keyword) {
        win->findChild<QComboBox*>(QStringLiteral("cobFind"))->setEditText(keyword);
        QSignalSpy ended(win, &SearchWindow::searchFinished);
        win->btnBeginFindClick();
        if (win->isSearching())
            QVERIFY(ended.wait(20000));
        QVERIFY(!win->isSearching());
    }

    QStringList names() const {
        QStringList out;
        for (int r = 0; r < win->results()->rowCount(); ++r)
            out << win->results()->index(r, SearchResultModel::Name).data().toString();
        return out;
    }

    QTableView* list() const { return win->findChild<QTableView*>(QStringLiteral("ListView1")); }

private slots:
    void cleanup() { f.reset(); }

    // A heading sorts what either engine found; the next search comes in the same order.
    void sortByAnyColumn_data() {
        QTest::addColumn<bool>("fromIndex");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        for (bool fromIndex : {true, false}) {
            const char* engine = fromIndex ? "index" : "SQLite";
            QTest::addRow("%s, size", engine) << fromIndex << int(SearchResultModel::Size) << false;
            QTest::addRow("%s, size descending", engine)
                << fromIndex << int(SearchResultModel::Size) << true;
            QTest::addRow("%s, time", engine) << fromIndex << int(SearchResultModel::Time) << false;
            QTest::addRow("%s, name descending", engine)
                << fromIndex << int(SearchResultModel::Name) << true;
        }
    }

    void sortByAnyColumn() {
        QFETCH(bool, fromIndex);
        QFETCH(int, column);
        QFETCH(bool, descending);
        start(fromIndex);
        // What the test expects, from its own table.
        auto expected = [&](const char* word) {
            std::vector<File> hits;
            for (const File& file : files)
                if (QString::fromLatin1(file.name).contains(QLatin1String(word)))
                    hits.push_back(file);
            const auto less = [&](const File& a, const File& b) {
                if (column == SearchResultModel::Size)
                    return a.size < b.size;
                if (column == SearchResultModel::Time)
                    return a.time < b.time;
                return QString::fromLatin1(a.name) < QString::fromLatin1(b.name);
            };
            std::stable_sort(hits.begin(), hits.end(), [&](const File& a, const File& b) {
                return descending ? less(b, a) : less(a, b);
            });
            QStringList out;
            for (const File& file : hits)
                out << QString::fromLatin1(file.name);
            return out;
        };
        QAbstractItemModelTester tester(win->results(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        search(QStringLiteral("photo"));
        QCOMPARE(names().size(), 5); // the folder and four files
        list()->horizontalHeader()->setSortIndicator(column, descending ? Qt::DescendingOrder
                                                                        : Qt::AscendingOrder);
        QStringList shown = names();
        shown.removeAll(QStringLiteral("photos"));
        QCOMPARE(shown, expected("photo"));
        // The size and time columns show what the file list shows.
        const int row = int(names().indexOf(QStringLiteral("photo d.JPG")));
        QCOMPARE(win->results()->index(row, SearchResultModel::Time).data().toString(),
                 EntryModel::timeText(1'500'000'000));
        QVERIFY(!win->results()->index(row, SearchResultModel::Size).data().toString().isEmpty());

        search(QStringLiteral(".txt"));
        QCOMPARE(names(), expected(".txt"));
        QCOMPARE(list()->horizontalHeader()->sortIndicatorSection(), column);
    }

    // Enter on a chosen hit takes the main window there, as a double click does.
    void enterJumps() {
        start(true);
        search(QStringLiteral("photo a"));
        QCOMPARE(names(), QStringList{"photo a.png"});
        list()->selectRow(0);
        QTest::keyClick(list(), Qt::Key_Return);
        MainWindow& w = f->w();
        w.contents()->completeFill();
        QCOMPARE(w.tvMain()->currentItem(), nodes::findDisc(w.tvMain(), disc));
        QCOMPARE(nodes::id(w.tvCDRom()->currentItem()), folder);
        QList<qint64> selected;
        for (int r : w.lvMain()->selectedRows())
            selected << w.lvMain()->model()->entry(r).id;
        QCOMPARE(selected, QList<qint64>{ids[1]});
    }

    // Conditions without a keyword list every folder and file that passes them, as many as
    // the catalog holds by its own count; without conditions an empty keyword is refused.
    void conditionsWithoutKeyword_data() {
        QTest::addColumn<bool>("fromIndex");
        QTest::addColumn<QString>("minKb");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("where"); // the same conditions, for the count
        for (bool fromIndex : {true, false}) {
            const char* engine = fromIndex ? "index" : "SQLite";
            QTest::addRow("%s, at least 2 KB", engine) << fromIndex << "2"
                                                       << ""
                                                       << "FSize >= 2048";
            QTest::addRow("%s, extensions", engine)
                << fromIndex << ""
                << "jpg,txt"
                << "(lower(TreeName) like '%.jpg' or lower(TreeName) like '%.txt')";
            QTest::addRow("%s, both", engine) << fromIndex << "2"
                                              << ".jpg"
                                              << "FSize >= 2048 and lower(TreeName) like '%.jpg'";
            QTest::addRow("%s, none", engine) << fromIndex << ""
                                              << ""
                                              << "";
        }
    }

    void conditionsWithoutKeyword() {
        QFETCH(bool, fromIndex);
        QFETCH(QString, minKb);
        QFETCH(QString, ext);
        QFETCH(QString, where);
        start(fromIndex);
        win->findChild<QGroupBox*>(QStringLiteral("gbMore"))->setChecked(true);
        win->findChild<QLineEdit*>(QStringLiteral("edMinSize"))->setText(minKb);
        win->findChild<QLineEdit*>(QStringLiteral("edExt"))->setText(ext);
        f->prompts.clear();
        search(QString());
        if (where.isEmpty()) {
            QCOMPARE(f->prompts.messages().size(), 1);
            QCOMPARE(f->prompts.lastMessage().text, QStringLiteral("请输入查询关键字！"));
            QCOMPARE(win->results()->rowCount(), 0);
            return;
        }
        QVERIFY(f->prompts.messages().isEmpty());
        Database db;
        db.open(path, Database::Mode::ReadOnly);
        Query count(db, QStringLiteral("select count(*) from qCDFiles where ") + where);
        QVERIFY(count.next());
        QVERIFY(count.integer(0) > 0);
        QCOMPARE(win->results()->hitCount(), count.integer(0));
        // Nothing typed, nothing remembered.
        QVERIFY(Settings().findWords().isEmpty());
    }
};

QTEST_MAIN(TestSearchWindowHits)
#include "tst_searchwindowhits.moc"
