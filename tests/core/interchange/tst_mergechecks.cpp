// What a merge lets in, through vorlane-cli: a name that cannot stand in a path and a broken
// link are refused whole, from a catalog file and from a JSON export alike, and `check`
// reports them; a disc exported on its own lands where the tree shows it; a full disk
// leaves no journal beside the catalog.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/store/database.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>

using namespace vorlane;

namespace {

// A sound source, ids as in a new file: categories 1 "top" and 2 "sub" (in top); discs 1
// "d" and 2 "e" in sub; entries of d: 1 "dir", 2 "inner" (in dir), 3 "f" (in inner), 4
// "a.zip" (an archive listed below itself) and 5 "m" (its member).
void makeSource(const QString& path) {
    testcat::create(path);
    Database db;
    db.open(path);
    const qint64 top = testcat::addCategory(db, QStringLiteral("top"));
    const qint64 sub = testcat::addCategory(db, QStringLiteral("sub"), top, 1);
    const qint64 d = testcat::addDisc(db, sub, QStringLiteral("d"), 2);
    testcat::addDisc(db, sub, QStringLiteral("e"), 3);
    const qint64 dir = testcat::addEntry(db, d, 0, QStringLiteral("dir"), true, 0, "/dir");
    const qint64 inner =
        testcat::addEntry(db, d, dir, QStringLiteral("inner"), true, 0, "/dir/inner");
    testcat::addEntry(db, d, inner, QStringLiteral("f"), false, 1, "/dir/inner");
    const qint64 zip = testcat::addEntry(db, d, 0, QStringLiteral("a.zip"), false, 9);
    const qint64 member = testcat::addEntry(db, d, zip, QStringLiteral("m"), false, 2, "/a.zip");
    db.exec(QStringLiteral("update qCDFiles set Archive = 1 where AutoId = ?"), {zip});
    db.exec(QStringLiteral("update qCDFiles set Archive = 2 where AutoId = ?"), {member});
}

// The catalog's rows written as an export holds them, whatever they are: what a hostile
// hand could write, since the program's own export would not carry some of these faults.
QByteArray rawJson(const QString& path) {
    Database db;
    db.open(path, Database::Mode::ReadOnly);
    // By hand at the top: the reader wants the format before the rows.
    QByteArray out = "{\"format\":\"vorlane-catalog\",\"version\":1";
    for (const auto& [member, table] :
         {std::pair{"categories", "qClass"}, std::pair{"discs", "qCD"},
          std::pair{"entries", "qCDFiles"}}) {
        QJsonArray rows;
        Query q(db, QStringLiteral("select * from %1 order by AutoId").arg(QLatin1String(table)));
        while (q.next()) {
            QJsonObject row;
            for (int i = 0; i < q.columnCount(); ++i) {
                const QString name = QString::fromUtf8(sqlite3_column_name(q.statement(), i));
                const QVariant v = q.value(i);
                if (v.typeId() == QMetaType::QByteArray)
                    row.insert(
                        name,
                        QJsonObject{{"base64", QString::fromLatin1(v.toByteArray().toBase64())}});
                else
                    row.insert(name, QJsonValue::fromVariant(v));
            }
            rows.append(row);
        }
        out +=
            ",\"" + QByteArray(member) + "\":" + QJsonDocument(rows).toJson(QJsonDocument::Compact);
    }
    return out + '}';
}

} // namespace

class TestMergeChecks : public QObject {
    Q_OBJECT

private slots:
    void hostileNamesAreRefused_data();
    void hostileNamesAreRefused();
    void brokenLinksAreRefused_data();
    void brokenLinksAreRefused();
    void discExportLandsInTheTree();
    void fullDiskLeavesNoJournal();

private:
    // Damages a sound source with `sql`, then expects `check` to name `fault` and a merge
    // of the file and of its JSON to refuse it with that fault, the target untouched. An
    // empty `fault`: all of it passes.
    void expectRefused(const QString& sql, const QVariantList& values, const QString& fault);
};

void TestMergeChecks::expectRefused(const QString& sql, const QVariantList& values,
                                    const QString& fault) {
    TestDir dir;
    const QString source = dir.path("source.vlr");
    makeSource(source);
    {
        Database db;
        db.open(source);
        db.exec(sql, values);
    }
    const QString json = dir.path("source.json");
    QFile out(json);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(rawJson(source));
    out.close();

    const CliResult check = runCli({"check", source});
    QCOMPARE(check.code, fault.isEmpty() ? 0 : 1);
    if (!fault.isEmpty())
        QVERIFY2(check.out.split('\n').contains(fault), qPrintable(check.out));

    const QString target = dir.path("target.vlr");
    testcat::create(target);
    {
        Database db;
        db.open(target);
        testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("mine")), "old");
    }
    const QList<QVariantList> before = testcat::allRows(target);
    for (const QString& from : {source, json}) {
        const CliResult r = runCli({"merge", target, from, "--duplicates", "keep"});
        if (fault.isEmpty()) {
            QVERIFY2(r.code == 0, qPrintable(r.err));
            continue;
        }
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, "vorlane-cli: " + from + ": the source does not pass the check: " + fault +
                            "; nothing was changed\n");
        QCOMPARE(testcat::allRows(target), before);
    }
    QCOMPARE(runCli({"check", target}).out, QStringLiteral("ok\n"));
}

