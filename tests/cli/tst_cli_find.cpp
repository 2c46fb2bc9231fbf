// find's ways of reading the keyword, its query, its orders and limit: what each finds, and
// the arguments it refuses.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/store/database.h"

#include <QtTest>

using namespace vorlane;

class TestCliFind : public QObject {
    Q_OBJECT

private slots:
    void keywordModes_data();
    void keywordModes();
    void queriesAndOrders_data();
    void queriesAndOrders();
};

void TestCliFind::keywordModes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("names"); // the names found, in order; or the error's words

    QTest::newRow("question mark is plain")
        << QStringList{"what?"} << 0 << QStringList{"plain.txt"};
    QTest::newRow("question mark in a name")
        << QStringList{"Is it?"} << 0 << QStringList{"Is it?.txt"};
    QTest::newRow("a star finds only stars") << QStringList{"*"} << 0 << QStringList{"a*b"};
    QTest::newRow("glob") << QStringList{"--glob", "*.TXT"} << 0
                          << QStringList{"plain.txt", "Is it?.txt"};
    QTest::newRow("glob is the whole name") << QStringList{"--glob", "?s it"} << 0 << QStringList{};
    QTest::newRow("regex") << QStringList{"--regex", "^(a|i)"} << 0
                           << QStringList{"Is it?.txt", "a*b"};
    QTest::newRow("regex case-sensitive")
        << QStringList{"--regex", "--case-sensitive", "^i"} << 0 << QStringList{};
    QTest::newRow("invalid regex")
        << QStringList{"--regex", "a(b"} << 2
        << QStringList{"invalid regular expression", "offset 3", "missing closing parenthesis"};
    QTest::newRow("both modes") << QStringList{"--glob", "--regex", "a"} << 2
                                << QStringList{"--glob and --regex"};
}

void TestCliFind::keywordModes() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, names);
    TestDir dir;
    const QString file = dir.path("f.vlr");
    testcat::create(file);
    {
        Database db;
        db.open(file);
        const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "disc");
        testcat::addEntry(db, disc, 0, "plain.txt", false, 1, {}, "so what? nothing");
        testcat::addEntry(db, disc, 0, "Is it?.txt", false, 1);
        testcat::addEntry(db, disc, 0, "a*b", false, 1);
    }
    const CliResult r = runCli(QStringList{"find", file, "--format", "tsv"} + args);
    QCOMPARE(r.code, code);
    if (code != 0) {
        for (const QString& words : names)
            QVERIFY2(r.err.contains(words), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        return;
    }
    QStringList found;
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts).mid(1))
        found << line.section(u'\t', 2, 2);
    QCOMPARE(found, names);
}

