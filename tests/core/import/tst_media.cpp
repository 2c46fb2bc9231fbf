// Media facts and thumbnails read during an import and kept by a rescan. The media are made
// here with ffmpeg, sox, ImageMagick and exiftool, and the facts are checked against what
// ffprobe and exiftool read from the same files.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/import/rescan.h"
#include "core/import/scanjob.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimeZone>
#include <QtTest>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>

using namespace vorlane;

namespace {

// Runs a tool that must succeed; its standard output.
QByteArray tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning().noquote() << program << args.join(QLatin1Char(' ')) << p.readAllStandardError();
        return QByteArray("failed");
    }
    return p.readAllStandardOutput();
}

#define RUN(program, ...)                                                                          \
    QVERIFY(tool(QStringLiteral(program), QStringList{__VA_ARGS__}) != "failed")

QJsonObject probe(const QString& file) {
    return QJsonDocument::fromJson(
               tool(QStringLiteral("ffprobe"), {"-v", "error", "-print_format", "json",
                                                "-show_format", "-show_streams", file}))
        .object();
}

QJsonObject exif(const QString& file) {
    return QJsonDocument::fromJson(tool(QStringLiteral("exiftool"), {"-json", "-n", file}))
        .array()
        .at(0)
        .toObject();
}

QJsonObject streamOf(const QJsonObject& probed, const QString& type) {
    for (const QJsonValue& s : probed.value(QStringLiteral("streams")).toArray()) {
        if (s.toObject().value(QStringLiteral("codec_type")).toString() == type)
            return s.toObject();
    }
    return {};
}

// The tag ffprobe reads, by name in any case.
QString tagOf(const QJsonObject& probed, const QString& name) {
    QJsonObject tags = probed.value(QStringLiteral("format")).toObject().value("tags").toObject();
    if (tags.isEmpty()) // Ogg keeps its comments with the stream
        tags = streamOf(probed, QStringLiteral("audio")).value("tags").toObject();
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

qint64 entryNamed(Database& db, const QString& name) {
    return db.scalar(QStringLiteral("select AutoId from qCDFiles where TreeName = ?"), {name})
        .toLongLong();
}

// A picture of `w`×`h`, blue with a red block in its top-left corner, with the EXIF
// orientation `orientation`.
void cornerPicture(const QString& file, int w, int h, int orientation) {
    RUN("convert", "-size", QStringLiteral("%1x%2").arg(w).arg(h), "xc:blue", "-fill", "red",
        "-draw", QStringLiteral("rectangle 0,0 %1,%2").arg(w / 4).arg(h / 4), "-quality", "95",
        file);
    RUN("exiftool", "-q", "-overwrite_original", "-n",
        QStringLiteral("-Orientation=%1").arg(orientation), file);
}

} // namespace

class TestMedia : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void factsAgreeWithTools_data();
    void factsAgreeWithTools();
    void unreadableFilesStayPlain_data();
    void unreadableFilesStayPlain();
    void thumbnailsUpright_data();
    void thumbnailsUpright();
    void rescanKeepsUnchangedAndRereadsChanged();
    void rescanTurningMediaOn();

private:
    TestDir m_tree;
    TestDir m_home;
    QString m_catalog;
    QString m_summary;
};

