// The index kept on disk against the table scan, as a new process finds it: after writes by
// this program, by another process and by tools that know nothing of the index; on a
// catalog that cannot be written; and from a damaged index file.
#include "common/catalogs.h"
#include "common/unprivileged.h"
#include "core/search/indexfile.h"
#include "core/store/database.h"
#include "core/store/schema.h"
#include "core/store/searchstore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vorlane;

namespace {

const QStringList Keywords = {QStringLiteral("ab"),  QStringLiteral("照片"),
                              QStringLiteral("new"), QStringLiteral("*.txt"),
                              QStringLiteral("Z"),   QStringLiteral("copy")};

using Hits = QStringList;

Hits hitsOf(const std::function<SearchSummary(const SearchCallbacks&)>& run) {
    Hits out;
    SearchCallbacks cb;
    cb.onHit = [&](const SearchHit& h) {
        out << QStringLiteral("%1 %2 %3 %4 [%5] [%6]")
                   .arg(h.number)
                   .arg(h.discId)
                   .arg(h.folderId)
                   .arg(h.fileId)
                   .arg(h.discName, h.name);
    };
    out << QString::number(run(cb).hits);
    return out;
}

// Every keyword through the index that keptIndex() gives a fresh connection, against the
// table scan; the index must be there (the catalog can tell its changes).
void agreesWithScan(const QString& file, Database::Mode mode = Database::Mode::ReadWrite,
                    bool expectIndex = true) {
    Database db;
    db.open(file, mode);
    const auto index = keptIndex(db);
    QCOMPARE(bool(index), expectIndex);
    for (const QString& keyword : Keywords) {
        for (const bool notes : {false, true}) {
            SearchOptions o;
            o.keyword = keyword;
            o.notes = notes;
            const Hits scan =
                hitsOf([&](const SearchCallbacks& cb) { return runSearch(db, o, cb); });
            const Hits viaIndex = hitsOf(
                [&](const SearchCallbacks& cb) { return runSearch(db, index.get(), o, cb); });
            QVERIFY2(viaIndex == scan, qPrintable(keyword));
        }
    }
}

void makeCatalog(const QString& file) {
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 cat = testcat::addCategory(db, QStringLiteral("类"));
    db.begin();
    for (int d = 0; d < 3; ++d) {
        const qint64 disc = testcat::addDisc(db, cat, QStringLiteral("Disc ab %1").arg(d), d);
        const qint64 folder = testcat::addEntry(db, disc, 0, QStringLiteral("照片 ab"), true);
        for (int i = 0; i < 50; ++i)
            testcat::addEntry(db, disc, i % 2 ? folder : 0,
                              QStringLiteral("file%1%2.txt").arg(i).arg(i % 3 ? "AB" : "z"), false,
                              i, {}, i % 7 ? QString() : QStringLiteral("note ab"));
    }
    db.commit();
}

void runSqlite3(const QString& file, const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("/usr/bin/sqlite3"), {file, sql});
    QVERIFY(p.waitForFinished(30000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
}

} // namespace

class TestKeptIndex : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void answersAsTheScanAfterEveryWriter_data();
    void answersAsTheScanAfterEveryWriter();
    void readOnlyCatalogWithStaleIndex_data();
    void readOnlyCatalogWithStaleIndex();
    void damagedIndexIsRejected_data();
    void damagedIndexIsRejected();

private:
    QTemporaryDir m_cache;
};

void TestKeptIndex::initTestCase() {
    // Index files of this run only (a child run as nobody has its own home for them).
    if (::geteuid() == 0)
        qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
}

void TestKeptIndex::answersAsTheScanAfterEveryWriter_data() {
    QTest::addColumn<QString>("writer");
    QTest::newRow("this program") << "own";
    QTest::newRow("another process") << "cli";
    QTest::newRow("sqlite3 command line") << "sqlite3";
    QTest::newRow("a copy changed elsewhere, moved over it") << "copy";
    QTest::newRow("triggers dropped, then a write") << "notrigger";
}

