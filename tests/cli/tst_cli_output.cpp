// What the command line and the window write cannot be turned against their user: an
// export writes into what it is given and never replaces a FIFO or a device, a full disk
// is named and leaves no partial file, names print unambiguously, and CSV cells do not
// run as formulas.
#include "cli/clicommon.h"
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/interchange/interchangejobs.h"
#include "core/store/database.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace vorlane;

class TestCliOutput : public QObject {
    Q_OBJECT

private slots:
    void exportWritesIntoWhatItIsGiven_data();
    void exportWritesIntoWhatItIsGiven();
    void windowExportWritesIntoWhatItIsGiven_data();
    void windowExportWritesIntoWhatItIsGiven();
    void namesPrintUnambiguously_data();
    void namesPrintUnambiguously();
    void csvCellsDoNotRunAsFormulas_data();
    void csvCellsDoNotRunAsFormulas();
    void listingsWriteEveryNameExactly_data();
    void listingsWriteEveryNameExactly();
    void listingsSayWhenTheirOutputFails_data();
    void listingsSayWhenTheirOutputFails();
};

namespace {

QString cliBinary() {
    return qEnvironmentVariable("VORLANE_BIN") + QStringLiteral("/vorlane-cli");
}

QString smallCatalog(const TestDir& dir) {
    const QString file = dir.path("f.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    // A note larger than a pipe holds, so that a reader can go away in the middle.
    const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "top"), "盘", 1, "/mnt",
                                         QString(300 * 1024, u'n'));
    const qint64 folder = testcat::addEntry(db, disc, 0, "文件夹", true, 0, "/文件夹");
    testcat::addEntry(db, disc, folder, "a.txt", false, 12, "/文件夹", "说明");
    return file;
}

// 'p' a FIFO, 'c' a character device, 'f' a regular file, '?' anything else, '-' nothing.
char kindOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return '-';
    return S_ISFIFO(st.st_mode) ? 'p' : S_ISCHR(st.st_mode) ? 'c' : S_ISREG(st.st_mode) ? 'f' : '?';
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void TestCliOutput::exportWritesIntoWhatItIsGiven_data() {
    // $CLI is vorlane-cli, $F a catalog, $D/m the export's folder; the script exits with
    // the export's status. A reader's data goes to $D/got; a script that cannot leave $D/m
    // to be looked at afterwards lists it into $D/left.
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QStringList>("left"); // what $D/m holds afterwards
    QTest::addColumn<char>("kind");        // what $D/m/out is afterwards
    QTest::addColumn<QString>("holder");   // the file that must hold the whole export
    const QString full = QString::fromLocal8Bit(std::strerror(ENOSPC));
    QTest::newRow("FIFO with a reader")
        << "mkfifo \"$D/m/out\" || exit 9; { timeout 20 cat \"$D/m/out\" > \"$D/got\" & } ; "
           "\"$CLI\" export \"$F\" --format json -o \"$D/m/out\"; rc=$?; wait; exit $rc"
        << 0 << "" << QStringList{"out"} << 'p' << "got";
    QTest::newRow("character device that is full")
        << "mknod \"$D/m/out\" c 1 7 || exit 9; \"$CLI\" export \"$F\" --format csv -o \"$D/m/out\""
        << 1 << "vorlane-cli: $D/m/out: " + full + "\n"
        << QStringList{"out"} << 'c' << "";
    QTest::newRow("standard output on a full device")
        << "mknod \"$D/m/out\" c 1 7 || exit 9; \"$CLI\" export \"$F\" --format json > \"$D/m/out\""
        << 1 << "vorlane-cli: standard output: " + full + "\n"
        << QStringList{"out"} << 'c' << "";
    QTest::newRow("file on a full file system")
        << "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs \"$D/m\" || exit 77; "
           "dd if=/dev/zero of=\"$D/m/fill\" bs=4k 2>/dev/null; "
           "\"$CLI\" export \"$F\" --format html -o \"$D/m/out\"; rc=$?; "
           "ls -A \"$D/m\" > \"$D/left\"; exit $rc'"
        << 1 << "vorlane-cli: $D/m/out: " + full + "\n"
        << QStringList{"fill"} << '-' << "";
    QTest::newRow("file replaced whole, keeping its mode")
        << "printf old > \"$D/m/out\" && chmod 640 \"$D/m/out\" || exit 9; "
           "\"$CLI\" export \"$F\" --format json -o \"$D/m/out\""
        << 0 << "" << QStringList{"out"} << 'f' << "m/out";
}

