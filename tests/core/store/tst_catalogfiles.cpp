// Whole-file operations on catalogs: replacing copies, compaction and the password row.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/store/compaction.h"
#include "core/store/database.h"
#include "core/store/filecopy.h"
#include "core/store/passwords.h"

#include <QtTest>
#include <sys/wait.h>

using namespace vorlane;

class TestCatalogFiles : public QObject {
    Q_OBJECT

private slots:
    void copyReplacesTarget();
    void failedCopyLeavesTargetIntact_data();
    void failedCopyLeavesTargetIntact();
    void copyOntoItselfKeepsFile();
    void compactionKeepsIdsAndShrinks();
    void compactionRemovesOnlyItsOwnStaleFiles();
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
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
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
    const QByteArray encoded = QFile::encodeName(file);
    QCOMPARE(::chmod(encoded.constData(), 0640), 0);
    QCOMPARE(::link(encoded.constData(), QFile::encodeName(dir.path("link.vlr")).constData()), 0);
    struct stat before {};
    QCOMPARE(::stat(encoded.constData(), &before), 0);
    QList<CompactStage> stages;
    QCOMPARE(compactCatalog(file, [&](CompactStage s) { stages << s; }), CompactResult::Done);
    QCOMPARE(stages, (QList<CompactStage>{CompactStage::BackingUp, CompactStage::Compacting}));
    // Rebuilt in place: the same inode, both names, the same permissions, smaller.
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(dir.path("link.vlr")).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_nlink, nlink_t(2));
    QCOMPARE(after.st_mode & 0777, mode_t(0640));
    QVERIFY2(after.st_size < before.st_size, "the file did not shrink");
    // The backup is the whole file as it was, with its permissions, and nothing else is left.
    struct stat backup {};
    QCOMPARE(::stat(QFile::encodeName(backupPath(file)).constData(), &backup), 0);
    QCOMPARE(backup.st_size, before.st_size);
    QCOMPARE(backup.st_mode & 0777, mode_t(0640));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("big.vlr"), QStringLiteral("big.vlr.bak"),
                          QStringLiteral("link.vlr")}));

    Database db;
    db.open(file);
    QList<qint64> kept;
    Query q(db, QStringLiteral("select AutoId from qCDFiles order by AutoId"));
    while (q.next())
        kept << q.integer(0);
    QCOMPARE(kept, ids);
    // New rows continue after the highest id ever given, as before.
    const qint64 next = testcat::addEntry(db, 1, 0, QStringLiteral("x"), false);
    QCOMPARE(next, 5001);
}

void TestCatalogFiles::compactionRemovesOnlyItsOwnStaleFiles() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    QVERIFY(child > 0);
    QCOMPARE(::waitpid(child, nullptr, 0), child);
    const QString dead = QString::number(child);
    // Left by a backup that was killed: its process is gone.
    const QStringList stale{".a.vlr.bak.vorlane-" + dead + "-Ab12Cd",
                            ".a.vlr.bak.vorlane-" + dead + "-Ab12Cd-journal"};
    // Still being written, of another target, or not of our making at all.
    QStringList kept{".a.vlr.bak.vorlane-1-Xy34Zw",
                     ".a.vlr.bak.vorlane-" + QString::number(::getpid()) + "-Xy34Zw",
                     ".b.vlr.bak.vorlane-" + dead + "-Ab12Cd",
                     ".a.vlr.bak.vorlane-" + dead + "-mine",
                     "a.vlr.bak.vorlane-" + dead + "-Ab12Cd",
                     ".a.vlr.bak.vorlane-" + dead + "-Ab12Cd.txt"};
    for (const QString& name : stale + kept)
        dir.writeFile(name, "leftovers");
    // A file of this pattern that belongs to another user is not ours to remove.
    if (::geteuid() == 0) {
        const QString foreign = ".a.vlr.bak.vorlane-" + dead + "-Fo9eig";
        dir.writeFile(foreign, "someone else's");
        QCOMPARE(::chown(QFile::encodeName(dir.path(foreign)).constData(), 65534, 65534), 0);
        kept << foreign;
    }
    QCOMPARE(compactCatalog(file), CompactResult::Done);
    QStringList expected = kept + QStringList{"a.vlr", "a.vlr.bak"};
    expected.sort();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

void TestCatalogFiles::compactionStopsWhenBackupFails() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    testcat::create(file);
    QDir().mkdir(backupPath(file)); // a folder where the backup would go
    QList<CompactStage> stages;
    QString error;
    QCOMPARE(compactCatalog(
                 file, [&](CompactStage s) { stages << s; }, &error),
             CompactResult::BackupFailed);
    QVERIFY(!error.isEmpty());
    QCOMPARE(stages, QList<CompactStage>{CompactStage::BackingUp});
    // The unfinished backup is not left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("a.vlr")});
}

void TestCatalogFiles::compactionOfDamagedFileLeavesItUnchanged() {
    TestDir dir;
    const QByteArray junk("this is not a database at all, just some text");
    const QString file = dir.writeFile("junk.vlr", junk);
    QString error;
    QCOMPARE(compactCatalog(file, {}, &error), CompactResult::CompactFailed);
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
