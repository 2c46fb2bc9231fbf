// Archives on a disc listed as folders: the rows their members get, what the readers make
// of them, and one member taken out again.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/import/archivelist.h"
#include "core/store/catalogcheck.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

using namespace vorlane;

namespace {

// Writes the archives with Python's own modules: nothing binary is kept with the tests.
const char kMakeTree[] = R"(
import io, os, tarfile, zipfile
os.makedirs('docs')
with zipfile.ZipFile('docs/nested.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(zipfile.ZipInfo('a/'), b'')
    z.writestr('a/b/c/deep.txt', b'deep inside')
    z.writestr('top.txt', b'top')
    z.writestr('目录/说明.txt', b'utf-8 name')
# GBK names without the UTF-8 mark, as Chinese Windows tools write them.
with zipfile.ZipFile('gbk.zip', 'w') as z:
    z.writestr('@@@@/####.txt', b'gbk member')
data = open('gbk.zip', 'rb').read()
data = data.replace(b'@@@@', '资料'.encode('gbk')).replace(b'####', '报告'.encode('gbk'))
open('gbk.zip', 'wb').write(data)
with tarfile.open('data.tar.xz', 'w:xz', format=tarfile.GNU_FORMAT, encoding='gbk') as t:
    for name, body in [('x/y.bin', b'\0' * 1000), ('x/照片.jpg', b'jpeg')]:
        info = tarfile.TarInfo(name)
        info.size = len(body)
        info.mtime = 1234567890
        t.addfile(info, io.BytesIO(body))
# Cut off in the middle of its only member.
with zipfile.ZipFile('broken.zip', 'w') as z:
    z.writestr('big.bin', os.urandom(20000))
data = open('broken.zip', 'rb').read()
open('broken.zip', 'wb').write(data[:10000])
open('plain.txt', 'w').write('not an archive')
)";

// A zip whose member needs a password (Python cannot write one).
bool writeEncryptedZip(const QString& path) {
    archive* a = archive_write_new();
    bool ok = archive_write_set_format_zip(a) == ARCHIVE_OK &&
              archive_write_set_options(a, "zip:encryption=zipcrypt") == ARCHIVE_OK &&
              archive_write_set_passphrase(a, "secret") == ARCHIVE_OK &&
              archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    if (ok) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, "hidden.txt");
        archive_entry_set_size(e, 5);
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        ok = archive_write_header(a, e) == ARCHIVE_OK && archive_write_data(a, "hello", 5) == 5;
        archive_entry_free(e);
        ok = archive_write_close(a) == ARCHIVE_OK && ok;
    }
    archive_write_free(a);
    return ok;
}

struct Member {
    QByteArray path;
    QByteArray body;
    qint64 zeros = 0; // written after the body
};

// An archive of `members`, in libarchive's `format` (ARCHIVE_FORMAT_…) and `filter`.
bool writeArchive(const QString& path, int format, int filter, const std::vector<Member>& members) {
    archive* a = archive_write_new();
    bool ok = archive_write_set_format(a, format) == ARCHIVE_OK &&
              archive_write_add_filter(a, filter) == ARCHIVE_OK &&
              archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    const QByteArray zeros(1 << 20, '\0');
    for (const Member& m : members) {
        if (!ok)
            break;
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, m.path.constData());
        archive_entry_set_size(e, m.body.size() + m.zeros);
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        ok = archive_write_header(a, e) == ARCHIVE_OK &&
             archive_write_data(a, m.body.constData(), size_t(m.body.size())) == m.body.size();
        for (qint64 left = m.zeros; ok && left > 0; left -= zeros.size()) {
            const qint64 n = std::min<qint64>(left, zeros.size());
            ok = archive_write_data(a, zeros.constData(), size_t(n)) == n;
        }
        archive_entry_free(e);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

// Lists `name` in `dir` as the scan does.
archivelist::Listing listIn(const QString& dir, const char* name,
                            const std::function<bool()>& stop = {},
                            const archivelist::Limits& limits = {}) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    fsnames::NameDecoder names;
    archivelist::Listing out = archivelist::listArchive(fd, name, names, stop, limits);
    ::close(fd);
    return out;
}

// A folder's entries, for what a copy left behind.
QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

struct Stored {
    QString rel; // below the root: FPath, with the name for a file
    bool isDir;
    qint64 mark; // Archive, 0 for null
    qint64 size;
    qint64 father;
    QByteArray raw;
    QString note;
    qint64 mtime; // -1 unknown
};