void TestCliOutput::exportWritesIntoWhatItIsGiven() {
    QFETCH(QString, script);
    QFETCH(int, code);
    QFETCH(QString, err);
    QFETCH(QStringList, left);
    QFETCH(char, kind);
    QFETCH(QString, holder);
    TestDir dir;
    const QString catalog = smallCatalog(dir);
    dir.createDir("m");
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CLI", cliBinary());
    env.insert("D", dir.path());
    env.insert("F", catalog);
    sh.setProcessEnvironment(env);
    sh.start("/bin/sh", {"-c", script});
    QVERIFY(sh.waitForFinished(60000));
    const QString stderrText = QString::fromUtf8(sh.readAllStandardError());
    if (sh.exitCode() == 77)
        QFAIL(qPrintable("cannot mount a small file system here: " + stderrText.trimmed()));
    QCOMPARE(stderrText, QString(err).replace("$D", dir.path()));
    QCOMPARE(sh.exitCode(), code);
    const QString listed = dir.path("left");
    QCOMPARE(QFile::exists(listed)
                 ? QString::fromUtf8(readAll(listed)).split('\n', Qt::SkipEmptyParts)
                 : namesIn(dir.path("m")),
             left);
    if (kind != '-')
        QCOMPARE(kindOf(dir.path("m/out")), kind);
    if (kind == 'f') {
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(dir.path("m/out")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0640));
    }
    if (!holder.isEmpty()) {
        const CliResult expected = runCli({"export", catalog, "--format", "json"});
        QCOMPARE(expected.code, 0);
        QCOMPARE(readAll(dir.path(holder)), expected.out.toUtf8());
    }
}

void TestCliOutput::windowExportWritesIntoWhatItIsGiven_data() {
    QTest::addColumn<QString>("node");       // what `out` is made as: fifo or full
    QTest::addColumn<QStringList>("reader"); // a reader of the FIFO, with `out` appended
    QTest::addColumn<bool>("cancelled");     // cancelled while it waits
    QTest::addColumn<QString>("error");
    QTest::newRow("FIFO with a reader")
        << "fifo" << QStringList{"timeout", "20", "cat"} << false << "";
    QTest::newRow("FIFO whose reader goes away")
        << "fifo" << QStringList{"head", "-c", "1"} << false
        << QString::fromLocal8Bit(std::strerror(EPIPE));
    QTest::newRow("FIFO without a reader, cancelled") << "fifo" << QStringList{} << true << "";
    QTest::newRow("character device that is full")
        << "full" << QStringList{} << false << QString::fromLocal8Bit(std::strerror(ENOSPC));
}

void TestCliOutput::windowExportWritesIntoWhatItIsGiven() {
    QFETCH(QString, node);
    QFETCH(QStringList, reader);
    QFETCH(bool, cancelled);
    QFETCH(QString, error);
    TestDir dir;
    const QString catalog = smallCatalog(dir);
    const QString out = dir.path("out");
    const QByteArray encoded = QFile::encodeName(out);
    if (node == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(encoded.constData(), 0644), 0);
    else
        QCOMPARE(::mknod(encoded.constData(), S_IFCHR | 0644, makedev(1, 7)), 0);
    QProcess cat;
    if (!reader.isEmpty()) {
        cat.start(reader.takeFirst(), reader << out);
        QVERIFY(cat.waitForStarted());
    }
    ExportOptions options;
    options.format = ExportFormat::Json;
    ExportJob job(catalog, options, out);
    bool ended = false;
    connect(&job, &Job::finished, this, [&] { ended = true; });
    job.start();
    if (cancelled) {
        QTest::qWait(300);
        QVERIFY(!ended); // waiting for a reader
        job.cancel();
    }
    QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
    QCOMPARE(job.error(), error);
    if (error.isEmpty())
        QCOMPARE(job.result(), cancelled ? ExportResult::Cancelled : ExportResult::Done);
    QCOMPARE(kindOf(out), node == QLatin1String("fifo") ? 'p' : 'c');
    QCOMPARE(namesIn(dir.path()), QStringList({"f.vlr", "out"}));
    if (!reader.isEmpty() && error.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(cat.state(), QProcess::NotRunning, 20000);
        const CliResult expected = runCli({"export", catalog, "--format", "json"});
        QCOMPARE(cat.readAllStandardOutput(), expected.out.toUtf8());
    }
}

