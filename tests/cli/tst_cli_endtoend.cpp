// vorlane-cli end to end: a real tree imported with the CLI, then listed and searched, and
// the listing compared with an independent walk of the same tree.
#include "common/clirunner.h"
#include "common/testdir.h"
#include "common/unprivileged.h"
#include "core/import/scanfixture.h"
#include "core/store/database.h"

#include <QDateTime>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

QJsonArray json(const CliResult& r) {
    return QJsonDocument::fromJson(r.out.toUtf8()).array();
}

} // namespace

class TestCliEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void importListAndFindMatchTheTree();
    void importOptionsAndBadInput();
    void importInAChildProcessMissesNothingSilently_data();
    void importInAChildProcessMissesNothingSilently();
    void failedImportSaysSoWithTheRowsKept();
    void verifyNamesEachFileThatChanged();
    void verifyAgreesWithRescanOnADeepTreeWithFifos();
    void rescanThatCannotReadAFolderSaysSo_data();
    void rescanThatCannotReadAFolderSaysSo();
    void rescanShowsItsOptionsAndKeepsWhatChangesThem();
};

void TestCliEndToEnd::importListAndFindMatchTheTree() {
    TestDir tree;
    tree.createFile("readme.txt", 10);
    tree.createFile("照片/2024/海边 日落.jpg", 2048);
    tree.createFile("照片/2024/It's \"quoted\".JPG", 3);
    tree.createFile("照片/empty/.hidden", 5);
    tree.createDir("照片/empty");
    tree.createFile("docs/report final.pdf", 70000);
    tree.createFile("docs/sub/deeper/notes.md", 1);
    tree.createFile(".cache/skip.bin", 1);
    // Known times, each a day apart: 2001-09-09 01:46:40 UTC on.
    qint64 day = 0;
    QDirIterator stamp(tree.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    QStringList stamped;
    while (stamp.hasNext())
        stamped << stamp.next();
    stamped.sort();
    std::reverse(stamped.begin(), stamped.end()); // children before their folders
    for (const QString& path : stamped) {
        const timespec times[2] = {{1000000000 + 86400 * ++day, 0}, {1000000000 + 86400 * day, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    TestDir work;
    const QString cat = work.path("cat.vlr");
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "备份"}).out, QStringLiteral("1\n"));
    const CliResult imported =
        runCli({"import", cat, tree.path(), "--category", "1", "--name", "测试盘"});
    QCOMPARE(imported.code, 0);
    QVERIFY(imported.out.contains("files: 5, folders: 6"));

    // Walk the catalog with ls, folder by folder.
    QMap<QString, qint64> listed; // relative path -> size (-1 for folders)
    QMap<QString, qint64> listedTimes;
    std::function<void(const QString&)> walk = [&](const QString& folder) {
        QStringList args{"ls", cat, "1"};
        if (!folder.isEmpty())
            args << folder;
        args << "--format"
             << "json";
        const CliResult r = runCli(args);
        QCOMPARE(r.code, 0);
        bool filesStarted = false;
        for (const QJsonValue& v : json(r)) {
            const QJsonObject o = v.toObject();
            const bool isDir = o["type"].toString() == "folder";
            QVERIFY2(!(isDir && filesStarted), "folders come before files");
            filesStarted = filesStarted || !isDir;
            const QString path = o["path"].toString();
            QVERIFY2(!listed.contains(path), qPrintable(path));
            listed[path] = isDir ? -1 : qint64(o["size"].toDouble());
            listedTimes[path] = o["mtime"].toInteger(-1);
            if (isDir)
                walk(QString::number(o["id"].toInteger()));
        }
    };
    walk({});

    QMap<QString, qint64> expected;
    QMap<QString, qint64> expectedTimes;
    QDirIterator it(tree.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString full = it.next();
        const QString rel = full.mid(tree.path().size());
        if (rel.contains("/."))
            continue; // dot-names are passed over, with everything below them
        expected[rel] = it.fileInfo().isDir() ? -1 : it.fileInfo().size();
        expectedTimes[rel] = it.fileInfo().lastModified().toSecsSinceEpoch();
    }
    QCOMPARE(listed, expected);
    QCOMPARE(listedTimes, expectedTimes);
    // Text gives the time in UTC as ISO 8601, tsv in seconds.
    const qint64 readmeTime = expectedTimes.value("/readme.txt");
    const QString iso = QDateTime::fromSecsSinceEpoch(readmeTime, Qt::UTC).toString(Qt::ISODate);
    QVERIFY(iso.endsWith('Z'));
    QVERIFY2(runCli({"ls", cat, "1"})
                 .out.contains(
                     QRegularExpression(QRegularExpression::escape(iso) + "\\s+/readme\\.txt\n")),
             qPrintable(iso));
    QVERIFY(runCli({"ls", cat, "1", "--format", "tsv"})
                .out.contains(QStringLiteral("\t/readme.txt\t\t%1\n").arg(readmeTime)));

    // find: every name holding the keyword, without letter case; the disc's name too.
    const CliResult found = runCli({"find", cat, "jpg", "--format", "json"});
    QCOMPARE(found.code, 0);
    QSet<QString> names;
    for (const QJsonValue& v : json(found))
        names << v.toObject()["name"].toString();
    QCOMPARE(names, (QSet<QString>{"海边 日落.jpg", "It's \"quoted\".JPG"}));
    const CliResult sensitive = runCli({"find", cat, "jpg", "--case-sensitive", "--format", "tsv"});
    QCOMPARE(sensitive.out.count('\n'), 2); // the heading and one hit
    const CliResult disc = runCli({"find", cat, "测试", "--format", "json"});
    QCOMPARE(json(disc).size(), 1);
    QCOMPARE(json(disc)[0].toObject()["kind"].toString(), QStringLiteral("disc"));
    QCOMPARE(runCli({"check", cat}).out, QStringLiteral("ok\n"));

    // How the import went and what the disc holds, counted from its rows.
    const CliResult facts = runCli({"tree", cat, "--long"});
    QCOMPARE(facts.code, 0);
    QVERIFY2(QRegularExpression("\n {7}scanned: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\S*  "
                                "state: complete  fs: \\S+  capacity: \\d+  folders: 6  files: 5  "
                                "size: 72062  only here: 5 files, 72062 bytes\n")
                 .match(facts.out)
                 .hasMatch(),
             qPrintable(facts.out));
}

void TestCliEndToEnd::importOptionsAndBadInput() {
    TestDir tree;
    tree.createFile("a/b/c.txt", 1);
    tree.createFile("a/x.jpg", 1);
    tree.createFile("y.PNG", 1);
    TestDir work;
    const QString cat = work.path("c.vlr");
    runCli({"new", cat});
    runCli({"mkcat", cat, "c"});

    QVERIFY(runCli({"import", cat, tree.path(), "--category", "1", "--depth", "1"})
                .out.contains("files: 2, folders: 2"));
    QVERIFY(runCli({"import", cat, tree.path(), "--category", "1", "--folders-only"})
                .out.contains("files: 0, folders: 2"));
    const CliResult typed =
        runCli({"import", cat, tree.path(), "--category", "1", "--types", ".png,jpg"});
    QVERIFY(typed.out.contains("rows stored: 4")); // a, b, x.jpg, y.PNG

    QCOMPARE(runCli({"import", cat, tree.path()}).code, 2);                    // no category
    QCOMPARE(runCli({"import", cat, tree.path(), "--category", "9"}).code, 1); // no such category
    QCOMPARE(runCli({"import", cat, tree.path("nope"), "--category", "1"}).code,
             1); // no such folder
}

void TestCliEndToEnd::importInAChildProcessMissesNothingSilently_data() {
    QTest::addColumn<bool>("deep");     // a chain of 200 folders with files and side folders
    QTest::addColumn<bool>("lockOne");  // one folder that cannot be read
    QTest::addColumn<int>("fileLimit"); // RLIMIT_NOFILE of the child, 0 = as inherited
    QTest::newRow("deep tree, 16 open files") << true << false << 16;
    QTest::newRow("unreadable folder") << false << true << 0;
}

void TestCliEndToEnd::importInAChildProcessMissesNothingSilently() {
    QFETCH(bool, deep);
    QFETCH(bool, lockOne);
    QFETCH(int, fileLimit);
    TestDir tree;
    tree.createFile("top.txt", 1);
    if (deep) {
        QString dir;
        for (int level = 1; level <= 200; ++level) {
            dir += "d/";
            tree.createFile(dir + "f.txt", level);
            if (level % 20 == 0)
                tree.createFile(dir + "e/g.txt", 2);
        }
    }
    if (lockOne) {
        tree.createFile("open/a.txt", 1);
        tree.createFile("locked/inner/b.txt", 1);
        tree.createFile("locked/c.txt", 1);
        tree.lock("locked");
    }
    TestDir work;
    const QString cat = work.path("c.vlr");
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "c"}).code, 0);

    // Permissions are checked as an ordinary user meets them: root would read the locked
    // folder, so the child runs as nobody then.
    QStringList command;
    if (::geteuid() == 0) {
        for (const QString& path : {tree.path(), work.path()})
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther);
        QFile::setPermissions(cat, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ReadOther | QFileDevice::WriteOther);
        command << "setpriv"
                << "--reuid=nobody"
                << "--regid=nogroup"
                << "--clear-groups";
    }
    if (fileLimit > 0)
        command << "prlimit" << QStringLiteral("--nofile=%1:%1").arg(fileLimit);
    command << (::geteuid() == 0 ? unprivileged::cliForNobody()
                                 : qEnvironmentVariable("VORLANE_BIN") + "/vorlane-cli")
            << "import" << cat << tree.path() << "--category"
            << "1";
    QProcess child;
    child.start(command.takeFirst(), command);
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QString err = QString::fromUtf8(child.readAllStandardError());

    QMap<QString, Entry> expected = walkTree(tree.path());
    if (lockOne) {
        for (const QString& rel : expected.keys()) {
            if (rel.startsWith("/locked/"))
                expected.remove(rel);
        }
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(out.contains("unreadable folders: 1"), qPrintable(out));
        QVERIFY2(err.contains("warning: 1 folder could not be read"), qPrintable(err));
        QVERIFY2(err.contains(tree.path("locked")), qPrintable(err));
        QCOMPARE(err.count('\n'), 1);
    } else {
        QVERIFY2(child.exitCode() == 0, qPrintable(err));
        QVERIFY2(!out.contains("unreadable"), qPrintable(out));
        QCOMPARE(err, QString());
    }
    const QRegularExpressionMatch disc = QRegularExpression("^disc (\\d+) ").match(out);
    QVERIFY2(disc.hasMatch(), qPrintable(out));
    vorlane::Database db;
    db.open(cat);
    QCOMPARE(rowsAsTree(readRows(db, disc.captured(1).toLongLong())), expected);
}

