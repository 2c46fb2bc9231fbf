// Folder totals against an independent walk of the real tree, through every write that
// changes them: a scan, a rescan, a hand add, a delete and the upgrade of an older catalog.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/foldersizes.h"
#include "core/store/schema.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QtTest>

using namespace vorlane;

namespace {

using Totals = QMap<QString, qint64>; // folder path below the root ("/a/b") -> bytes

// Every folder below `root` with the bytes of the regular files under it at any depth,
// links counting nothing, found by the file system rather than by the program.
Totals walkTotals(const QString& root) {
    Totals out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString rel = info.filePath().mid(root.size());
        if (info.isDir() && !info.isSymLink())
            out[rel] += 0;
        if (!info.isFile() || info.isSymLink())
            continue;
        for (qsizetype at = rel.lastIndexOf(u'/'); at > 0; at = rel.lastIndexOf(u'/', at - 1))
            out[rel.left(at)] += info.size();
    }
    return out;
}

Totals storedTotals(const QString& catalog, qint64 disc) {
    Database db;
    db.open(catalog);
    Totals out;
    Query q(db, QStringLiteral("select FPath, DirSize from qCDFiles where CdID=? and IsDir<>0"),
            {disc});
    while (q.next())
        out[q.text(0)] = q.isNull(1) ? -1 : q.integer(1);
    return out;
}

qint64 folderId(const QString& catalog, const QString& path) {
    Database db;
    db.open(catalog);
    return db
        .scalar(QStringLiteral("select AutoId from qCDFiles where IsDir<>0 and FPath=?"), {path})
        .toLongLong();
}

} // namespace

class TestFolderSizes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testcat::isolateSettings(); }
    void totalsFollowEveryWrite_data();
    void totalsFollowEveryWrite();
    void archivesAndLinksCountTheirOwnWay();
    void olderCatalogGetsTotalsOnUpgrade();
    void lsPrintsAFoldersTotal();
};

void TestFolderSizes::totalsFollowEveryWrite_data() {
    QTest::addColumn<QString>("step");
    QTest::newRow("scan") << "scan";
    QTest::newRow("rescan after changes deep down") << "rescan";
    QTest::newRow("hand-added folder") << "add";
    QTest::newRow("deleted folder") << "delete";
    QTest::newRow("deleted file") << "delete file";
    QTest::newRow("merged catalog") << "merge";
    QTest::newRow("merged JSON export") << "merge json";
}

