// Whole-file operations on catalogs: replacing copies, compaction and the password row.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "store/compaction.h"
#include "store/database.h"
#include "store/filecopy.h"
#include "store/passwords.h"

#include <QtTest>

using namespace vorlane;

class TestCatalogFiles : public QObject {
    Q_OBJECT

private slots:
    void copyReplacesTarget();
    void failedCopyLeavesTargetIntact_data();
    void failedCopyLeavesTargetIntact();
    void copyOntoItselfKeepsFile();
    void compactionKeepsIdsAndShrinks();
    void compactionRemovesStaleTemporaryFile();
    void compactionStopsWhenBackupFails();
    void compactionOfDamagedFileLeavesItUnchanged();
    void passwordsRoundTrip_data();
    void passwordsRoundTrip();
    void passwordCaptionShortensLongPaths_data();
    void passwordCaptionShortensLongPaths();
};

void TestCatalogFiles::copyReplacesTarget() {
    TestDir dir;
    const QString src = dir.writeFile("a.vlr", QByteArray(3'000'000, 'a'));
    const QString dst = dir.writeFile("b.vlr", "old contents");
    QVERIFY(copyFileReplacing(src, dst));
    QFile f(dst);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray(3'000'000, 'a'));
    // No temporary file is left beside the target.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    // A new file gets the usual permissions for the umask, not those of a private
    // temporary file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const QString fresh = dir.path("fresh.vlr");
    QVERIFY(copyFileReplacing(src, fresh));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0666 & ~mask);
}

void TestCatalogFiles::failedCopyLeavesTargetIntact_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::newRow("source missing") << "missing.vlr"
                                    << "good.vlr";
    // Even root cannot create a file below a regular file.
    QTest::newRow("target folder is a file") << "a.vlr"
                                             << "plain/good.vlr";
    QTest::newRow("target is a folder") << "a.vlr"
                                        << "folder";
}

void TestCatalogFiles::failedCopyLeavesTargetIntact() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    TestDir dir;
    dir.writeFile("a.vlr", "new");
    dir.writeFile("good.vlr", "good");
    dir.writeFile("plain", "a file, not a folder");
    dir.createDir("folder");
    QString error;
    QVERIFY(!copyFileReplacing(dir.path(source), dir.path(target), &error));
    QVERIFY(!error.isEmpty());
    QFile good(dir.path("good.vlr"));
    QVERIFY(good.open(QIODevice::ReadOnly));
    QCOMPARE(good.readAll(), QByteArray("good"));
    QVERIFY(QFileInfo(dir.path("folder")).isDir());
}

void TestCatalogFiles::copyOntoItselfKeepsFile() {
    TestDir dir;
    const QString a = dir.writeFile("a.vlr", "contents");
    QVERIFY(copyFileReplacing(a, dir.path("./a.vlr")));
    QFile f(a);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("contents"));
}

namespace {
// A catalog with many entries, most of them deleted again.
QList<qint64> fillAndThin(const QString& file) {
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 c = testcat::addCategory(db, QStringLiteral("分类"));
    const qint64 d = testcat::addDisc(db, c, QStringLiteral("光盘"));
    {
        Transaction t(db);
        for (int i = 0; i < 5000; ++i)
            testcat::addEntry(db, d, 0, QStringLiteral("文件%1").arg(i), false, i,
                              QStringLiteral("/路径/很长的路径名称/%1").arg(i));
        t.commit();
    }
    db.exec(QStringLiteral("delete from qCDFiles where AutoId % 10 <> 0"));
    QList<qint64> ids;
    Query q(db, QStringLiteral("select AutoId from qCDFiles order by AutoId"));
    while (q.next())
        ids << q.integer(0);
    return ids;
}
} // namespace

