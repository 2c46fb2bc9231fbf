// The disc scan on real trees: rows against an independent walk, the depth, folders-only
// and type rules, odd names and odd files, cancel, and failures to store.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/import/scanfixture.h"
#include "core/import/scanner.h"
#include "core/search/searchengine.h"
#include "core/settings/text.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vorlane;

class TestScanner : public QObject {
    Q_OBJECT

private slots:
    void rowsMatchAnIndependentWalk();
    void freshDiscListsInNameOrder_data();
    void freshDiscListsInNameOrder();
    void rulesDecideWhatIsStoredAndCounted_data();
    void rulesDecideWhatIsStoredAndCounted();
    void fpathFollowsTheRootPrefix_data();
    void fpathFollowsTheRootPrefix();
    void sizesKeepSixtyFourBits();
    void linksAndSpecialFilesAreNotFollowed();
    void unreadableFolderKeepsItsRow();
    void fileSystemFactsMatchAnIndependentWalk();
    void cancelKeepsExactlyTheRowsStored_data();
    void cancelKeepsExactlyTheRowsStored();
    void unreadableRootStoresNothing();
    void readOnlyCatalogReportsTheFailure();
    void fileSystemRootIsWalkedWithEmptyPrefix();
    void treeDeeperThanAnyStackIsCataloguedCompletely();
    void bushyTreeIsCataloguedWholeUnderAnyLimit_data();
    void bushyTreeIsCataloguedWholeUnderAnyLimit();
    void catalogStaysLinkedHoweverTheScanEnds_data();
    void catalogStaysLinkedHoweverTheScanEnds();

private:
    struct Catalog {
        TestDir dir;
        Database db;
        qint64 disc = 0;
    };
    static void openCatalog(Catalog& c) {
        const QString file = c.dir.path(QStringLiteral("cat.vlr"));
        testcat::create(file);
        c.db.open(file);
        c.disc = testcat::addDisc(c.db, testcat::addCategory(c.db, QStringLiteral("c")), "d");
    }
    static ScanResult scan(Catalog& c, const QString& root, int depth = 0, bool foldersOnly = false,
                           const QStringList& types = {}, const ScanHooks& hooks = {}) {
        ScanParams p;
        p.root = root;
        p.discId = c.disc;
        p.depthLimit = depth;
        p.foldersOnly = foldersOnly;
        p.types = types;
        return scanTree(c.db, p, hooks);
    }
};

void TestScanner::rowsMatchAnIndependentWalk() {
    TestDir tree;
    tree.createFile(QStringLiteral("top.txt"), 10);
    tree.createFile(QStringLiteral("A/a1.bin"), 1234);
    tree.createFile(QStringLiteral("A/B/C/deep.txt"), 7);
    tree.createDir(QStringLiteral("A/empty"));
    tree.createFile(QStringLiteral("it's \"quoted\"/x y.txt"), 3);
    tree.createFile(QStringLiteral("line\nbreak/文件 名.doc"), 5);
    tree.createFile(QStringLiteral("中文目录/子目录/照片.JPG"), 99);
    tree.createFile(QStringLiteral("trailing dot./a.b.c."), 1);
    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, tree.path());
    QVERIFY(r.error.isEmpty());
    QVERIFY(!r.cancelled);
    const QList<Row> rows = readRows(c.db, c.disc);
    const auto expected = walkTree(tree.path());
    QCOMPARE(rowsAsTree(rows), expected);
    int folders = 0;
    for (const auto& e : expected)
        folders += e.isDir ? 1 : 0;
    QCOMPARE(r.folders, folders);
    QCOMPARE(r.files, int(expected.size()) - folders);
    QCOMPARE(r.rows, qint64(rows.size()));
}

void TestScanner::freshDiscListsInNameOrder_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("top");   // the disc's top level as the list shows it
    QTest::addColumn<QStringList>("inner"); // the level of folder "dir9"
    const QStringList inner{"x", "y10", "B1.txt", "b9.txt", "b10.txt"};
    // Chinese collation puts Han before Latin; the C locale knows no collation of its own
    // and must not fall back to code points ("A" < "File1" < "b" < "file10" < "file2").
    const QStringList zh{"照片", "Dir1", "dir9",  "dir10", "文件",
                         "A",    "b",    "File1", "file2", "file10"};
    QTest::newRow("zh_CN") << QLocale(QLocale::Chinese, QLocale::China) << zh << inner;
    QTest::newRow("C") << QLocale::c() << zh << inner;
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                           << QStringList{"Dir1", "dir9",  "dir10", "照片",   "A",
                                          "b",    "File1", "file2", "file10", "文件"}
                           << inner;
}

