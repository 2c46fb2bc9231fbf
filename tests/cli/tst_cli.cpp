// vorlane-cli in-process: exit codes, messages, passwords and the consistency check.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "store/database.h"

#include <QtTest>

using namespace vorlane;

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void newRefusesToOverwrite();
    void badFilesExitOneNamingTheFile_data();
    void badFilesExitOneNamingTheFile();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void treeAndLsShowTheCatalog();
    void notesRoundTrip();
    void passwords_data();
    void passwords();
    void checkFindsEachKindOfFault_data();
    void checkFindsEachKindOfFault();
};

void TestCli::newRefusesToOverwrite() {
    TestDir dir;
    const QString file = dir.path("n.vlr");
    QCOMPARE(runCli({"new", file}).code, 0);
    QVERIFY(QFile::exists(file));
    Database db;
    db.open(file); // a real catalog
    db.close();
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const CliResult again = runCli({"new", file});
    QCOMPARE(again.code, 1);
    QVERIFY(again.err.contains(file));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(runCli({"new", dir.path("missing/folder/x.vlr")}).code, 1);
}

void TestCli::badFilesExitOneNamingTheFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("command");
    QTest::newRow("missing, tree") << QByteArray() << "tree";
    QTest::newRow("text, tree") << QByteArray("hello") << "tree";
    QTest::newRow("random, check") << QByteArray(3000, '\x9c') << "check";
    QTest::newRow("text, ls") << QByteArray("SQLite format 3") << "ls";
}

void TestCli::badFilesExitOneNamingTheFile() {
    QFETCH(QByteArray, content);
    QFETCH(QString, command);
    TestDir dir;
    const QString file = dir.path("bad.vlr");
    if (!content.isEmpty())
        dir.writeFile("bad.vlr", content);
    QStringList args{command, file};
    if (command == QLatin1String("ls"))
        args << "1";
    const CliResult r = runCli(args);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("vorlane-cli: ") + file + QStringLiteral(": ")),
             qPrintable(r.err));
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
}

void TestCli::usageErrorsExitTwo_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"frobnicate"};
    QTest::newRow("missing argument") << QStringList{"ls", "x.vlr"};
    QTest::newRow("unknown option") << QStringList{"tree", "x.vlr", "--bogus"};
    QTest::newRow("bad id") << QStringList{"ls", "x.vlr", "abc"};
    QTest::newRow("note without target") << QStringList{"note", "x.vlr"};
}

void TestCli::usageErrorsExitTwo() {
    QFETCH(QStringList, args);
    QCOMPARE(runCli(args).code, 2);
}

void TestCli::treeAndLsShowTheCatalog() {
    TestDir dir;
    const QString file = dir.path("c.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 top = testcat::addCategory(db, "影音", 0, 0);
    const qint64 sub = testcat::addCategory(db, "电影", top, 1);
    const qint64 disc = testcat::addDisc(db, sub, "It's \"one\"", 2);
    const qint64 folder = testcat::addEntry(db, disc, 0, "docs", true, 0, "/docs");
    testcat::addEntry(db, disc, folder, "a.txt", false, 5LL << 32, "/docs", "line1\nline2");
    testcat::addEntry(db, disc, 0, "z.txt", false, 10, "");
    db.close();

    const CliResult tree = runCli({"tree", file});
    QCOMPARE(tree.code, 0);
    QCOMPARE(tree.out, QStringLiteral("[C%1] 影音\n  [C%2] 电影\n    [D%3] It's \"one\"\n")
                           .arg(top)
                           .arg(sub)
                           .arg(disc));

    const CliResult top_ = runCli({"ls", file, QString::number(disc), "--format", "tsv"});
    QCOMPARE(top_.code, 0);
    const QStringList lines = top_.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1].startsWith(QString::number(folder) + "\tfolder\t0\tdocs\t/docs"));
    QVERIFY(lines[2].contains("\tfile\t10\tz.txt\t/z.txt"));
    const CliResult inside =
        runCli({"ls", file, QString::number(disc), QString::number(folder), "--format", "tsv"});
    QVERIFY(inside.out.contains(
        QStringLiteral("\tfile\t%1\ta.txt\t/docs/a.txt\tline1\\nline2").arg(5LL << 32)));
    QCOMPARE(runCli({"ls", file, "999"}).code, 1);
}

