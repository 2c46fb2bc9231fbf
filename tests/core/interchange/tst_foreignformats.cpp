// Other programs' files merged into a catalog: each format's sample, written from its
// description with the awkward cases (Chinese names, quotes and separators in names, dates
// in several forms, empty folders), lands as discs, folders and files with sizes, times,
// notes and hashes; what cannot be carried over is reported; a damaged file is refused with
// the catalog's bytes untouched; a listing made by the real hashdeep is adopted with its
// hashes under the right algorithm.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/interchange/catalogmerge.h"
#include "core/store/database.h"
#include "core/store/foreignhash.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace vorlane;

namespace {

QString local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return QString::number(QDateTime(QDate(y, mo, d), QTime(h, mi, s)).toSecsSinceEpoch());
}

QByteArray gzip(const QByteArray& bytes) {
    QProcess p;
    p.start(QStringLiteral("gzip"), {QStringLiteral("-c"), QStringLiteral("-n")});
    p.write(bytes);
    p.closeWriteChannel();
    p.waitForFinished();
    return p.readAllStandardOutput();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The discs and entries of a catalog, one sorted line each: "disc|label|note|source" and
// "disc|path|size or D|time or -|note|ALG=hex…".
QStringList dump(const QString& path) {
    Database db;
    db.open(path, Database::Mode::ReadOnly);
    QStringList lines;
    Query discs(db, QStringLiteral("select CDName, coalesce(CDId,''), coalesce(CDExp,''), "
                                   "coalesce(SourcePath,'') from qCD"));
    while (discs.next())
        lines << QStringLiteral("%1|%2|%3|%4")
                     .arg(discs.text(0), discs.text(1), discs.text(2), discs.text(3));
    Query q(db, QStringLiteral("select e.AutoId, d.CDName, e.FPath, e.TreeName, e.IsDir, "
                               "e.FSize, e.FTime, coalesce(e.TreeExp,'') from qCDFiles e join "
                               "qCD d on d.AutoId = e.CdID"));
    while (q.next()) {
        const bool folder = q.integer(4) != 0;
        QString hashes;
        for (const ForeignHash& h : foreignhash::hashesOf(db, q.integer(0)))
            hashes += foreignhash::algorithmName(h.algorithm) + QLatin1Char('=') +
                      QString::fromLatin1(h.digest.toHex()) + QLatin1Char(' ');
        lines << QStringLiteral("%1|%2|%3|%4|%5|%6")
                     .arg(q.text(1), folder ? q.text(2) : q.text(2) + QLatin1Char('/') + q.text(3),
                          folder ? QStringLiteral("D") : QString::number(q.integer(5)),
                          q.isNull(6) ? QStringLiteral("-") : QString::number(q.integer(6)),
                          q.text(7), hashes.trimmed());
    }
    lines.sort();
    return lines;
}

} // namespace

class TestForeignFormats : public QObject {
    Q_OBJECT

private slots:
    void formatsAreAdopted_data();
    void formatsAreAdopted();
    void damagedFilesAreRefused_data();
    void damagedFilesAreRefused();
    void realHashdeepListingIsAdopted();
    void adoptedListingsVerifyAgainstTheirTree_data();
    void adoptedListingsVerifyAgainstTheirTree();
    void cliNamesTheFormatAndWhatWasDropped();
};

void TestForeignFormats::formatsAreAdopted_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("from"); // empty: by content
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("dropped"); // parts of the summary's lines

    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE HyperCDCatalogFile>
<catalog name="我的" owner="x" time="2020-01-02 03:04:05">
 <media name="光盘 &quot;一&quot;" number="1" owner="" type="CD" time="2020-01-02 03:04:05">
  <comment>盘的注释</comment>
  <directory name="文件夹, &quot;引号&quot;" time="2019-05-06 07:08:09">
   <file name="歌.mp3" size="1.50" type="Kb" time="2019-05-06 07:08:10">
    <comment>好歌</comment>
    <mp3tag artist="a" title="t" album="b" year="2000"/>
   </file>
   <directory name="空" time="2019-05-06 07:08:09"></directory>
  </directory>
  <file name="a|b.txt" size="12" type="byte" time="2019/05/06 07:08"/>
 </media>