void TestMedia::initTestCase() {
    const auto at = [&](const char* rel) { return m_tree.path(QString::fromUtf8(rel)); };
    RUN("convert", "-size", "640x480", "gradient:red-blue", at("photo.jpg"));
    RUN("exiftool", "-q", "-overwrite_original", "-DateTimeOriginal=2019:05:06 07:08:09",
        "-Make=Canon", "-Model=Canon EOS 80D", "-GPSLatitude=35.6895", "-GPSLatitudeRef=N",
        "-GPSLongitude=139.6917", "-GPSLongitudeRef=E", at("photo.jpg"));
    RUN("convert", "-size", "500x300", "gradient:green-yellow", at("south.jpg"));
    RUN("exiftool", "-q", "-overwrite_original", "-DateTimeOriginal=2001:12:31 23:59:58",
        "-Make=NIKON CORPORATION", "-Model=NIKON D70", "-GPSLatitude=33.8688", "-GPSLatitudeRef=S",
        "-GPSLongitude=70.25", "-GPSLongitudeRef=W", at("south.jpg"));
    RUN("convert", "-size", "300x100", "xc:green", at("plain.png"));
    // A folder whose name is not UTF-8: the readers get the file system's bytes.
    const QByteArray odd = QFile::encodeName(m_tree.path()) + "/\xe4\xb8-\xff";
    QCOMPARE(::mkdir(odd.constData(), 0755), 0);
    QVERIFY(QFile::copy(at("photo.jpg"), at("copy.jpg")));
    QCOMPARE(::rename(QFile::encodeName(at("copy.jpg")).constData(), odd + "/odd.jpg"), 0);

    const QStringList tags = {"-metadata", "title=Blue Train", "-metadata", "artist=Someone",
                              "-metadata", "album=Late Night", "-metadata", "track=4",
                              "-metadata", "date=2017",        "-metadata", "genre=Jazz"};
    const auto sine = [](int seconds) {
        return QStringList{"-v",
                           "error",
                           "-y",
                           "-f",
                           "lavfi",
                           "-i",
                           QStringLiteral("sine=frequency=440:duration=%1").arg(seconds)};
    };
    RUN("ffmpeg", sine(3) + tags + QStringList{"-c:a", "libmp3lame", at("song.mp3")});
    RUN("ffmpeg", sine(2) + tags + QStringList{"-c:a", "flac", at("song.flac")});
    RUN("ffmpeg", sine(2) + tags + QStringList{"-c:a", "libvorbis", at("song.ogg")});
    RUN("sox", "-n", "-r", "22050", at("tone.wav"), "synth", "1.5", "sine", "300");
    RUN("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=duration=3:size=320x240:rate=25", "-f", "lavfi", "-i", "sine=duration=3", "-c:v",
        "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", at("clip.mp4"));
    RUN("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
        "testsrc=duration=2:size=160x120:rate=30", "-f", "lavfi", "-i", "sine=duration=2", "-c:v",
        "mpeg4", "-c:a", "libvorbis", "-shortest", at("clip.mkv"));

    // Damage: a JPEG whose data is noise, an MP3 cut to a quarter, text named as a video.
    QFile broken(at("broken.jpg"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    QByteArray noise("\xff\xd8\xff\xe0", 4);
    for (int i = 0; i < 4000; ++i)
        noise.append(char((i * 7919) % 251));
    broken.write(noise);
    broken.close();
    QFile song(at("song.mp3"));
    QVERIFY(song.open(QIODevice::ReadOnly));
    QFile cut(at("cut.mp3"));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(song.read(song.size() / 4));
    cut.close();
    QFile fake(at("fake.mp4"));
    QVERIFY(fake.open(QIODevice::WriteOnly));
    fake.write("not a video\n");
    fake.close();

    for (int o : {1, 3, 6, 8})
        cornerPicture(m_tree.path(QStringLiteral("turn%1.jpg").arg(o)), 400, 200, o);
    cornerPicture(at("large.jpg"), 4000, 3000, 6);
    RUN("convert", "-size", "200x400", "xc:none", "-fill", "red", "-draw", "rectangle 0,0 49,99",
        at("clear.png"));

    m_catalog = m_home.path(QStringLiteral("media.vlr"));
    QCOMPARE(runCli({"new", m_catalog}).code, 0);
    QCOMPARE(runCli({"mkcat", m_catalog, "Media"}).code, 0);
    const CliResult r =
        runCli({"import", m_catalog, m_tree.path(), "--category", "1", "--media", "--thumbnails"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    m_summary = r.out;
}

void TestMedia::factsAgreeWithTools_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("path"); // the file system's bytes
    const auto row = [&](const char* name, const QByteArray& path = {}) {
        QTest::newRow(name) << QString::fromUtf8(name)
                            << (path.isEmpty()
                                    ? QFile::encodeName(m_tree.path(QString::fromUtf8(name)))
                                    : path);
    };
    row("photo.jpg");
    row("south.jpg");
    row("plain.png");
    row("odd.jpg", QFile::encodeName(m_tree.path()) + "/\xe4\xb8-\xff/odd.jpg");
    row("song.mp3");
    row("song.flac");
    row("song.ogg");
    row("tone.wav");
    row("clip.mp4");
    row("clip.mkv");
}

void TestMedia::factsAgreeWithTools() {
    QFETCH(QString, name);
    QFETCH(QByteArray, path);
    // The tools are handed a plain name; the scan had the file system's bytes.
    const QString file = m_home.path(QStringLiteral("look.") + name.section('.', -1));
    QFile::remove(file);
    QCOMPARE(::link(path.constData(), QFile::encodeName(file).constData()), 0);
    Database db;
    db.open(m_catalog);
    const std::optional<MediaFacts> f = mediastore::factsOf(db, entryNamed(db, name));
    QVERIFY2(f, "no facts stored");
    const QString ext = name.section(QLatin1Char('.'), -1);
    if (ext == QLatin1String("jpg") || ext == QLatin1String("png")) {
        const QJsonObject e = exif(file);
        QCOMPARE(f->kind, MediaKind::Image);
        QCOMPARE(f->width, e.value("ImageWidth").toInt());
        QCOMPARE(f->height, e.value("ImageHeight").toInt());
        QCOMPARE(f->make, e.value("Make").toString());
        QCOMPARE(f->model, e.value("Model").toString());
        if (e.contains("DateTimeOriginal")) {
            const QDateTime t = QDateTime::fromString(e.value("DateTimeOriginal").toString(),
                                                      QStringLiteral("yyyy:MM:dd HH:mm:ss"));
            QCOMPARE(f->taken, QDateTime(t.date(), t.time(), QTimeZone::utc()).toSecsSinceEpoch());
        } else {
            QVERIFY(!f->taken);
        }
        QCOMPARE(bool(f->lat), e.contains("GPSLatitude"));
        if (f->lat) {
            QVERIFY(std::abs(*f->lat - e.value("GPSLatitude").toDouble()) < 1e-6);
            QVERIFY(std::abs(*f->lon - e.value("GPSLongitude").toDouble()) < 1e-6);
        }
        return;
    }
    const QJsonObject p = probe(file);
    const QJsonObject format = p.value("format").toObject();
    const qint64 duration = std::llround(format.value("duration").toString().toDouble() * 1000);
    QVERIFY2(f->durationMs && std::abs(*f->durationMs - duration) <= 60,
             qPrintable(QString::number(f->durationMs.value_or(-1))));
    const QJsonObject audio = streamOf(p, QStringLiteral("audio"));
    QCOMPARE(f->sampleRate, audio.value("sample_rate").toString().toInt());
    QVERIFY(f->bitrate && *f->bitrate > 0);
    if (ext == QLatin1String("mp4") || ext == QLatin1String("mkv")) {
        const QJsonObject video = streamOf(p, QStringLiteral("video"));
        QCOMPARE(f->kind, MediaKind::Video);
        QCOMPARE(f->width, video.value("width").toInt());
        QCOMPARE(f->height, video.value("height").toInt());
        const QStringList rate = video.value("avg_frame_rate").toString().split('/');
        QVERIFY(f->fps && std::abs(*f->fps - rate.at(0).toDouble() / rate.at(1).toDouble()) < 0.01);
        QCOMPARE(f->videoCodec, video.value("codec_name").toString());
        QCOMPARE(f->audioCodec, audio.value("codec_name").toString());
        return;
    }
    QCOMPARE(f->kind, MediaKind::Audio);
    QCOMPARE(f->title, tagOf(p, "title"));
    QCOMPARE(f->artist, tagOf(p, "artist"));
    QCOMPARE(f->album, tagOf(p, "album"));
    QCOMPARE(f->genre, tagOf(p, "genre"));
    const QString track = tagOf(p, "track");
    QCOMPARE(f->track.value_or(0), track.section(QLatin1Char('/'), 0, 0).toInt());
    QCOMPARE(f->year.value_or(0), tagOf(p, "date").left(4).toInt());
}

void TestMedia::unreadableFilesStayPlain_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("noise after a JPEG marker") << QStringLiteral("broken.jpg");
    QTest::newRow("MP3 cut to a quarter") << QStringLiteral("cut.mp3");
    QTest::newRow("text named as a video") << QStringLiteral("fake.mp4");
}

void TestMedia::unreadableFilesStayPlain() {
    QFETCH(QString, name);
    Database db;
    db.open(m_catalog);
    const qint64 id = entryNamed(db, name);
    QVERIFY2(id > 0, "the file keeps its row");
    QVERIFY(!mediastore::factsOf(db, id));
    QVERIFY(mediastore::thumbnailOf(db, id).isEmpty());
    // The scan went on past them: every other media file has its facts, the pictures and
    // videos their thumbnails.
    const qint64 facts = db.scalar(QStringLiteral("select count(*) from qMedia")).toLongLong();
    const qint64 thumbs = db.scalar(QStringLiteral("select count(*) from qThumb")).toLongLong();
    QCOMPARE(facts, 16);
    QCOMPARE(thumbs, 12);
    QVERIFY2(m_summary.contains(QStringLiteral("media facts: 16, thumbnails: 12")),
             qPrintable(m_summary));
}

void TestMedia::thumbnailsUpright_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("red"); // a point of the red corner, in 0..1 of each side
    QTest::newRow("as taken") << QStringLiteral("turn1.jpg") << QSize(256, 128) << QPoint(0, 0);
    QTest::newRow("upside down") << QStringLiteral("turn3.jpg") << QSize(256, 128) << QPoint(1, 1);
    QTest::newRow("turned right") << QStringLiteral("turn6.jpg") << QSize(128, 256) << QPoint(1, 0);
    QTest::newRow("turned left") << QStringLiteral("turn8.jpg") << QSize(128, 256) << QPoint(0, 1);
    QTest::newRow("12 megapixels")
        << QStringLiteral("large.jpg") << QSize(192, 256) << QPoint(1, 0);
    QTest::newRow("transparent PNG")
        << QStringLiteral("clear.png") << QSize(128, 256) << QPoint(0, 0);
    QTest::newRow("video frame") << QStringLiteral("clip.mp4") << QSize(256, 192) << QPoint(-1, -1);
}

void TestMedia::thumbnailsUpright() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(QPoint, red);
    Database db;
    db.open(m_catalog);
    const QByteArray jpeg = mediastore::thumbnailOf(db, entryNamed(db, name));
    QVERIFY(jpeg.startsWith("\xff\xd8"));
    QImage img;
    QVERIFY(img.loadFromData(jpeg, "JPEG"));
    QCOMPARE(img.size(), size);
    if (red.x() < 0)
        return;
    const auto colourAt = [&](int x, int y) {
        return img.pixelColor(x ? img.width() - 4 : 3, y ? img.height() - 4 : 3);
    };
    for (int x : {0, 1}) {
        for (int y : {0, 1}) {
            const QColor c = colourAt(x, y);
            const bool isRed = c.red() > 200 && c.blue() < 60;
            QVERIFY2(isRed == (QPoint(x, y) == red),
                     qPrintable(QStringLiteral("corner %1,%2: %3").arg(x).arg(y).arg(c.name())));
        }
    }
    // The transparent part shows as white, not black.
    if (name.endsWith(QLatin1String(".png")))
        QCOMPARE(colourAt(1, 1).lightness() > 240, true);
}