void TestFolderSizes::totalsFollowEveryWrite() {
    QFETCH(QString, step);
    TestDir dir;
    const QString root = dir.createDir("disc");
    dir.createFile("disc/a/b/c/deep.bin", 70'000);
    dir.createFile("disc/a/b/mid.bin", 3'000);
    dir.createFile("disc/a/top.bin", 11);
    dir.createFile("disc/a/b2/x", 5'000'000'000LL, true); // over 32 bits, sparse
    dir.createFile("disc/loose", 9);
    dir.createDir("disc/empty");
    QVERIFY(dir.symlink("a/b/mid.bin", "disc/a/b/c/link"));
    const QString cat = dir.path("c.vlr");
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "x"}).code, 0);
    const CliResult imported = runCli({"import", "--category", "1", cat, root});
    QVERIFY2(imported.code == 0, qPrintable(imported.err));

    if (step == "rescan") {
        dir.createFile("disc/a/b/c/new.bin", 123);
        QVERIFY(QFile::resize(dir.path("disc/a/b/mid.bin"), 5));
        QVERIFY(QDir(dir.path("disc/a/b2")).removeRecursively());
        const CliResult r = runCli({"rescan", cat, "1"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
    } else if (step == "add") {
        // As the list's 新建文件夹 does it; the folder is made on disk too for the walk.
        Database db;
        db.open(cat);
        qint64 parent = folderId(cat, "/a/b/c");
        const QString path = contentstore::pathForNewEntry(db, parent, "made", true);
        contentstore::addEntry(db, 1, parent, "made", path, true);
        contentstore::addEntry(db, 1, parent, "made.txt", "/a/b/c", false);
        dir.createDir("disc/a/b/c/made");
        dir.createFile("disc/a/b/c/made.txt", 0);
    } else if (step.startsWith("delete")) {
        Database db;
        db.open(cat);
        const bool file = step == "delete file";
        const qint64 id =
            file ? db.scalar(QStringLiteral("select AutoId from qCDFiles where TreeName=?"),
                             {"deep.bin"})
                       .toLongLong()
                 : folderId(cat, "/a/b2");
        QVERIFY(id > 0);
        QVERIFY(contentstore::removeTrees(db, {id}) > 0);
        if (file)
            QVERIFY(QFile::remove(dir.path("disc/a/b/c/deep.bin")));
        else
            QVERIFY(QDir(dir.path("disc/a/b2")).removeRecursively());
    }
    QString checked = cat;
    if (step.startsWith("merge")) {
        // Into a catalog that already holds a disc, so that every id moves.
        checked = dir.path("target.vlr");
        QCOMPARE(runCli({"new", checked}).code, 0);
        QCOMPARE(runCli({"mkcat", checked, "y"}).code, 0);
        QCOMPARE(runCli({"import", "--category", "1", checked, dir.path("disc/a/b")}).code, 0);
        QString source = cat;
        if (step == "merge json") {
            source = dir.path("c.json");
            QCOMPARE(runCli({"export", "--format", "json", "-o", source, cat}).code, 0);
        }
        const CliResult m = runCli({"merge", checked, source});
        QVERIFY2(m.code == 0, qPrintable(m.err));
        QCOMPARE(storedTotals(checked, 1), walkTotals(dir.path("disc/a/b")));
    }
    const qint64 disc = checked == cat ? 1 : 2;
    const Totals expected = walkTotals(root);
    QVERIFY(expected.value("/a") > 0);
    QCOMPARE(storedTotals(checked, disc), expected);

    // The disc's total in tree --long is its top level's totals summed.
    qint64 top = 9;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        top += it.key().count(u'/') == 1 ? it.value() : 0;
    const CliResult tree = runCli({"tree", "--long", checked});
    QVERIFY2(tree.out.contains(QStringLiteral("  size: %1  only here: ").arg(top)),
             qPrintable(tree.out));
}

void TestFolderSizes::archivesAndLinksCountTheirOwnWay() {
    TestDir dir;
    const QString cat = dir.path("c.vlr");
    testcat::create(cat);
    Database db;
    db.open(cat);
    const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "d");
    const auto mark = [&](qint64 id, const char* column, const QVariant& value) {
        db.exec(QStringLiteral("update qCDFiles set %1=? where AutoId=?").arg(column), {value, id});
    };
    const qint64 top = testcat::addEntry(db, disc, 0, "top", true);
    const qint64 zip = testcat::addEntry(db, disc, top, "a.zip", false, 100);
    mark(zip, "Archive", 1);
    const qint64 inner = testcat::addEntry(db, disc, zip, "inner", true);
    mark(inner, "Archive", 2);
    const qint64 member = testcat::addEntry(db, disc, inner, "m.bin", false, 5'000);
    mark(member, "Archive", 2);
    const qint64 link = testcat::addEntry(db, disc, top, "l", false, 7);
    mark(link, "Link", "a.zip");
    testcat::addEntry(db, disc, top, "f", false, 20);
    foldersizes::storeTotals(db, disc);
    const auto total = [&](qint64 id) {
        return db.scalar(QStringLiteral("select DirSize from qCDFiles where AutoId=?"), {id});
    };
    // The archive's own bytes hold its members; a link holds nothing.
    QCOMPARE(total(top).toLongLong(), 120);
    QCOMPARE(total(inner).toLongLong(), 5'000);
    QVERIFY(total(zip).isNull());
    // A removed member changes the folders inside the archive, not those around it.
    QCOMPARE(contentstore::removeTrees(db, {member}), 1);
    QCOMPARE(total(inner).toLongLong(), 0);
    QCOMPARE(total(top).toLongLong(), 120);
    QCOMPARE(contentstore::removeTrees(db, {zip}), 2);
    QCOMPARE(total(top).toLongLong(), 20);
}

void TestFolderSizes::olderCatalogGetsTotalsOnUpgrade() {
    TestDir dir;
    const QString root = dir.createDir("disc");
    dir.createFile("disc/p/q/r.bin", 4'096);
    dir.createFile("disc/p/s.bin", 17);
    dir.createFile("disc/t.bin", 1);
    const QString cat = dir.path("c.vlr");
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "x"}).code, 0);
    QCOMPARE(runCli({"import", "--category", "1", cat, root}).code, 0);
    QCOMPARE(runCli({"import", "--category", "1", cat, root}).code, 0);
    // Made as the version before the totals left it: no column, stamped 5.
    {
        Database db;
        db.open(cat);
        db.exec(QStringLiteral("alter table qCDFiles drop column DirSize"));
    }
    testcat::setVersion(cat, 5);
    {
        // Read-only, it is left alone and its folders show no total.
        Database db;
        db.open(cat, Database::Mode::ReadOnly);
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::NotWritable);
        QVERIFY(!hasVersion6Columns(db));
        std::optional<qint64> shown;
        contentstore::readLevel(db, 1, 0, [&](Entry&& e) {
            if (e.isDir)
                shown = e.size;
            return true;
        });
        QCOMPARE(shown, std::optional<qint64>(-1));
    }
    qint64 tagBefore = 0;
    {
        Database db;
        db.open(cat);
        tagBefore = db.scalar(QStringLiteral("select Tag from qChange")).toLongLong();
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::Upgraded);
        // The search index kept on disk must see that its sizes are old.
        QVERIFY(db.scalar(QStringLiteral("select Tag from qChange")).toLongLong() != tagBefore);
    }
    const Totals expected = walkTotals(root);
    QCOMPARE(storedTotals(cat, 1), expected);
    QCOMPARE(storedTotals(cat, 2), expected);
}

void TestFolderSizes::lsPrintsAFoldersTotal() {
    TestDir dir;
    const QString root = dir.createDir("disc");
    dir.createFile("disc/f/g/h.bin", 1'000);
    dir.createFile("disc/f/i.bin", 24);
    QVERIFY(dir.symlink("i.bin", "disc/f/j"));
    const QString cat = dir.path("c.vlr");
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "x"}).code, 0);
    QCOMPARE(runCli({"import", "--category", "1", cat, root}).code, 0);
    const CliResult ls = runCli({"ls", "--format", "json", cat, "1"});
    QCOMPARE(ls.code, 0);
    const QJsonArray rows = QJsonDocument::fromJson(ls.out.toUtf8()).array();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].toObject().value("type").toString(), QStringLiteral("folder"));
    QCOMPARE(rows[0].toObject().value("size").toInteger(), walkTotals(root).value("/f"));
    QCOMPARE(rows[0].toObject().value("size").toInteger(), 1'024);
}

QTEST_GUILESS_MAIN(TestFolderSizes)
#include "tst_foldersizes.moc"