</catalog>
)";
    QTest::newRow("cdcat") << gzip(xml) << QString()
                           << QStringList{
                                  "光盘 \"一\"||盘的注释|",
                                  "光盘 \"一\"|/a|b.txt|12|" + local(2019, 5, 6, 7, 8) + "||",
                                  "光盘 \"一\"|/文件夹, \"引号\"/歌.mp3|1536|" +
                                      local(2019, 5, 6, 7, 8, 10) + "|好歌|",
                                  "光盘 \"一\"|/文件夹, \"引号\"/空|D|" +
                                      local(2019, 5, 6, 7, 8, 9) + "||",
                                  "光盘 \"一\"|/文件夹, \"引号\"|D|" + local(2019, 5, 6, 7, 8, 9) +
                                      "||",
                              }
                           << QStringList{"<mp3tag>", "0.01 of a larger unit"};

    // A header, quotes around separators and doubled quotes, a folder's own row (empty), a
    // day over 12 that settles the order of the other slashed date.
    QTest::newRow("vvv comma")
        << QByteArray("Volume,Path,File Name,Size,Extension,Last modified,Description\r\n"
                      "\"盘1\",/文件夹,\"名,字 \"\"引\"\".txt\",100,,25/12/2019 10:00,"
                      "\"说明, 有逗号\"\r\n"
                      "盘1,/文件夹/空,,,,,\r\n"
                      "盘1,/,歌,200,mp3,03/04/2020 11:12:13,\r\n")
        << QString()
        << QStringList{"盘1|||",
                       "盘1|/文件夹/名,字 \"引\".txt|100|" + local(2019, 12, 25, 10) +
                           "|说明, 有逗号|",
                       "盘1|/文件夹/空|D|-||", "盘1|/文件夹|D|-||",
                       "盘1|/歌.mp3|200|" + local(2020, 4, 3, 11, 12, 13) + "||"}
        << QStringList{};
    // No header, tabs, a '|' in a name, and only a slashed date that could be either way:
    // reported, not guessed.
    QTest::newRow("vvv tab, undecided date")
        << QByteArray("盘2\t/子\ta|b\t5\ttxt\t03/04/2020\t\n"
                      "盘2\t/\t\"\"\"q\"\"\"\t7\t\t2020-01-02T03:04:05Z\t注\n")
        << QStringLiteral("vvv")
        << QStringList{"盘2|||", "盘2|/\"q\"|7|1577934245|注|", "盘2|/子/a|b.txt|5|-||",
                       "盘2|/子|D|-||"}
        << QStringList{"1 × dates that could be day/month or month/day (e.g. 03/04/2020)"};
    QTest::newRow("vvv pipe") << QByteArray("卷|路径|名称|大小|扩展名|日期|描述\n"
                                            "盘3|/子 目录|x,y|7|txt|02.01.2020 03:04|\"带|竖线\"\n")
                              << QString()
                              << QStringList{"盘3|||",
                                             "盘3|/子 目录/x,y.txt|7|" + local(2020, 1, 2, 3, 4) +
                                                 "|带|竖线|",
                                             "盘3|/子 目录|D|-||"}
                              << QStringList{};

    QTest::newRow("katalog") << QByteArray("<catalogSourcePath>/media/光盘\n"
                                           "<catalogFileCount>3\n"
                                           "<catalogTotalFileSize>30\n"
                                           "<catalogIncludeHidden>false\n"
                                           "<catalogStorage>柜子\n"
                                           "/media/光盘/目录/\"引号\",逗号.txt\t10\t2020/01/02 "
                                           "03:04:05\n"
                                           "/media/光盘/根.txt\t20\t2020-01-02 03:04\n"
                                           "/media/光盘/坏.txt\t0\tyesterday\n")
                             << QString()
                             << QStringList{"光盘||Storage: 柜子|/media/光盘", "光盘|/坏.txt|0|-||",
                                            "光盘|/根.txt|20|" + local(2020, 1, 2, 3, 4) + "||",
                                            "光盘|/目录/\"引号\",逗号.txt|10|" +
                                                local(2020, 1, 2, 3, 4, 5) + "||",
                                            "光盘|/目录|D|-||"}
                             << QStringList{"dates in a form not read (e.g. yesterday)"};

    QTest::newRow("catcli")
        // The root's type at the end, far from the start, as the program writes it.
        << QByteArray(R"({"children":[
 {"type":"storage","name":"存储 \"A\"","ts":1704923096,"attr":"备注","free":0,"total":0,
  "children":[
   {"type":"dir","name":"目录","maccess":1666206037.5,"children":[
     {"type":"file","name":"a,b.txt","size":17,"maccess":1666206037.07,
      "md5":"0c6407a84d412c514007313fb3bca4de"}]},
   {"type":"dir","name":"空","maccess":1666206000,"children":[]},
   {"type":"file","name":"x.zip","size":5,"maccess":1,
    "children":[{"type":"arc","name":"inner.txt","size":1}]}]},
 {"type":"meta","name":"meta","size":null,"attr":{"created":1704923096}}],)") +
               QByteArray(70000, ' ') + R"("name":"top","size":null,"type":"top"})"
        << QString()
        << QStringList{"存储 \"A\"||备注|", "存储 \"A\"|/x.zip|5|1||",
                       "存储 "
                       "\"A\"|/目录/a,b.txt|17|1666206037||MD5=0c6407a84d412c514007313fb3bca4de",
                       "存储 \"A\"|/目录|D|1666206037||", "存储 \"A\"|/空|D|1666206000||"}
        << QStringList{"1 × archive members (e.g. inner.txt)"};

    // Escaped names (a backslash before the hash), a binary mark, a space in a name.
    QTest::newRow("md5sum")
        << QByteArray("\\0c6407a84d412c514007313fb3bca4de  ./目录/new\\nline\\\\x.txt\n"
                      "d41d8cd98f00b204e9800998ecf8427e *./目录/空 文件.txt\n")
        << QString()
        << QStringList{"目录|||目录",
                       "目录|/new\nline\\x.txt|0|-||MD5=0c6407a84d412c514007313fb3bca4de",
                       "目录|/空 文件.txt|0|-||MD5=d41d8cd98f00b204e9800998ecf8427e"}
        << QStringList{"2 × file sizes the listing does not give"};
    QTest::newRow("sha256sum, tagged")
        << QByteArray("SHA256 (/srv/盘/a (1).txt) = "
                      "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n")
        << QString()
        << QStringList{"盘|||/srv/盘", "盘|/a (1).txt|0|-||SHA-256=e3b0c44298fc1c149afbf4c8996fb9"
                                       "2427ae41e4649b934ca495991b7852b855"}
        << QStringList{"1 × file sizes the listing does not give (stored as 0) (e.g. a (1).txt)"};
    QTest::newRow("hashdeep, by hand")
        << QByteArray("%%%% HASHDEEP-1.0\n%%%% size,sha1,tiger,filename\n## Invoked from: /home/u\n"
                      "## $ hashdeep -r d\n##\n"
                      "3,a9993e364706816aba3e25717850c26c9cd0d89d,"
                      "2aab1484e8c158f2bfb8c5ff41b57a525129131c957b5f93,d/子/a,\"b\".txt\n")
        << QString()
        << QStringList{"子|||/home/u/d/子",
                       "子|/a,\"b\".txt|3|-||SHA-1=a9993e364706816aba3e25717850c26c9cd0d89d"}
        << QStringList{"hashes of algorithms not kept (tiger)"};
}

