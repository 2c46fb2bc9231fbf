// vorlane-cli in-process: exit codes, messages, passwords and the consistency check.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "common/unprivileged.h"
#include "core/store/database.h"
#include "core/store/schema.h"

#include <QProcess>
#include <QtTest>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <thread>

using namespace vorlane;

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void newRefusesToOverwrite();
    void badFilesExitOneNamingTheFile_data();
    void badFilesExitOneNamingTheFile();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void treeAndLsShowTheCatalog();
    void notesRoundTrip();
    void passwords_data();
    void passwords();
    void passwordPromptDoesNotEcho_data();
    void passwordPromptDoesNotEcho();
    void controlCharactersAreEscaped_data();
    void controlCharactersAreEscaped();
    void waitsForAnotherWriter_data();
    void waitsForAnotherWriter();
    void failuresNameTheFileAndTheCause_data();
    void failuresNameTheFileAndTheCause();
    void checkFindsEachKindOfFault_data();
    void checkFindsEachKindOfFault();
    void schemaVersionDecidesWhatOpeningDoes_data();
    void schemaVersionDecidesWhatOpeningDoes();
};

namespace {

// A catalog with an open password and a write password.
QString protectedCatalog(TestDir& dir, const QString& readPwd, const QString& writePwd) {
    const QString file = dir.path("p.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    testcat::addCategory(db, "top");
    Record(db, "sys")
        .set("ReadPwd", readPwd.isEmpty() ? QVariant() : readPwd)
        .set("WritePwd", writePwd.isEmpty() ? QVariant() : writePwd)
        .append();
    return file;
}

QString cliBinary() {
    return qEnvironmentVariable("VORLANE_BIN") + QStringLiteral("/vorlane-cli");
}

} // namespace

void TestCli::initTestCase() {
    // A missing password is asked for when standard input is a terminal; these tests run
    // the command line in-process and must never wait for one.
    QVERIFY(std::freopen("/dev/null", "r", stdin));
}

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
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("code");
    const QStringList none;
    QTest::newRow("open password missing") << "Secret"
                                           << "" << none << none << false << 1;
    QTest::newRow("open password wrong case")
        << "Secret"
        << "" << QStringList{"--password", "secret"} << none << false << 1;
    QTest::newRow("open password right")
        << "Secret"
        << "" << QStringList{"--password", "Secret"} << none << false << 0;
    QTest::newRow("write password not needed to read") << ""
                                                       << "W" << none << none << false << 0;
    QTest::newRow("write password missing") << ""
                                            << "W" << none << none << true << 1;
    QTest::newRow("write password wrong")
        << ""
        << "W" << QStringList{"--write-password", "w"} << none << true << 1;
    QTest::newRow("both right") << "R"
                                << "W" << QStringList{"--password", "R", "--write-password", "W"}
                                << none << true << 0;
    QTest::newRow("both from the environment")
        << "R"
        << "W" << none << QStringList{"VORLANE_PASSWORD=R", "VORLANE_WRITE_PASSWORD=W"} << true
        << 0;
    QTest::newRow("wrong one in the environment")
        << "R"
        << "W" << none << QStringList{"VORLANE_PASSWORD=R", "VORLANE_WRITE_PASSWORD=x"} << true
        << 1;
    QTest::newRow("the option wins over the environment")
        << "R"
        << "W" << QStringList{"--password", "R"}
        << QStringList{"VORLANE_PASSWORD=x", "VORLANE_WRITE_PASSWORD=W"} << true << 0;
    QTest::newRow("only the open password in the environment")
        << "R"
        << "W" << none << QStringList{"VORLANE_PASSWORD=R"} << true << 1;
}

