// What keeps a collection safe: verify by hashes brought in from other programs, decay told
// from an edit, duplicates paired by those hashes, and the files held on one disc only.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/import/verifyjob.h"
#include "core/store/database.h"
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

} // namespace

class TestCliSafety : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testcat::isolateSettings(); }
    void verifyByForeignHashesTellsDecayFromAnEdit();
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

QTEST_MAIN(TestCliSafety)
#include "tst_cli_safety.moc"