void TestScanner::freshDiscListsInNameOrder() {
    QFETCH(QLocale, locale);
    QFETCH(QStringList, top);
    QFETCH(QStringList, inner);
    const QLocale before;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    TestDir tree;
    // Created neither in order nor in reverse, so no listing gives the order by chance.
    for (const char* f :
         {"file2", "A", "文件", "file10", "b", "File1", "dir9/b10.txt", "dir9/B1.txt", "dir9/y10/f",
          "dir9/b9.txt", "dir9/x/f", "照片/f", "dir10/f", "Dir1/f"})
        tree.createFile(QString::fromUtf8(f), 1);
    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, tree.path());
    QVERIFY(r.error.isEmpty());
    // Read as the list reads a level: folders first, then stored order.
    const auto level = [&](qint64 folder, qint64* dir9) {
        QStringList names;
        contentstore::readLevel(c.db, c.disc, folder, [&](auto&& e) {
            names << e.name;
            if (dir9 && e.name == QStringLiteral("dir9"))
                *dir9 = e.id;
            return true;
        });
        return names;
    };
    qint64 dir9 = 0;
    QCOMPARE(level(0, &dir9), top);
    QVERIFY(dir9 != 0);
    QCOMPARE(level(dir9, nullptr), inner);
}

void TestScanner::rulesDecideWhatIsStoredAndCounted_data() {
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("foldersOnly");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("folders");

    // Tree: r.txt README photo.jpg .profile .cache/x.txt A/a.TXT A/B/c.txt A/B/C/d.jpg E/
    const QStringList all{"/A",       "/A/B", "/A/B/C",  "/A/B/C/d.jpg", "/A/B/c.txt",
                          "/A/a.TXT", "/E",   "/README", "/photo.jpg",   "/r.txt"};
    QTest::newRow("all levels") << 0 << false << QStringList() << all << 6 << 4;
    QTest::newRow("depth 1") << 1 << false << QStringList()
                             << QStringList{"/A",      "/A/a.TXT",   "/E",
                                            "/README", "/photo.jpg", "/r.txt"}
                             << 4 << 3;
    QTest::newRow("depth 2") << 2 << false << QStringList()
                             << QStringList{"/A", "/A/B",    "/A/B/c.txt", "/A/a.TXT",
                                            "/E", "/README", "/photo.jpg", "/r.txt"}
                             << 5 << 4;
    QTest::newRow("folders only") << 0 << true << QStringList()
                                  << QStringList{"/A", "/A/B", "/A/B/C", "/E"} << 0 << 4;
    QTest::newRow("types, mixed case")
        << 0 << false << QStringList{".JPG"}
        << QStringList{"/A", "/A/B", "/A/B/C", "/A/B/C/d.jpg", "/E", "/photo.jpg"} << 6 << 4;
    QTest::newRow("types match any case")
        << 0 << false << QStringList{".txt", ".Jpg"}
        << QStringList{"/A",       "/A/B", "/A/B/C",     "/A/B/C/d.jpg", "/A/B/c.txt",
                       "/A/a.TXT", "/E",   "/photo.jpg", "/r.txt"}
        << 6 << 4;
    // The empty type keeps the files without an extension.
    QTest::newRow("no extension as a type")
        << 0 << false << QStringList{"", ".jpg"}
        << QStringList{"/A", "/A/B", "/A/B/C", "/A/B/C/d.jpg", "/E", "/README", "/photo.jpg"} << 6
        << 4;
    QTest::newRow("depth 1 with folders only")
        << 1 << true << QStringList() << QStringList{"/A", "/E"} << 0 << 3;
}

