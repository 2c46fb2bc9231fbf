// Files kept more than once across discs: which files group together, in which order, and
// what the command line prints of them.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/store/database.h"
#include "core/store/duplicatestore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace vorlane;

namespace {

const QByteArray H1 = QByteArray::fromHex("0123456789abcdef0123456789abcdef");
const QByteArray H2 = QByteArray::fromHex("fedcba9876543210fedcba9876543210");

struct Planted {
    QHash<QString, qint64> ids; // "disc:/path" → AutoId
};

// Three discs whose files are alike in every way that matters to the grouping.
Planted plant(const QString& file) {
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 cat = testcat::addCategory(db, QStringLiteral("cat"));
    Planted p;
    auto file_ = [&](qint64 disc, const QString& discName, qint64 father, const QString& folder,
                     const QString& name, qint64 size, const QByteArray& hash = {}) {
        const qint64 id = testcat::addEntry(db, disc, father, name, false, size);
        if (!hash.isEmpty())
            db.exec(QStringLiteral("update qCDFiles set FHash=? where AutoId=?"), {hash, id});
        p.ids.insert(discName + QLatin1Char(':') + folder + QLatin1Char('/') + name, id);
        return id;
    };
    const qint64 a = testcat::addDisc(db, cat, QStringLiteral("A"));
    const qint64 b = testcat::addDisc(db, cat, QStringLiteral("B"));
    const qint64 c = testcat::addDisc(db, cat, QStringLiteral("C"));
    const qint64 d = testcat::addDisc(db, cat, QStringLiteral("D"));
    const qint64 photos = testcat::addEntry(db, a, 0, QStringLiteral("photos"), true);
    const qint64 backup = testcat::addEntry(db, b, 0, QStringLiteral("backup"), true);
    const qint64 old = testcat::addEntry(db, c, 0, QStringLiteral("old"), true);
    const qint64 copy = testcat::addEntry(db, d, 0, QStringLiteral("copy"), true);
    const qint64 deep = testcat::addEntry(db, d, copy, QStringLiteral("deep"), true);

    // The same content under two names, and an unhashed file of the same size and name as
    // one of them: all three are one group.
    file_(a, QStringLiteral("A"), photos, QStringLiteral("/photos"), QStringLiteral("x.jpg"), 5000,
          H1);
    file_(b, QStringLiteral("B"), backup, QStringLiteral("/backup"), QStringLiteral("r.jpg"), 5000,
          H1);
    file_(c, QStringLiteral("C"), old, QStringLiteral("/old"), QStringLiteral("r.jpg"), 5000);
    // Same size and name as A's x.jpg but other content: alone. So the unhashed x.jpg files
    // below cannot tell which hash they have and group by name among themselves only.
    file_(c, QStringLiteral("C"), 0, QString(), QStringLiteral("x.jpg"), 5000, H2);
    file_(d, QStringLiteral("D"), 0, QString(), QStringLiteral("x.jpg"), 5000);
    file_(d, QStringLiteral("D"), deep, QStringLiteral("/copy/deep"), QStringLiteral("x.jpg"),
          5000);
    // Size and name alike, no hashes.
    file_(b, QStringLiteral("B"), 0, QString(), QStringLiteral("readme.txt"), 300);
    file_(a, QStringLiteral("A"), 0, QString(), QStringLiteral("readme.txt"), 300);
    // Near misses: same name other size, same size other name, a folder and a link.
    file_(c, QStringLiteral("C"), 0, QString(), QStringLiteral("readme.txt"), 301);
    file_(c, QStringLiteral("C"), old, QStringLiteral("/old"), QStringLiteral("notes.txt"), 300);
    db.exec(QStringLiteral("update qCDFiles set FSize=300 where AutoId=?"),
            {testcat::addEntry(db, d, 0, QStringLiteral("readme.txt"), true)});
    const qint64 link = testcat::addEntry(db, d, copy, QStringLiteral("readme.txt"), false, 300);
    db.exec(QStringLiteral("update qCDFiles set Link='../readme.txt' where AutoId=?"), {link});
    // Empty files waste nothing and are left out unless asked for.
    file_(a, QStringLiteral("A"), 0, QString(), QStringLiteral("empty.log"), 0);
    file_(b, QStringLiteral("B"), 0, QString(), QStringLiteral("empty.log"), 0);
    return p;
}

// One line per group: "size wasted hash|- disc:path, disc:path…".
QStringList describe(const std::vector<duplicatestore::Group>& groups) {
    QStringList out;
    for (const duplicatestore::Group& g : groups) {
        QStringList members;
        for (const duplicatestore::Member& m : g.members)
            members << m.discName + QLatin1Char(':') + m.path;
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(g.size)
                   .arg(g.wasted())
                   .arg(g.hash.isEmpty() ? QStringLiteral("-")
                                         : QString::fromLatin1(g.hash.toHex()))
                   .arg(members.join(QStringLiteral(", ")));
    }
    return out;
}

const QString G1 = QStringLiteral("5000 10000 ") + QString::fromLatin1(H1.toHex()) +
                   QStringLiteral(" A:/photos/x.jpg, B:/backup/r.jpg, C:/old/r.jpg");
const QString G2 = QStringLiteral("5000 5000 - D:/copy/deep/x.jpg, D:/x.jpg");
const QString G3 = QStringLiteral("300 300 - A:/readme.txt, B:/readme.txt");
const QString G4 = QStringLiteral("0 0 - A:/empty.log, B:/empty.log");

} // namespace