void TestCliOutput::namesPrintUnambiguously_data() {
    // %1 is the entry's id, %2 its name as it must print. Empty: JSON.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("idKey");
    QTest::newRow("ls text") << QStringList{"ls", "1", "--format", "text"} << "^ +%1 .*  /%2$"
                             << "";
    QTest::newRow("ls tsv") << QStringList{"ls", "1", "--format", "tsv"}
                            << "^%1\tfile\t\\d+\t%2\t/%2\t"
                            << "";
    QTest::newRow("ls json") << QStringList{"ls", "1", "--format", "json"} << ""
                             << "id";
    QTest::newRow("find text") << QStringList{"find", "xFF", "--format", "text"}
                               << "\\] %2  \\(disc 1, file %1\\)$"
                               << "";
    QTest::newRow("find tsv") << QStringList{"find", "xFF", "--format", "tsv"}
                              << "^\\d+\t[^\t]*\t%2\t1\t0\t%1$"
                              << "";
    QTest::newRow("find json") << QStringList{"find", "xFF", "--format", "json"} << ""
                               << "file_id";
}

void TestCliOutput::namesPrintUnambiguously() {
    QFETCH(QStringList, args);
    QFETCH(QString, pattern);
    QFETCH(QString, idKey);
    // The byte 0xFF, which the catalog shows as "\xFF", and those four characters.
    TestDir tree;
    const QByteArray rawName("\xff");
    const QString textName = QStringLiteral("\\xFF");
    const QByteArray rawPath = QFile::encodeName(tree.path()) + '/' + rawName;
    const int fd = ::creat(rawPath.constData(), 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    // A name that is not UTF-8 is beyond the temporary folder's own clean-up.
    const auto remove = qScopeGuard([&] { ::unlink(rawPath.constData()); });
    tree.createFile(textName, 3);
    TestDir work;
    const QString catalog = work.path("n.vlr");
    QCOMPARE(runCli({"new", catalog}).code, 0);
    QCOMPARE(runCli({"mkcat", catalog, "top"}).code, 0);
    QCOMPARE(runCli({"import", catalog, tree.path(), "--category", "1"}).code, 0);
    qint64 rawId = 0, textId = 0;
    {
        Database db;
        db.open(catalog);
        rawId = db.scalar("select AutoId from qCDFiles where FName is not null").toLongLong();
        textId = db.scalar("select AutoId from qCDFiles where FName is null").toLongLong();
        QCOMPARE(db.scalar("select TreeName from qCDFiles where AutoId=?", {rawId}).toString(),
                 textName); // the two really are stored alike
    }
    QVERIFY(rawId > 0 && textId > 0);

    args.insert(1, catalog);
    const CliResult r = runCli(args);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    if (!pattern.isEmpty()) {
        const auto shows = [&](qint64 id, const QString& shown) {
            const QRegularExpression re(pattern.arg(id).arg(QRegularExpression::escape(shown)),
                                        QRegularExpression::MultilineOption);
            return re.match(r.out).hasMatch();
        };
        QVERIFY2(shows(rawId, "\\xFF"), qPrintable(r.out));
        QVERIFY2(shows(textId, "\\\\xFF"), qPrintable(r.out));
        return;
    }
    QHash<qint64, QJsonObject> byId;
    for (const QJsonValue& v : QJsonDocument::fromJson(r.out.toUtf8()).array())
        byId.insert(v[idKey].toInteger(), v.toObject());
    QCOMPARE(byId.value(rawId)["name"].toString(), textName);
    QCOMPARE(byId.value(rawId)["name_base64"].toString(), QString::fromLatin1(rawName.toBase64()));
    QCOMPARE(byId.value(textId)["name"].toString(), textName);
    QVERIFY(!byId.value(textId).contains("name_base64"));
}

void TestCliOutput::csvCellsDoNotRunAsFormulas_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");
    const QString header = "disc,category,path,name,size,modified,kind,note\r\n";
    QTest::newRow("guarded by default")
        << QStringList{}
        << header +
               "'=disc,'@cat,/=1+2,'=1+2,5,,file,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"\r\n"
               "'=disc,'@cat,/-1,'-1,7,,file,'+note\r\n"
               "'=disc,'@cat,/@x,'@x,0,,file,'\tx\r\n"
               "'=disc,'@cat,/a=b,a=b,3,,file,x=-1\r\n";
    QTest::newRow("--csv-formulas")
        << QStringList{"--csv-formulas"}
        << header + "=disc,@cat,/=1+2,=1+2,5,,file,\"=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"\r\n"
                    "=disc,@cat,/-1,-1,7,,file,+note\r\n"
                    "=disc,@cat,/@x,@x,0,,file,\tx\r\n"
                    "=disc,@cat,/a=b,a=b,3,,file,x=-1\r\n";
}

