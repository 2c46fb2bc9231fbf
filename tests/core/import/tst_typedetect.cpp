// File-type detection, the mount-table reading behind the drive list, and the stored disc
// row with its duplicate check.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/import/drives.h"
#include "core/import/scanfixture.h"
#include "core/import/typedetect.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"

#include <QtTest>

using namespace vorlane;

class TestTypeDetect : public QObject {
    Q_OBJECT

private slots:
    void findsExtensionsOnce_data();
    void findsExtensionsOnce();
    void caseVariantsYieldOneEntry();
    void secondDetectionAddsNothingButBringsBackDeleted();
    void unreadableRootAddsNothing();
    void cancelEntersNoFurtherFolder();
    void treeDeeperThanAnyStackIsSearchedToTheBottom();
    void mountTableListsDiscFilesystems();
    void duplicateCheckNamesTheCategory_data();
    void duplicateCheckNamesTheCategory();
    void discRowHasTheImportValues_data();
    void discRowHasTheImportValues();
};

void TestTypeDetect::findsExtensionsOnce_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("known");
    QTest::addColumn<QStringList>("expected"); // sorted
    QTest::addColumn<QStringList>("links");    // "name>target"
    QTest::newRow("nested") << QStringList{"a.txt", "d/b.mp3", "d/e/f/c.tar.gz"} << QStringList()
                            << QStringList{".gz", ".mp3", ".txt"} << QStringList();
    // Files without an extension are one type of their own; hidden names are passed over.
    QTest::newRow("no dot, dot names")
        << QStringList{"README", "d/copyright", ".hidden", ".git/x.obj", "d/.y.z"} << QStringList()
        << QStringList{""} << QStringList();
    QTest::newRow("no dot already known") << QStringList{"README", "a.txt"} << QStringList{""}
                                          << QStringList{".txt"} << QStringList();
    QTest::newRow("known in other case") << QStringList{"a.TXT", "b.Doc"} << QStringList{".txt"}
                                         << QStringList{".Doc"} << QStringList();
    QTest::newRow("name ending in a dot")
        << QStringList{"odd."} << QStringList() << QStringList{"."} << QStringList();
    QTest::newRow("chinese") << QStringList{"目录/照片.图"} << QStringList() << QStringList{".图"}
                             << QStringList();
    // A link names no file of its own, wherever it points.
    QTest::newRow("links passed over")
        << QStringList{"d/real.txt"} << QStringList() << QStringList{".txt"}
        << QStringList{"to.lnk>d/real.txt", "album.alb>d", "gone.old>nowhere"};
}

void TestTypeDetect::findsExtensionsOnce() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, known);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, links);
    TestDir tree;
    for (const QString& f : files)
        tree.createFile(f, 1);
    for (const QString& l : links)
        QVERIFY(tree.symlink(l.section('>', 1), l.section('>', 0, 0)));
    QStringList found = detectTypes(tree.path(), known);
    found.sort();
    QCOMPARE(found, expected);
}

void TestTypeDetect::caseVariantsYieldOneEntry() {
    TestDir tree;
    tree.createFile(QStringLiteral("a.JPG"));
    QCOMPARE(detectTypes(tree.path(), {}), QStringList{".JPG"});
    tree.createFile(QStringLiteral("sub/b.jpg"));
    const QStringList found = detectTypes(tree.path(), {});
    QCOMPARE(found.size(), 1);
    QVERIFY(found[0] == ".JPG" || found[0] == ".jpg"); // whichever the listing gave first
    QCOMPARE(mergeTypes({".JPG"}, {".jpg", ".png", ".Avi"}), (QStringList{".Avi", ".JPG", ".png"}));
}

void TestTypeDetect::secondDetectionAddsNothingButBringsBackDeleted() {
    TestDir tree;
    tree.createFile(QStringLiteral("a.txt"));
    tree.createFile(QStringLiteral("x/b.pdf"));
    QStringList list = mergeTypes({}, detectTypes(tree.path(), {}));
    QCOMPARE(list, (QStringList{".pdf", ".txt"}));
    QVERIFY(detectTypes(tree.path(), list).isEmpty());
    QCOMPARE(mergeTypes(list, detectTypes(tree.path(), list)), list);
    list.removeAll(QStringLiteral(".txt"));
    QCOMPARE(mergeTypes(list, detectTypes(tree.path(), list)), (QStringList{".pdf", ".txt"}));
}

void TestTypeDetect::unreadableRootAddsNothing() {
    TestDir tree;
    QVERIFY(detectTypes(tree.path("missing"), {}).isEmpty());
    QVERIFY(detectTypes(tree.path(), {".a"}).isEmpty());
}

void TestTypeDetect::cancelEntersNoFurtherFolder() {
    TestDir tree;
    for (int d = 0; d < 4; ++d) {
        for (int f = 0; f < 5; ++f)
            tree.createFile(QStringLiteral("d%1/s/f%2.e%1%2").arg(d).arg(f));
        tree.createFile(QStringLiteral("d%1/g.top%1").arg(d));
    }
    std::atomic<bool> cancel{false};
    QStringList reported;
    TypeDetectHooks hooks;
    hooks.cancel = &cancel;
    hooks.progressIntervalMs = 0;
    hooks.progress = [&](const QString& path) {
        reported << path.mid(tree.path().size());
        cancel = true;
    };
    const QStringList found = detectTypes(tree.path(), {}, hooks);
    QVERIFY(!reported.isEmpty());
    // After the cancel only the folders already entered finish their files.
    const QString first = reported.first();
    const QString firstFolder = first.left(first.lastIndexOf(QLatin1Char('/')));
    for (const QString& p : reported) {
        const QString folder = p.left(p.lastIndexOf(QLatin1Char('/')));
        QVERIFY2(firstFolder.startsWith(folder), qPrintable(p));
    }
    QCOMPARE(found.size(), reported.size());
    cancel = true;
    QVERIFY(detectTypes(tree.path(), {}, hooks).isEmpty());
}

