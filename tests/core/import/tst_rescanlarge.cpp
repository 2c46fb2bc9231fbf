// A rescan of a disc large enough that its stored rows and their names fill several of the
// blocks the comparison holds them in, with rows a damaged catalog may have: two rows for one
// path and a row whose parent is gone.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/import/rescan.h"
#include "core/import/scanjob.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace vorlane;

namespace {

constexpr int kFolders = 66;
constexpr int kFilesPerFolder = 1000; // 66,066 rows: more than one block of rows

QString folderName(int i) {
    return QStringLiteral("folder-%1").arg(i, 2, 10, QLatin1Char('0'));
}

// Long names: their text fills several blocks too.
QString fileName(int i) {
    return QStringLiteral("a-long-name-so-that-the-names-fill-several-blocks-%1.dat")
        .arg(i, 5, 10, QLatin1Char('0'));
}

void makeFile(const QString& path, int size) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::ftruncate(fd, size), 0);
    ::close(fd);
}

// Every row's AutoId by its path (the newer of two rows with one path gets a mark).
QMap<QString, qint64> idsByPath(Database& db, qint64 disc) {
    QMap<QString, qint64> out;
    Query q(db, QStringLiteral("select AutoId from qCDFiles where CdID=? order by AutoId"), {disc});
    while (q.next()) {
        const qint64 id = q.integer(0);
        const std::optional<QByteArray> path = contentstore::rawEntryPath(db, id);
        QString key = path ? QString::fromUtf8(*path) : QStringLiteral("?%1").arg(id);
        if (out.contains(key))
            key += QStringLiteral(" (again)");
        out.insert(key, id);
    }
    return out;
}

QStringList lines(const RescanReport& r) {
    QStringList out;
    for (const RescanChange& c : r.changes) {
        const char* sign = c.kind == RescanChange::Kind::Added     ? "+ "
                           : c.kind == RescanChange::Kind::Removed ? "- "
                                                                   : "~ ";
        out << QLatin1String(sign) + c.path;
    }
    return out;
}

} // namespace

class TestRescanLarge : public QObject {
    Q_OBJECT

private slots:
    void largeDamagedDiscKeepsEveryUnchangedRow();
};

void TestRescanLarge::largeDamagedDiscKeepsEveryUnchangedRow() {
    TestDir tree;
    for (int f = 0; f < kFolders; ++f) {
        const QString dir = tree.createDir(folderName(f));
        for (int i = 0; i < kFilesPerFolder; ++i)
            makeFile(dir + QLatin1Char('/') + fileName(i), i % 7);
    }
    QVERIFY(tree.symlink(folderName(0), QStringLiteral("link")));

    TestDir home;
    const QString file = home.path(QStringLiteral("cat.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("c")),
                                         QStringLiteral("d"), 0, tree.path());
    ScanParams params;
    params.root = tree.path();
    params.discId = disc;
    QVERIFY(scanDisc(db, params).error.isEmpty());

    // A second, newer row for one file, and a row whose parent is not there.
    const QString first = QLatin1Char('/') + folderName(0) + QLatin1Char('/') + fileName(0);
    const QMap<QString, qint64> scanned = idsByPath(db, disc);
    testcat::addEntry(db, disc, scanned.value(QLatin1Char('/') + folderName(0)), fileName(0), false,
                      0);
    testcat::addEntry(db, disc, 987654321, QStringLiteral("orphan"), false, 1);
    const QMap<QString, qint64> before = idsByPath(db, disc);
    QCOMPARE(before.size(), kFolders * (kFilesPerFolder + 1) + 3);

    // One change of each kind, in the first folder and the last.
    const QString last = QLatin1Char('/') + folderName(kFolders - 1) + QLatin1Char('/') +
                         fileName(kFilesPerFolder - 1);
    const QString gone = QLatin1Char('/') + folderName(0) + QLatin1Char('/') + fileName(1);
    makeFile(tree.path() + last, 100);
    QVERIFY(QFile::remove(tree.path() + gone));
    QVERIFY(QFile::remove(tree.path(QStringLiteral("link"))));
    QVERIFY(tree.symlink(folderName(1), QStringLiteral("link")));
    makeFile(tree.path(folderName(35) + QStringLiteral("/new.dat")), 1);

    RescanPlan plan;
    const RescanReport report = compareRescan(db, disc, {}, {}, plan);
    QCOMPARE(report.failure, RescanReport::Failure::None);
    QCOMPARE(lines(report), (QStringList{
                                QStringLiteral("- ") + first,
                                QStringLiteral("- ") + gone,
                                QStringLiteral("+ /") + folderName(35) + QStringLiteral("/new.dat"),
                                QStringLiteral("~ ") + last,
                                QStringLiteral("~ /link"),
                                QStringLiteral("- /orphan"),
                            }));
    QCOMPARE(report.unchanged, kFolders * (kFilesPerFolder + 1) - 1 - 1);
    QVERIFY(applyRescan(db, plan, nullptr));

    // Every row still there keeps its AutoId; of the two rows for one path the older stays.
    QMap<QString, qint64> expected = before;
    expected.remove(first + QStringLiteral(" (again)"));
    expected.remove(gone);
    expected.remove(QStringLiteral("/orphan"));
    QMap<QString, qint64> after = idsByPath(db, disc);
    const QString added = QLatin1Char('/') + folderName(35) + QStringLiteral("/new.dat");
    QVERIFY(after.remove(added) == 1);
    QCOMPARE(after, expected);
    QCOMPARE(after.value(first), before.value(first));

    RescanPlan again;
    QVERIFY(!compareRescan(db, disc, {}, {}, again).hasChanges());
}

QTEST_GUILESS_MAIN(TestRescanLarge)
#include "tst_rescanlarge.moc"
