// vorlane-cli and media: `ls --format json` gives each entry's known facts and nothing it
// does not know; `thumb` writes the stored JPEG byte for byte, or says clearly why not and
// leaves nothing behind.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"
#include "core/store/schema.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

using namespace vorlane;

namespace {

const QByteArray kJpeg = QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) +
                         QByteArray("\x00\x01\x02\x0A\x0D\x1A\xFF\xD9", 8);

// A catalog with disc 1 holding "photo.jpg", "song.flac", "clip.mkv" and "plain.txt"; the
// first three with facts, the photo with a thumbnail. Returns the entries' ids in that
// order.
QList<qint64> makeCatalog(const QString& path) {
    testcat::create(path);
    Database db;
    db.open(path);
    upgradeCatalog(db);
    const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "d");
    QList<qint64> ids;
    for (const char* name : {"photo.jpg", "song.flac", "clip.mkv", "plain.txt"})
        ids << testcat::addEntry(db, disc, 0, QString::fromLatin1(name), false, 10);
    mediastore::MediaWriter w(db);
    MediaFacts photo;
    photo.kind = MediaKind::Image;
    photo.width = 6000;
    photo.height = 4000;
    photo.taken = 1546300799; // 2018-12-31 23:59:59, the camera's wall time
    photo.make = "NIKON CORPORATION";
    photo.model = "NIKON D850";
    photo.orientation = 8;
    photo.lat = 35.5;
    photo.lon = -0.125;
    w.storeFacts(ids[0], photo);
    w.storeThumbnail(ids[0], kJpeg);
    MediaFacts song;
    song.kind = MediaKind::Audio;
    song.title = "Ünïcode \"title\"";
    song.artist = "艺术家";
    song.album = "Album";
    song.track = 3;
    song.year = 1999;
    song.genre = "Jazz";
    song.durationMs = 61500;
    song.bitrate = 900000;
    song.sampleRate = 96000;
    song.audioCodec = "flac";
    w.storeFacts(ids[1], song);
    MediaFacts clip;
    clip.kind = MediaKind::Video;
    clip.width = 1280;
    clip.height = 720;
    clip.durationMs = 5000;
    clip.fps = 25;
    clip.videoCodec = "vp9";
    w.storeFacts(ids[2], clip);
    return ids;
}

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestCliMedia : public QObject {
    Q_OBJECT

private slots:
    void lsJsonListsKnownFacts();
    void thumbWritesTheStoredBytes_data();
    void thumbWritesTheStoredBytes();
    void thumbToStandardOutput();
};

void TestCliMedia::lsJsonListsKnownFacts() {
    TestDir dir;
    const QString catalog = dir.path("c.vlr");
    const QList<qint64> ids = makeCatalog(catalog);
    const CliResult r = runCli({"ls", catalog, "1", "--format", "json"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QJsonParseError error;
    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8(), &error).array();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(r.out));
    QHash<qint64, QJsonObject> byId;
    for (const QJsonValue& v : rows)
        byId.insert(v["id"].toInteger(), v.toObject());
    QCOMPARE(byId.size(), 4);
    // Exactly what is known: every member named as documented, none added.
    const QJsonObject photo{{"width", 6000},
                            {"height", 4000},
                            {"taken", "2018-12-31T23:59:59"},
                            {"make", "NIKON CORPORATION"},
                            {"model", "NIKON D850"},
                            {"orientation", 8},
                            {"lat", 35.5},
                            {"lon", -0.125}};
    const QJsonObject song{{"title", "Ünïcode \"title\""},
                           {"artist", "艺术家"},
                           {"album", "Album"},
                           {"track", 3},
                           {"year", 1999},
                           {"genre", "Jazz"},
                           {"duration_ms", 61500},
                           {"bitrate", 900000},
                           {"sample_rate", 96000},
                           {"audio_codec", "flac"}};
    const QJsonObject clip{{"width", 1280},
                           {"height", 720},
                           {"duration_ms", 5000},
                           {"fps", 25},
                           {"video_codec", "vp9"}};
    QCOMPARE(byId[ids[0]]["media"].toObject(), photo);
    QCOMPARE(byId[ids[1]]["media"].toObject(), song);
    QCOMPARE(byId[ids[2]]["media"].toObject(), clip);
    QVERIFY(!byId[ids[3]].contains("media"));
    // The other members stay as they were.
    QCOMPARE(byId[ids[0]]["name"].toString(), QStringLiteral("photo.jpg"));
    QCOMPARE(byId[ids[0]].keys(),
             QStringList({"id", "media", "mtime", "name", "note", "path", "size", "type"}));
    // Text and tsv are unchanged by facts.
    QVERIFY(!runCli({"ls", catalog, "1"}).out.contains("6000"));
}