QMap<qint64, Stored> readStored(Database& db) {
    QMap<qint64, Stored> out;
    Query q(db, QStringLiteral("select AutoId, FPath, TreeName, IsDir, coalesce(Archive, 0), "
                               "FSize, FatherId, FName, TreeExp, coalesce(FTime, -1) from "
                               "qCDFiles"));
    while (q.next()) {
        const bool isDir = q.integer(3) != 0;
        out[q.integer(0)] = {isDir ? q.textOr(1) : q.textOr(1) + '/' + q.textOr(2),
                             isDir,
                             q.integer(4),
                             q.integer(5),
                             q.integer(6),
                             q.value(7).toByteArray(),
                             q.textOr(8),
                             q.integer(9)};
    }
    return out;
}

qint64 idOf(const QMap<qint64, Stored>& rows, const QString& rel) {
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        if (it->rel == rel)
            return it.key();
    }
    return 0;
}

} // namespace

Q_DECLARE_METATYPE(archivelist::Limits)
Q_DECLARE_METATYPE(std::vector<Member>)

class TestArchives : public QObject {
    Q_OBJECT

private slots:
    void membersAreRowsBelowTheirArchive();
    void anArchivePastALimitIsAFile_data();
    void anArchivePastALimitIsAFile();
    void aStopIsAnsweredInsideAMember();
    void aCopyEndsAtTheCataloguedSize();
    void theCopyIsTheListedDuplicate_data();
    void theCopyIsTheListedDuplicate();
    void aCopyIsMadeInItsFolderOnly_data();
    void aCopyIsMadeInItsFolderOnly();
};

