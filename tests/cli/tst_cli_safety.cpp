// What keeps a collection safe: verify by hashes brought in from other programs, decay told
// from an edit, duplicates paired by those hashes, and the files held on one disc only.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/import/verifyjob.h"
#include "core/store/copiesstore.h"
#include "core/store/database.h"
#include "core/store/duplicatestore.h"
#include "core/store/foreignhash.h"
#include "gui/import/verifydialog.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTreeWidget>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>

using namespace vorlane;

namespace {

void setTime(const QString& path, qint64 t) {
    const timespec times[2] = {{t, 0}, {t, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

qint64 entryId(Database& db, qint64 disc, const QString& name) {
    return db
        .scalar(QStringLiteral("select AutoId from qCDFiles where CdID=? and TreeName=?"),
                {disc, name})
        .toLongLong();
}

// The problem lines a verify printed, before its summary.
QStringList problemLines(const CliResult& r) {
    QStringList lines;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("checked ")))
            break;
        lines << line;
    }
    lines.sort();
    return lines;
}

// A planted file with our hash (`ours`) and hashes brought in, by algorithm.
struct PlantedFile {
    const char* disc;
    const char* path; // below the disc, "/dir/name"
    qint64 size;
    QByteArray ours;
    QList<ForeignHash> foreign;
};

QByteArray digest(char fill, int length) {
    return QByteArray(length, fill);
}

// Discs named as the files say, under one category; folders made as the paths ask.
void plant(const QString& file, const QList<PlantedFile>& files) {
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 cat = testcat::addCategory(db, QStringLiteral("cat"));
    QHash<QString, qint64> discs, folders;
    for (const PlantedFile& f : files) {
        const QString discName = QLatin1String(f.disc);
        if (!discs.contains(discName))
            discs.insert(discName, testcat::addDisc(db, cat, discName));
        const qint64 disc = discs.value(discName);
        QStringList parts = QString::fromUtf8(f.path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        const QString name = parts.takeLast();
        qint64 father = 0;
        QString at = discName;
        for (const QString& part : parts) {
            at += QLatin1Char('/') + part;
            if (!folders.contains(at))
                folders.insert(at, testcat::addEntry(db, disc, father, part, true));
            father = folders.value(at);
        }
        const qint64 id = testcat::addEntry(db, disc, father, name, false, f.size);
        if (!f.ours.isEmpty())
            db.exec(QStringLiteral("update qCDFiles set FHash=? where AutoId=?"), {f.ours, id});
        for (const ForeignHash& h : f.foreign)
            foreignhash::store(db, id, h);
    }
}

} // namespace

class TestCliSafety : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testcat::isolateSettings(); }
    void verifyByForeignHashesTellsDecayFromAnEdit();
    void dupsPairFilesByHashesOfOneAlgorithm();
    void copiesListFilesOnFewDiscs_data();
    void copiesListFilesOnFewDiscs();
    void treeLongCountsWhatIsOnOneDiscOnly();
};