void TestMergeChecks::hostileNamesAreRefused_data() {
    QTest::addColumn<QString>("column"); // table.column
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QVariant>("name");
    QTest::addColumn<QString>("fault");
    const QString nul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    const struct {
        const char* tag;
        const char* column;
        qint64 id;
        const char* kind;
    } places[] = {{"category", "qClass.TreeName", 2, "category 2"},
                  {"disc", "qCD.CDName", 1, "disc 1"},
                  {"entry", "qCDFiles.TreeName", 3, "entry 3"}};
    for (const auto& p : places) {
        const auto row = [&](const char* what, const QVariant& name, const QString& problem) {
            QTest::addRow("%s %s", p.tag, what)
                << p.column << p.id << name
                << (problem.isEmpty() ? QString() : QLatin1String(p.kind) + ": " + problem);
        };
        row("..", QStringLiteral(".."), QStringLiteral("its name is \"..\""));
        row(".", QStringLiteral("."), QStringLiteral("its name is \".\""));
        row("NUL", nul, QStringLiteral("its name holds a NUL character"));
        // Only an entry's name is a part of a path; a disc read from "/" is named so.
        const bool entry = QByteArray(p.tag) == "entry";
        row("climbing out", QStringLiteral("../../../../tmp/x"),
            entry ? "its name holds a \"/\"" : "");
        // A disc may be nameless: the tree shows it as "未命名".
        const bool required = QByteArray(p.tag) != "disc";
        row("empty", QStringLiteral(""), required ? "its name is empty" : "");
        row("null", QVariant(), required ? "it has no name" : "");
    }
    QTest::newRow("raw name ..") << "qCDFiles.FName" << qint64(3) << QVariant(QByteArray(".."))
                                 << "entry 3: its raw name is \"..\"";
    QTest::newRow("raw name with a slash")
        << "qCDFiles.FName" << qint64(3) << QVariant(QByteArray("\xff/x"))
        << "entry 3: its raw name holds a \"/\"";
}

void TestMergeChecks::hostileNamesAreRefused() {
    QFETCH(QString, column);
    QFETCH(qint64, id);
    QFETCH(QVariant, name);
    QFETCH(QString, fault);
    const QStringList parts = column.split('.');
    expectRefused(QStringLiteral("update %1 set %2 = ? where AutoId = ?").arg(parts[0], parts[1]),
                  {name, id}, fault);
}

void TestMergeChecks::brokenLinksAreRefused_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("fault");
    QTest::newRow("category cycle") << "update qClass set FatherId = 2 where AutoId = 1"
                                    << "category 1: its parents lead back to itself";
    QTest::newRow("category its own parent") << "update qClass set FatherId = 2 where AutoId = 2"
                                             << "category 2: its parents lead back to itself";
    QTest::newRow("entry cycle") << "update qCDFiles set FatherId = 2 where AutoId = 1"
                                 << "entry 1: its parent folders lead back to itself";
    QTest::newRow("entry its own parent") << "update qCDFiles set FatherId = 2 where AutoId = 2"
                                          << "entry 2: its parent folders lead back to itself";
    QTest::newRow("missing parent") << "update qCDFiles set FatherId = 99 where AutoId = 3"
                                    << "entry 3: its parent folder 99 does not exist";
    QTest::newRow("entry below a file")
        << "update qCDFiles set FatherId = 3, FPath = '/f' where AutoId = 5"
        << "entry 5: its parent 3 is a file, not a folder";
    QTest::newRow("entry on another disc than its folder")
        << "update qCDFiles set CdID = 2 where AutoId = 3"
        << "entry 3: its parent folder 2 belongs to another disc";
    QTest::newRow("entry without its disc") << "update qCDFiles set CdID = 9 where AutoId = 4"
                                            << "entry 4: its disc 9 does not exist";
    QTest::newRow("member in a plain folder") << "update qCDFiles set FatherId = 1 where AutoId = 5"
                                              << "entry 5: an archive member in the folder 1, "
                                                 "which is not inside an archive";
    QTest::newRow("parent id given as text")
        << "update qCDFiles set FatherId = 'two' where AutoId = 3"
        << "entry 3: its parent folder ? does not exist";
}