void TestArchives::membersAreRowsBelowTheirArchive() {
    TestDir tree;
    QProcess python;
    python.setWorkingDirectory(tree.path());
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(kMakeTree)});
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    QVERIFY(writeEncryptedZip(tree.path("locked.zip")));
    QTemporaryDir work;
    const QString cat = work.filePath("c.vlr");
    QCOMPARE(runCli({"new", cat}).code, 0);
    QCOMPARE(runCli({"mkcat", cat, "归档"}).code, 0);
    const CliResult imported =
        runCli({"import", cat, tree.path(), "--category", "1", "--archives"});
    QVERIFY2(imported.code == 0, qPrintable(imported.out + imported.err));

    Database db;
    db.open(cat);
    const QMap<qint64, Stored> rows = readStored(db);
    // Every row: where it is, its kind and archive mark, its size and its parent's place.
    QStringList got;
    for (const Stored& r : rows) {
        const QString parent = r.father == 0 ? QString() : rows.value(r.father).rel;
        got << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(r.rel, r.isDir ? "D" : "F")
                   .arg(r.mark)
                   .arg(r.size)
                   .arg(parent);
    }
    got.sort();
    const auto size = [&](const QString& rel) { return QFileInfo(tree.path(rel)).size(); };
    QStringList expected = {
        "/broken.zip|F|0|10000|",
        QStringLiteral("/data.tar.xz|F|1|%1|").arg(size("data.tar.xz")),
        "/data.tar.xz/x|D|2|0|/data.tar.xz",
        "/data.tar.xz/x/y.bin|F|2|1000|/data.tar.xz/x",
        "/data.tar.xz/x/照片.jpg|F|2|4|/data.tar.xz/x",
        "/docs|D|0|0|",
        QStringLiteral("/docs/nested.zip|F|1|%1|/docs").arg(size("docs/nested.zip")),
        "/docs/nested.zip/a|D|2|0|/docs/nested.zip",
        "/docs/nested.zip/a/b|D|2|0|/docs/nested.zip/a",
        "/docs/nested.zip/a/b/c|D|2|0|/docs/nested.zip/a/b",
        "/docs/nested.zip/a/b/c/deep.txt|F|2|11|/docs/nested.zip/a/b/c",
        "/docs/nested.zip/top.txt|F|2|3|/docs/nested.zip",
        "/docs/nested.zip/目录|D|2|0|/docs/nested.zip",
        "/docs/nested.zip/目录/说明.txt|F|2|10|/docs/nested.zip/目录",
        QStringLiteral("/gbk.zip|F|1|%1|").arg(size("gbk.zip")),
        QStringLiteral("/locked.zip|F|0|%1|").arg(size("locked.zip")),
        "/gbk.zip/资料|D|2|0|/gbk.zip",
        "/gbk.zip/资料/报告.txt|F|2|10|/gbk.zip/资料",
        "/plain.txt|F|0|14|",
    };
    expected.sort();
    QCOMPARE(got, expected);
    // Names that are not UTF-8 keep their bytes; a member's time is the archive's.
    const Stored photo = rows.value(idOf(rows, "/data.tar.xz/x/照片.jpg"));
    QCOMPARE(photo.raw, QByteArray("\xd5\xd5\xc6\xac.jpg"));
    QCOMPARE(photo.mtime, 1234567890);
    QCOMPARE(rows.value(idOf(rows, "/gbk.zip/资料")).raw, QByteArray("\xd7\xca\xc1\xcf"));
    QVERIFY(rows.value(idOf(rows, "/docs/nested.zip/目录/说明.txt")).raw.isEmpty());
    const QString brokenNote = rows.value(idOf(rows, "/broken.zip")).note;
    QVERIFY2(brokenNote.startsWith(QStringLiteral("无法读取压缩包内容：")) &&
                 brokenNote.size() > 10,
             qPrintable(brokenNote));
    QCOMPARE(rows.value(idOf(rows, "/locked.zip")).note,
             QStringLiteral("无法读取压缩包内容：压缩包已加密"));

    // The readers: a sound catalog, members found by name, the disc's own files counted.
    QCOMPARE(runCli({"check", cat}).out, QStringLiteral("ok\n"));
    const CliResult found = runCli({"find", cat, "报告", "--format", "json"});
    const QJsonArray hits = QJsonDocument::fromJson(found.out.toUtf8()).array();
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].toObject()["name"].toString(), QStringLiteral("报告.txt"));
    const QString facts = runCli({"tree", cat, "--long"}).out;
    QVERIFY2(
        facts.contains("folders: 1  files: 6  size: " +
                       QString::number(10000 + 14 + size("data.tar.xz") + size("docs/nested.zip") +
                                       size("gbk.zip") + size("locked.zip")) +
                       "  archive members: 12  only here: "),
        qPrintable(facts));
    const CliResult listed =
        runCli({"ls", cat, "1", QString::number(idOf(rows, "/gbk.zip")), "--format", "tsv"});
    // A folder inside an archive totals its members.
    QVERIFY2(listed.out.contains("\tfolder\t10\t资料\t/gbk.zip/资料\t"), qPrintable(listed.out));

    // `check` takes an archive as the parent of its members only.
    const qint64 plain = idOf(rows, "/plain.txt");
    const qint64 top = idOf(rows, "/docs/nested.zip/top.txt");
    const auto faults = [&] {
        QStringList out;
        checkCatalog(db, [&](const QString& f) { out << f; });
        return out;
    };
    db.exec(QStringLiteral("update qCDFiles set FatherId=? where AutoId=?"),
            {idOf(rows, "/gbk.zip"), plain});
    QCOMPARE(faults().size(), 1);
    QVERIFY(faults().first().startsWith(QStringLiteral("entry %1:").arg(plain)));
    db.exec(QStringLiteral("update qCDFiles set FatherId=0 where AutoId=?"), {plain});
    db.exec(QStringLiteral("update qCDFiles set FatherId=? where AutoId=?"),
            {idOf(rows, "/docs"), top});
    QCOMPARE(faults().size(), 1);
    QVERIFY(faults().first().startsWith(QStringLiteral("entry %1:").arg(top)));
    db.exec(QStringLiteral("update qCDFiles set FatherId=? where AutoId=?"),
            {idOf(rows, "/docs/nested.zip"), top});
    QVERIFY(faults().isEmpty());

    // A member taken out by the path its rows give, as the file list opens it.
    QTemporaryDir out;
    const int outFd = ::open(QFile::encodeName(out.path()).constData(), O_RDONLY | O_DIRECTORY);
    QVERIFY(outFd >= 0);
    const QByteArray root = QFile::encodeName(tree.path());
    for (const auto& [archiveRel, memberRel, body] :
         {std::tuple<QString, QString, QByteArray>{
              "/docs/nested.zip", "/docs/nested.zip/a/b/c/deep.txt", "deep inside"},
          {"/data.tar.xz", "/data.tar.xz/x/照片.jpg", "jpeg"},
          {"/gbk.zip", "/gbk.zip/资料/报告.txt", "gbk member"}}) {
        const qint64 member = idOf(rows, memberRel);
        QCOMPARE(contentstore::archiveOf(db, member), idOf(rows, archiveRel));
        const QByteArray archivePath = *contentstore::rawEntryPath(db, idOf(rows, archiveRel));
        const QByteArray inner =
            contentstore::rawEntryPath(db, member)->mid(archivePath.size() + 1);
        QString error;
        QVERIFY2(archivelist::extractMember(root + archivePath, inner, rows.value(member).size,
                                            outFd, QByteArray::number(member), error),
                 qPrintable(error));
        QFile f(out.filePath(QString::number(member)));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), body);
    }
    QString error;
    QVERIFY(!archivelist::extractMember(root + "/broken.zip", "big.bin", 20000, outFd, "broken",
                                        error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(out.filePath("broken")));
    ::close(outFd);
}