void TestScanner::rulesDecideWhatIsStoredAndCounted() {
    QFETCH(int, depth);
    QFETCH(bool, foldersOnly);
    QFETCH(QStringList, types);
    QFETCH(QStringList, stored);
    QFETCH(int, files);
    QFETCH(int, folders);
    TestDir tree;
    for (const char* f : {"r.txt", "README", "photo.jpg", ".profile", ".cache/x.txt", "A/a.TXT",
                          "A/B/c.txt", "A/B/C/d.jpg", "A/.hidden/y.jpg"})
        tree.createFile(QLatin1String(f), 4);
    tree.createDir(QStringLiteral("E"));
    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, tree.path(), depth, foldersOnly, types);
    QStringList got;
    for (const Row& row : readRows(c.db, c.disc))
        got << row.rel();
    got.sort();
    QCOMPARE(got, stored);
    QCOMPARE(r.files, files);
    QCOMPARE(r.folders, folders);
}

void TestScanner::fpathFollowsTheRootPrefix_data() {
    QTest::addColumn<QString>("suffix");
    QTest::newRow("plain") << QString();
    QTest::newRow("trailing slash") << QStringLiteral("/");
    QTest::newRow("two trailing slashes") << QStringLiteral("//");
}

void TestScanner::fpathFollowsTheRootPrefix() {
    QFETCH(QString, suffix);
    TestDir tree;
    tree.createFile(QStringLiteral("DOCS/OLD/A.TXT"), 1);
    tree.createFile(QStringLiteral("README.TXT"), 1);
    Catalog c;
    openCatalog(c);
    scan(c, tree.path() + suffix);
    QMap<QString, QString> fpath;
    for (const Row& row : readRows(c.db, c.disc))
        fpath.insert(row.name, row.fpath);
    QCOMPARE(fpath.value("DOCS"), QStringLiteral("/DOCS"));
    QCOMPARE(fpath.value("OLD"), QStringLiteral("/DOCS/OLD"));
    QCOMPARE(fpath.value("A.TXT"), QStringLiteral("/DOCS/OLD"));
    QVERIFY(fpath.contains("README.TXT"));
    QCOMPARE(fpath.value("README.TXT"), QString(""));
    QCOMPARE(rootPrefix(tree.path() + suffix), tree.path());
}

void TestScanner::sizesKeepSixtyFourBits() {
    TestDir tree;
    const qint64 big = 5LL * 1024 * 1024 * 1024 + 17;
    const qint64 three = 3LL * 1024 * 1024 * 1024;
    if (tree.createFile(QStringLiteral("big.iso"), big, true).isEmpty() ||
        QFileInfo(tree.path("big.iso")).size() != big)
        QSKIP("no sparse files here");
    tree.createFile(QStringLiteral("three.iso"), three, true);
    Catalog c;
    openCatalog(c);
    scan(c, tree.path());
    QMap<QString, qint64> sizes;
    for (const Row& row : readRows(c.db, c.disc))
        sizes.insert(row.name, row.size);
    QCOMPARE(sizes.value("big.iso"), big);
    QCOMPARE(sizes.value("three.iso"), three);
}

void TestScanner::linksAndSpecialFilesAreNotFollowed() {
    TestDir tree;
    tree.createFile(QStringLiteral("A/f.txt"), 2);
    QVERIFY(tree.symlink(QStringLiteral(".."), QStringLiteral("A/loop")));
    QVERIFY(tree.symlink(tree.path(), QStringLiteral("self")));
    QVERIFY(tree.symlink(QStringLiteral("nowhere"), QStringLiteral("dangling")));
    QCOMPARE(::mkfifo(QFile::encodeName(tree.path("pipe")).constData(), 0644), 0);
    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, tree.path());
    QCOMPARE(rowsAsTree(readRows(c.db, c.disc)), walkTree(tree.path()));
    QCOMPARE(r.folders, 1);
    QCOMPARE(r.files, 5);
    QMap<QString, qint64> sizes;
    for (const Row& row : readRows(c.db, c.disc))
        sizes.insert(row.name, row.size);
    QCOMPARE(sizes.value("loop", -1), 0); // a link is a file of size 0
    QCOMPARE(sizes.value("dangling", -1), 0);
    QCOMPARE(sizes.value("pipe"), 0);
}