void TestCatalogFiles::compactionKeepsIdsAndShrinks() {
    TestDir dir;
    const QString file = dir.path("big.vlr");
    const QList<qint64> ids = fillAndThin(file);
    const qint64 before = QFileInfo(file).size();
    QList<CompactStage> stages;
    QCOMPARE(compactCatalog(
                 file, [&](CompactStage s) { stages << s; }, nullptr, dir.path()),
             CompactResult::Done);
    QCOMPARE(stages, (QList<CompactStage>{CompactStage::BackingUp, CompactStage::Compacting}));
    QVERIFY2(QFileInfo(file).size() < before, "the file did not shrink");
    QCOMPARE(QFileInfo(backupPath(file)).size(), before);
    // The catalog's own folder served as the temporary folder: only the catalog and its
    // backup are left.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("big.vlr"), QStringLiteral("big.vlr.bak")}));

    Database db;
    db.open(file);
    QList<qint64> after;
    Query q(db, QStringLiteral("select AutoId from qCDFiles order by AutoId"));
    while (q.next())
        after << q.integer(0);
    QCOMPARE(after, ids);
    // New rows continue after the highest id ever given, as before.
    const qint64 next = testcat::addEntry(db, 1, 0, QStringLiteral("x"), false);
    QCOMPARE(next, 5001);
}

void TestCatalogFiles::compactionRemovesStaleTemporaryFile() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    dir.createDir("tmp");
    dir.writeFile("tmp/a.vlr", "stale leftovers");
    QCOMPARE(compactCatalog(file, {}, nullptr, dir.path("tmp")), CompactResult::Done);
    QVERIFY(!QFileInfo::exists(dir.path("tmp/a.vlr")));
    Database db;
    db.open(file);
    QVERIFY(db.hasCatalogTables());
}

void TestCatalogFiles::compactionStopsWhenBackupFails() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    QDir().mkdir(backupPath(file)); // a folder where the backup would go
    QList<CompactStage> stages;
    QCOMPARE(compactCatalog(
                 file, [&](CompactStage s) { stages << s; }, nullptr, dir.path()),
             CompactResult::BackupFailed);
    QCOMPARE(stages, QList<CompactStage>{CompactStage::BackingUp});
}

void TestCatalogFiles::compactionOfDamagedFileLeavesItUnchanged() {
    TestDir dir;
    const QByteArray junk("this is not a database at all, just some text");
    const QString file = dir.writeFile("junk.vlr", junk);
    QString error;
    QCOMPARE(compactCatalog(file, {}, &error, dir.path("")), CompactResult::CompactFailed);
    QVERIFY(!error.isEmpty());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), junk);
}

void TestCatalogFiles::passwordsRoundTrip_data() {
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("write");
    QTest::newRow("both") << "Open"
                          << "写入";
    QTest::newRow("open only") << "o"
                               << "";
    QTest::newRow("none") << ""
                          << "";
    QTest::newRow("quotes") << "a'b\"c"
                            << "'; drop table sys; --";
}

void TestCatalogFiles::passwordsRoundTrip() {
    QFETCH(QString, read);
    QFETCH(QString, write);
    TestDir dir;
    testcat::create(dir.path("a.vlr"));
    Database db;
    db.open(dir.path("a.vlr"));
    QVERIFY(!readPasswords(db).hasRow);
    writePasswords(db, read, write);
    writePasswords(db, read, write); // the row is edited, not appended again
    QCOMPARE(db.count(QStringLiteral("select * from sys")), 1);
    const CatalogPasswords p = readPasswords(db);
    QVERIFY(p.hasRow);
    QCOMPARE(p.read, read);
    QCOMPARE(p.write, write);
    // Empty boxes are stored as null.
    QCOMPARE(db.count(QStringLiteral("select * from sys where ReadPwd is null")),
             read.isEmpty() ? 1 : 0);
}

void TestCatalogFiles::passwordCaptionShortensLongPaths_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("caption");
    const QString thirty =
        QStringLiteral("/home/user/catalogs/光盘目录.vlr").leftJustified(30, 'x');
    QTest::newRow("30 characters") << thirty << QStringLiteral("密码：") + thirty;
    QTest::newRow("31 characters")
        << thirty + "y" << QStringLiteral("密码：...") + (thirty + "y").right(29);
    QTest::newRow("empty") << QString() << QStringLiteral("密码：");
}

void TestCatalogFiles::passwordCaptionShortensLongPaths() {
    QFETCH(QString, file);
    QFETCH(QString, caption);
    QCOMPARE(passwordCaption(file), caption);
}

QTEST_GUILESS_MAIN(TestCatalogFiles)
#include "tst_catalogfiles.moc"