// What would cost the machine too much is not listed: the archive stays a file with a note.
void TestArchives::anArchivePastALimitIsAFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("filter");
    QTest::addColumn<std::vector<Member>>("members");
    QTest::addColumn<archivelist::Limits>("limits");
    QTest::addColumn<QString>("problem");

    QByteArray deep; // 2,500 folders of 100 bytes each
    for (int i = 0; i < 2500; ++i)
        deep += QByteArray(99, 'd') + QByteArray::number(i % 10) + '/';
    QTest::newRow("member path") << "deep.tar.zst" << int(ARCHIVE_FILTER_ZSTD)
                                 << std::vector<Member>{{"top.txt", "x"}, {deep + "f", "deep"}}
                                 << archivelist::Limits{} << "成员路径超过 4096 字节";
    std::vector<Member> many;
    for (int i = 0; i < 6; ++i)
        many.push_back({"m/" + QByteArray::number(i), "x"});
    archivelist::Limits few;
    few.members = 5; // the folder "m" and six files: seven
    QTest::newRow("members") << "many.tar" << int(ARCHIVE_FILTER_NONE) << many << few
                             << "成员超过 5 个";
    archivelist::Limits shortPaths;
    shortPaths.allPathBytes = 1024;
    QTest::newRow("path bytes") << "long.tar" << int(ARCHIVE_FILTER_NONE)
                                << std::vector<Member>{{QByteArray(600, 'a'), "1"},
                                                       {QByteArray(600, 'b'), "2"}}
                                << shortPaths << "成员路径共超过 1 KiB";
    archivelist::Limits lean;
    lean.unpackedLeast = qint64(8) << 20;
    lean.unpackedRatio = 1;
    QTest::newRow("decompressed") << "zeros.tar.zst" << int(ARCHIVE_FILTER_ZSTD)
                                  << std::vector<Member>{{"zeros.bin", {}, qint64(32) << 20},
                                                         {"after.txt", "x"}}
                                  << lean << "解压后超过 8 MiB";
}

void TestArchives::anArchivePastALimitIsAFile() {
    QFETCH(QString, name);
    QFETCH(int, filter);
    QFETCH(std::vector<Member>, members);
    QFETCH(archivelist::Limits, limits);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    QVERIFY(writeArchive(dir.filePath(name), ARCHIVE_FORMAT_TAR_PAX_RESTRICTED, filter, members));
    QVERIFY(QFileInfo(dir.filePath(name)).size() < 64 * 1024);
    QElapsedTimer timer;
    timer.start();
    const archivelist::Listing listing =
        listIn(dir.path(), QFile::encodeName(name).constData(), {}, limits);
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!listing.listed);
    QVERIFY(listing.members.empty());
    QCOMPARE(listing.problem, problem);
    QVERIFY(archivelist::isProblemNote(archivelist::problemNote(listing.problem)));
}

// A stop asked for while a compressed member is read ends the listing there, not at the
// member's end.
void TestArchives::aStopIsAnsweredInsideAMember() {
    QTemporaryDir dir;
    QVERIFY(writeArchive(dir.filePath("zeros.tar.zst"), ARCHIVE_FORMAT_TAR_PAX_RESTRICTED,
                         ARCHIVE_FILTER_ZSTD, {{"zeros.bin", {}, qint64(512) << 20}}));
    int asked = 0;
    QElapsedTimer since;
    const auto stop = [&] {
        // The first asks come before the member's data is reached.
        if (++asked < 20)
            return false;
        if (!since.isValid())
            since.start();
        return true;
    };
    const archivelist::Listing listing = listIn(dir.path(), "zeros.tar.zst", stop);
    QVERIFY2(since.isValid(), "never asked while the member was read");
    QVERIFY2(since.elapsed() < 1000, qPrintable(QString::number(since.elapsed())));
    QVERIFY(!listing.listed);
    QVERIFY(listing.problem.isEmpty());
}