class TestDuplicates : public QObject {
    Q_OBJECT

private slots:
    void groups_data();
    void groups();
    void commandLineJson();
};

void TestDuplicates::groups_data() {
    QTest::addColumn<qint64>("minSize");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("stages"); // each stage's last report: done/total
    QTest::newRow("empty files left out")
        << qint64(1) << QStringList{G1, G2, G3}
        << QStringList{"sizes 10/10", "candidates 10/10", "groups 3/3"};
    QTest::newRow("empty files asked for")
        << qint64(0) << QStringList{G1, G2, G3, G4}
        << QStringList{"sizes 12/12", "candidates 12/12", "groups 4/4"};
    QTest::newRow("small files left out")
        << qint64(301) << QStringList{G1, G2}
        << QStringList{"sizes 7/7", "candidates 7/7", "groups 2/2"};
}

void TestDuplicates::groups() {
    QFETCH(qint64, minSize);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, stages);
    TestDir dir;
    const QString file = dir.path(QStringLiteral("dups.vlr"));
    plant(file);
    Database db;
    db.open(file, Database::Mode::ReadOnly);
    // The stages in order, each ending where its count is complete.
    QStringList reported;
    const auto progress = [&](const duplicatestore::Progress& p) {
        static const char* const names[] = {"sizes", "candidates", "groups"};
        const QString name = QLatin1String(names[int(p.stage)]);
        const QString line = name + QStringLiteral(" %1/%2").arg(p.done).arg(p.total);
        if (!reported.isEmpty() && reported.last().startsWith(name + QLatin1Char(' ')))
            reported.last() = line;
        else
            reported << line;
    };
    QCOMPARE(describe(duplicatestore::findDuplicates(db, minSize, nullptr, progress)), expected);
    QCOMPARE(reported, stages);
}

void TestDuplicates::commandLineJson() {
    TestDir dir;
    const QString file = dir.path(QStringLiteral("dups.vlr"));
    const Planted p = plant(file);
    const CliResult r =
        runCli({QStringLiteral("dups"), file, QStringLiteral("--min-size"), QStringLiteral("1K"),
                QStringLiteral("--format"), QStringLiteral("json")});
    QCOMPARE(r.code, 0);
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
    QStringList got;
    for (const QJsonValue& v : rows) {
        const QJsonObject o = v.toObject();
        const QString key = o[QStringLiteral("disc")].toString() + QLatin1Char(':') +
                            o[QStringLiteral("path")].toString();
        QCOMPARE(o[QStringLiteral("file_id")].toInteger(), p.ids.value(key));
        got << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(o[QStringLiteral("group")].toInt())
                   .arg(o[QStringLiteral("count")].toInt())
                   .arg(o[QStringLiteral("wasted")].toInteger())
                   .arg(o[QStringLiteral("hash")].isNull() ? QStringLiteral("-")
                                                           : o[QStringLiteral("hash")].toString())
                   .arg(key);
    }
    const QString h1 = QString::fromLatin1(H1.toHex());
    QCOMPARE(got,
             (QStringList{QStringLiteral("1 3 10000 ") + h1 + QStringLiteral(" A:/photos/x.jpg"),
                          QStringLiteral("1 3 10000 ") + h1 + QStringLiteral(" B:/backup/r.jpg"),
                          QStringLiteral("1 3 10000 ") + h1 + QStringLiteral(" C:/old/r.jpg"),
                          QStringLiteral("2 2 5000 - D:/copy/deep/x.jpg"),
                          QStringLiteral("2 2 5000 - D:/x.jpg")}));
}

QTEST_GUILESS_MAIN(TestDuplicates)
#include "tst_duplicates.moc"