void TestCliFind::queriesAndOrders_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("names"); // the names found, in order; or the error's words

    // The catalog: disc "Photos" with folder "2024" holding b.jpg (300 bytes, 2024-06-02),
    // A.JPG (2 MiB, 2023-01-01) and notes.txt (10 bytes, no time, note "to print").
    QTest::newRow("query words and a filter")
        << QStringList{"--query", "jpg size:>1K"} << 0 << QStringList{"A.JPG"};
    QTest::newRow("query or, not, note")
        << QStringList{"--query", "note:print|b.jpg !ext:txt"} << 0 << QStringList{"b.jpg"};
    QTest::newRow("query with a disc") << QStringList{"--query", "disc:photos"} << 0
                                       << QStringList{"", "2024", "b.jpg", "A.JPG", "notes.txt"};
    QTest::newRow("query date and path")
        << QStringList{"--query", "path:/2024/ date:2024-06"} << 0 << QStringList{"b.jpg"};
    QTest::newRow("sort by name") << QStringList{"--query", "type:file", "--sort", "name"} << 0
                                  << QStringList{"A.JPG", "b.jpg", "notes.txt"};
    QTest::newRow("sort by size, reversed")
        << QStringList{"--query", "type:file", "--sort", "size", "--reverse"} << 0
        << QStringList{"A.JPG", "b.jpg", "notes.txt"};
    QTest::newRow("sort by time, unknown first")
        << QStringList{"--query", "type:file", "--sort", "time"} << 0
        << QStringList{"notes.txt", "A.JPG", "b.jpg"};
    QTest::newRow("sort a keyword search, limited")
        << QStringList{"t", "--sort", "size", "--limit", "2"} << 0 << QStringList{"", "notes.txt"};
    QTest::newRow("reverse alone")
        << QStringList{"jpg", "--reverse"} << 0 << QStringList{"A.JPG", "b.jpg"};
    QTest::newRow("limit alone") << QStringList{"jpg", "--limit", "1"} << 0 << QStringList{"b.jpg"};
    QTest::newRow("query parse error") << QStringList{"--query", "a size:>1Q"} << 2
                                       << QStringList{"query error at offset 7", "not a size: >1Q"};
    QTest::newRow("keyword and query")
        << QStringList{"jpg", "--query", "jpg"} << 2 << QStringList{"not both"};
    QTest::newRow("neither keyword nor query")
        << QStringList{} << 2 << QStringList{"missing arguments"};
    QTest::newRow("query with a keyword option")
        << QStringList{"--query", "jpg", "--min-size", "1K"} << 2
        << QStringList{"--min-size does not go with --query"};
    QTest::newRow("empty query") << QStringList{"--query", "  "} << 2
                                 << QStringList{"the query is empty"};
    QTest::newRow("unknown order")
        << QStringList{"jpg", "--sort", "colour"} << 2 << QStringList{"--sort takes name"};
    QTest::newRow("limit zero") << QStringList{"jpg", "--limit", "0"} << 2
                                << QStringList{"--limit takes a whole number"};
}

void TestCliFind::queriesAndOrders() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, names);
    TestDir dir;
    const QString file = dir.path("q.vlr");
    testcat::create(file);
    {
        Database db;
        db.open(file);
        const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "Photos");
        const qint64 folder = testcat::addEntry(db, disc, 0, "2024", true);
        const qint64 b = testcat::addEntry(db, disc, folder, "b.jpg", false, 300);
        const qint64 a = testcat::addEntry(db, disc, folder, "A.JPG", false, 2 << 20);
        testcat::addEntry(db, disc, folder, "notes.txt", false, 10, {}, "to print");
        db.exec("update qCDFiles set FTime=? where AutoId=?",
                {QDateTime(QDate(2024, 6, 2), QTime(12, 0)).toSecsSinceEpoch(), b});
        db.exec("update qCDFiles set FTime=? where AutoId=?",
                {QDateTime(QDate(2023, 1, 1), QTime(12, 0)).toSecsSinceEpoch(), a});
    }
    const CliResult r = runCli(QStringList{"find", file, "--format", "tsv"} + args);
    QCOMPARE(r.code, code);
    if (code != 0) {
        for (const QString& words : names)
            QVERIFY2(r.err.contains(words), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
        return;
    }
    QStringList found;
    int number = 0;
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts).mid(1)) {
        QCOMPARE(line.section(u'\t', 0, 0).toInt(), ++number); // numbered as listed
        found << line.section(u'\t', 2, 2);
    }
    QCOMPARE(found, names);

    // JSON gives each hit its size and time.
    const CliResult json = runCli(QStringList{"find", file, "--format", "json"} + args);
    const QJsonArray hits = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QCOMPARE(hits.size(), names.size());
    for (const QJsonValue& h : hits) {
        const QString name = h["name"].toString();
        QCOMPARE(h["size"].toInteger(-1), name == "A.JPG"       ? 2 << 20
                                          : name == "b.jpg"     ? 300
                                          : name == "notes.txt" ? 10
                                          : name.isEmpty()      ? -1
                                                                : 0);
        QCOMPARE(h["mtime"].isNull(), name != "A.JPG" && name != "b.jpg");
    }
}

QTEST_GUILESS_MAIN(TestCliFind)
#include "tst_cli_find.moc"