void TestCli::passwords() {
    QFETCH(QString, readPwd);
    QFETCH(QString, writePwd);
    QFETCH(QStringList, extra);
    QFETCH(QStringList, env);
    QFETCH(bool, write);
    QFETCH(int, code);
    TestDir dir;
    const QString file = protectedCatalog(dir, readPwd, writePwd);
    for (const QString& e : env)
        qputenv(e.section('=', 0, 0).toLatin1(), e.section('=', 1).toUtf8());
    const auto unset = qScopeGuard([] {
        qunsetenv("VORLANE_PASSWORD");
        qunsetenv("VORLANE_WRITE_PASSWORD");
    });
    QStringList args = write ? QStringList{"mkcat", file, "x"} : QStringList{"tree", file};
    args += extra;
    const CliResult r = runCli(args);
    QVERIFY2(r.code == code, qPrintable(r.err));
    if (code != 0) {
        QVERIFY(r.err.contains(file));
        QCOMPARE(r.err.count('\n'), 1);
        // A password is never echoed.
        for (const QString& p : {readPwd, writePwd})
            if (!p.isEmpty() && p.size() > 1)
                QVERIFY(!r.err.contains(p));
        // A missing password says where to give it.
        if (r.err.contains("give it"))
            QVERIFY2(r.err.contains("VORLANE_PASSWORD") || r.err.contains("VORLANE_WRITE_PASSWORD"),
                     qPrintable(r.err));
    }
}

void TestCli::passwordPromptDoesNotEcho_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("typed"); // one answer per prompt
    QTest::addColumn<int>("code");
    QTest::newRow("open password typed") << QStringList{"tree"} << QStringList{"Zq7Read"} << 0;
    QTest::newRow("wrong password typed") << QStringList{"tree"} << QStringList{"Zq7Wrong"} << 1;
    QTest::newRow("both typed") << QStringList{"mkcat", "@", "new"}
                                << QStringList{"Zq7Read", "Zq7Write"} << 0;
}

// The command runs on a pseudo-terminal, as when a person types the password.
void TestCli::passwordPromptDoesNotEcho() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, typed);
    QFETCH(int, code);
    TestDir dir;
    const QString file = protectedCatalog(dir, "Zq7Read", "Zq7Write");
    if (args.size() == 1)
        args << file;
    else
        args[1] = file;
    QList<QByteArray> argv{QFile::encodeName(cliBinary())};
    for (const QString& a : args)
        argv << a.toUtf8();
    std::vector<char*> cargv;
    for (QByteArray& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    QVERIFY(pid >= 0);
    if (pid == 0) {
        ::unsetenv("VORLANE_PASSWORD");
        ::unsetenv("VORLANE_WRITE_PASSWORD");
        ::execv(cargv[0], cargv.data());
        ::_exit(127);
    }
    QByteArray seen;
    // Reads until `want` shows up or the child closes the terminal; false on timeout.
    auto readUntil = [&](const QByteArray& want) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            if (!want.isEmpty() && seen.contains(want))
                return true;
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                return want.isEmpty();
            seen.append(buf, n);
        }
        return false;
    };
    const QList<QByteArray> prompts{"Open password for ", "Write password for "};
    for (int i = 0; i < typed.size(); ++i) {
        QVERIFY2(readUntil(prompts[i]), seen.constData());
        seen.clear();
        const QByteArray line = typed[i].toUtf8() + '\n';
        QCOMPARE(::write(master, line.constData(), size_t(line.size())), ssize_t(line.size()));
    }
    QVERIFY2(readUntil({}), seen.constData());
    ::close(master);
    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status));
    QVERIFY2(WEXITSTATUS(status) == code, seen.constData());
    QVERIFY2(!seen.contains("Zq7"), seen.constData()); // nothing typed came back
    if (code == 0 && args[0] == QLatin1String("tree"))
        QVERIFY2(seen.contains("[C1] top"), seen.constData());
    if (code != 0)
        QVERIFY2(seen.contains("wrong open password"), seen.constData());
}