// A zip whose headers say 5 bytes for a member holding 64 MiB: the listing believes the
// headers, and the copy stops where they said it ends, leaving nothing.
void TestArchives::aCopyEndsAtTheCataloguedSize() {
    QTemporaryDir dir;
    QProcess python;
    python.setWorkingDirectory(dir.path());
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import struct, zipfile
with zipfile.ZipFile('lie.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('big.bin', b'\0' * (64 << 20))
d = bytearray(open('lie.zip', 'rb').read())
struct.pack_into('<I', d, 22, 5)
struct.pack_into('<I', d, d.find(b'PK\x01\x02') + 24, 5)
open('lie.zip', 'wb').write(d)
)")});
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const archivelist::Listing listing = listIn(dir.path(), "lie.zip");
    QVERIFY(listing.listed);
    QCOMPARE(listing.members.size(), size_t(1));
    QCOMPARE(listing.members[0].entry.size, 5);

    QTemporaryDir out;
    const int outFd = ::open(QFile::encodeName(out.path()).constData(), O_RDONLY | O_DIRECTORY);
    QString error;
    const bool copied = archivelist::extractMember(QFile::encodeName(dir.filePath("lie.zip")),
                                                   "big.bin", 5, outFd, "big.bin", error);
    ::close(outFd);
    QVERIFY(!copied);
    QCOMPARE(error, QStringLiteral("压缩包中这个文件的数据超过目录记录的 5 字节"));
    QCOMPARE(entriesOf(out.path()), QStringList());
}

// Of a path an archive holds twice, the listing keeps the last, and the copy is of that one;
// directly read or read through a compressed stream.
void TestArchives::theCopyIsTheListedDuplicate_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("filter");
    QTest::newRow("zip") << "twice.zip" << int(ARCHIVE_FORMAT_ZIP) << int(ARCHIVE_FILTER_NONE);
    QTest::newRow("compressed tar")
        << "twice.tar.gz" << int(ARCHIVE_FORMAT_TAR_PAX_RESTRICTED) << int(ARCHIVE_FILTER_GZIP);
}

void TestArchives::theCopyIsTheListedDuplicate() {
    QFETCH(QString, name);
    QFETCH(int, format);
    QFETCH(int, filter);
    QTemporaryDir dir;
    QVERIFY(writeArchive(dir.filePath(name), format, filter,
                         {{"d/same.txt", "the first, and longer"},
                          {"other.txt", "o"},
                          {"d/same.txt", "second"},
                          {"after.txt", "a"}}));
    const archivelist::Listing listing = listIn(dir.path(), QFile::encodeName(name).constData());
    QVERIFY(listing.listed);
    const auto same =
        std::find_if(listing.members.begin(), listing.members.end(),
                     [](const archivelist::Member& m) { return m.entry.name == "same.txt"; });
    QVERIFY(same != listing.members.end());
    QCOMPARE(same->entry.size, 6);

    QTemporaryDir out;
    const int outFd = ::open(QFile::encodeName(out.path()).constData(), O_RDONLY | O_DIRECTORY);
    QString error;
    QVERIFY2(archivelist::extractMember(QFile::encodeName(dir.filePath(name)), "d/same.txt",
                                        same->entry.size, outFd, "same.txt", error),
             qPrintable(error));
    ::close(outFd);
    QFile copy(out.filePath("same.txt"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray("second"));
}

// A name the catalog should never hold, planted there, still makes no file outside the
// folder made for the copy.
void TestArchives::aCopyIsMadeInItsFolderOnly_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("climbs out") << QByteArray("../x");
    QTest::newRow("holds a slash") << QByteArray("a/b");
    QTest::newRow("parent") << QByteArray("..");
    QTest::newRow("itself") << QByteArray(".");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("NUL") << QByteArray("x\0y", 3);
}

void TestArchives::aCopyIsMadeInItsFolderOnly() {
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    QVERIFY(writeArchive(dir.filePath("names.zip"), ARCHIVE_FORMAT_ZIP, ARCHIVE_FILTER_NONE,
                         {{"x", "planted"}, {"a/b", "planted"}}));
    QVERIFY(QDir(dir.path()).mkpath("copies/a"));
    const int outFd =
        ::open(QFile::encodeName(dir.filePath("copies/a")).constData(), O_RDONLY | O_DIRECTORY);
    QString error;
    // The member's path inside the archive as the catalog gives it: the name normalised.
    const QByteArray inner = name.contains('/') ? QByteArray("a/b") : QByteArray("x");
    QVERIFY(!archivelist::extractMember(QFile::encodeName(dir.filePath("names.zip")), inner, 7,
                                        outFd, name, error));
    ::close(outFd);
    QCOMPARE(error, QStringLiteral("名称不能用作文件名"));
    QCOMPARE(entriesOf(dir.filePath("copies")), QStringList{"a"});
    QCOMPARE(entriesOf(dir.filePath("copies/a")), QStringList());
}

QTEST_GUILESS_MAIN(TestArchives)
#include "tst_archives.moc"