void TestCliEndToEnd::failedImportSaysSoWithTheRowsKept() {
    TestDir tree;
    for (int i = 0; i < 6; ++i)
        tree.createFile(QStringLiteral("f%1.txt").arg(i), 1);
    TestDir work;
    const QString cat = work.path("c.vlr");
    runCli({"new", cat});
    runCli({"mkcat", cat, "c"});
    {
        // Storing fails at the third row and undoes the transaction the first two are in.
        vorlane::Database db;
        db.open(cat);
        db.exec("create trigger stopper before insert on qCDFiles when (select count(*) from "
                "qCDFiles) >= 2 begin select raise(rollback, 'disk full'); end");
    }
    const CliResult r = runCli({"import", cat, tree.path(), "--category", "1"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("disk full"), qPrintable(r.err));
    vorlane::Database db;
    db.open(cat);
    const qint64 kept = db.count("select AutoId from qCDFiles");
    QVERIFY2(r.out.contains(QStringLiteral("rows stored: %1\n").arg(kept)), qPrintable(r.out));
    QVERIFY2(
        r.out.contains(
            QStringLiteral("import failed: the catalog keeps %1 rows of this disc\n").arg(kept)),
        qPrintable(r.out));

    // The disc says so later too; the check lists it without counting it as a fault.
    const QString disc = QRegularExpression("^disc (\\d+) ").match(r.out).captured(1);
    QVERIFY2(!disc.isEmpty(), qPrintable(r.out));
    const CliResult listed = runCli({"tree", cat, "--long"});
    QVERIFY2(listed.out.contains(QStringLiteral("  state: failed  fs: ")), qPrintable(listed.out));
    QVERIFY2(
        listed.out.contains(
            QStringLiteral("  folders: 0  files: %1  size: %1  only here: %1 files, %1 bytes\n")
                .arg(kept)),
        qPrintable(listed.out));
    const CliResult check = runCli({"check", cat});
    QCOMPARE(check.code, 0);
    QCOMPARE(
        check.out,
        QStringLiteral("info: disc %1: its import failed; it may lack part of its contents\nok\n")
            .arg(disc));
}

void TestCliEndToEnd::verifyNamesEachFileThatChanged() {
    TestDir tree;
    QByteArray content(300000, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + i / 251);
    tree.writeFile("a.bin", content);
    tree.writeFile("sub/b.txt", "0123456789");
    tree.writeFile("sub/c.dat", "cccc");
    tree.writeFile("d.txt", "ddd");
    QVERIFY(tree.symlink("a.bin", "link"));
    // A folder and a file whose names are GB18030 bytes ("目录/测试.txt"), not UTF-8: they
    // are read back by their own bytes.
    const QByteArray rawDir = QFile::encodeName(tree.path()) + "/\xc4\xbf\xc2\xbc";
    QCOMPARE(::mkdir(rawDir.constData(), 0755), 0);
    {
        const int fd = ::open((rawDir + "/\xb2\xe2\xca\xd4.txt").constData(),
                              O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "raw", 3), ssize_t(3));
        ::close(fd);
    }
    const auto setTime = [&](const QString& rel, qint64 t) {
        const timespec times[2] = {{t, 0}, {t, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(tree.path(rel)).constData(), times,
                             AT_SYMLINK_NOFOLLOW),
                 0);
    };
    for (const char* rel : {"a.bin", "sub/b.txt", "sub/c.dat", "d.txt"})
        setTime(rel, 1000000000);

    TestDir work;
    const QString cat = work.path("c.vlr");
    runCli({"new", cat});
    runCli({"mkcat", cat, "c"});
    QCOMPARE(runCli({"import", cat, tree.path(), "--category", "1", "--checksums"}).code, 0);
    QCOMPARE(runCli({"import", cat, tree.path(), "--category", "1"}).code, 0);
    {
        // What is stored is the canonical (big-endian) XXH3-128 of the content, so that
        // any program reading the catalog can compare it; links and a disc imported
        // without checksums have none.
        XXH128_canonical_t expected;
        XXH128_canonicalFromHash(&expected,
                                 XXH3_128bits(content.constData(), size_t(content.size())));
        vorlane::Database db;
        db.open(cat);
        QCOMPARE(
            db.scalar("select FHash from qCDFiles where CdID=1 and TreeName='a.bin'").toByteArray(),
            QByteArray(reinterpret_cast<const char*>(expected.digest), 16));
        QCOMPARE(db.count("select AutoId from qCDFiles where CdID=1 and FHash is not null"), 5);
        QVERIFY(db.scalar("select FHash from qCDFiles where CdID=1 and TreeName='link'").isNull());
        QCOMPARE(db.count("select AutoId from qCDFiles where CdID=2 and FHash is not null"), 0);
    }

    const QString root = tree.path();
    const CliResult clean = runCli({"verify", cat, "1"});
    QCOMPARE(clean.code, 0);
    QCOMPARE(clean.out,
             QStringLiteral("checked 5 files in %1, %2 bytes read; by checksum (XXH3-128)\n"
                            "passed over: 1 links and archive members\nall files match\n")
                 .arg(root)
                 .arg(content.size() + 10 + 4 + 3 + 3));
    const CliResult plain = runCli({"verify", cat, "2"});
    QCOMPARE(plain.code, 0);
    QVERIFY2(plain.out.contains("; by size and time only: the disc was imported without "
                                "checksums\n"),
             qPrintable(plain.out));

    // A flipped byte with the size and time kept, a truncated file, a deleted one, and a
    // file touched without being changed.
    {
        QFile f(tree.path("a.bin"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(200000));
        QVERIFY(f.write(QByteArray(1, char(content[200000] ^ 0x10))) == 1);
    }
    setTime("a.bin", 1000000000);
    QVERIFY(QFile::resize(tree.path("sub/b.txt"), 3));
    QVERIFY(QFile::remove(tree.path("sub/c.dat")));
    setTime("d.txt", 1000086400);

    const auto problems = [](const CliResult& r) {
        QSet<QString> lines;
        for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("checked "))
                break;
            lines << line;
        }
        return lines;
    };
    const CliResult byHash = runCli({"verify", cat, "1"});
    QCOMPARE(byHash.code, 1);
    QCOMPARE(problems(byHash), (QSet<QString>{"corrupt: " + root + "/a.bin",
                                              "size differs: " + root +
                                                  "/sub/b.txt: 10 bytes in the catalog, 3 on disc",
                                              "missing: " + root + "/sub/c.dat"}));
    QVERIFY2(byHash.out.endsWith("\n3 files differ or could not be read\n"),
             qPrintable(byHash.out));

    // Without hashes only the size and the time can tell: the flipped byte goes unseen, the
    // touched file is named.
    const CliResult bySize = runCli({"verify", cat, "2"});
    QCOMPARE(bySize.code, 1);
    QCOMPARE(problems(bySize), (QSet<QString>{"size differs: " + root +
                                                  "/sub/b.txt: 10 bytes in the catalog, 3 on disc",
                                              "missing: " + root + "/sub/c.dat",
                                              "time differs: " + root +
                                                  "/d.txt: 2001-09-09T01:46:40Z in the catalog, "
                                                  "2001-09-10T01:46:40Z on disc"}));
    QVERIFY2(bySize.out.contains("by size and time only"), qPrintable(bySize.out));

    // A disc that is not there is one failure, not a missing file per row.
    const CliResult absent = runCli({"verify", cat, "1", tree.path("nowhere")});
    QCOMPARE(absent.code, 1);
    QCOMPARE(absent.out, QString());
    QVERIFY2(absent.err.contains(tree.path("nowhere") + ": cannot read the disc's folder"),
             qPrintable(absent.err));
}