void TestForeignFormats::formatsAreAdopted() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, from);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, dropped);
    TestDir dir;
    const QString source = dir.path("source.dat");
    write(source, bytes);
    const QString target = dir.path("target.vlr");
    testcat::create(target);
    Database db;
    db.open(target);
    const qint64 category = testcat::addCategory(db, QStringLiteral("收藏"));
    MergeOptions options;
    options.source = source;
    options.format = from;
    options.categoryId = category;
    const MergeReport report = mergeCatalog(db, options);
    QVERIFY2(report.status == MergeStatus::Done, qPrintable(report.error));
    db.close();
    expected.sort();
    QCOMPARE(dump(target), expected);
    QCOMPARE(report.folders + report.files, report.entries);
    QCOMPARE(report.categories, 0); // all under the chosen category
    const QString summary = report.dropped.join(QLatin1Char('\n'));
    for (const QString& part : dropped)
        QVERIFY2(summary.contains(part), qPrintable(summary));
    if (dropped.isEmpty())
        QVERIFY2(summary.isEmpty(), qPrintable(summary));
}

void TestForeignFormats::damagedFilesAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason"); // part of the error
    QTest::addColumn<QString>("from");   // empty: by content

    const QByteArray xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE HyperCDCatalogFile>\n"
                           "<catalog name=\"c\"><media name=\"m\"><file name=\"a\" size=\"1\" "
                           "type=\"byte\"/><directory name=\"d\">";
    const QByteArray whole = gzip(xml + "</directory></media></catalog>");
    QTest::newRow("cdcat, cut short") << whole.left(whole.size() - 12) << "a.hcf"
                                      << "damaged" << QString();
    QByteArray badSum = whole;
    badSum[badSum.size() - 8] = char(badSum[badSum.size() - 8] ^ 1); // the stored CRC-32
    QTest::newRow("cdcat, checksum wrong") << badSum << "a.hcf"
                                           << "damaged" << QString();
    QTest::newRow("cdcat, unclosed") << gzip(xml) << "a.hcf"
                                     << "damaged" << QString();
    QTest::newRow("cdcat, a name that escapes")
        << gzip("<?xml version=\"1.0\"?><catalog><media name=\"m\"><directory name=\"..\">"
                "<file name=\"x\" size=\"1\"/></directory></media></catalog>")
        << "a.hcf"
        << "does not pass the check" << QString();
    QTest::newRow("catcli, cut short")
        << QByteArray(R"({"children":[{"type":"storage","name":"s",)") << "c.json"
        << "damaged" << QStringLiteral("catcli");
    QTest::newRow("catcli, a slash in a name")
        << QByteArray(R"({"type":"top","children":[{"type":"storage","name":"s","children":[)"
                      R"({"type":"file","name":"a/b","size":1}]}]})")
        << "c.json"
        << "does not pass the check" << QString();
    QTest::newRow("vvv, unclosed quote") << QByteArray("v,/,\"a,1,txt,2020-01-01,\n") << "v.csv"
                                         << "not closed" << QString();
    QTest::newRow("a CSV export of Vorlane, named as vvv")
        << QByteArray("disc,category,path,name,size,modified,kind,note\r\nd,c,/a,a,1,,file,\r\n")
        << "vvv.csv"
        << "merge its JSON export instead" << QStringLiteral("vvv");
    QTest::newRow("gwhere") << gzip("GWhere:0.2.3:cat\n") << "g.ctg"
                            << "GWhere" << QString();
    QTest::newRow("gwhere, damaged") << QByteArray("\x1f\x8b\x08\x00junk", 8) << "g.ctg"
                                     << "damaged" << QString();
}

