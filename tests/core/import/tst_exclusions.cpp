// Exclusion patterns: what an import leaves out, checked against an independent walk; a
// rescan leaving out the same; the command line's --exclude.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/import/rescan.h"
#include "core/import/scanfixture.h"
#include "core/import/scanjob.h"
#include "core/store/database.h"

#include <QRegularExpression>
#include <QtTest>

using namespace vorlane;

namespace {

// One name (or path component) against a pattern of `*` and `?`, every other character
// literal, case counting.
bool wildMatch(const QString& pattern, const QString& name) {
    QString rx;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('*'))
            rx += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            rx += QLatin1Char('.');
        else
            rx += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx),
                              QRegularExpression::DotMatchesEverythingOption)
        .match(name)
        .hasMatch();
}

// Whether `rel` ("/a/b") is left out by a pattern of its own (not by a folder above it).
bool hitByPattern(const QString& rel, const QStringList& patterns) {
    const QStringList parts = rel.mid(1).split(QLatin1Char('/'));
    for (QString p : patterns) {
        while (p.endsWith(QLatin1Char('/')))
            p.chop(1);
        if (!p.contains(QLatin1Char('/'))) {
            if (wildMatch(p, parts.last()))
                return true;
            continue;
        }
        const QStringList want =
            p.mid(p.startsWith(QLatin1Char('/')) ? 1 : 0).split(QLatin1Char('/'));
        if (want.size() != parts.size())
            continue;
        bool all = true;
        for (int i = 0; i < want.size() && all; ++i)
            all = wildMatch(want.at(i), parts.at(i));
        if (all)
            return true;
    }
    return false;
}

// The walk of `root` without what `patterns` leave out; `excluded` counts the entries a
// pattern hit whose folders were kept.
QMap<QString, ::Entry> walkWithout(const QString& root, const QStringList& patterns,
                                   qint64& excluded) {
    const QMap<QString, ::Entry> all = walkTree(root);
    QMap<QString, ::Entry> out;
    QStringList gone; // folders left out, "/a/" form
    excluded = 0;
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QString& rel = it.key();
        bool below = false;
        for (const QString& g : std::as_const(gone))
            below = below || rel.startsWith(g);
        if (below)
            continue;
        if (hitByPattern(rel, patterns)) {
            ++excluded;
            if (it->isDir)
                gone << rel + QLatin1Char('/');
            continue;
        }
        out.insert(rel, *it);
    }
    return out;
}

struct Catalog {
    TestDir dir;
    Database db;
    qint64 disc = 0;
    QString file;

    explicit Catalog(const QString& root) {
        file = dir.path(QStringLiteral("cat.vlr"));
        testcat::create(file);
        db.open(file);
        disc = testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("c")),
                                QStringLiteral("d"), 0, root);
    }
};

} // namespace

class TestExclusions : public QObject {
    Q_OBJECT

private slots:
    void importLeavesOutWhatAnIndependentWalkDoes_data();
    void importLeavesOutWhatAnIndependentWalkDoes();
    void rescanLeavesOutTheStoredPatterns();
    void commandLineExcludesAndRescanRepeats();
};

void TestExclusions::importLeavesOutWhatAnIndependentWalkDoes_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("patterns");
    const QStringList project{".git/HEAD",
                              "node_modules/lib/index.js",
                              "app/node_modules/x.js",
                              "app/main.c",
                              "app/main.o.tmp",
                              "a.tmp",
                              "tmp/keep.txt",
                              "pics/Thumbs.db",
                              "pics/thumbs.db",
                              "$RECYCLE.BIN/S-1/f",
                              "src/build/out.bin",
                              "build/top.bin",
                              "x/y/cache/c1",
                              "x/cache/c2",
                              "[draft] notes.txt",
                              "d.txt",
                              "top.log",
                              "logs/top.log"};
    QTest::newRow("names") << project
                           << QStringList{".git", "node_modules", "*.tmp", "Thumbs.db",
                                          "$RECYCLE.BIN"};
    // "*/cache" only two levels down; "/top.log" only at the top; "[" is an ordinary
    // character.
    QTest::newRow("paths") << project
                           << QStringList{"src/build", "*/cache", "/top.log", "[draft]*"};
    QTest::newRow("trailing slash is a name") << project << QStringList{"build/", "?.txt"};
    // Enough folders that the walk's helpers read ahead what the patterns leave out.
    QStringList bushy;
    for (int i = 0; i < 60; ++i) {
        const QString d = QStringLiteral("d%1/").arg(i);
        bushy << d + QStringLiteral("cache/a/b") << d + QStringLiteral("keep/k.txt")
              << d + QStringLiteral("keep/cache/c.txt") << d + QStringLiteral("f.tmp");
    }
    QTest::newRow("bushy") << bushy << QStringList{"*/cache", "d1?", "*.tmp"};
}