void TestCli::notesRoundTrip() {
    TestDir dir;
    const QString file = dir.path("c.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 disc = testcat::addDisc(db, 1, "d");
    const qint64 entry = testcat::addEntry(db, disc, 0, "f", false);
    db.close();
    QCOMPARE(runCli({"note", file, "--disc", QString::number(disc), "光盘备注"}).code, 0);
    QCOMPARE(runCli({"note", file, "--disc", QString::number(disc)}).out,
             QStringLiteral("光盘备注\n"));
    const QByteArray gb("\xd6\xd0\xce\xc4\xb1\xb8\xd7\xa2"); // 中文备注 in GB18030
    const QString noteFile = dir.writeFile("note.txt", gb);
    QCOMPARE(runCli({"note", file, "--entry", QString::number(entry), "--file", noteFile}).code, 0);
    QCOMPARE(runCli({"note", file, "--entry", QString::number(entry)}).out,
             QStringLiteral("中文备注\n"));
    QCOMPARE(runCli({"note", file, "--entry", "4242"}).code, 1);
}

void TestCli::passwords_data() {
    QTest::addColumn<QString>("readPwd");
    QTest::addColumn<QString>("writePwd");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("code");
    QTest::newRow("open password missing") << "Secret"
                                           << "" << QStringList{} << false << 1;
    QTest::newRow("open password wrong case")
        << "Secret"
        << "" << QStringList{"--password", "secret"} << false << 1;
    QTest::newRow("open password right") << "Secret"
                                         << "" << QStringList{"--password", "Secret"} << false << 0;
    QTest::newRow("write password not needed to read") << ""
                                                       << "W" << QStringList{} << false << 0;
    QTest::newRow("write password missing") << ""
                                            << "W" << QStringList{} << true << 1;
    QTest::newRow("write password wrong")
        << ""
        << "W" << QStringList{"--write-password", "w"} << true << 1;
    QTest::newRow("both right") << "R"
                                << "W" << QStringList{"--password", "R", "--write-password", "W"}
                                << true << 0;
}

void TestCli::passwords() {
    QFETCH(QString, readPwd);
    QFETCH(QString, writePwd);
    QFETCH(QStringList, extra);
    QFETCH(bool, write);
    QFETCH(int, code);
    TestDir dir;
    const QString file = dir.path("p.vlr");
    testcat::create(file);
    {
        Database db;
        db.open(file);
        Record(db, "sys")
            .set("ReadPwd", readPwd.isEmpty() ? QVariant() : readPwd)
            .set("WritePwd", writePwd.isEmpty() ? QVariant() : writePwd)
            .append();
    }
    QStringList args = write ? QStringList{"mkcat", file, "x"} : QStringList{"tree", file};
    args += extra;
    const CliResult r = runCli(args);
    QCOMPARE(r.code, code);
    if (code != 0) {
        QVERIFY(r.err.contains(file));
        // A password is never echoed.
        for (const QString& p : {readPwd, writePwd})
            if (!p.isEmpty() && p.size() > 1)
                QVERIFY(!r.err.contains(p));
    }
}

void TestCli::checkFindsEachKindOfFault_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("expected");
    QTest::newRow("sound") << ""
                           << "";
    QTest::newRow("disc without category") << "update qCD set ClassId=77"
                                           << "its category 77 does not exist";
    QTest::newRow("entry without disc") << "update qCDFiles set CdID=88 where TreeName='f'"
                                        << "its disc 88 does not exist";
    QTest::newRow("missing parent") << "update qCDFiles set FatherId=99 where TreeName='f'"
                                    << "its parent folder 99 does not exist";
    QTest::newRow("parent is a file") << "update qCDFiles set IsDir=0 where TreeName='dir'"
                                      << "is a file, not a folder";
    QTest::newRow("parent on another disc")
        << "update qCDFiles set CdID=(select max(AutoId) from qCD) where TreeName='dir'"
        << "belongs to another disc";
    QTest::newRow("category loop")
        << "update qClass set FatherId=(select max(AutoId) from qClass) where FatherId=0"
        << "lead back to itself";
}

void TestCli::checkFindsEachKindOfFault() {
    QFETCH(QString, damage);
    QFETCH(QString, expected);
    TestDir dir;
    const QString file = dir.path("k.vlr");
    testcat::create(file);
    {
        Database db;
        db.open(file);
        const qint64 top = testcat::addCategory(db, "top");
        const qint64 sub = testcat::addCategory(db, "sub", top);
        const qint64 disc = testcat::addDisc(db, sub, "d1");
        testcat::addDisc(db, sub, "d2");
        const qint64 folder = testcat::addEntry(db, disc, 0, "dir", true, 0, "/dir");
        testcat::addEntry(db, disc, folder, "f", false, 1, "/dir");
        if (!damage.isEmpty())
            db.exec(damage);
    }
    const CliResult r = runCli({"check", file});
    if (expected.isEmpty()) {
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("ok\n"));
    } else {
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(expected), qPrintable(r.out));
    }
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