void TestKeptIndex::answersAsTheScanAfterEveryWriter() {
    QFETCH(QString, writer);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.vlr"));
    makeCatalog(file);
    agreesWithScan(file); // builds and keeps the index
    const QString kept = IndexFile::pathFor(file);
    QVERIFY(QFileInfo::exists(kept));
    agreesWithScan(file); // and finds it current

    if (writer == QLatin1String("own")) {
        Database db;
        db.open(file);
        db.exec(QStringLiteral("update qCDFiles set TreeName='new ab' where AutoId=3"));
        testcat::addEntry(db, 1, 0, QStringLiteral("new 照片"), false);
    } else if (writer == QLatin1String("cli")) {
        QTemporaryDir tree;
        QFile f(tree.filePath(QStringLiteral("new AB.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QProcess p;
        p.start(qEnvironmentVariable("VORLANE_BIN") + QStringLiteral("/vorlane-cli"),
                {QStringLiteral("import"), QStringLiteral("--category"), QStringLiteral("1"), file,
                 tree.path()});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    } else if (writer == QLatin1String("sqlite3")) {
        runSqlite3(file, QStringLiteral("update qCDFiles set TreeName='new ab' where AutoId=5;"
                                        "delete from qCDFiles where AutoId=9;"
                                        "update qCD set CDName='copy' where AutoId=2;"));
    } else if (writer == QLatin1String("copy")) {
        // Both files changed once, each differently: a count of changes would match.
        const QString copy = dir.filePath(QStringLiteral("copy.vlr"));
        QVERIFY(QFile::copy(file, copy));
        runSqlite3(file, QStringLiteral("update qCDFiles set TreeName='new' where AutoId=4"));
        agreesWithScan(file);
        runSqlite3(copy, QStringLiteral("update qCDFiles set TreeName='copy' where AutoId=4"));
        QVERIFY(::rename(QFile::encodeName(copy).constData(),
                         QFile::encodeName(file).constData()) == 0);
    } else {
        runSqlite3(file, QStringLiteral("drop trigger qChange_qCDFiles_update;"
                                        "update qCDFiles set TreeName='new' where AutoId=6;"));
        // The tag no longer tells the changes: the scan answers until the file is upgraded.
        agreesWithScan(file, Database::Mode::ReadWrite, false);
        Database db;
        db.open(file);
        QCOMPARE(upgradeCatalog(db), CatalogUpgrade::Upgraded);
    }
    agreesWithScan(file);
}

void TestKeptIndex::readOnlyCatalogWithStaleIndex_data() {
    QTest::addColumn<bool>("fileMode");
    QTest::newRow("file mode 0444") << true;
    QTest::newRow("opened read-only") << false;
}

void TestKeptIndex::readOnlyCatalogWithStaleIndex() {
    QFETCH(bool, fileMode);
    if (fileMode)
        VORLANE_RUN_UNPRIVILEGED();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.vlr"));
    makeCatalog(file);
    agreesWithScan(file);
    runSqlite3(file, QStringLiteral("update qCDFiles set TreeName='new ab' where AutoId=7"));
    if (fileMode)
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther));
    {
        Database db;
        db.open(file, fileMode ? Database::Mode::ReadWrite : Database::Mode::ReadOnly);
        QVERIFY(db.isReadOnly());
    }
    agreesWithScan(file, Database::Mode::ReadOnly);
    agreesWithScan(file, Database::Mode::ReadOnly);
}

void TestKeptIndex::damagedIndexIsRejected_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("truncated") << "truncate";
    QTest::newRow("a name byte changed") << "name";
    QTest::newRow("a name byte changed in place after the file passed its check") << "later";
    QTest::newRow("a header byte changed") << "header";
    QTest::newRow("another catalog's index") << "foreign";
    QTest::newRow("not an index at all") << "garbage";
    QTest::newRow("empty") << "empty";
}

void TestKeptIndex::damagedIndexIsRejected() {
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.vlr"));
    makeCatalog(file);
    agreesWithScan(file);
    const QString kept = IndexFile::pathFor(file);
    QFile f(kept);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    f.close();
    if (damage == QLatin1String("truncate")) {
        bytes.chop(9);
    } else if (damage == QLatin1String("name")) {
        const qsizetype at = bytes.indexOf("file12");
        QVERIFY(at > 0);
        bytes[at] = 'F';
    } else if (damage == QLatin1String("header")) {
        bytes[40] = char(bytes[40] ^ 1);
    } else if (damage == QLatin1String("foreign")) {
        const QString other = dir.filePath(QStringLiteral("other.vlr"));
        QVERIFY(QFile::copy(file, other));
        runSqlite3(other, QStringLiteral("update qCDFiles set TreeName='new' where AutoId=8"));
        agreesWithScan(other);
        QFile o(IndexFile::pathFor(other));
        QVERIFY(o.open(QIODevice::ReadOnly));
        bytes = o.readAll();
    } else if (damage == QLatin1String("later")) {
        // damaged below, in place
    } else if (damage == QLatin1String("garbage")) {
        bytes.fill('\x5a');
    } else {
        bytes.clear();
    }
    if (damage == QLatin1String("later")) {
        // Once a file has passed, its body is not hashed again while it looks the same; a
        // write of any kind moves its change time, so the check runs again. Recorded only
        // for a file changed more than a clock tick ago, hence the wait.
        QTest::qWait(2100);
        agreesWithScan(file);
        QVERIFY(QFileInfo::exists(kept + QStringLiteral(".ok")));
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qsizetype at = bytes.indexOf("file12");
        QVERIFY(at > 0 && f.seek(at));
        QCOMPARE(f.write("F", 1), 1);
        f.close();
    } else {
        QVERIFY(QFile::remove(kept));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
    }

    Database db;
    db.open(file);
    const auto tag = searchstore::changeTag(db);
    QVERIFY(tag);
    const auto damaged = IndexFile::load(file, *tag, searchstore::stamp(db));
    QVERIFY(!damaged || !damaged->intact());
    db.close();
    // Rebuilt, kept again, and right.
    agreesWithScan(file);
    Database again;
    again.open(file);
    const auto rebuilt = IndexFile::load(file, *tag, searchstore::stamp(again));
    QVERIFY(rebuilt && rebuilt->intact());
}

QTEST_GUILESS_MAIN(TestKeptIndex)
#include "tst_keptindex.moc"