void TestForeignFormats::damagedFilesAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QFETCH(QString, from);
    TestDir dir;
    const QString source = dir.path(name);
    write(source, bytes);
    const QString target = dir.path("target.vlr");
    testcat::create(target);
    {
        Database db;
        db.open(target);
        testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("mine")), "old");
    }
    const QByteArray before = readFile(target);
    QStringList args{"merge", target, source};
    if (!from.isEmpty())
        args << "--from" << from;
    const CliResult r = runCli(args);
    QVERIFY2(r.code != 0, qPrintable(r.out));
    QVERIFY2(r.err.contains(reason), qPrintable(r.err));
    QVERIFY2(r.err.contains(QLatin1String("nothing was changed")), qPrintable(r.err));
    QCOMPARE(readFile(target), before);
}

void TestForeignFormats::realHashdeepListingIsAdopted() {
    if (QStandardPaths::findExecutable(QStringLiteral("hashdeep")).isEmpty())
        QFAIL("hashdeep is not installed: scripts/install-deps.sh installs it");
    TestDir dir;
    const QString root = dir.createDir("盘");
    const QMap<QString, QByteArray> files{
        {"a.txt", "abc"}, {"子 目录/b,\"c\".txt", "x"}, {"子 目录/深/空.bin", ""}};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QDir().mkpath(QFileInfo(root + '/' + it.key()).absolutePath());
        write(root + '/' + it.key(), it.value());
    }
    QProcess hd;
    hd.setWorkingDirectory(dir.path());
    hd.start(QStringLiteral("hashdeep"), {"-c", "md5,sha1,sha256", "-r", root});
    QVERIFY(hd.waitForFinished());
    const QString listing = dir.path("listing.txt");
    write(listing, hd.readAllStandardOutput());

    const QString target = dir.path("target.vlr");
    testcat::create(target);
    const CliResult r = runCli({"merge", target, listing});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("read as hashdeep: 2 folders, 3 files, 9 hashes"), qPrintable(r.out));

    QStringList expected{"盘|||" + root, "盘|/子 目录|D|-||", "盘|/子 目录/深|D|-||"};
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QString hashes;
        for (const auto a :
             {QCryptographicHash::Md5, QCryptographicHash::Sha1, QCryptographicHash::Sha256})
            hashes += QStringLiteral("%1=%2 ").arg(
                a == QCryptographicHash::Md5    ? "MD5"
                : a == QCryptographicHash::Sha1 ? "SHA-1"
                                                : "SHA-256",
                QString::fromLatin1(QCryptographicHash::hash(it.value(), a).toHex()));
        expected << QStringLiteral("盘|/%1|%2|-||%3")
                        .arg(it.key())
                        .arg(it.value().size())
                        .arg(hashes.trimmed());
    }
    expected.sort();
    QCOMPARE(dump(target), expected);
}