// A tree whose deepest paths are far beyond PATH_MAX, with a FIFO at its top and at its
// bottom: the verify must read every file back as the rescan sees it, and pass over the
// FIFOs, which it must never open.
void TestCliEndToEnd::verifyAgreesWithRescanOnADeepTreeWithFifos() {
    constexpr int kDepth = 3000;
    DeepTree tree;
    tree.build(kDepth);
    if (QTest::currentTestFailed())
        return;
    const QByteArray root = QFile::encodeName(tree.root);
    QCOMPARE(::mkfifo((root + "/pipe").constData(), 0644), 0);
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < kDepth && fd >= 0; ++level) {
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    QVERIFY(fd >= 0);
    QCOMPARE(::mkfifoat(fd, "deep.pipe", 0644), 0);
    const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(file >= 0);
    QCOMPARE(::write(file, "deep", 4), ssize_t(4));
    ::close(file);

    const QString cat = tree.dir.filePath("c.vlr");
    runCli({"new", cat});
    runCli({"mkcat", cat, "c"});
    QCOMPARE(runCli({"import", cat, tree.root, "--category", "1", "--checksums"}).code, 0);
    {
        // Each FIFO is catalogued as what it is; nothing else is marked.
        vorlane::Database db;
        db.open(cat);
        QCOMPARE(db.count("select AutoId from qCDFiles where Special=1 and IsDir=0 and FSize=0 "
                          "and TreeName in ('pipe', 'deep.pipe')"),
                 2);
        QCOMPARE(db.count("select AutoId from qCDFiles where Special is not null"), 2);
    }
    const int files = 2 * tree.extras + 1; // "f" and "e/g" every 100 levels, and deep.txt
    const CliResult clean = runCli({"verify", cat, "1"});
    QCOMPARE(clean.out,
             QStringLiteral("checked %1 files in %2, 4 bytes read; by checksum (XXH3-128)\n"
                            "passed over: 2 special files (FIFOs, devices, sockets), which hold "
                            "nothing to read back\nall files match\n")
                 .arg(files)
                 .arg(tree.root));
    QCOMPARE(clean.code, 0);
    const CliResult same = runCli({"rescan", cat, "1", "--dry-run"});
    QCOMPARE(same.code, 0);
    QVERIFY2(same.out.startsWith("options: depth all, folders and files, all types, checksums "
                                 "on, archives off\nadded 0, removed 0, changed 0, unchanged "),
             qPrintable(same.out));

    // A change at the bottom is named by both, by its full path.
    const int grown = ::openat(fd, "deep.txt", O_WRONLY | O_APPEND | O_CLOEXEC);
    QVERIFY(grown >= 0);
    QCOMPARE(::write(grown, "er", 2), ssize_t(2));
    ::close(grown);
    ::close(fd);
    QString deep;
    for (int level = 0; level < kDepth; ++level)
        deep += "/d";
    deep += "/deep.txt";
    const CliResult changed = runCli({"verify", cat, "1"});
    QCOMPARE(changed.code, 1);
    QVERIFY2(changed.out.startsWith("size differs: " + tree.root + deep +
                                    ": 4 bytes in the catalog, 6 on disc\n"),
             qPrintable(changed.out.left(200)));
    QVERIFY2(changed.out.endsWith("\n1 file differs or could not be read\n"),
             qPrintable(changed.out.right(200)));
    const CliResult rescan = runCli({"rescan", cat, "1", "--dry-run"});
    QCOMPARE(rescan.code, 0);
    QVERIFY2(rescan.out.section('\n', 1).startsWith("~ " + deep + "  (size 4 -> 6"),
             qPrintable(rescan.out.left(200)));
}