void TestMergeChecks::brokenLinksAreRefused() {
    QFETCH(QString, damage);
    QFETCH(QString, fault);
    expectRefused(damage, {}, fault);
}

void TestMergeChecks::discExportLandsInTheTree() {
    TestDir dir;
    const QString source = dir.path("source.vlr");
    makeSource(source);
    const QString json = dir.path("one disc.json");
    QCOMPARE(runCli({"export", source, "--disc", "1", "--format", "json", "-o", json}).code, 0);
    const QString target = dir.path("target.vlr");
    testcat::create(target);
    {
        Database db;
        db.open(target);
        testcat::addCategory(db, QStringLiteral("mine"));
    }
    // Without a category of its own in the export, the disc gets one named after the file.
    CliResult r = runCli({"merge", target, json});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("new category [C2] one disc\n"), qPrintable(r.out));
    QCOMPARE(runCli({"tree", target}).out, QStringLiteral("[C1] mine\n"
                                                          "[C2] one disc\n"
                                                          "  [D1] d\n"));
    QCOMPARE(runCli({"check", target}).out, QStringLiteral("ok\n"));

    // Or the category asked for; one that is not there is refused.
    const QList<QVariantList> before = testcat::allRows(target);
    r = runCli({"merge", target, json, "--duplicates", "keep", "--category", "7"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, "vorlane-cli: " + target + ": no category with id 7; nothing was changed\n");
    QCOMPARE(testcat::allRows(target), before);
    r = runCli({"merge", target, json, "--duplicates", "keep", "--category", "1"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(runCli({"tree", target}).out, QStringLiteral("[C1] mine\n"
                                                          "  [D2] d\n"
                                                          "[C2] one disc\n"
                                                          "  [D1] d\n"));
    QCOMPARE(runCli({"check", target}).out, QStringLiteral("ok\n"));
}

void TestMergeChecks::fullDiskLeavesNoJournal() {
    TestDir dir;
    // Enough rows that the engine writes into the catalog before the commit: the case that
    // left a journal behind.
    const QString source = dir.path("source.vlr");
    makeSource(source);
    {
        Database db;
        db.open(source);
        db.begin();
        for (int i = 0; i < 40000; ++i)
            testcat::addEntry(db, 2, 0, QStringLiteral("a file with a rather long name %1").arg(i),
                              false, i);
        db.commit();
    }
    const QString catalog = dir.path("catalog.vlr");
    QVERIFY(QFile::copy(qEnvironmentVariable("VORLANE_BIN") + "/example.vlr", catalog));
    QFile::setPermissions(catalog, QFile::ReadOwner | QFile::WriteOwner);
    const QString small = dir.createDir("small");
    const QString target = small + "/catalog.vlr";
    // The small file system lives only as long as the shell's own mount namespace: what
    // the test looks at afterwards is listed and copied out before it ends.
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CLI", qEnvironmentVariable("VORLANE_BIN") + "/vorlane-cli");
    env.insert("M", small);
    env.insert("C", catalog);
    env.insert("S", source);
    env.insert("AFTER", dir.path("after.vlr"));
    sh.setProcessEnvironment(env);
    sh.start("unshare", {"-m", "sh", "-c",
                         "mount -t tmpfs -o size=1m tmpfs \"$M\" || exit 77; "
                         "cp \"$C\" \"$M/\" || exit 78; "
                         "\"$CLI\" merge \"$M/catalog.vlr\" \"$S\"; rc=$?; "
                         "ls -a \"$M\"; cp \"$M/catalog.vlr\" \"$AFTER\"; exit $rc"});
    QVERIFY(sh.waitForFinished(60000));
    const QString err = QString::fromUtf8(sh.readAllStandardError());
    if (sh.exitCode() == 77 || sh.exitStatus() != QProcess::NormalExit)
        QFAIL(qPrintable("cannot mount a small file system here: " + err.trimmed()));
    QCOMPARE(sh.exitCode(), 1);
    QCOMPARE(err, "vorlane-cli: " + target + ": " + QString::fromLocal8Bit(std::strerror(ENOSPC)) +
                      "; nothing was changed\n");
    QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), QStringLiteral(".\n..\ncatalog.vlr\n"));
    QCOMPARE(QFileInfo(dir.path("after.vlr")).size(), QFileInfo(catalog).size());
    QCOMPARE(testcat::allRows(dir.path("after.vlr")), testcat::allRows(catalog));
}

QTEST_GUILESS_MAIN(TestMergeChecks)
#include "tst_mergechecks.moc"