void TestCliOutput::csvCellsDoNotRunAsFormulas() {
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    TestDir dir;
    const QString catalog = dir.path("c.vlr");
    testcat::create(catalog);
    {
        Database db;
        db.open(catalog);
        const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "@cat"), "=disc");
        testcat::addEntry(db, disc, 0, "=1+2", false, 5, "", "=HYPERLINK(\"http://x\",\"y\")");
        testcat::addEntry(db, disc, 0, "-1", false, 7, "", "+note");
        testcat::addEntry(db, disc, 0, "@x", false, 0, "", "\tx");
        testcat::addEntry(db, disc, 0, "a=b", false, 3, "", "x=-1");
    }
    const CliResult r = runCli(QStringList{"export", catalog, "--format", "csv"} + options);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, expected);
}

namespace {

// Two discs of one tree whose names hold what a listing must escape: controls, tabs and
// line breaks, C1, backslashes, bytes that are not UTF-8, a long name; one name stored by
// another program as text that is not UTF-8. Every file is on both discs, so every one is
// a duplicate. Returns the catalog.
QString awkwardCatalog(const TestDir& work, const TestDir& tree) {
    const QList<QByteArray> names = {"plain.txt",
                                     "tab\there",
                                     "new\nline",
                                     "cr\r\nlf",
                                     "back\\slash",
                                     "\\xFF",
                                     "\xff",
                                     "bad\xfe\\x",
                                     "\x81\x5c\x81\x5cgb",
                                     "c1\xc2\x85\xc2\x9fx",
                                     "del\x7f",
                                     "esc\x1b[31m",
                                     "emoji\xf0\x9f\x98\x80",
                                     "q\"uote<&>",
                                     QByteArray(200, 'L') + "\\" + QByteArray(40, 'M') + '\x01'};
    const QByteArray root = QFile::encodeName(tree.path());
    for (const QByteArray& name : names) {
        const int fd = ::creat((root + '/' + name).constData(), 0644);
        if (fd < 0 || ::write(fd, name.constData(), size_t(name.size())) != name.size())
            qFatal("cannot create a file");
        ::close(fd);
    }
    const QString catalog = work.path("a.vlr");
    if (runCli({"new", catalog}).code != 0 || runCli({"mkcat", catalog, "top"}).code != 0)
        qFatal("cannot make a catalog");
    for (const QString& disc : {QStringLiteral("one\\x\t1"), QStringLiteral("two")}) {
        if (runCli({"import", catalog, tree.path(), "--category", "1", "--name", disc}).code != 0)
            qFatal("cannot import");
    }
    Database db;
    db.open(catalog);
    db.exec("update qCDFiles set TreeName=cast(x'62616466ff2e747874' as text), "
            "TreeExp='note'||char(10)||'\\x'||char(9)||char(133) where TreeName='plain.txt'");
    return catalog;
}

} // namespace

void TestCliOutput::listingsWriteEveryNameExactly_data() {
    QTest::addColumn<QStringList>("args"); // after the catalog
    for (const char* format : {"text", "tsv", "json"}) {
        QTest::addRow("ls %s", format) << QStringList{"ls", "1", "--format", format};
        QTest::addRow("find %s", format) << QStringList{"find", "e", "--format", format};
        QTest::addRow("dups %s", format) << QStringList{"dups", "--format", format};
        QTest::addRow("find nothing %s", format)
            << QStringList{"find", "nowhere", "--format", format};
    }
}