void TestCliEndToEnd::rescanThatCannotReadAFolderSaysSo_data() {
    QTest::addColumn<bool>("dryRun");
    QTest::newRow("applied") << false;
    QTest::newRow("dry run") << true;
}

// What lies in a folder that cannot be read was not compared: the rescan must not call the
// disc up to date, and fails as an import that could not read a folder does.
void TestCliEndToEnd::rescanThatCannotReadAFolderSaysSo() {
    VORLANE_RUN_UNPRIVILEGED(); // root reads every folder
    QFETCH(bool, dryRun);
    TestDir tree;
    tree.createFile("open/a.txt", 1);
    tree.createFile("locked/b.txt", 1);
    TestDir work;
    const QString cat = work.path("c.vlr");
    runCli({"new", cat});
    runCli({"mkcat", cat, "c"});
    QCOMPARE(runCli({"import", cat, tree.path(), "--category", "1"}).code, 0);
    tree.createFile("new.txt", 2);
    tree.lock("locked");

    QStringList args{"rescan", cat, "1"};
    if (dryRun)
        args << "--dry-run";
    const CliResult r = runCli(args);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.out.section('\n', 1).startsWith("+ /new.txt\nadded 1, removed 0, changed 0, "
                                               "unchanged 3, unreadable folders: 1\n"),
             qPrintable(r.out));
    QVERIFY2(!r.out.contains("up to date"), qPrintable(r.out));
    QVERIFY2(r.out.endsWith(dryRun ? "dry run: nothing was changed\n"
                                   : "rescan incomplete: 1 folder could not be read; the catalog "
                                     "keeps what it held below it\n"),
             qPrintable(r.out));
    QCOMPARE(r.err, "vorlane-cli: warning: 1 folder could not be read; its entries were left as "
                    "they were, the first: " +
                        tree.path("locked") + ": Permission denied\n");
    // What the folder held stays; what could be read is brought up to date.
    vorlane::Database db;
    db.open(cat);
    QCOMPARE(db.count("select AutoId from qCDFiles where TreeName='b.txt'"), 1);
    QCOMPARE(db.count("select AutoId from qCDFiles where TreeName='new.txt'"), dryRun ? 0 : 1);
}