// A catalog adopted from hash listings (no checksums of ours) read back against the real
// tree: an intact file, an edited one and one whose byte flipped with its time put back by
// `touch -r`, as decay leaves it.
void TestCliSafety::verifyByForeignHashesTellsDecayFromAnEdit() {
    TestDir tree, work;
    QByteArray content(100000, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 13 + i / 97);
    tree.writeFile(QStringLiteral("keep.txt"), "kept as it was");
    tree.writeFile(QStringLiteral("photos/edit.jpg"), content);
    tree.writeFile(QStringLiteral("photos/rot.jpg"), content + "tail");
    tree.writeFile(QStringLiteral("plain.txt"), "no hash");
    for (const char* rel : {"keep.txt", "photos/edit.jpg", "photos/rot.jpg", "plain.txt"})
        setTime(tree.path(QLatin1String(rel)), 1000000000);

    const QString cat = work.path(QStringLiteral("c.vlr"));
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "c"}).code, 0);
    QCOMPARE(runCli({"import", cat, tree.path(), "--category", "1"}).code, 0);
    {
        Database db;
        db.open(cat);
        const auto digest = [&](const char* rel, QCryptographicHash::Algorithm a) {
            QFile f(tree.path(QLatin1String(rel)));
            if (!f.open(QIODevice::ReadOnly))
                return QByteArray();
            return QCryptographicHash::hash(f.readAll(), a);
        };
        foreignhash::store(db, entryId(db, 1, QStringLiteral("keep.txt")),
                           {HashAlgorithm::Md5, digest("keep.txt", QCryptographicHash::Md5)});
        // Where a file has several, the strongest is compared.
        foreignhash::store(db, entryId(db, 1, QStringLiteral("edit.jpg")),
                           {HashAlgorithm::Md5, QByteArray(16, 'x')});
        foreignhash::store(
            db, entryId(db, 1, QStringLiteral("edit.jpg")),
            {HashAlgorithm::Sha256, digest("photos/edit.jpg", QCryptographicHash::Sha256)});
        foreignhash::store(
            db, entryId(db, 1, QStringLiteral("rot.jpg")),
            {HashAlgorithm::Sha256, digest("photos/rot.jpg", QCryptographicHash::Sha256)});
    }
    const QString root = tree.path();
    const CliResult clean = runCli({"verify", cat, "1"});
    QCOMPARE(clean.code, 0);
    QCOMPARE(clean.out,
             QStringLiteral("checked 4 files in %1, %2 bytes read; 3 by checksum (MD5: 1, "
                            "SHA-256: 2), the rest by size and time\nall files match\n")
                 .arg(root)
                 .arg(14 + 2 * content.size() + 4 + 7));

    // The edit: other bytes of the same length, written now. The decay: one flipped bit,
    // the time put back from a copy of the file's old self.
    const QString stamp = work.path(QStringLiteral("stamp"));
    QVERIFY(QFile::copy(tree.path(QStringLiteral("photos/rot.jpg")), stamp));
    setTime(stamp, 1000000000);
    {
        QFile f(tree.path(QStringLiteral("photos/rot.jpg")));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.seek(54321));
        QCOMPARE(f.write(QByteArray(1, char(content[54321] ^ 0x04))), qint64(1));
    }
    QCOMPARE(QProcess::execute(QStringLiteral("touch"),
                               {QStringLiteral("-r"), stamp, tree.path("photos/rot.jpg")}),
             0);
    QByteArray edited = content;
    edited[0] = char(edited[0] ^ 0x01);
    tree.writeFile(QStringLiteral("photos/edit.jpg"), edited);
    setTime(tree.path(QStringLiteral("photos/edit.jpg")), 1000086400);

    const CliResult after = runCli({"verify", cat, "1"});
    QCOMPARE(after.code, 1);
    QCOMPARE(problemLines(after),
             (QStringList{QStringLiteral("changed: %1/photos/edit.jpg: 2001-09-09T01:46:40Z in the "
                                         "catalog, 2001-09-10T01:46:40Z on disc")
                              .arg(root),
                          QStringLiteral("corrupt: %1/photos/rot.jpg").arg(root)}));
    QVERIFY2(after.out.endsWith(
                 QStringLiteral("1 possibly corrupt (content changed, size and time kept), 1 "
                                "changed (content and time)\n2 files differ or could not be "
                                "read\n")),
             qPrintable(after.out));

    // The window says the same in its words.
    Database db;
    db.open(cat, Database::Mode::ReadOnly);
    const VerifyResult r = verifyDisc(db, VerifyParams{1, {}});
    VerifyDialog dialog(r, QStringLiteral("c"));
    QStringList faults;
    const auto* report = dialog.findChild<QTreeWidget*>(QStringLiteral("tvVerifyReport"));
    QVERIFY(report);
    for (int i = 0; i < report->topLevelItemCount(); ++i)
        faults << report->topLevelItem(i)->text(0) + QLatin1Char(' ') +
                      QFileInfo(report->topLevelItem(i)->text(1)).fileName();
    faults.sort();
    QCOMPARE(faults,
             (QStringList{QStringLiteral("可能损坏 rot.jpg"), QStringLiteral("已修改 edit.jpg")}));
    const QString summary = VerifyDialog::summaryText(r);
    QVERIFY2(summary.contains(QStringLiteral("3 个文件按校验和（MD5 1 个，SHA-256 2 个）校验，"
                                             "其余按大小和时间。")),
             qPrintable(summary));
    QVERIFY2(summary.contains(
                 QStringLiteral("可能损坏 1 个（内容变了，大小和时间未变），已修改 1 个。")),
             qPrintable(summary));
}