void TestCli::controlCharactersAreEscaped_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("format");
    QTest::newRow("ls text") << "ls"
                             << "text";
    QTest::newRow("ls tsv") << "ls"
                            << "tsv";
    QTest::newRow("find text") << "find"
                               << "text";
    QTest::newRow("find tsv") << "find"
                              << "tsv";
    QTest::newRow("tree") << "tree"
                          << "";
}

void TestCli::controlCharactersAreEscaped() {
    QFETCH(QString, command);
    QFETCH(QString, format);
    // Clears the screen, rings, deletes, and starts a C1 control sequence.
    const QString hostile = QStringLiteral("k\x1b[2Jx\x07\x7f\x08\u009b31m光\r\nz");
    const QString shown = QStringLiteral("k\\x1b[2Jx\\x07\\x7f\\x08\\u009b31m光\\nz");
    TestDir dir;
    const QString file = dir.path("e.vlr");
    testcat::create(file);
    {
        Database db;
        db.open(file);
        const qint64 category = testcat::addCategory(db, hostile);
        const qint64 disc = testcat::addDisc(db, category, hostile);
        testcat::addEntry(db, disc, 0, hostile, false, 1, QString(), hostile);
    }
    QStringList args{command, file};
    if (command == QLatin1String("ls"))
        args << "1";
    if (command == QLatin1String("find"))
        args << "k";
    if (!format.isEmpty())
        args << "--format" << format;
    const CliResult r = runCli(args);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(shown), qPrintable(r.out));
    for (const QChar c : r.out) {
        const ushort u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u <= 0x9f);
        QVERIFY2(!control || u == '\n' || (u == '\t' && format == QLatin1String("tsv")),
                 qPrintable(QString::number(u, 16)));
    }
}

void TestCli::waitsForAnotherWriter_data() {
    QTest::addColumn<QString>("lock");
    QTest::addColumn<bool>("released"); // before the wait runs out
    QTest::newRow("writing, then done") << "immediate" << true;
    QTest::newRow("committing, then done") << "exclusive" << true;
    QTest::newRow("writing too long") << "immediate" << false;
    QTest::newRow("committing too long") << "exclusive" << false;
}

void TestCli::waitsForAnotherWriter() {
    QFETCH(QString, lock);
    QFETCH(bool, released);
    TestDir dir;
    const QString file = dir.path("w.vlr");
    testcat::create(file);
    if (!released)
        qputenv("VORLANE_BUSY_TIMEOUT_MS", "400");
    const auto unset = qScopeGuard([] { qunsetenv("VORLANE_BUSY_TIMEOUT_MS"); });
    // Another connection holds the lock for a while.
    std::promise<void> locked;
    std::thread other([&] {
        Database db;
        db.open(file);
        db.exec("begin " + lock);
        db.exec("insert into qClass (TreeName, FatherId, OrderId) values ('other', 0, 0)");
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        db.commit();
    });
    locked.get_future().wait();
    const CliResult r = runCli({"mkcat", file, "mine"});
    other.join();
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(!lines.isEmpty() && lines[0] == "vorlane-cli: " + file +
                                                 ": waiting for another program writing to "
                                                 "this catalog…",
             qPrintable(r.err));
    Database db;
    db.open(file);
    if (released) {
        QVERIFY2(r.code == 0 && lines.size() == 1, qPrintable(r.err));
        QCOMPARE(db.count("select 1 from qClass where TreeName in ('other', 'mine')"), 2);
    } else {
        QCOMPARE(r.code, 1);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[1].startsWith("vorlane-cli: " + file +
                                     ": another program is writing to this catalog"),
                 qPrintable(r.err));
        QCOMPARE(db.count("select 1 from qClass where TreeName='mine'"), 0);
    }
}