void TestForeignFormats::adoptedListingsVerifyAgainstTheirTree_data() {
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("algorithm"); // what verify says it compared by
    QTest::newRow("hashdeep") << "hashdeep" << QStringList{"-c", "md5,sha256", "-r"} << "SHA-256";
    // The sum listings give no sizes: the hash alone must decide.
    QTest::newRow("md5sum") << "md5sum" << QStringList{} << "MD5";
    QTest::newRow("sha1sum") << "sha1sum" << QStringList{} << "SHA-1";
}

void TestForeignFormats::adoptedListingsVerifyAgainstTheirTree() {
    QFETCH(QString, tool);
    QFETCH(QStringList, args);
    QFETCH(QString, algorithm);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        QFAIL("the tool is not installed: scripts/install-deps.sh installs it");
    TestDir dir;
    const QString root = dir.createDir("盘");
    QDir().mkpath(root + "/子 目录");
    write(root + "/a.txt", "abc");
    write(root + "/子 目录/b.txt", "hello");
    write(root + "/子 目录/空", "");
    QProcess p;
    if (tool == "hashdeep")
        p.start(tool, args << root);
    else
        p.start(tool, {root + "/a.txt", root + "/子 目录/b.txt", root + "/子 目录/空"});
    QVERIFY(p.waitForFinished());
    const QString listing = dir.path("listing.txt");
    write(listing, p.readAllStandardOutput());

    const QString target = dir.path("target.vlr");
    testcat::create(target);
    QCOMPARE(runCli({"merge", target, listing}).code, 0);
    const QRegularExpressionMatch disc =
        QRegularExpression(R"(\[D(\d+)\])").match(runCli({"tree", target}).out);
    QVERIFY(disc.hasMatch());

    const CliResult clean = runCli({"verify", target, disc.captured(1)});
    QVERIFY2(clean.code == 0, qPrintable(clean.out + clean.err));
    QVERIFY2(clean.out.contains("by checksum (" + algorithm + ")"), qPrintable(clean.out));
    QVERIFY2(clean.out.contains("all files match"), qPrintable(clean.out));

    // Same size, other content: only the brought-in hash can see it.
    write(root + "/子 目录/b.txt", "HELLO");
    const CliResult edited = runCli({"verify", target, disc.captured(1)});
    QCOMPARE(edited.code, 1);
    QVERIFY2(edited.out.contains("b.txt") && !edited.out.contains("a.txt"), qPrintable(edited.out));
}

void TestForeignFormats::cliNamesTheFormatAndWhatWasDropped() {
    TestDir dir;
    const QString target = dir.path("target.vlr");
    testcat::create(target);
    const QString source = dir.path("list.txt");
    write(source, "盘\t/\ta\t1\t\t03/04/2020\t\n");
    const CliResult bad = runCli({"merge", target, source, "--from", "nosuch"});
    QCOMPARE(bad.code, 2);
    QVERIFY2(bad.err.contains("--from takes vorlane, cdcat, vvv"), qPrintable(bad.err));
    const CliResult r = runCli({"merge", target, source, "--from", "VVV"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains("read as vvv: 0 folders, 1 files, 0 hashes\n"), qPrintable(r.out));
    QVERIFY2(r.out.contains("not carried over: 1 × dates that could be day/month or month/day "
                            "(e.g. 03/04/2020)"),
             qPrintable(r.out));
}

QTEST_GUILESS_MAIN(TestForeignFormats)
#include "tst_foreignformats.moc"