// An unchanged file keeps what was read of it (here a planted marker that reading could not
// give); a changed one is read again, one changed into something unreadable loses its
// facts, an added one is read.
void TestMedia::rescanKeepsUnchangedAndRereadsChanged() {
    TestDir tree;
    const auto at = [&](const char* rel) { return tree.path(QString::fromUtf8(rel)); };
    cornerPicture(at("keep.jpg"), 300, 200, 1);
    const auto song = [&](const char* file, const char* title, int seconds) {
        RUN("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
            QStringLiteral("sine=duration=%1").arg(seconds), "-metadata",
            QStringLiteral("title=") + QString::fromUtf8(title), at(file));
    };
    song("change.mp3", "Before", 2);
    song("spoil.mp3", "Spoilt", 2);
    cornerPicture(at("redo.jpg"), 300, 200, 1);

    const QString file = m_home.path(QStringLiteral("rescan.vlr"));
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("c")),
                                         QStringLiteral("d"), 0, tree.path());
    ScanParams params;
    params.root = tree.path();
    params.discId = disc;
    params.media = true;
    params.thumbnails = true;
    QVERIFY(scanDisc(db, params).error.isEmpty());
    const qint64 keep = entryNamed(db, "keep.jpg");
    const qint64 change = entryNamed(db, "change.mp3");
    const qint64 spoil = entryNamed(db, "spoil.mp3");
    const qint64 redo = entryNamed(db, "redo.jpg");
    QCOMPARE(mediastore::factsOf(db, change)->title, QStringLiteral("Before"));
    QVERIFY(mediastore::factsOf(db, spoil));
    MediaFacts marker;
    marker.kind = MediaKind::Image;
    marker.title = QStringLiteral("kept");
    {
        mediastore::MediaWriter w(db);
        w.storeFacts(keep, marker);
        w.storeThumbnail(keep, "marker");
    }

    song("change.mp3", "After", 3);
    QFile spoilt(at("spoil.mp3"));
    QVERIFY(spoilt.open(QIODevice::ReadWrite));
    QVERIFY(spoilt.resize(spoilt.size() / 4));
    spoilt.close();
    cornerPicture(at("redo.jpg"), 100, 200, 1);
    cornerPicture(at("added.jpg"), 100, 50, 1);

    RescanPlan plan;
    const RescanReport report = compareRescan(db, disc, {}, {}, plan);
    QCOMPARE(report.changed, 3);
    QCOMPARE(report.added, 1);
    QVERIFY(applyRescan(db, plan, nullptr));

    QCOMPARE(mediastore::factsOf(db, keep), marker);
    QCOMPARE(mediastore::thumbnailOf(db, keep), QByteArray("marker"));
    QCOMPARE(mediastore::factsOf(db, change)->title, QStringLiteral("After"));
    QVERIFY(std::abs(*mediastore::factsOf(db, change)->durationMs - 3000) < 100);
    QVERIFY(!mediastore::factsOf(db, spoil));
    QCOMPARE(mediastore::factsOf(db, redo)->width, 100);
    QImage redone;
    QVERIFY(redone.loadFromData(mediastore::thumbnailOf(db, redo), "JPEG"));
    QCOMPARE(redone.size(), QSize(100, 200));
    const qint64 added = entryNamed(db, "added.jpg");
    QCOMPARE(mediastore::factsOf(db, added)->height, 50);
    QVERIFY(!mediastore::thumbnailOf(db, added).isEmpty());
}

