// find's ways of reading the keyword: what each finds, and the arguments it refuses.
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

QTEST_GUILESS_MAIN(TestCliFind)
#include "tst_cli_find.moc"