void TestCli::failuresNameTheFileAndTheCause_data() {
    QTest::addColumn<QString>("script"); // $CLI is vorlane-cli, $D a folder, $F a catalog in it
    QTest::addColumn<QString>("expected");
    // The folder belongs to root; the file may be written by anyone, but its journal may not.
    QTest::newRow("folder cannot be written")
        << "chmod 755 \"$D\" && chmod 666 \"$F\" && "
           "setpriv --reuid=nobody --regid=nogroup --clear-groups \"$CLI\" mkcat \"$F\" x"
        << "vorlane-cli: $F: the folder $D cannot be written, so the catalog cannot be changed";
    QTest::newRow("disk full")
        << "unshare -m sh -c 'mount -t tmpfs -o size=256k tmpfs \"$D\" || exit 77; "
           "\"$CLI\" new \"$F\" >/dev/null && \"$CLI\" mkcat \"$F\" a >/dev/null && "
           "{ dd if=/dev/zero of=\"$D/fill\" bs=4k 2>/dev/null; "
           "\"$CLI\" mkcat \"$F\" b; }'"
        << "vorlane-cli: $F: " + QString::fromLocal8Bit(std::strerror(ENOSPC));
}

void TestCli::failuresNameTheFileAndTheCause() {
    QFETCH(QString, script);
    QFETCH(QString, expected);
    TestDir dir;
    const QString file = dir.path("f.vlr");
    QCOMPARE(runCli({"new", file}).code, 0);
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // nobody may not enter the build tree; the copy lies where anyone may.
    env.insert("CLI", unprivileged::cliForNobody());
    env.insert("D", dir.path());
    env.insert("F", file);
    sh.setProcessEnvironment(env);
    sh.start("/bin/sh", {"-c", script});
    QVERIFY(sh.waitForFinished(30000));
    const QString err = QString::fromUtf8(sh.readAllStandardError());
    if (sh.exitCode() == 77)
        QFAIL(qPrintable("cannot mount a small file system here: " + err.trimmed()));
    QCOMPARE(sh.exitCode(), 1);
    expected.replace("$F", file).replace("$D", dir.path());
    QCOMPARE(err, expected + '\n');
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

void TestCli::schemaVersionDecidesWhatOpeningDoes_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QStringList>("command"); // the catalog's name is inserted second
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("versionAfter"); // -1: the file must not change at all
    QTest::newRow("older, reading") << 0 << QStringList{"tree"} << 0 << -1;
    QTest::newRow("older, writing") << 0 << QStringList{"mkcat", "x"} << 0 << CatalogVersion;
    QTest::newRow("newer, reading") << CatalogVersion + 1 << QStringList{"tree"} << 0 << -1;
    QTest::newRow("newer, writing") << CatalogVersion + 1 << QStringList{"mkcat", "x"} << 1 << -1;
}

void TestCli::schemaVersionDecidesWhatOpeningDoes() {
    QFETCH(int, version);
    QFETCH(QStringList, command);
    QFETCH(int, code);
    QFETCH(int, versionAfter);
    TestDir dir;
    const QString file = dir.path("v.vlr");
    testcat::createUnversioned(file, false);
    {
        Database db;
        db.open(file);
        testcat::addCategory(db, "top");
    }
    testcat::setVersion(file, version);
    auto bytes = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    command.insert(1, file);
    const CliResult r = runCli(command);
    QVERIFY2(r.code == code, qPrintable(r.err));
    if (code != 0)
        QCOMPARE(r.err, "vorlane-cli: " + file +
                            ": the catalog was made by a newer version of Vorlane; it can be "
                            "read but not changed\n");
    else
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    if (versionAfter < 0) {
        QCOMPARE(bytes(), before);
        return;
    }
    Database db;
    db.open(file);
    QCOMPARE(catalogVersion(db), versionAfter);
    QCOMPARE(db.count("select 1 from qClass where TreeName in ('top', 'x')"), 2);
    QCOMPARE(db.count("select 1 from pragma_index_list('qCDFiles') "
                      "where name='qCDFiles_CdID_FatherId_IsDir'"),
             1);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
