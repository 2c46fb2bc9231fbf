// The database layer on real files: reading, writing, transactions, and refusing files
// that are not catalogs.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "common/unprivileged.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QtTest>
#include <sqlite3.h>

using namespace vorlane;

class TestDatabase : public QObject {
    Q_OBJECT

private slots:
    void readsAndWritesRows();
    void nullReadAsTextIsCatchable();
    void valuesWithQuotesAreStoredExactly();
    void largeSizesKeepSixtyFourBits();
    void refusesFilesThatAreNotCatalogs_data();
    void refusesFilesThatAreNotCatalogs();
    void upgradeAddsVolumeLabelColumnOnce();
    void readOnlyFileOpensWithoutUpgrade_data();
    void readOnlyFileOpensWithoutUpgrade();
    void transactionRollsBackUnlessCommitted();
    void vacuumKeepsIdsAndShrinks();
};

void TestDatabase::readsAndWritesRows() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    QVERIFY(db.isOpen());
    const qint64 c = testcat::addCategory(db, QStringLiteral("电影"));
    const qint64 d = testcat::addDisc(db, c, QStringLiteral("光盘一"), 0, QStringLiteral("/media"));
    QVERIFY(c > 0 && d > 0);
    QCOMPARE(db.count(QStringLiteral("select AutoId from qCD")), 1);

    Query q(db, QStringLiteral("select * from qCD where AutoId=?"), {d});
    QVERIFY(q.next());
    QCOMPARE(q.text(QStringLiteral("cdname")), QStringLiteral("光盘一")); // names without case
    QCOMPARE(q.integer(QStringLiteral("ClassId")), c);
    QVERIFY(q.isNull(QStringLiteral("CDExp")));
    QVERIFY(!q.next());

    QVERIFY(Record(db, QStringLiteral("qCD"))
                .set(QStringLiteral("CDExp"), QStringLiteral("备注"))
                .update(d));
    QVERIFY(!Record(db, QStringLiteral("qCD"))
                 .set(QStringLiteral("CDExp"), QStringLiteral("x"))
                 .update(9999));
    QCOMPARE(db.scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {d}).toString(),
             QStringLiteral("备注"));
}

void TestDatabase::nullReadAsTextIsCatchable() {
    TestDir dir;
    testcat::create(dir.path("a.vlr"));
    Database db;
    db.open(dir.path("a.vlr"));
    Record(db, QStringLiteral("qCD")).set(QStringLiteral("ClassId"), 1).append();
    Query q(db, QStringLiteral("select CDName from qCD"));
    QVERIFY(q.next());
    QVERIFY_THROWS_EXCEPTION(DbError, q.text(QStringLiteral("CDName")));
    QCOMPARE(q.textOr(QStringLiteral("CDName"), QStringLiteral("未命名")),
             QStringLiteral("未命名"));
    QVERIFY_THROWS_EXCEPTION(DbError, q.text(QStringLiteral("NoSuchColumn")));
}

void TestDatabase::valuesWithQuotesAreStoredExactly() {
    TestDir dir;
    testcat::create(dir.path("a.vlr"));
    Database db;
    db.open(dir.path("a.vlr"));
    const QString name = QStringLiteral("It's \"quoted\"; drop table qCD; --");
    const qint64 id = testcat::addDisc(db, 1, name);
    QCOMPARE(db.scalar(QStringLiteral("select CDName from qCD where CDName=?"), {name}).toString(),
             name);
    QCOMPARE(
        db.scalar(QStringLiteral("select AutoId from qCD where CDName=?"), {name}).toLongLong(),
        id);
}

void TestDatabase::largeSizesKeepSixtyFourBits() {
    TestDir dir;
    testcat::create(dir.path("a.vlr"));
    Database db;
    db.open(dir.path("a.vlr"));
    const qint64 big = 5LL * 1024 * 1024 * 1024 + 7;
    const qint64 id = testcat::addEntry(db, 1, 0, QStringLiteral("big.iso"), false, big);
    QCOMPARE(
        db.scalar(QStringLiteral("select FSize from qCDFiles where AutoId=?"), {id}).toLongLong(),
        big);
}

void TestDatabase::refusesFilesThatAreNotCatalogs_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("missing") << QByteArray("missing");
    QTest::newRow("empty") << QByteArray("empty");
    QTest::newRow("text") << QByteArray("text");
    QTest::newRow("random") << QByteArray("random");
    QTest::newRow("truncated") << QByteArray("truncated");
    QTest::newRow("other sqlite") << QByteArray("other");
    QTest::newRow("directory") << QByteArray("directory");
}