// Hashes brought in pair files of another name; hashes of one algorithm that differ keep
// files of one size and name apart; files with no algorithm in common fall back on their
// size and name.
void TestCliSafety::dupsPairFilesByHashesOfOneAlgorithm() {
    TestDir dir;
    const QString file = dir.path(QStringLiteral("d.vlr"));
    const QByteArray m1 = digest('1', 16), m2 = digest('2', 16), m3 = digest('3', 16);
    const QByteArray s1 = digest('s', 32), q1 = digest('q', 20);
    const QByteArray h1 = digest('h', 16), h2 = digest('H', 16);
    plant(file, {
                    {"A", "/a.iso", 1000, {}, {{HashAlgorithm::Md5, m1}}},
                    {"B", "/renamed.iso", 1000, {}, {{HashAlgorithm::Md5, m1}}},
                    {"C", "/a.iso", 1000, {}, {{HashAlgorithm::Sha256, s1}}},
                    {"A", "/x.bin", 2000, {}, {{HashAlgorithm::Md5, m2}}},
                    {"B", "/x.bin", 2000, {}, {{HashAlgorithm::Md5, m3}}},
                    {"A", "/y.bin", 3000, h1, {{HashAlgorithm::Sha1, q1}}},
                    {"B", "/y.bin", 3000, h2, {}},
                    {"C", "/sub/z.bin", 3000, {}, {{HashAlgorithm::Sha1, q1}}},
                });
    Database db;
    db.open(file, Database::Mode::ReadOnly);
    QStringList got;
    for (const duplicatestore::Group& g : duplicatestore::findDuplicates(db, 1)) {
        QStringList members;
        for (const duplicatestore::Member& m : g.members)
            members << m.discName + QLatin1Char(':') + m.path;
        got << QStringLiteral("%1 %2 %3 %4")
                   .arg(g.size)
                   .arg(g.algorithm, QString::fromLatin1(g.hash.toHex()),
                        members.join(QLatin1Char(' ')));
    }
    QCOMPARE(got, (QStringList{"3000 SHA-1 " + QString::fromLatin1(q1.toHex()) +
                                   " A:/y.bin C:/sub/z.bin",
                               "1000 MD5 " + QString::fromLatin1(m1.toHex()) +
                                   " A:/a.iso B:/renamed.iso C:/a.iso"}));
    const CliResult text = runCli({"dups", file});
    QCOMPARE(text.code, 0);
    QVERIFY2(text.out.contains("group 2: 3 files of 1000 bytes, 2000 bytes wasted, same content "
                               "MD5 " +
                               QString::fromLatin1(m1.toHex()) + "\n"),
             qPrintable(text.out));
}

void TestCliSafety::copiesListFilesOnFewDiscs_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected"); // "size discs disc:path"
    const QStringList one{"5000 1 A:/solo.iso", "400 1 A:/dup.txt",   "400 1 A:/twice/dup.txt",
                          "300 1 A:/notes.txt", "300 1 B:/notes.txt", "10 1 B:/small.txt",
                          "0 1 B:/empty.log"};
    QTest::newRow("one disc") << QStringList{} << one;
    QTest::newRow("two discs") << QStringList{"--max", "2"}
                               << QStringList{"9000 2 A:/big.mkv", "9000 2 B:/copy.mkv"} + one;
    QTest::newRow("large ones") << QStringList{"--min-size", "300"} << one.mid(0, 5);
}