void TestCliOutput::listingsWriteEveryNameExactly() {
    QFETCH(QStringList, args);
    TestDir tree, work;
    const QString catalog = awkwardCatalog(work, tree);
    auto remove = qScopeGuard([&] { QProcess::execute("rm", {"-rf", tree.path()}); });
    args.insert(1, catalog);
    const CliResult r = runCli(args);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QString format = args.last();
    const bool empty = args.contains("nowhere");
    if (format == QLatin1String("json")) {
        // Exactly as Qt writes it, empty or not.
        const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8());
        QCOMPARE(QString::fromUtf8(doc.toJson(QJsonDocument::Indented)), r.out);
        QCOMPARE(doc.array().isEmpty(), empty);
        const bool dups = args.first() == QLatin1String("dups");
        const QString key = dups ? "path" : "name";
        QStringList shown;
        for (const QJsonValue& v : doc.array())
            shown << v[key].toString().section('/', -1);
        Database db;
        db.open(catalog);
        Query q(db, "select TreeName from qCDFiles where IsDir=0 and CdID=1");
        while (!empty && q.next()) {
            if (args.first() == QLatin1String("find") && !q.text(0).contains('e'))
                continue;
            QVERIFY2(shown.contains(q.text(0)), qPrintable(q.text(0)));
        }
        return;
    }
    if (empty) {
        QCOMPARE(r.out, format == QLatin1String("text") ? QString("0 hits\n")
                                                        : QString("number\tdisc\tname\tdisc_id\t"
                                                                  "folder_id\tfile_id\n"));
        return;
    }
    // Each file's row shows its name as the escaping functions give it.
    Database db;
    db.open(catalog);
    // ls lists the first disc.
    Query q(db, args.first() == QLatin1String("ls")
                    ? "select AutoId,TreeName,FName from qCDFiles where IsDir=0 and CdID=1"
                    : "select AutoId,TreeName,FName from qCDFiles where IsDir=0");
    const QStringList lines = r.out.split('\n');
    int checked = 0;
    while (q.next()) {
        const qint64 id = q.integer(0);
        const QByteArray raw = q.value(2).toByteArray();
        const QString shown = args.first() == QLatin1String("dups")
                                  ? vorlane::cli::oneLine(q.text(1))
                                  : vorlane::cli::escapedName(q.text(1), raw);
        const QRegularExpression idField(format == QLatin1String("tsv")
                                             ? QString("(^|\t)%1(\t|$)").arg(id)
                                             : QString("(^ *|file )%1[)]?( |$)").arg(id));
        bool found = false;
        for (const QString& line : lines)
            found = found || (idField.match(line).hasMatch() && line.contains(shown));
        if (args.first() == QLatin1String("find") && !q.text(1).contains('e', Qt::CaseInsensitive))
            continue;
        QVERIFY2(found, qPrintable(QString::number(id) + ": " + shown + "\n" + r.out));
        ++checked;
    }
    QVERIFY(checked >= 5);
}

void TestCliOutput::listingsSayWhenTheirOutputFails_data() {
    // $CLI is vorlane-cli, $F a catalog with more rows than a pipe holds; the script exits
    // with the listing's status.
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");
    const QString full =
        "vorlane-cli: standard output: " + QString::fromLocal8Bit(std::strerror(ENOSPC)) + "\n";
    QTest::newRow("ls on a full device") << "\"$CLI\" ls \"$F\" 1 > /dev/full" << 1 << full;
    QTest::newRow("find on a full device")
        << "\"$CLI\" find \"$F\" n --format tsv > /dev/full" << 1 << full;
    QTest::newRow("dups on a full device") << "\"$CLI\" dups \"$F\" > /dev/full" << 1 << full;
    // Like other tools: a reader that goes away ends the listing quietly by SIGPIPE, or,
    // where the signal is ignored, with a message.
    QTest::newRow("find into a pipe closed early")
        << "{ \"$CLI\" find \"$F\" n; echo $? > \"$D/rc\"; } | head -c 1 > /dev/null; "
           "exit $(cat \"$D/rc\")"
        << 128 + SIGPIPE << "";
    QTest::newRow("find into a pipe closed early, SIGPIPE ignored")
        << "trap '' PIPE; { \"$CLI\" find \"$F\" n; echo $? > \"$D/rc\"; } | head -c 1 > "
           "/dev/null; exit $(cat \"$D/rc\")"
        << 1
        << "vorlane-cli: standard output: " + QString::fromLocal8Bit(std::strerror(EPIPE)) + "\n";
}

void TestCliOutput::listingsSayWhenTheirOutputFails() {
    QFETCH(QString, script);
    QFETCH(int, code);
    QFETCH(QString, err);
    TestDir dir;
    const QString catalog = dir.path("big.vlr");
    testcat::create(catalog);
    {
        Database db;
        db.open(catalog);
        const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "top"), "disc");
        db.begin();
        for (int i = 0; i < 2000; ++i)
            testcat::addEntry(db, disc, 0, QString("name %1 ").arg(i) + QString(200, u'n'), false,
                              i, "");
        db.commit();
    }
    QProcess sh;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CLI", cliBinary());
    env.insert("D", dir.path());
    env.insert("F", catalog);
    sh.setProcessEnvironment(env);
    sh.start("/bin/bash", {"-c", script});
    QVERIFY(sh.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(sh.readAllStandardError()), err);
    QCOMPARE(sh.exitCode(), code);
}

QTEST_GUILESS_MAIN(TestCliOutput)
#include "tst_cli_output.moc"