void TestScanner::unreadableFolderKeepsItsRow() {
    Catalog c;
    openCatalog(c);
    TestDir tree;
    tree.createFile(QStringLiteral("closed/inner/secret.txt"), 1);
    tree.createFile(QStringLiteral("open/visible.txt"), 1);
    tree.lock(QStringLiteral("closed"));
    const bool root = ::geteuid() == 0;
    if (root) {
        // Check permissions as an ordinary user would meet them; the catalog stays writable.
        ::chmod(QFile::encodeName(c.dir.path()).constData(), 0777);
        ::chmod(QFile::encodeName(c.dir.path("cat.vlr")).constData(), 0666);
        ::chmod(QFile::encodeName(tree.path()).constData(), 0755);
        ::setfsuid(65534);
    }
    const ScanResult r = scan(c, tree.path());
    if (root)
        ::setfsuid(0);
    QVERIFY(r.error.isEmpty());
    QStringList got;
    for (const Row& row : readRows(c.db, c.disc))
        got << row.rel();
    got.sort();
    QCOMPARE(got, (QStringList{"/closed", "/open", "/open/visible.txt"}));
    QCOMPARE(r.folders, 2);
    QCOMPARE(r.files, 1);
    QCOMPARE(r.unreadable, 1);
    QCOMPARE(r.firstUnreadable, tree.path("closed"));
}

namespace {

// What an entry's row must say, as one line: its raw path below the root (bytes outside
// printable ASCII as %XX), kind, size, time and link target.
QString factLine(const QByteArray& rel, bool dir, qint64 size, const QVariant& time,
                 const QString& link) {
    return QString::fromLatin1(rel.toPercentEncoding("/")) +
           (dir ? QStringLiteral(" dir") : QStringLiteral(" file %1").arg(size)) +
           QStringLiteral(" t=") + (time.isNull() ? QStringLiteral("?") : time.toString()) +
           (link.isEmpty() ? QString() : QStringLiteral(" ->") + link);
}

// Every entry below `dir` (names beginning with "." passed over) by readdir and lstat,
// through raw bytes only. A link is a file of size 0; its target is taken as UTF-8 unless
// `targets` gives its text.
void walkRaw(const QByteArray& dir, const QByteArray& rel, const QMap<QByteArray, QString>& targets,
             QStringList& out) {
    DIR* d = ::opendir(dir.constData());
    QVERIFY(d);
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const QByteArray full = dir + '/' + e->d_name;
        const QByteArray childRel = rel + '/' + e->d_name;
        struct stat st {};
        QCOMPARE(::lstat(full.constData(), &st), 0);
        QString link;
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(full.constData(), target, sizeof target);
            QVERIFY(n > 0);
            const QByteArray bytes(target, n);
            link = targets.value(bytes, QString::fromUtf8(bytes));
        }
        out << factLine(childRel, S_ISDIR(st.st_mode), S_ISLNK(st.st_mode) ? 0 : st.st_size,
                        qint64(st.st_mtime), link);
        if (S_ISDIR(st.st_mode))
            walkRaw(full, childRel, targets, out);
    }
    ::closedir(d);
}

} // namespace

