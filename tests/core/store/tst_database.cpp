// The database layer on real files: reading, writing, transactions, and refusing files
// that are not catalogs.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "common/unprivileged.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QtTest>
#include <sqlite3.h>

using namespace vorlane;

namespace {

// Every row of the four tables in the columns older readers read, and the id counters.
QStringList dumpRows(Database& db) {
    static const char* const selects[] = {
        "select AutoId, TreeName, FatherId, OrderId from qClass order by AutoId",
        "select AutoId, CDName, ClassId, OrderId, SourcePath, CDExp from qCD order by AutoId",
        "select AutoId, CdID, FatherId, TreeName, FPath, FSize, IsDir, TreeExp from qCDFiles "
        "order by AutoId",
        "select ReadPwd, WritePwd from sys order by rowid",
        "select name, seq from sqlite_sequence order by name",
    };
    QStringList out;
    for (const char* sql : selects) {
        Query q(db, QString::fromLatin1(sql));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.columnCount(); ++i)
                row << (q.isNull(i) ? QStringLiteral("<null>") : q.value(i).toString());
            out << row.join(QLatin1Char('|'));
        }
    }
    return out;
}

QStringList indexesOf(Database& db, const QString& table) {
    QStringList out;
    Query q(db, QStringLiteral("select name from pragma_index_list(?) order by name"), {table});
    while (q.next())
        out << q.text(0);
    return out;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

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
    void upgradeKeepsEveryRowAndAddsTheLevelIndex_data();
    void upgradeKeepsEveryRowAndAddsTheLevelIndex();
    void futureCatalogIsNotTouched();
    void levelFillReadsOneIndexInOrder_data();
    void levelFillReadsOneIndexInOrder();
    void readOnlyFileOpensWithoutUpgrade_data();
    void readOnlyFileOpensWithoutUpgrade();
    void transactionRollsBackUnlessCommitted();
    void vacuumKeepsIdsAndShrinks();
    void stepwiseBackupIsOneSnapshot_data();
    void stepwiseBackupIsOneSnapshot();
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

void TestDatabase::upgradeKeepsEveryRowAndAddsTheLevelIndex_data() {
    QTest::addColumn<bool>("withVolumeLabel");
    QTest::addColumn<int>("version");
    QTest::newRow("never seen by the program") << false << 0;
    QTest::newRow("written by the previous version") << true << 0;
    // Version 2 files first carried only the level index.
    QTest::newRow("version 2 without the entry and disc facts") << true << 2;
    QTest::newRow("version 3 without any added column") << true << 3;
}

void TestDatabase::upgradeKeepsEveryRowAndAddsTheLevelIndex() {
    QFETCH(bool, withVolumeLabel);
    QFETCH(int, version);
    TestDir dir;
    const QString file = dir.path("old.vlr");
    testcat::createUnversioned(file, withVolumeLabel);
    testcat::setVersion(file, version);
    QStringList before;
    {
        Database db;
        db.open(file);
        const qint64 c = testcat::addCategory(db, QStringLiteral("电影"));
        testcat::addCategory(db, QStringLiteral("子类"), c, 3);
        const qint64 d = testcat::addDisc(db, c, QStringLiteral("光盘"), 1, "/media", "备注");
        const qint64 top = testcat::addEntry(db, d, 0, QStringLiteral("目录"), true, 0, "/目录");
        testcat::addEntry(db, d, top, QStringLiteral("a.txt"), false, 5'000'000'000LL, "/目录");
        const qint64 gone = testcat::addEntry(db, d, 0, QStringLiteral("gone"), false);
        testcat::addEntry(db, d, 0, QStringLiteral("b.txt"), false, 7, {}, QStringLiteral("注"));
        // A gap in the ids and a counter ahead of the last row must survive.
        db.exec(QStringLiteral("delete from qCDFiles where AutoId=?"), {gone});
        db.exec(QStringLiteral("insert into sys (ReadPwd, WritePwd) values ('r', null)"));
        before = dumpRows(db);
        QCOMPARE(catalogVersion(db), version);
    }
    {
        Database db;
        db.open(file);
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::Upgraded);
        QCOMPARE(catalogVersion(db), CatalogVersion);
        QCOMPARE(dumpRows(db), before);
        QCOMPARE(indexesOf(db, QStringLiteral("qCDFiles")),
                 (QStringList{"qCDFiles_CdID_FatherId_IsDir", "qCDFiles_FatherId"}));
        QCOMPARE(db.count(QStringLiteral("select * from pragma_table_info('qCD') "
                                         "where name='CDId'")),
                 1);
        QVERIFY(hasVersion2Columns(db));
        QVERIFY(hasVersion3Columns(db));
        QVERIFY(hasVersion4Columns(db));
        QCOMPARE(db.scalar(QStringLiteral("pragma integrity_check")).toString(),
                 QStringLiteral("ok"));
    }
    // Opening an upgraded catalog again changes nothing, not even one byte.
    const QByteArray upgraded = fileBytes(file);
    {
        Database db;
        db.open(file);
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::Current);
    }
    QCOMPARE(fileBytes(file), upgraded);

    // A new catalog is born at the current version, with the same indexes.
    testcat::create(dir.path("new.vlr"));
    Database fresh;
    fresh.open(dir.path("new.vlr"));
    QCOMPARE(catalogVersion(fresh), CatalogVersion);
    QCOMPARE(indexesOf(fresh, QStringLiteral("qCDFiles")),
             (QStringList{"qCDFiles_CdID_FatherId_IsDir", "qCDFiles_FatherId"}));
    QCOMPARE(upgradeCatalog(fresh), CatalogUpgrade::Current);
}