void TestDatabase::refusesFilesThatAreNotCatalogs() {
    QFETCH(QByteArray, kind);
    TestDir dir;
    const QString file = dir.path("x.vlr");
    if (kind == "empty") {
        dir.createFile("x.vlr", 0);
    } else if (kind == "text") {
        dir.writeFile("x.vlr", "this is not a database\n");
    } else if (kind == "random") {
        QByteArray bytes;
        for (int i = 0; i < 8192; ++i)
            bytes.append(char((i * 7919 + 13) & 0xff));
        dir.writeFile("x.vlr", bytes);
    } else if (kind == "truncated") {
        testcat::create(file);
        {
            Database db;
            db.open(file);
            for (int i = 0; i < 200; ++i)
                testcat::addCategory(db, QString(200, QLatin1Char('x')));
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() / 3));
        f.close();
    } else if (kind == "other") {
        Database db;
        db.open(file, Database::Mode::Create);
        db.exec(QStringLiteral("create table notes (id integer, body text)"));
    } else if (kind == "directory") {
        dir.createDir("x.vlr");
    }
    Database db;
    bool refused = false;
    try {
        db.open(file);
        // A truncated file may open; the damage then shows on the first read, which must
        // be an error the caller can catch, not a crash.
        db.count(QStringLiteral("select * from qClass"));
    } catch (const DbError&) {
        refused = true;
    }
    QVERIFY(refused);
}

void TestDatabase::upgradeAddsVolumeLabelColumnOnce() {
    TestDir dir;
    const QString file = dir.path("old.vlr");
    {
        Database db;
        db.open(file, Database::Mode::Create);
        db.exec(
            QStringLiteral("create table qClass (AutoId integer primary key autoincrement, "
                           "TreeName text, FatherId integer, OrderId integer);"
                           "create table qCD (AutoId integer primary key autoincrement, CDName "
                           "text, ClassId integer, OrderId integer, SourcePath text, CDExp text);"
                           "create table qCDFiles (AutoId integer primary key autoincrement, CdID "
                           "integer, FatherId integer, TreeName text, FPath text, FSize integer, "
                           "IsDir integer, TreeExp text);"
                           "create table sys (ReadPwd text, WritePwd text);"));
    }
    Database db;
    db.open(file);
    upgradeCatalog(db);
    upgradeCatalog(db); // the second run fails silently and changes nothing
    QCOMPARE(db.count(QStringLiteral("select * from pragma_table_info('qCD') where name='CDId'")),
             1);
}

void TestDatabase::readOnlyFileOpensWithoutUpgrade_data() {
    QTest::addColumn<bool>("folderLocked");
    QTest::newRow("file not writable") << false;
    // The engine needs the folder for its journal.
    QTest::newRow("folder not writable") << true;
}

void TestDatabase::readOnlyFileOpensWithoutUpgrade() {
    VORLANE_RUN_UNPRIVILEGED();
    QFETCH(bool, folderLocked);
    TestDir dir;
    const QString folder = dir.createDir("ro");
    const QString file = dir.path("ro/ro.vlr");
    testcat::create(file);
    const auto writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QFile::setPermissions(folderLocked ? folder : file,
                          QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        Database db;
        db.open(file);
        QVERIFY(db.isReadOnly());
        upgradeCatalog(db);
        QVERIFY_THROWS_EXCEPTION(DbError, testcat::addCategory(db, QStringLiteral("x")));
    }
    QFile::setPermissions(folderLocked ? folder : file, writable);
}

void TestDatabase::transactionRollsBackUnlessCommitted() {
    TestDir dir;
    testcat::create(dir.path("a.vlr"));
    Database db;
    db.open(dir.path("a.vlr"));
    {
        Transaction tx(db);
        testcat::addCategory(db, QStringLiteral("lost"));
    }
    QCOMPARE(db.count(QStringLiteral("select * from qClass")), 0);
    {
        Transaction tx(db, std::chrono::milliseconds(0));
        testcat::addCategory(db, QStringLiteral("kept"));
        tx.checkpoint();
        testcat::addCategory(db, QStringLiteral("after checkpoint, lost"));
    }
    QCOMPARE(db.count(QStringLiteral("select * from qClass")), 1);
}

void TestDatabase::vacuumKeepsIdsAndShrinks() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    // Each kept row is told apart by its size, so a renumbered row cannot pass for it.
    QList<QPair<qint64, qint64>> kept; // id, size
    {
        Transaction tx(db);
        for (int i = 0; i < 3000; ++i) {
            const qint64 id = testcat::addEntry(db, 1, 0, QString(100, QLatin1Char('n')), false, i);
            if (i % 100 == 0)
                kept << qMakePair(id, qint64(i));
        }
        tx.commit();
    }
    db.exec(QStringLiteral("delete from qCDFiles where FSize % 100 != 0"));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);
    db.vacuum();
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
    QVERIFY(after.st_size < before.st_size);
    QCOMPARE(after.st_ino, before.st_ino); // rebuilt in place, not replaced
    QList<QPair<qint64, qint64>> rows;
    {
        Query q(db, QStringLiteral("select AutoId, FSize from qCDFiles order by AutoId"));
        while (q.next())
            rows << qMakePair(q.integer(0), q.integer(1));
    }
    QCOMPARE(rows, kept);
    // The counter goes on after the highest id, as before.
    QCOMPARE(testcat::addEntry(db, 1, 0, QStringLiteral("n"), false), 3001);
    Transaction tx(db);
    QVERIFY_THROWS_EXCEPTION(DbError, db.vacuum());
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