void TestScanner::fileSystemFactsMatchAnIndependentWalk() {
    TestDir tree;
    const QByteArray root = QFile::encodeName(tree.path());
    const QByteArray gbkFolder("\xd5\xd5\xc6\xac");   // 照片 in GBK
    const QByteArray gbkFile("\xd5\xd5\xc6\xac.jpg"); // 照片.jpg in GBK
    const QByteArray backslash("b\\xFE\xff");         // a backslash among bad bytes
    auto make = [&](const QByteArray& rel, qint64 size) {
        const int fd = ::open((root + rel).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::ftruncate(fd, size), 0);
        ::close(fd);
    };
    QCOMPARE(::mkdir((root + "/docs").constData(), 0755), 0);
    QCOMPARE(::mkdir((root + '/' + gbkFolder).constData(), 0755), 0);
    make("/docs/a.txt", 5);
    make('/' + gbkFolder + '/' + gbkFile, 7);
    make("/bad\xff.bin", 1);
    make("/bad\xfe.bin", 2);
    make('/' + backslash, 3);
    make("/b\xfe\xff", 4);
    make("/中文.txt", 6);
    QCOMPARE(::symlink("docs/a.txt", (root + "/to-file").constData()), 0);
    QCOMPARE(::symlink("docs", (root + "/to-folder").constData()), 0);
    QCOMPARE(::symlink(gbkFolder + '/' + gbkFile, (root + "/to-gbk").constData()), 0);
    // Known times, children before their folders: making an entry touches its folder.
    const QList<QByteArray> order = {"/docs/a.txt",   '/' + gbkFolder + '/' + gbkFile,
                                     "/docs",         '/' + gbkFolder,
                                     "/bad\xff.bin",  "/bad\xfe.bin",
                                     '/' + backslash, "/b\xfe\xff",
                                     "/中文.txt",     "/to-file",
                                     "/to-folder",    "/to-gbk"};
    qint64 t = 946684800; // 2000-01-01, then an hour apart
    for (const QByteArray& rel : order) {
        const timespec times[2] = {{t, 0}, {t, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, (root + rel).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
        t += 3600;
    }
    QStringList expected;
    walkRaw(root, {}, {{gbkFolder + '/' + gbkFile, QStringLiteral("照片/照片.jpg")}}, expected);
    expected.sort();
    QCOMPARE(expected.size(), order.size());

    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, tree.path());
    QVERIFY(r.error.isEmpty());
    struct Stored {
        qint64 father;
        QString name;
        QByteArray raw;
        bool dir;
        qint64 size;
        QVariant time;
        QString link;
    };
    QMap<qint64, Stored> rows;
    Query q(c.db,
            QStringLiteral("select AutoId, FatherId, TreeName, FName, IsDir, FSize, FTime, Link "
                           "from qCDFiles where CdID=?"),
            {c.disc});
    while (q.next())
        rows.insert(q.integer(0), {q.integer(1), q.text(2), q.value(3).toByteArray(),
                                   q.integer(4) != 0, q.integer(5), q.value(6), q.textOr(7)});
    QStringList got;
    QMap<QByteArray, QString> texts; // raw path -> the names' text
    QMap<qint64, QSet<QString>> namesIn;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        const Stored& s = *it;
        // Valid UTF-8 is kept as it is, with no raw copy.
        QVERIFY2(s.raw.isEmpty() || s.raw != s.name.toUtf8(), qPrintable(s.name));
        QByteArray rel;
        QString text;
        for (qint64 id = it.key(); id != 0; id = rows.value(id).father) {
            const Stored& up = rows.value(id);
            rel.prepend('/' + (up.raw.isEmpty() ? up.name.toUtf8() : up.raw));
            text.prepend(QLatin1Char('/') + up.name);
        }
        got << factLine(rel, s.dir, s.size, s.time, s.link);
        texts.insert(rel, text);
        QVERIFY2(!namesIn[s.father].contains(s.name), qPrintable(s.name));
        namesIn[s.father].insert(s.name);
    }
    got.sort();
    QCOMPARE(got, expected);
    // Names that are not UTF-8 read as GB18030; what does not decode shows its value.
    QCOMPARE(texts.value('/' + gbkFolder + '/' + gbkFile), QStringLiteral("/照片/照片.jpg"));
    QCOMPARE(texts.value("/bad\xff.bin"), QStringLiteral("/bad\\xFF.bin"));
    QCOMPARE(texts.value("/bad\xfe.bin"), QStringLiteral("/bad\\xFE.bin"));
    QCOMPARE(texts.value('/' + backslash), QStringLiteral("/b\\x5CxFE\\xFF"));
    QCOMPARE(texts.value("/b\xfe\xff"), QStringLiteral("/b\\xFE\\xFF"));
    QCOMPARE(texts.value("/中文.txt"), QStringLiteral("/中文.txt"));
    // The text is what a search sees.
    QStringList found;
    SearchOptions o;
    o.keyword = QStringLiteral("照片");
    o.notes = false;
    SearchCallbacks hits;
    hits.onHit = [&](const SearchHit& h) { found << h.name; };
    runSearch(c.db, o, hits);
    QCOMPARE(found, (QStringList{"照片", "照片.jpg"}));
}

void TestScanner::cancelKeepsExactlyTheRowsStored_data() {
    QTest::addColumn<bool>("nested");
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("flat, at once") << false << 1;
    QTest::newRow("flat, after 17") << false << 17;
    QTest::newRow("nested, after 5") << true << 5;
    QTest::newRow("nested, after 23") << true << 23;
}

