// Rescanning a disc after its folder changed in known ways: what is reported, what the
// catalog holds afterwards, and that nothing is written before the user agrees.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/import/filehash.h"
#include "core/import/rescan.h"
#include "core/import/scanfixture.h"
#include "core/import/scanjob.h"
#include "core/import/verifyjob.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QDateTime>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace vorlane;

namespace {

struct Stored {
    qint64 id = 0;
    qint64 father = 0;
    qint64 size = 0;
    std::optional<qint64> mtime;
    QString note;
    QByteArray hash;
    int archive = 0;
};

// Every row of the disc by its path below the root (from the raw names, as on disk).
QMap<QByteArray, Stored> storedByPath(Database& db, qint64 disc) {
    QMap<QByteArray, Stored> out;
    Query q(db,
            QStringLiteral("select AutoId, FatherId, FSize, FTime, TreeExp, FHash, Archive from "
                           "qCDFiles where CdID=? order by AutoId"),
            {disc});
    while (q.next()) {
        Stored s{q.integer(0),
                 q.integer(1),
                 q.integer(2),
                 std::nullopt,
                 q.textOr(4),
                 q.value(5).toByteArray(),
                 int(q.isNull(6) ? 0 : q.integer(6))};
        if (!q.isNull(3))
            s.mtime = q.integer(3);
        const QByteArray path = *contentstore::rawEntryPath(db, s.id);
        [&] { QVERIFY2(!out.contains(path), path.constData()); }();
        out.insert(path, s);
    }
    return out;
}

QStringList lines(const RescanReport& r) {
    QStringList out;
    for (const RescanChange& c : r.changes) {
        const char* sign = c.kind == RescanChange::Kind::Added     ? "+ "
                           : c.kind == RescanChange::Kind::Removed ? "- "
                                                                   : "~ ";
        out << QLatin1String(sign) + c.path +
                   (c.note.isEmpty() ? QString() : QStringLiteral(" [") + c.note + ']');
    }
    return out;
}

void setTime(const QString& file, qint64 secs) {
    const timespec times[2] = {{secs, 0}, {secs, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
}

void makeRaw(const QString& dir, const QByteArray& name, const QByteArray& content) {
    const QByteArray full = QFile::encodeName(dir) + '/' + name;
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
    ::close(fd);
}

// A zip of (path, content) members, all with one fixed time.
void writeZip(const QString& path, const QList<std::pair<const char*, QByteArray>>& members) {
    archive* a = archive_write_new();
    QCOMPARE(archive_write_set_format_zip(a), ARCHIVE_OK);
    QCOMPARE(archive_write_open_filename(a, QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const auto& [name, body] : members) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name);
        archive_entry_set_size(e, body.size());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_mtime(e, 1600000000, 0);
        QCOMPARE(archive_write_header(a, e), ARCHIVE_OK);
        QCOMPARE(archive_write_data(a, body.constData(), size_t(body.size())),
                 la_ssize_t(body.size()));
        archive_entry_free(e);
    }
    QCOMPARE(archive_write_close(a), ARCHIVE_OK);
    archive_write_free(a);
}

} // namespace

class TestRescan : public QObject {
    Q_OBJECT

private slots:
    void changedTreeIsReportedThenAppliedKeepingNotes();
    void dryRunLeavesTheFileUntouchedAndANewRootIsKept();
    void newAndChangedContentIsHashedAndListedAgain();
    void contentOptionsChangedAtARescanHoldForTheWholeDisc();
    void specialFileOfAnOlderCatalogBecomesItsKindOnce_data();
    void specialFileOfAnOlderCatalogBecomesItsKindOnce();
};

void TestRescan::changedTreeIsReportedThenAppliedKeepingNotes() {
    const QByteArray gbk("\xd5\xd5\xc6\xac.jpg"); // 照片.jpg in GBK: matched by its bytes
    // 光盘.iso in GBK, its row as older catalogs hold it: the decoded name only.
    const QByteArray oldGbk("\xb9\xe2\xc5\xcc.iso");
    TestDir tree;
    const qint64 past = QDateTime::currentSecsSinceEpoch() - 100000;
    for (const auto& [name, size] :
         std::initializer_list<std::pair<const char*, int>>{{"keep.txt", 10},
                                                            {"grow.txt", 5},
                                                            {"touch.txt", 5},
                                                            {"gone.txt", 3},
                                                            {"Old/inner.txt", 4},
                                                            {"Sub/stay.bin", 6},
                                                            {"pack.zip", 20},
                                                            {"bundle.zip", 20}}) {
        setTime(tree.createFile(QString::fromLatin1(name), size), past);
    }
    makeRaw(tree.path(), gbk, "abc");
    makeRaw(tree.path(), oldGbk, "abcd");

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

    // Notes (also on entries that change and on the folder that is renamed), a hash that a
    // change makes stale, and archive members below an archive that stays and one that changes.
    QMap<QByteArray, Stored> before = storedByPath(db, disc);
    for (const char* path :
         {"/keep.txt", "/grow.txt", "/touch.txt", "/gone.txt", "/Old", "/Old/inner.txt"})
        QVERIFY(contentstore::setNote(db, before.value(path).id, QStringLiteral("note ") + path));
    for (const char* path : {"/keep.txt", "/grow.txt"})
        db.exec(QStringLiteral("update qCDFiles set FHash=? where AutoId=?"),
                {QByteArray(16, 'h'), before.value(path).id});
    for (const char* archive : {"/pack.zip", "/bundle.zip"}) {
        const qint64 id = before.value(archive).id;
        db.exec(QStringLiteral("update qCDFiles set Archive=1 where AutoId=?"), {id});
        const qint64 folder = testcat::addEntry(db, disc, id, QStringLiteral("m"), true);
        db.exec(QStringLiteral("update qCDFiles set Archive=2 where AutoId=?"), {folder});
        const qint64 member = testcat::addEntry(db, disc, folder, QStringLiteral("x.txt"), false, 9,
                                                {}, QStringLiteral("member note"));
        db.exec(QStringLiteral("update qCDFiles set Archive=2 where AutoId=?"), {member});
    }
    db.exec(QStringLiteral("update qCDFiles set FName=null where AutoId=?"),
            {before.value('/' + oldGbk).id});
    before = storedByPath(db, disc);

    // The changes, each kind once.
    tree.createFile(QStringLiteral("grow.txt"), 50);
    setTime(tree.path(QStringLiteral("touch.txt")), past + 3600);
    QVERIFY(QFile::remove(tree.path(QStringLiteral("gone.txt"))));
    QVERIFY(QDir().rename(tree.path(QStringLiteral("Old")), tree.path(QStringLiteral("New"))));
    tree.createFile(QStringLiteral("Sub/new.txt"), 1);
    tree.createFile(QStringLiteral("Fresh/f.txt"), 2);
    tree.createFile(QStringLiteral("added.txt"), 3);
    tree.createFile(QStringLiteral("bundle.zip"), 21);

    RescanPlan plan;
    const RescanReport report = compareRescan(db, disc, {}, {}, plan);
    QCOMPARE(report.failure, RescanReport::Failure::None);
    QCOMPARE(lines(report), (QStringList{
                                "+ /added.txt",
                                "~ /bundle.zip",
                                "- /bundle.zip/m",
                                "- /bundle.zip/m/x.txt [member note]",
                                "+ /Fresh",
                                "+ /Fresh/f.txt",
                                "- /gone.txt [note /gone.txt]",
                                "~ /grow.txt [note /grow.txt]",
                                "+ /New",
                                "+ /New/inner.txt",
                                "- /Old [note /Old]",
                                "- /Old/inner.txt [note /Old/inner.txt]",
                                "+ /Sub/new.txt",
                                "~ /touch.txt [note /touch.txt]",
                            }));
    QCOMPARE(report.added, 6);
    QCOMPARE(report.removed, 5);
    QCOMPARE(report.changed, 3);
    QCOMPARE(report.notesLost, 4);
    // keep.txt, Sub, Sub/stay.bin, pack.zip and the two GBK names.
    QCOMPARE(report.unchanged, 6);
    QCOMPARE(storedByPath(db, disc).keys(), before.keys()); // comparing wrote nothing

    const qint64 started = QDateTime::currentSecsSinceEpoch();
    QVERIFY(applyRescan(db, plan, nullptr));
    const QMap<QByteArray, Stored> after = storedByPath(db, disc);

    // What stays keeps its row and note; a change brings the new size and time and drops
    // the stale hash.
    for (const char* path : {"/keep.txt", "/grow.txt", "/touch.txt", "/Sub", "/Sub/stay.bin",
                             "/pack.zip", "/pack.zip/m", "/pack.zip/m/x.txt", "/bundle.zip"}) {
        QVERIFY2(after.contains(path), path);
        QCOMPARE(after.value(path).id, before.value(path).id);
        QCOMPARE(after.value(path).note, before.value(path).note);
    }
    QVERIFY(after.contains('/' + gbk));
    QCOMPARE(after.value('/' + gbk).id, before.value('/' + gbk).id);
    QCOMPARE(after.value(QStringLiteral("/光盘.iso").toUtf8()).id,
             before.value(QStringLiteral("/光盘.iso").toUtf8()).id);
    QCOMPARE(after.value("/grow.txt").size, 50);
    QVERIFY(after.value("/grow.txt").hash.isEmpty());
    QCOMPARE(after.value("/keep.txt").hash, QByteArray(16, 'h'));
    QCOMPARE(after.value("/touch.txt").mtime, past + 3600);
    QCOMPARE(after.value("/pack.zip").archive, 1);
    QCOMPARE(after.value("/bundle.zip").archive, 0); // its members went with its old contents
    QCOMPARE(after.value("/bundle.zip").size, 21);
    for (const char* path : {"/gone.txt", "/Old", "/Old/inner.txt", "/bundle.zip/m"})
        QVERIFY2(!after.contains(path), path);
    QVERIFY(after.value("/New/inner.txt").note.isEmpty());
    QCOMPARE(after.value("/New/inner.txt").father, after.value("/New").id);
    QCOMPARE(after.value("/Fresh/f.txt").father, after.value("/Fresh").id);
    QCOMPARE(after.value("/Sub/new.txt").father, after.value("/Sub").id);

    // Apart from the archive members, the disc is now exactly what a fresh scan would store.
    db.exec(QStringLiteral("delete from qCDFiles where Archive=2"));
    const QMap<QString, ::Entry> onDisk = [&] {
        QMap<QString, ::Entry> m = walkTree(tree.path());
        m.removeIf([](auto it) {
            return !it.key().isValidUtf16() || it.key().contains(QChar::ReplacementCharacter);
        });
        return m;
    }();
    QMap<QString, ::Entry> rows = rowsAsTree(readRows(db, disc));
    rows.removeIf([](auto it) {
        return it.key().contains(QStringLiteral("照片")) ||
               it.key().contains(QStringLiteral("光盘"));
    });
    QCOMPARE(rows, onDisk);

    const std::optional<DiscFacts> facts = catalogstore::discFacts(db, disc, false);
    QVERIFY(facts && facts->scanTime && *facts->scanTime >= started);
    QCOMPARE(facts->state, ScanState::Complete);

    // A second rescan finds nothing left to do.
    RescanPlan again;
    const RescanReport second = compareRescan(db, disc, {}, {}, again);
    QCOMPARE(lines(second), QStringList());
}

void TestRescan::dryRunLeavesTheFileUntouchedAndANewRootIsKept() {
    testcat::isolateSettings();
    TestDir home;
    const QString file = home.path(QStringLiteral("cat.vlr"));
    const QString root = home.createDir(QStringLiteral("tree"));
    home.createFile(QStringLiteral("tree/a.txt"), 1);
    home.createFile(QStringLiteral("tree/b.txt"), 2);
    qint64 category = 0;
    {
        testcat::create(file);
        Database db;
        db.open(file);
        category = testcat::addCategory(db, QStringLiteral("c"));
    }
    QCOMPARE(runCli({QStringLiteral("import"), file, root, QStringLiteral("--category"),
                     QString::number(category)})
                 .code,
             0);
    QString disc;
    {
        Database db;
        db.open(file);
        disc = db.scalar(QStringLiteral("select AutoId from qCD")).toString();
        Query q(db, QStringLiteral("select AutoId from qCDFiles where TreeName='b.txt'"));
        QVERIFY(q.next());
        QVERIFY(contentstore::setNote(db, q.integer(0), QStringLiteral("keep me")));
    }
    QVERIFY(QFile::remove(home.path(QStringLiteral("tree/b.txt"))));
    home.createFile(QStringLiteral("tree/c.txt"), 3);

    const auto bytes = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray original = bytes();
    const CliResult dry =
        runCli({QStringLiteral("rescan"), file, disc, QStringLiteral("--dry-run")});
    QCOMPARE(dry.code, 0);
    QVERIFY2(dry.out.contains(QStringLiteral("+ /c.txt\n")), qPrintable(dry.out));
    QVERIFY2(dry.out.contains(QStringLiteral("- /b.txt  (its note goes with it: \"keep me\")")),
             qPrintable(dry.out));
    QVERIFY2(dry.out.contains(QStringLiteral("added 1, removed 1, changed 0, unchanged 1; 1 "
                                             "removed entry had a note")),
             qPrintable(dry.out));
    QCOMPARE(bytes(), original);

    // A copy of the folder elsewhere becomes the disc's folder.
    const QString moved = home.path(QStringLiteral("moved"));
    QVERIFY(QDir().rename(root, moved));
    const CliResult real = runCli({QStringLiteral("rescan"), file, disc, moved});
    QCOMPARE(real.code, 0);
    const CliResult check =
        runCli({QStringLiteral("rescan"), file, disc, QStringLiteral("--dry-run")});
    QCOMPARE(check.code, 0);
    QVERIFY2(
        check.out.startsWith(QStringLiteral("options: depth all, folders and files, all types, "
                                            "checksums off, archives off\n"
                                            "added 0, removed 0, changed 0, unchanged 2\n")),
        qPrintable(check.out));
}

void TestRescan::newAndChangedContentIsHashedAndListedAgain() {
    TestDir tree;
    tree.createFile(QStringLiteral("grow.txt"), 5);
    writeZip(tree.path(QStringLiteral("pack.zip")), {{"a/one.txt", "1"}, {"a/two.txt", "22"}});
    // Files at several depths, one in a folder whose name is not UTF-8: each is read in its
    // own folder.
    const QByteArray base = QFile::encodeName(tree.path());
    const QByteArray gbkDir("\xb9\xe2\xc5\xcc"); // 光盘 in GBK
    const auto put = [&](const QByteArray& rel, const QByteArray& content) {
        for (qsizetype slash = rel.indexOf('/'); slash >= 0; slash = rel.indexOf('/', slash + 1))
            ::mkdir((base + '/' + rel.left(slash)).constData(), 0755);
        const int fd =
            ::open((base + '/' + rel).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
        ::close(fd);
    };
    put("deep/a/b/one.txt", "one");
    put("deep/a/two.txt", "two");
    put(gbkDir + "/in.txt", "in");
    TestDir home;
    const QString file = home.path(QStringLiteral("cat.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 category = testcat::addCategory(db, QStringLiteral("c"));
    ScanParams params;
    params.root = tree.path();
    params.checksums = true;
    params.archives = true;
    params.discId = testcat::addDisc(db, category, QStringLiteral("d"), 0, tree.path());
    QVERIFY(scanDisc(db, params).error.isEmpty());
    const qint64 disc = params.discId;
    const Stored kept = storedByPath(db, disc).value("/pack.zip/a/one.txt");
    QVERIFY(contentstore::setNote(db, kept.id, QStringLiteral("kept")));

    tree.createFile(QStringLiteral("grow.txt"), 50);
    writeZip(tree.path(QStringLiteral("pack.zip")),
             {{"a/one.txt", "1"}, {"a/three.txt", "333"}, {"b/four.txt", "4444"}});
    writeZip(tree.path(QStringLiteral("fresh.zip")), {{"x.txt", "x"}});
    put("deep/a/b/one.txt", "one grown");
    put("deep/a/two.txt", "two grown");
    put("deep/a/b/c/new.txt", "new");
    put(gbkDir + "/in.txt", "in grown");
    put("added/x/y.txt", "y");
    RescanPlan plan;
    const RescanReport report = compareRescan(db, disc, {}, {}, plan);
    QCOMPARE(lines(report), (QStringList{
                                "+ /added",
                                "+ /added/x",
                                "+ /added/x/y.txt",
                                "+ /deep/a/b/c",
                                "+ /deep/a/b/c/new.txt",
                                "~ /deep/a/b/one.txt",
                                "~ /deep/a/two.txt",
                                "+ /fresh.zip",
                                "+ /fresh.zip/x.txt",
                                "~ /grow.txt",
                                "~ /pack.zip",
                                "+ /pack.zip/a/three.txt",
                                "- /pack.zip/a/two.txt",
                                "+ /pack.zip/b",
                                "+ /pack.zip/b/four.txt",
                                "~ /光盘/in.txt",
                            }));
    QVERIFY(applyRescan(db, plan, nullptr));
    const QMap<QByteArray, Stored> after = storedByPath(db, disc);

    const filehash::Outcome grown = filehash::hashFile(
        AT_FDCWD, QFile::encodeName(tree.path(QStringLiteral("grow.txt"))).constData());
    QVERIFY(grown.ok);
    QCOMPARE(after.value("/grow.txt").hash, filehash::toBytes(grown.digest));
    // A member still in the archive keeps its row and note.
    QCOMPARE(after.value("/pack.zip/a/one.txt").id, kept.id);
    QCOMPARE(after.value("/pack.zip/a/one.txt").note, QStringLiteral("kept"));

    // Otherwise the disc holds what a fresh import of the tree stores.
    params.discId = testcat::addDisc(db, category, QStringLiteral("e"), 0, tree.path());
    QVERIFY(scanDisc(db, params).error.isEmpty());
    const auto facts = [&](qint64 id) {
        QMap<QByteArray, std::tuple<qint64, std::optional<qint64>, QByteArray, int>> out;
        const QMap<QByteArray, Stored> rows = storedByPath(db, id);
        for (auto it = rows.begin(); it != rows.end(); ++it)
            out.insert(it.key(), {it->size, it->mtime, it->hash, it->archive});
        return out;
    };
    QCOMPARE(facts(disc), facts(params.discId));
}

// Checksums or archives turned on at a rescan reach the files that did not change too, and
// archives turned off take their members away: the stored options say what the rows hold.
void TestRescan::contentOptionsChangedAtARescanHoldForTheWholeDisc() {
    TestDir tree;
    tree.createFile(QStringLiteral("plain.txt"), 5);
    writeZip(tree.path(QStringLiteral("pack.zip")), {{"a/one.txt", "1"}});
    TestDir home;
    const QString file = home.path(QStringLiteral("cat.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    ScanParams params;
    params.root = tree.path();
    params.discId = testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("c")),
                                     QStringLiteral("d"), 0, tree.path());
    QVERIFY(scanDisc(db, params).error.isEmpty());
    const qint64 disc = params.discId;

    ScanParams options = *rescanOptions(db, disc);
    QVERIFY(!options.checksums && !options.archives);
    options.checksums = true;
    options.archives = true;
    RescanPlan plan;
    RescanReport report = compareRescan(db, disc, {}, {}, plan, {}, true, options);
    QCOMPARE(lines(report), (QStringList{"+ /pack.zip/a", "+ /pack.zip/a/one.txt"}));
    QCOMPARE(report.unchanged, 2);
    QVERIFY(applyRescan(db, plan, nullptr));
    QMap<QByteArray, Stored> rows = storedByPath(db, disc);
    QCOMPARE(rows.value("/plain.txt").hash.size(), 16);
    QCOMPARE(rows.value("/pack.zip").hash.size(), 16);
    QCOMPARE(rows.value("/pack.zip").archive, 1);
    QVERIFY(rescanOptions(db, disc)->checksums);

    options.archives = false;
    report = compareRescan(db, disc, {}, {}, plan, {}, true, options);
    QCOMPARE(lines(report), (QStringList{"- /pack.zip/a", "- /pack.zip/a/one.txt"}));
    QVERIFY(applyRescan(db, plan, nullptr));
    rows = storedByPath(db, disc);
    QCOMPARE(rows.keys(), (QList<QByteArray>{"/pack.zip", "/plain.txt"}));
    QCOMPARE(rows.value("/pack.zip").archive, 0);
    QCOMPARE(rows.value("/pack.zip").hash.size(), 16);
    const std::optional<ScanParams> stored = rescanOptions(db, disc);
    QVERIFY(stored->checksums && !stored->archives);

    // A plain rescan repeats them: nothing is left to do.
    report = compareRescan(db, disc, {}, {}, plan);
    QVERIFY(!report.hasChanges());
    QVERIFY(plan.changes.empty());
}

void TestRescan::specialFileOfAnOlderCatalogBecomesItsKindOnce_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("FIFO") << int(SpecialKind::Fifo);
    QTest::newRow("socket") << int(SpecialKind::Socket);
}

// Older catalogs hold a FIFO or a socket as an empty file, which the verify could never
// read. A rescan makes it what it is, as one change, and is then done with it.
void TestRescan::specialFileOfAnOlderCatalogBecomesItsKindOnce() {
    QFETCH(int, kind);
    TestDir tree;
    tree.createFile(QStringLiteral("a.txt"), 3);
    const QByteArray odd = QFile::encodeName(tree.path(QStringLiteral("odd")));
    int socketFd = -1;
    if (SpecialKind(kind) == SpecialKind::Fifo) {
        QCOMPARE(::mkfifo(odd.constData(), 0644), 0);
    } else {
        socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(odd.size()) < sizeof(address.sun_path));
        std::memcpy(address.sun_path, odd.constData(), size_t(odd.size()));
        QCOMPARE(::bind(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    }
    const auto closeSocket = qScopeGuard([&] {
        if (socketFd >= 0)
            ::close(socketFd);
    });

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
    params.checksums = true;
    QVERIFY(scanDisc(db, params).error.isEmpty());
    const QString kindOf = QStringLiteral("select Special from qCDFiles where TreeName='odd'");
    QCOMPARE(db.scalar(kindOf).toInt(), kind);
    db.exec(QStringLiteral("update qCDFiles set Special=null"));

    RescanPlan plan;
    RescanReport report = compareRescan(db, disc, {}, {}, plan);
    QCOMPARE(lines(report), QStringList{QStringLiteral("~ /odd")});
    QCOMPARE(report.changes.front().oldSpecial, SpecialKind::None);
    QCOMPARE(report.changes.front().newSpecial, SpecialKind(kind));
    QCOMPARE(report.changes.front().newSize, 0);
    QVERIFY(applyRescan(db, plan, nullptr));
    QCOMPARE(db.scalar(kindOf).toInt(), kind);
    report = compareRescan(db, disc, {}, {}, plan);
    QVERIFY(!report.hasChanges());
    QCOMPARE(report.unchanged, 2);

    // The list shows it for what it is; the verify passes over it and says so.
    std::vector<vorlane::Entry> level;
    contentstore::readLevel(db, disc, 0, [&](vorlane::Entry&& e) {
        level.push_back(std::move(e));
        return true;
    });
    QCOMPARE(level.size(), size_t(2));
    for (const vorlane::Entry& e : level)
        QCOMPARE(e.special, e.name == QLatin1String("odd") ? SpecialKind(kind) : SpecialKind::None);
    const VerifyResult verified = verifyDisc(db, VerifyParams{disc, {}});
    QCOMPARE(verified.end, VerifyEnd::Done);
    QVERIFY(verified.problems.empty());
    QCOMPARE(verified.files, 1);
    QCOMPARE(verified.special, 1);
}

QTEST_GUILESS_MAIN(TestRescan)
#include "tst_rescan.moc"