void TestCliMedia::thumbWritesTheStoredBytes_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("output"); // below the test folder; "" for none
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error"); // the message after "vorlane-cli: "
    QTest::newRow("written") << "1"
                             << "out/t.jpg" << 0 << "";
    QTest::newRow("over an existing file") << "1"
                                           << "existing.jpg" << 0 << "";
    QTest::newRow("no such entry") << "99"
                                   << "out/t.jpg" << 1 << "CAT: no entry with id 99";
    QTest::newRow("no thumbnail")
        << "2"
        << "out/t.jpg" << 1
        << "CAT: entry 2 has no thumbnail (import with --thumbnails to make them)";
    QTest::newRow("folder missing")
        << "1"
        << "gone/t.jpg" << 1 << "DIR/gone/t.jpg: DIR/gone: No such file or directory";
    QTest::newRow("a folder as target") << "1"
                                        << "out" << 1 << "DIR/out: Is a directory";
    QTest::newRow("the catalog itself")
        << "1"
        << "c.vlr" << 1 << "DIR/c.vlr: this is the catalog itself; it was not replaced";
    QTest::newRow("no -o") << "1"
                           << "" << 2
                           << "give the file to write with -o FILE.jpg (- for standard output)";
    QTest::newRow("not an id") << "x"
                               << "out/t.jpg" << 2 << "ENTRY_ID must be a whole number: x";
}

void TestCliMedia::thumbWritesTheStoredBytes() {
    QFETCH(QString, entry);
    QFETCH(QString, output);
    QFETCH(int, code);
    QFETCH(QString, error);
    TestDir dir;
    const QString catalog = dir.path("c.vlr");
    makeCatalog(catalog);
    dir.createDir("out");
    const QString existing = dir.writeFile("existing.jpg", "old contents");
    QFile::setPermissions(existing, QFile::ReadOwner | QFile::WriteOwner);
    const QStringList before = filesIn(dir.path()) + filesIn(dir.path("out"));
    const QByteArray catalogBytes = [&] {
        QFile f(catalog);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    QStringList args{"thumb", catalog, entry};
    if (!output.isEmpty())
        args << "-o" << dir.path(output);
    const CliResult r = runCli(args);
    QCOMPARE(r.code, code);
    if (code != 0) {
        QString want = error;
        want.replace("CAT", catalog).replace("DIR", dir.path());
        QVERIFY2(r.err.startsWith("vorlane-cli: " + want + "\n"), qPrintable(r.err));
        // Nothing written, no temporary left, the catalog as it was.
        QCOMPARE(filesIn(dir.path()) + filesIn(dir.path("out")), before);
        QFile f(catalog);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), catalogBytes);
        return;
    }
    QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    QFile written(dir.path(output));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), kJpeg);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(dir.path(output)).constData(), &st), 0);
    // A replaced file keeps its bits; a new one gets the usual ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(st.st_mode & 0777, output == "existing.jpg" ? mode_t(0600) : (0666 & ~mask));
    QCOMPARE(filesIn(dir.path("out")).size(), output == "existing.jpg" ? 0 : 1);
}

void TestCliMedia::thumbToStandardOutput() {
    TestDir dir;
    const QString catalog = dir.path("c.vlr");
    makeCatalog(catalog);
    QProcess cli;
    cli.start(qEnvironmentVariable("VORLANE_BIN") + "/vorlane-cli",
              {"thumb", catalog, "1", "-o", "-"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(cli.readAllStandardOutput(), kJpeg);
    QCOMPARE(cli.readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(TestCliMedia)

#include "tst_cli_media.moc"