void TestTypeDetect::treeDeeperThanAnyStackIsSearchedToTheBottom() {
    // Every file has an extension of its own, so each one missed, be it on the way down or,
    // after "d", on the way back up, is missing from the result.
    constexpr int kDepth = 20000;
    DeepTree tree;
    tree.build(kDepth, [](int level, char file) {
        return '.' + std::string(1, file) + std::to_string(level);
    });
    if (QTest::currentTestFailed())
        return;
    QStringList expected;
    for (int level = 0; level < kDepth; level += 100)
        expected << QStringLiteral(".f%1").arg(level) << QStringLiteral(".g%1").arg(level);
    QCOMPARE(expected.size(), 2 * tree.extras);
    QStringList found;
    onSmallStackWithFewFiles([&] { found = detectTypes(tree.root, {QStringLiteral(".F100")}); });
    expected.removeOne(QStringLiteral(".f100")); // known already
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);
}

void TestTypeDetect::mountTableListsDiscFilesystems() {
    const QByteArray table = "/dev/vda1 / ext4 rw,relatime 0 0\n"
                             "/dev/sr0 /media/user/MY\\040DISC iso9660 ro,nosuid 0 0\n"
                             "/dev/loop3 /mnt/image udf ro 0 0\n"
                             "proc /proc proc rw 0 0\n"
                             "/dev/loop4 /mnt/image udf ro 0 0\n"
                             "broken line\n";
    const QList<DriveInfo> mounts = discMounts(table);
    QCOMPARE(mounts.size(), 2);
    QCOMPARE(mounts[0].device, QStringLiteral("/dev/sr0"));
    QCOMPARE(mounts[0].mountPoint, QStringLiteral("/media/user/MY DISC"));
    QCOMPARE(mounts[1].mountPoint, QStringLiteral("/mnt/image"));
    DriveInfo empty{QStringLiteral("/dev/sr1"), {}, {}};
    QCOMPARE(empty.displayText(), QStringLiteral(" (/dev/sr1)"));
    DriveInfo disc{QStringLiteral("/dev/sr0"), QStringLiteral("/media/cd"),
                   QStringLiteral("MYDISC")};
    QCOMPARE(disc.displayText(), QStringLiteral("MYDISC (/media/cd)"));
}

void TestTypeDetect::duplicateCheckNamesTheCategory_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("category");
    QTest::newRow("plain") << QStringLiteral("MYDISC") << QStringLiteral("电影");
    QTest::newRow("quotes") << QStringLiteral("It's a \"disc\"'; drop table qCD; --")
                            << QStringLiteral("音乐");
    QTest::newRow("category gone") << QStringLiteral("ORPHAN") << QString();
    QTest::newRow("unknown label") << QStringLiteral("NEVER") << QString();
}

void TestTypeDetect::duplicateCheckNamesTheCategory() {
    QFETCH(QString, label);
    QFETCH(QString, category);
    TestDir dir;
    testcat::create(dir.path("c.vlr"));
    Database db;
    db.open(dir.path("c.vlr"));
    const qint64 films = testcat::addCategory(db, QStringLiteral("电影"));
    const qint64 music = testcat::addCategory(db, QStringLiteral("音乐"));
    auto disc = [&](qint64 cls, const QString& l) {
        catalogstore::addDiscRow(db, NewDisc{QStringLiteral("d"), cls, 1, QStringLiteral("/m"), l});
    };
    disc(films, QStringLiteral("MYDISC"));
    disc(music, QStringLiteral("It's a \"disc\"'; drop table qCD; --"));
    disc(films, QStringLiteral("It's a \"disc\"'; drop table qCD; --")); // only the first counts
    disc(999, QStringLiteral("ORPHAN"));
    disc(films, {});
    QCOMPARE(catalogstore::duplicateCategory(db, label), category);
    QCOMPARE(db.count(QStringLiteral("select AutoId from qCD")), 5);
}

void TestTypeDetect::discRowHasTheImportValues_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("sourcePath");
    QTest::newRow("directory") << QStringLiteral("/home/u/photos") << QString()
                               << QStringLiteral("/home/u/photos");
    QTest::newRow("mount point with slash")
        << QStringLiteral("/media/cd/") << QStringLiteral("MYDISC") << QStringLiteral("/media/cd");
    QTest::newRow("file system root") << QStringLiteral("/") << QString() << QString("");
}

void TestTypeDetect::discRowHasTheImportValues() {
    QFETCH(QString, root);
    QFETCH(QString, label);
    QFETCH(QString, sourcePath);
    TestDir dir;
    testcat::create(dir.path("c.vlr"));
    Database db;
    db.open(dir.path("c.vlr"));
    const qint64 id =
        catalogstore::addDiscRow(db, NewDisc{QStringLiteral("名字"), 7, 12, root, label});
    Query q(db,
            QStringLiteral("select CDName, ClassId, OrderId, SourcePath, CDId, CDExp from qCD "
                           "where AutoId = ?"),
            {id});
    QVERIFY(q.next());
    QCOMPARE(q.text(0), QStringLiteral("名字"));
    QCOMPARE(q.integer(1), 7);
    QCOMPARE(q.integer(2), 12);
    QCOMPARE(q.text(3), sourcePath);
    QCOMPARE(q.isNull(4), label.isEmpty());
    QCOMPARE(q.textOr(4), label);
    QVERIFY(q.isNull(5));
}

QTEST_GUILESS_MAIN(TestTypeDetect)
#include "tst_typedetect.moc"