// A type list stored with a disc narrows every rescan: it is printed before the walk, and
// --all-types lifts it for this rescan and the next ones. A dry run or options that
// contradict each other store nothing.
void TestCliEndToEnd::rescanShowsItsOptionsAndKeepsWhatChangesThem() {
    TestDir tree;
    tree.createFile("film.mp4", 1);
    tree.createFile("photos/a.jpg", 2);
    TestDir work;
    const QString cat = work.path("c.vlr");
    runCli({"new", cat});
    runCli({"mkcat", cat, "c"});
    QCOMPARE(runCli({"import", cat, tree.path(), "--category", "1", "--types", ".mp4,.jpg"}).code,
             0);
    tree.createFile("new.mkv", 3);
    const QString filtered = "options: depth all, folders and files, types .mp4 .jpg, checksums "
                             "off, archives off\n";
    const QString everyType = "options: depth all, folders and files, all types, checksums on, "
                              "archives off\n";
    const QString upToDate = "disc 1 is up to date with " + tree.path() + "\n";

    const CliResult plain = runCli({"rescan", cat, "1"});
    QCOMPARE(plain.out, filtered + "added 0, removed 0, changed 0, unchanged 3\n" + upToDate);
    const CliResult both = runCli({"rescan", cat, "1", "--types", ".mkv", "--all-types"});
    QCOMPARE(both.code, 2);
    QCOMPARE(both.out, QString());
    const CliResult dry = runCli({"rescan", cat, "1", "--all-types", "--checksums", "--dry-run"});
    QCOMPARE(dry.out, everyType + "+ /new.mkv\nadded 1, removed 0, changed 0, unchanged 3\n"
                                  "dry run: nothing was changed\n");
    QVERIFY(runCli({"rescan", cat, "1", "--dry-run"}).out.startsWith(filtered));

    const CliResult all = runCli({"rescan", cat, "1", "--all-types", "--checksums"});
    QCOMPARE(all.code, 0);
    QCOMPARE(all.out,
             everyType + "+ /new.mkv\nadded 1, removed 0, changed 0, unchanged 3\n" + upToDate);
    tree.createFile("notes.txt", 4);
    const CliResult next = runCli({"rescan", cat, "1"});
    QCOMPARE(next.out,
             everyType + "+ /notes.txt\nadded 1, removed 0, changed 0, unchanged 4\n" + upToDate);
    // Checksums turned on reach the files that were already there.
    const CliResult verify = runCli({"verify", cat, "1"});
    QVERIFY2(
        verify.out.startsWith("checked 4 files in " + tree.path() + ", 10 bytes read; by checksum"),
        qPrintable(verify.out));
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "tst_cli_endtoend.moc"