void TestScanner::cancelKeepsExactlyTheRowsStored() {
    QFETCH(bool, nested);
    QFETCH(int, cancelAt);
    TestDir tree;
    for (int i = 0; i < 40; ++i) {
        const QString dir = nested ? QStringLiteral("d%1/").arg(i % 4) : QString();
        tree.createFile(dir + QStringLiteral("f%1.txt").arg(i), i);
    }
    Catalog c;
    openCatalog(c);
    std::atomic<bool> cancel{false};
    int calls = 0;
    QStringList reported;
    ScanHooks hooks;
    hooks.cancel = &cancel;
    hooks.progressIntervalMs = 0;
    hooks.commitIntervalMs = 0;
    hooks.progress = [&](const QString& path) {
        reported << path.mid(tree.path().size());
        if (++calls == cancelAt)
            cancel = true;
    };
    const ScanResult r = scan(c, tree.path(), 0, false, {}, hooks);
    QVERIFY(r.cancelled);
    QCOMPARE(calls, cancelAt);
    // Read through a second connection: only committed rows count.
    Database other;
    other.open(c.dir.path(QStringLiteral("cat.vlr")));
    QStringList got;
    for (const Row& row : readRows(other, c.disc))
        got << row.rel();
    // Every entry reported was handled; a folder met last is counted but gets no row.
    QStringList expected = reported;
    const bool lastIsFolder = nested && !reported.last().endsWith(QStringLiteral(".txt"));
    if (lastIsFolder)
        expected.removeLast();
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
    QCOMPARE(r.rows, qint64(got.size()));
    QCOMPARE(r.files + r.folders, cancelAt);
}

void TestScanner::unreadableRootStoresNothing() {
    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, c.dir.path(QStringLiteral("no such folder")));
    QCOMPARE(r.files, 0);
    QCOMPARE(r.folders, 0);
    QVERIFY(r.error.isEmpty());
    QVERIFY(readRows(c.db, c.disc).isEmpty());
}

void TestScanner::readOnlyCatalogReportsTheFailure() {
    TestDir tree;
    tree.createFile(QStringLiteral("A/a.txt"), 1);
    Catalog c;
    openCatalog(c);
    c.db.close();
    c.db.open(c.dir.path(QStringLiteral("cat.vlr")), Database::Mode::ReadOnly);
    const ScanResult r = scan(c, tree.path());
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(r.rows, 0);
    QVERIFY(!c.db.inTransaction());
}

void TestScanner::fileSystemRootIsWalkedWithEmptyPrefix() {
    QCOMPARE(rootPrefix(QStringLiteral("/")), QString());
    Catalog c;
    openCatalog(c);
    const ScanResult r = scan(c, QStringLiteral("/"), 1, true);
    QVERIFY(r.error.isEmpty());
    QMap<QString, Row> top;
    for (const Row& row : readRows(c.db, c.disc)) {
        if (row.father == 0)
            top.insert(row.name, row);
    }
    QVERIFY(top.contains(QStringLiteral("tmp")));
    QCOMPARE(top.value(QStringLiteral("tmp")).fpath, QStringLiteral("/tmp"));
    QVERIFY(top.value(QStringLiteral("tmp")).isDir);
}

void TestScanner::treeDeeperThanAnyStackIsCataloguedCompletely() {
    constexpr int kDepth = 20000;
    // In memory where there is a tmpfs: the catalog gets 400 MB of paths, which need not go
    // through a disk's fsync.
    DeepTree tree;
    tree.build(kDepth);
    if (QTest::currentTestFailed())
        return;
    const int extras = tree.extras;

    Catalog c;
    const QString file = tree.dir.filePath(QStringLiteral("cat.vlr"));
    testcat::create(file);
    c.db.open(file);
    c.disc = testcat::addDisc(c.db, testcat::addCategory(c.db, QStringLiteral("c")), "d");
    ScanResult r;
    onSmallStackWithFewFiles([&] { r = scan(c, tree.root); });
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.unreadable, 0);
    QCOMPARE(r.folders, kDepth + extras);
    QCOMPARE(r.files, 2 * extras);

    // Every row's parent is a folder stored before it, one level up; the paths are
    // checked by their lengths (the deepest is 40,000 bytes).
    struct Folder {
        qint64 pathLength;
        int depth;
    };
    QHash<qint64, Folder> folders;
    folders.insert(0, Folder{0, 0});
    int deepest = 0;
    qint64 count = 0;
    Query q(c.db,
            QStringLiteral("select AutoId, FatherId, TreeName, IsDir, length(FPath) from qCDFiles "
                           "where CdID = ? order by AutoId"),
            {c.disc});
    while (q.next()) {
        ++count;
        const qint64 id = q.integer(0);
        const qint64 father = q.integer(1);
        const QString name = q.text(2);
        QVERIFY2(folders.contains(father), qPrintable(QString::number(id)));
        const Folder up = folders.value(father);
        if (q.integer(3) != 0) {
            QVERIFY(name == QLatin1String("d") || name == QLatin1String("e"));
            QCOMPARE(q.integer(4), up.pathLength + 2);
            folders.insert(id, Folder{up.pathLength + 2, up.depth + 1});
            deepest = std::max(deepest, up.depth + 1);
        } else {
            QVERIFY(name == QLatin1String("f") || name == QLatin1String("g"));
            QCOMPARE(q.integer(4), up.pathLength);
        }
    }
    QCOMPARE(count, qint64(kDepth + 3 * extras));
    QCOMPARE(r.rows, count);
    QCOMPARE(deepest, kDepth);
}