void TestExclusions::importLeavesOutWhatAnIndependentWalkDoes() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, patterns);
    TestDir tree;
    for (const QString& f : files)
        tree.createFile(f, f.size());
    Catalog c(tree.path());
    ScanParams params;
    params.root = tree.path();
    params.discId = c.disc;
    params.exclude = patterns;
    const ScanResult r = scanDisc(c.db, params);
    QVERIFY(r.error.isEmpty());

    qint64 excluded = 0;
    const QMap<QString, ::Entry> expected = walkWithout(tree.path(), patterns, excluded);
    QCOMPARE(rowsAsTree(readRows(c.db, c.disc)), expected);
    QCOMPARE(r.excluded, excluded);
    QVERIFY(excluded > 0);
    int folders = 0;
    for (const ::Entry& e : expected)
        folders += e.isDir ? 1 : 0;
    QCOMPARE(r.folders, folders);
    QCOMPARE(r.files, int(expected.size()) - folders);
}

void TestExclusions::rescanLeavesOutTheStoredPatterns() {
    TestDir tree;
    tree.createFile(QStringLiteral("keep.txt"), 4);
    tree.createFile(QStringLiteral("old.tmp"), 4);
    tree.createFile(QStringLiteral("node_modules/a.js"), 4);
    Catalog c(tree.path());
    const QStringList patterns{"*.tmp", "node_modules", "sub/build"};
    ScanParams params;
    params.root = tree.path();
    params.discId = c.disc;
    params.exclude = patterns;
    QVERIFY(scanDisc(c.db, params).error.isEmpty());

    // New entries, only one of them outside the patterns.
    tree.createFile(QStringLiteral("new.tmp"), 1);
    tree.createFile(QStringLiteral("node_modules/b.js"), 1);
    tree.createFile(QStringLiteral("sub/build/o.bin"), 1);
    tree.createFile(QStringLiteral("sub/n.txt"), 1);
    RescanPlan plan;
    const RescanReport report = compareRescan(c.db, c.disc, {}, {}, plan);
    QCOMPARE(report.failure, RescanReport::Failure::None);
    QStringList added;
    for (const RescanChange& ch : report.changes)
        added << ch.path;
    QCOMPARE(added, (QStringList{"/sub", "/sub/n.txt"}));
    QCOMPARE(report.removed, 0);
    QVERIFY(applyRescan(c.db, plan, nullptr));
    qint64 excluded = 0;
    QCOMPARE(rowsAsTree(readRows(c.db, c.disc)), walkWithout(tree.path(), patterns, excluded));

    // The patterns stay with the disc for the rescan after.
    const std::optional<ScanParams> again = rescanOptions(c.db, c.disc);
    QVERIFY(again);
    QCOMPARE(again->exclude, patterns);
    // Options stored before there were exclusions leave nothing out.
    ScanParams older;
    readScanOptions(QStringLiteral("{\"depthLimit\":0,\"foldersOnly\":false,\"types\":[]}"), older);
    QVERIFY(older.exclude.isEmpty());
}

void TestExclusions::commandLineExcludesAndRescanRepeats() {
    TestDir tree;
    tree.createFile(QStringLiteral("a.txt"), 1);
    tree.createFile(QStringLiteral("b.tmp"), 1);
    tree.createFile(QStringLiteral("node_modules/x/y.js"), 1);
    tree.createFile(QStringLiteral("src/build/o"), 1);
    tree.createFile(QStringLiteral("src/c.txt"), 1);
    TestDir home;
    const QString cat = home.path(QStringLiteral("c.vlr"));
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "C"}).code, 0);
    const CliResult imported =
        runCli({"import", cat, tree.path(), "--category", "1", "--exclude", "*.tmp", "--exclude",
                "node_modules", "--exclude", "src/build"});
    QCOMPARE(imported.code, 0);
    QVERIFY2(imported.out.contains(
                 QStringLiteral("files: 2, folders: 1, rows stored: 3, excluded: 3\n")),
             qPrintable(imported.out));

    tree.createFile(QStringLiteral("d.tmp"), 1);
    tree.createFile(QStringLiteral("src/build/p"), 1);
    const CliResult rescanned = runCli({"rescan", cat, "1", "--dry-run"});
    QCOMPARE(rescanned.code, 0);
    QVERIFY2(rescanned.out.startsWith(
                 QStringLiteral("options: depth all, folders and files, all types, checksums "
                                "off, archives off, exclude *.tmp; node_modules; src/build\n")),
             qPrintable(rescanned.out));
    QVERIFY2(rescanned.out.contains(QStringLiteral("added 0, removed 0, changed 0, unchanged 3")),
             qPrintable(rescanned.out));
    // Naming none brings back what was left out.
    const CliResult all = runCli({"rescan", cat, "1", "--no-exclude", "--dry-run"});
    QVERIFY2(all.out.contains(QStringLiteral("+ /d.tmp\n")), qPrintable(all.out));
    QVERIFY2(all.out.contains(QStringLiteral("added 8,")), qPrintable(all.out));
}

QTEST_GUILESS_MAIN(TestExclusions)
#include "tst_exclusions.moc"