// A disc imported without media facts gets them for its unchanged files once a rescan turns
// the options on, and later rescans repeat the options.
void TestMedia::rescanTurningMediaOn() {
    TestDir tree;
    cornerPicture(tree.path(QStringLiteral("a.jpg")), 300, 200, 6);
    const QString file = m_home.path(QStringLiteral("on.vlr"));
    QCOMPARE(runCli({"new", file}).code, 0);
    QCOMPARE(runCli({"mkcat", file, "M"}).code, 0);
    QCOMPARE(runCli({"import", file, tree.path(), "--category", "1"}).code, 0);
    Database db;
    db.open(file);
    const qint64 id = entryNamed(db, "a.jpg");
    QVERIFY(!mediastore::factsOf(db, id));

    const CliResult on = runCli({"rescan", file, "1", "--media", "--thumbnails"});
    QVERIFY2(on.code == 0, qPrintable(on.err));
    QVERIFY2(on.out.contains(QStringLiteral("archives off, media on, thumbnails on\n")),
             qPrintable(on.out));
    QCOMPARE(mediastore::factsOf(db, id)->orientation, 6);
    QImage thumb;
    QVERIFY(thumb.loadFromData(mediastore::thumbnailOf(db, id), "JPEG"));
    QCOMPARE(thumb.height(), 256); // upright: 300×200 turned a quarter
    QVERIFY(thumb.width() >= 170 && thumb.width() <= 171);

    cornerPicture(tree.path(QStringLiteral("a.jpg")), 100, 50, 1);
    const CliResult again = runCli({"rescan", file, "1"});
    QVERIFY2(again.out.contains(QStringLiteral("media on, thumbnails on")), qPrintable(again.out));
    QCOMPARE(mediastore::factsOf(db, id)->width, 100);
    QCOMPARE(mediastore::factsOf(db, id)->orientation, 1);
}

QTEST_GUILESS_MAIN(TestMedia)
#include "tst_media.moc"