void TestDatabase::futureCatalogIsNotTouched() {
    TestDir dir;
    const QString file = dir.path("future.vlr");
    // Even the volume-label column, which every older catalog gets, is left out.
    testcat::createUnversioned(file, false);
    testcat::setVersion(file, CatalogVersion + 1);
    const QByteArray bytes = fileBytes(file);
    {
        Database db;
        db.open(file);
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::Newer);
        QCOMPARE(catalogVersion(db), CatalogVersion + 1);
    }
    QCOMPARE(fileBytes(file), bytes);
}

void TestDatabase::levelFillReadsOneIndexInOrder_data() {
    QTest::addColumn<bool>("inFolder");
    QTest::newRow("disc top level") << false;
    QTest::newRow("folder") << true;
}

// The fill must read the level's rows straight from the index, already in order: with the
// index on CdID it walked every row of the disc, and a sort would read the whole level
// before the first row could be shown.
void TestDatabase::levelFillReadsOneIndexInOrder() {
    QFETCH(bool, inFolder);
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 c = testcat::addCategory(db, QStringLiteral("c"));
    const qint64 other = testcat::addDisc(db, c, QStringLiteral("other"));
    const qint64 disc = testcat::addDisc(db, c, QStringLiteral("disc"));
    const qint64 holder = testcat::addEntry(db, disc, 0, QStringLiteral("holder"), true);
    const qint64 parent = inFolder ? holder : 0;
    QList<qint64> dirs = inFolder ? QList<qint64>{} : QList<qint64>{holder}, files;
    for (int i = 0; i < 6; ++i) {
        const bool isDir = i % 3 == 1;
        (isDir ? dirs : files) << testcat::addEntry(db, disc, parent, QString::number(i), isDir);
        testcat::addEntry(db, other, 0, QStringLiteral("x"), i % 2 == 0);
    }
    db.exec(QStringLiteral("analyze")); // whatever the statistics say
    // The schema is looked up once per open file, not per fill.
    QVERIFY(hasVersion2Columns(db));
    QVERIFY(hasVersion3Columns(db));
    QVERIFY(hasVersion4Columns(db));
    QVERIFY(hasVersion6Columns(db));

    QStringList statements;
    sqlite3_trace_v2(
        db.handle(), SQLITE_TRACE_STMT,
        [](unsigned, void* ctx, void* stmt, void*) {
            static_cast<QStringList*>(ctx)->append(
                QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt*>(stmt))));
            return 0;
        },
        &statements);
    QList<qint64> seen;
    contentstore::readLevel(db, disc, parent, [&](Entry&& e) {
        seen << e.id;
        return true;
    });
    sqlite3_trace_v2(db.handle(), 0, nullptr, nullptr);
    QCOMPARE(seen, dirs + files);
    QCOMPARE(statements.size(), 1);

    QStringList plan;
    Query q(db, QStringLiteral("explain query plan ") + statements.first(),
            {inFolder ? parent : disc});
    while (q.next())
        plan << q.text(QStringLiteral("detail"));
    const QString text = plan.join(QLatin1Char('\n'));
    QVERIFY2(text.contains(QStringLiteral("USING COVERING INDEX qCDFiles_CdID_FatherId_IsDir")) ||
                 text.contains(QStringLiteral("USING INDEX qCDFiles_CdID_FatherId_IsDir")),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("(CdID=? AND FatherId=?)")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("TEMP B-TREE")), qPrintable(text));
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
    testcat::createUnversioned(file, true);
    const auto writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QFile::setPermissions(folderLocked ? folder : file,
                          QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        Database db;
        db.open(file);
        QVERIFY(db.isReadOnly());
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::NotWritable);
        QCOMPARE(catalogVersion(db), 0);
        QCOMPARE(indexesOf(db, QStringLiteral("qCDFiles")),
                 (QStringList{"qCDFiles_CdID", "qCDFiles_FatherId"}));
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

void TestDatabase::stepwiseBackupIsOneSnapshot_data() {
    QTest::addColumn<int>("writes"); // steps after which another connection writes
    QTest::addColumn<bool>("stop");
    QTest::newRow("undisturbed") << 0 << false;
    QTest::newRow("one write meanwhile") << 1 << false;
    // More restarts than it allows: the rest is copied in one step, so it still ends.
    QTest::newRow("a write after every step") << 1000 << false;
    QTest::newRow("stopped") << 0 << true;
}

// A backup in steps lets go of the catalog between them; whatever other connections write
// meanwhile, the copy is the catalog as it was at one moment, and a stop throws.
void TestDatabase::stepwiseBackupIsOneSnapshot() {
    QFETCH(int, writes);
    QFETCH(bool, stop);
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    Database writer;
    writer.open(file);
    {
        Transaction tx(writer);
        for (int i = 0; i < 6000; ++i)
            testcat::addEntry(writer, 1, 0, QString(300, QLatin1Char('n')), false, i);
        tx.commit();
    }
    Database source;
    source.open(file, Database::Mode::ReadOnly);
    const QString copy = dir.path("copy.vlr");
    int steps = 0;
    const auto between = [&] {
        if (steps++ < writes)
            testcat::addEntry(writer, 1, 0, QStringLiteral("w%1").arg(steps), false, steps);
        return !stop;
    };
    if (stop) {
        QVERIFY_THROWS_EXCEPTION(DbError, source.backupTo(copy, between));
        QCOMPARE(steps, 1);
        return;
    }
    source.backupTo(copy, between);
    QVERIFY(steps > 1);
    Database backup;
    backup.open(copy, Database::Mode::ReadOnly);
    QCOMPARE(dumpRows(backup), dumpRows(writer));
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