// Two discs: a file kept on both (by hash, under another name), one kept twice on one disc
// (by name), files of one name whose hashes differ, and files on one disc alone.
void TestCliSafety::copiesListFilesOnFewDiscs() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    TestDir dir;
    const QString file = dir.path(QStringLiteral("c.vlr"));
    plant(file, {
                    {"A", "/big.mkv", 9000, digest('b', 16), {}},
                    {"B", "/copy.mkv", 9000, digest('b', 16), {}},
                    {"A", "/solo.iso", 5000, {}, {}},
                    {"A", "/twice/dup.txt", 400, {}, {}},
                    {"A", "/dup.txt", 400, {}, {}},
                    {"A", "/notes.txt", 300, {}, {{HashAlgorithm::Md5, digest('m', 16)}}},
                    {"B", "/notes.txt", 300, {}, {{HashAlgorithm::Md5, digest('n', 16)}}},
                    {"B", "/small.txt", 10, {}, {}},
                    {"B", "/empty.log", 0, {}, {}},
                });
    const CliResult r = runCli(QStringList{"copies", file, "--format", "json"} + args);
    QCOMPARE(r.code, 0);
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    QStringList got;
    qint64 bytes = 0;
    for (const QJsonValue& v : QJsonDocument::fromJson(r.out.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        got << QStringLiteral("%1 %2 %3:%4")
                   .arg(o["size"].toInteger())
                   .arg(o["discs"].toInt())
                   .arg(o["disc"].toString(), o["path"].toString());
        bytes += o["size"].toInteger();
    }
    QCOMPARE(got, expected);
    const CliResult text = runCli(QStringList{"copies", file} + args);
    QCOMPARE(text.code, 0);
    QVERIFY2(text.out.endsWith(QStringLiteral("%1 files, %2 bytes, held on at most %3\n")
                                   .arg(expected.size())
                                   .arg(bytes)
                                   .arg(args.contains("2") ? "2 discs" : "1 disc")),
             qPrintable(text.out));
    const CliResult bad = runCli({"copies", file, "--max", "0"});
    QCOMPARE(bad.code, 2);
    QVERIFY2(bad.err.contains("--max"), qPrintable(bad.err));
}

void TestCliSafety::treeLongCountsWhatIsOnOneDiscOnly() {
    TestDir dir;
    const QString file = dir.path(QStringLiteral("t.vlr"));
    plant(file, {
                    {"A", "/big.mkv", 9000, digest('b', 16), {}},
                    {"B", "/copy.mkv", 9000, digest('b', 16), {}},
                    {"A", "/solo.iso", 5000, {}, {}},
                    {"A", "/a/notes.txt", 300, {}, {{HashAlgorithm::Md5, digest('m', 16)}}},
                    {"B", "/notes.txt", 300, {}, {{HashAlgorithm::Md5, digest('m', 16)}}},
                    {"B", "/small.txt", 10, {}, {}},
                    {"C", "/small.txt", 10, {}, {}},
                });
    const CliResult r = runCli({"tree", file, "--long"});
    QCOMPARE(r.code, 0);
    QStringList sole;
    for (const QString& line : r.out.split(QLatin1Char('\n')))
        if (const qsizetype at = line.indexOf(QLatin1String("only here: ")); at >= 0)
            sole << line.mid(at);
    QCOMPARE(sole, (QStringList{"only here: 1 files, 5000 bytes", "only here: 0 files, 0 bytes",
                                "only here: 0 files, 0 bytes"}));
}

QTEST_MAIN(TestCliSafety)
#include "tst_cli_safety.moc"