void TestScanner::bushyTreeIsCataloguedWholeUnderAnyLimit_data() {
    QTest::addColumn<int>("openFiles");
    QTest::newRow("1024 open files") << 1024;
    QTest::newRow("24 open files") << 24;
}

// Folders are listed on several threads at once, ahead of where the walk is, while the rows
// go in in walk order. A tree of a few thousand folders of every shape, some of them with a
// link back up, and three scans of it under the open-file limit given: everything, every
// folder in name order; three levels; and with content hashes, which open every file by
// its folder.
void TestScanner::bushyTreeIsCataloguedWholeUnderAnyLimit() {
    QFETCH(int, openFiles);
    TestDir tree;
    std::mt19937 rng(7);
    QStringList folders{QString()};
    for (int i = 1; i < 2500; ++i) {
        // Mostly near the last folders made, so that chains and wide levels both occur.
        const int near = int(rng() % 40);
        const QString& parent = folders[std::max(0, i - 1 - near)];
        const QString name = (i % 7 == 0 ? QStringLiteral("目录%1") : QStringLiteral("d%1")).arg(i);
        folders << parent + QLatin1Char('/') + name;
        tree.createDir(folders.last().mid(1));
        for (int f = int(rng() % 4); f > 0; --f)
            tree.createFile(folders.last().mid(1) + QStringLiteral("/f%1.txt").arg(rng() % 1000),
                            int(rng() % 300));
        if (i % 97 == 0)
            QCOMPARE(::symlink("..", QFile::encodeName(tree.path() + folders.last() +
                                                       QStringLiteral("/up"))),
                     0);
    }
    const auto expected = walkTree(tree.path());

    rlimit files{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlimit low{std::min<rlim_t>(files.rlim_cur, rlim_t(openFiles)), files.rlim_max};
    const auto scanUnderLimit = [&](Catalog& c, int depth, bool checksums) {
        ScanParams p;
        p.root = tree.path();
        p.discId = c.disc;
        p.depthLimit = depth;
        p.checksums = checksums;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
        const ScanResult r = scanTree(c.db, p);
        ::setrlimit(RLIMIT_NOFILE, &files);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(r.unreadable, 0);
        QCOMPARE(r.rows, qint64(readRows(c.db, c.disc).size()));
    };

    {
        Catalog c;
        openCatalog(c);
        scanUnderLimit(c, 0, false);
        if (QTest::currentTestFailed())
            return;
        const QList<Row> rows = readRows(c.db, c.disc);
        QCOMPARE(rowsAsTree(rows), expected);
        QHash<qint64, QStringList> levels;
        for (const Row& r : rows)
            levels[r.father] << r.name;
        for (auto level = levels.cbegin(); level != levels.cend(); ++level) {
            const std::vector<int> order = nameOrder(level.value());
            for (int i = 0; i < int(order.size()); ++i)
                QVERIFY2(order[size_t(i)] == i, qPrintable(level.value().join(QLatin1Char(' '))));
        }
    }
    {
        Catalog c;
        openCatalog(c);
        scanUnderLimit(c, 3, false);
        if (QTest::currentTestFailed())
            return;
        QMap<QString, ::Entry> shallow;
        for (auto e = expected.cbegin(); e != expected.cend(); ++e) {
            if (e.key().count(QLatin1Char('/')) <= (e.value().isDir ? 3 : 4))
                shallow.insert(e.key(), e.value());
        }
        QCOMPARE(rowsAsTree(readRows(c.db, c.disc)), shallow);
    }
    {
        Catalog c;
        openCatalog(c);
        scanUnderLimit(c, 0, true);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(c.db.count(QStringLiteral("select 1 from qCDFiles where CdID = ? and IsDir = 0 "
                                           "and Link is null and FHash is null"),
                            {c.disc}),
                 0);
        QVERIFY(c.db.count(QStringLiteral("select 1 from qCDFiles where CdID = ? and FHash is "
                                          "not null"),
                           {c.disc}) > 3000);
    }
}

void TestScanner::catalogStaysLinkedHoweverTheScanEnds_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("complete") << QStringLiteral("complete");
    QTest::newRow("cancelled from another thread") << QStringLiteral("cancel");
    QTest::newRow("catalog full") << QStringLiteral("full");
}

