// The category tree save when a write fails: what was committed stays and keeps its ids,
// what was not loses them, so the next save appends it again.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"

#include <QtTest>

using namespace vorlane;

class TestCatalogStore : public QObject {
    Q_OBJECT

private slots:
    void treeSaveFailureKeepsWhatWasCommitted_data();
    void treeSaveFailureKeepsWhatWasCommitted();
};

void TestCatalogStore::treeSaveFailureKeepsWhatWasCommitted_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("failedRow");      // reported through the hook; -1 for none
    QTest::addColumn<bool>("engineError");   // the result carries the engine's text
    QTest::addColumn<int>("keptCategories"); // new category rows committed
    QTest::newRow("a category row is refused") << "row" << 3 << false << 2;
    QTest::newRow("the disc update is refused") << "disc" << -1 << true << 2;
    QTest::newRow("the commit is refused") << "commit" << -1 << true << 0;
}

void TestCatalogStore::treeSaveFailureKeepsWhatWasCommitted() {
    QFETCH(QString, failure);
    QFETCH(int, failedRow);
    QFETCH(bool, engineError);
    QFETCH(int, keptCategories);
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 old = testcat::addCategory(db, QStringLiteral("old"));
    const qint64 disc = testcat::addDisc(db, old, QStringLiteral("disc"));
    if (failure == QLatin1String("row"))
        db.exec(
            QStringLiteral("create trigger refuse before insert on qClass "
                           "when new.TreeName = 'C' begin select raise(abort, 'refused'); end"));
    if (failure == QLatin1String("disc"))
        db.exec(QStringLiteral("create trigger refuse before update on qCD "
                               "begin select raise(abort, 'refused'); end"));
    // A reader in another connection holds its lock, so the commit cannot take the file.
    Database reader;
    reader.open(file);
    std::optional<Query> reading;
    if (failure == QLatin1String("commit")) {
        db.setBusyWait(0, {});
        reading.emplace(reader, QStringLiteral("select * from qClass"));
        QVERIFY(reading->next());
    }

    // A, its child B holding the disc, then C; A, B and C are new.
    const std::vector<TreeSaveRow> rows = {{false, 0, QStringLiteral("A"), -1},
                                           {false, 0, QStringLiteral("B"), 0},
                                           {true, disc, QStringLiteral("disc"), 1},
                                           {false, 0, QStringLiteral("C"), -1}};
    qsizetype reported = -1;
    TreeSaveHooks hooks;
    hooks.rowFailed = [&](qsizetype row) { reported = row; };
    const TreeSaveResult r = catalogstore::saveCategoryTree(db, rows, hooks);
    reading.reset();

    QVERIFY(!r.saved);
    QCOMPARE(int(reported), failedRow);
    QCOMPARE(!r.error.isEmpty(), engineError);
    if (engineError && failure == QLatin1String("disc"))
        QVERIFY2(r.error.contains(QStringLiteral("refused")), qPrintable(r.error));
    QCOMPARE(r.ids.size(), rows.size());
    QCOMPARE(r.ids[2], disc);
    QCOMPARE(r.ids[3], 0); // C never made it
    QVERIFY(!db.inTransaction());
    // The ids handed back are exactly the rows another connection sees.
    const qint64 stored =
        reader.count(QStringLiteral("select 1 from qClass where AutoId<>?"), {old});
    QCOMPARE(stored, keptCategories);
    for (int i : {0, 1}) {
        QCOMPARE(r.ids[size_t(i)] != 0, keptCategories > 0);
        if (r.ids[size_t(i)] != 0)
            QCOMPARE(reader
                         .scalar(QStringLiteral("select TreeName from qClass where AutoId=?"),
                                 {r.ids[size_t(i)]})
                         .toString(),
                     rows[size_t(i)].name);
    }
    if (keptCategories > 0)
        QCOMPARE(
            reader.scalar(QStringLiteral("select FatherId from qClass where AutoId=?"), {r.ids[1]}),
            QVariant(r.ids[0]));
    // Only a save that reached the disc moved it.
    const qint64 discCategory =
        reader.scalar(QStringLiteral("select ClassId from qCD where AutoId=?"), {disc})
            .toLongLong();
    QCOMPARE(discCategory, failure == QLatin1String("row") ? r.ids[1] : old);
}

QTEST_GUILESS_MAIN(TestCatalogStore)
#include "tst_catalogstore.moc"