// A tree of many batches' worth of rows, three levels deep: the rows are stored apart from
// the walk, and whatever ends the scan, each stored row hangs under a stored folder with
// the right path, and the count given is what the catalog keeps.
void TestScanner::catalogStaysLinkedHoweverTheScanEnds() {
    QFETCH(QString, end);
    TestDir tree;
    int total = 0;
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            const QString dir = QStringLiteral("d%1/e%2/").arg(i).arg(j);
            for (int k = 0; k < 60; ++k)
                tree.createFile(dir + QStringLiteral("f%1.txt").arg(k), k);
            total += 60;
        }
        tree.createFile(QStringLiteral("d%1/top.txt").arg(i), 1);
        total += 1;
    }
    total += 10 + 100;
    Catalog c;
    openCatalog(c);
    std::atomic<bool> cancel{false};
    std::atomic<int> reported{0};
    ScanHooks hooks;
    hooks.cancel = &cancel;
    hooks.progressIntervalMs = 0;
    const bool cancelling = end == QLatin1String("cancel");
    hooks.progress = [&](const QString&) {
        // On a busy machine the walk could end before the other thread runs at all: it
        // waits there for the cancel, as a slow disc would.
        if (reported.fetch_add(1) + 1 == total / 3 && cancelling) {
            while (!cancel.load())
                std::this_thread::yield();
        }
    };
    std::thread canceller;
    if (cancelling) {
        hooks.commitIntervalMs = 1;
        canceller = std::thread([&] {
            while (reported.load() < total / 3)
                std::this_thread::yield();
            cancel = true;
        });
    } else if (end == QLatin1String("full")) {
        // Room for a few hundred rows; every row goes over on its own, so the walk is never
        // far ahead of the failing writer.
        hooks.commitIntervalMs = 0;
        const qint64 pages = c.db.scalar(QStringLiteral("pragma page_count")).toLongLong();
        c.db.exec(QStringLiteral("pragma max_page_count = %1").arg(pages + 12));
    }
    QElapsedTimer clock;
    clock.start();
    const ScanResult r = scan(c, tree.path(), 0, false, {}, hooks);
    if (canceller.joinable())
        canceller.join();
    QVERIFY(!c.db.inTransaction());

    Database other;
    other.open(c.dir.path(QStringLiteral("cat.vlr")));
    const QList<Row> rows = readRows(other, c.disc);
    QCOMPARE(r.rows, qint64(rows.size()));
    QHash<qint64, QString> folders{{0, QString()}};
    for (const Row& row : rows) {
        QVERIFY2(folders.contains(row.father), qPrintable(row.rel()));
        const QString up = folders.value(row.father);
        QCOMPARE(row.fpath, row.isDir ? up + QLatin1Char('/') + row.name : up);
        if (row.isDir)
            folders.insert(row.id, row.fpath);
    }
    if (end == QLatin1String("complete")) {
        QVERIFY(r.error.isEmpty());
        QVERIFY(!r.cancelled);
        QCOMPARE(rowsAsTree(rows), walkTree(tree.path()));
        QCOMPARE(r.rows, qint64(total));
    } else if (end == QLatin1String("cancel")) {
        QVERIFY(r.error.isEmpty());
        QVERIFY(r.cancelled);
        QVERIFY(r.rows >= total / 3 - 1);
        QVERIFY(r.rows < total);
    } else {
        QVERIFY(!r.error.isEmpty());
        QVERIFY(r.rows > 0);
        // The walk stops soon after the failure instead of reading the rest of the tree.
        QVERIFY2(
            r.files + r.folders < r.rows + 16,
            qPrintable(
                QStringLiteral("%1 entries met, %2 rows").arg(r.files + r.folders).arg(r.rows)));
    }
}

QTEST_GUILESS_MAIN(TestScanner)
#include "tst_scanner.moc"
