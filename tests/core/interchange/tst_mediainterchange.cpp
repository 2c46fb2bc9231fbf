// Media facts and thumbnails through export and merge: carried whole onto the merged
// entries' new ids, from a catalog file and from a JSON export alike; what a source made
// elsewhere holds that no scan could have read is left out, said, and never written, and a
// malformed list refuses the source with the catalog unchanged.
#include "common/catalogs.h"
#include "common/clirunner.h"
#include "common/testdir.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"
#include "core/store/schema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace vorlane;

namespace {

// A JPEG's first bytes are all the merge looks at; the rest is the test's own pattern.
QByteArray jpeg(int size, char fill) {
    return QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(size - 4, fill);
}

MediaFacts photo() {
    MediaFacts f;
    f.kind = MediaKind::Image;
    f.width = 4000;
    f.height = 3000;
    f.taken = 1562058245; // 2019-07-02 09:04:05 on the camera's clock
    f.make = QStringLiteral("Canon");
    f.model = QStringLiteral("EOS \"5D\" Mark IV");
    f.orientation = 6;
    f.lat = -33.856784;
    f.lon = 151.215297;
    return f;
}

MediaFacts track() {
    MediaFacts f;
    f.kind = MediaKind::Audio;
    f.title = QStringLiteral("夜曲");
    f.artist = QStringLiteral("Zoë & the Band");
    f.album = QStringLiteral("Nocturnes\twith a tab");
    f.track = 7;
    f.year = 2004;
    f.genre = QStringLiteral("Pop");
    f.durationMs = 226000;
    f.bitrate = 320000;
    f.sampleRate = 44100;
    f.audioCodec = QStringLiteral("mp3");
    return f;
}

MediaFacts clip() {
    MediaFacts f;
    f.kind = MediaKind::Video;
    f.width = 1920;
    f.height = 1080;
    f.durationMs = 3723004;
    f.fps = 29.97002997;
    f.videoCodec = QStringLiteral("h264");
    f.audioCodec = QStringLiteral("aac");
    return f;
}

void openCurrent(Database& db, const QString& path) {
    db.open(path);
    upgradeCatalog(db);
    QVERIFY(mediastore::available(db));
}

// A source: one disc "photos" with a folder "2019" holding "a.jpg", "b.mp3" and "c.mp4",
// each with facts, the picture and the clip with a thumbnail. Returns the entries' ids.
QList<qint64> makeSource(const QString& path) {
    testcat::create(path);
    Database db;
    openCurrent(db, path);
    const qint64 disc =
        testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("media")), "photos");
    const qint64 folder = testcat::addEntry(db, disc, 0, QStringLiteral("2019"), true, 0, "/2019");
    QList<qint64> ids;
    for (const char* name : {"a.jpg", "b.mp3", "c.mp4"})
        ids << testcat::addEntry(db, disc, folder, QString::fromLatin1(name), false, 100, "/2019");
    mediastore::MediaWriter w(db);
    w.storeFacts(ids[0], photo());
    w.storeFacts(ids[1], track());
    w.storeFacts(ids[2], clip());
    w.storeThumbnail(ids[0], jpeg(9000, 'p'));
    w.storeThumbnail(ids[2], jpeg(300, 'v'));
    return ids;
}

// A target that already holds entries, so that merged ids cannot equal the source's.
void makeTarget(const QString& path) {
    testcat::create(path);
    Database db;
    openCurrent(db, path);
    const qint64 disc =
        testcat::addDisc(db, testcat::addCategory(db, QStringLiteral("mine")), "old");
    for (int i = 0; i < 5; ++i)
        testcat::addEntry(db, disc, 0, QStringLiteral("old%1").arg(i), false, 1);
}

// Every row of the catalog, media and thumbnails included.
QList<QVariantList> everything(const QString& path) {
    QList<QVariantList> rows = testcat::allRows(path);
    Database db;
    db.open(path, Database::Mode::ReadOnly);
    for (const char* table : {"qMedia", "qThumb"}) {
        Query q(db, QStringLiteral("select * from %1 order by EntryId").arg(QLatin1String(table)));
        while (q.next()) {
            QVariantList row{QString::fromLatin1(table)};
            for (int i = 0; i < q.columnCount(); ++i)
                row << q.value(i);
            rows << row;
        }
    }
    return rows;
}

// The id a merge gave the entry named `name` on the newest disc of that name.
qint64 mergedId(Database& db, const QString& name) {
    return db.scalar(QStringLiteral("select max(AutoId) from qCDFiles where TreeName = ?"), {name})
        .toLongLong();
}

QString exportJson(const QString& catalog, const QString& target) {
    const CliResult r = runCli({"export", catalog, "--format", "json", "-o", target});
    if (r.code != 0)
        return r.err;
    return {};
}

// The export with its "media" and "thumbnails" lists put through `edit`.
void editExport(const QString& path, const std::function<void(QJsonObject&)>& edit) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QJsonObject doc = QJsonDocument::fromJson(f.readAll()).object();
    f.close();
    edit(doc);
    // The reader wants format and version first; QJsonDocument sorts keys, and "categories"
    // sorts before "format": so the header goes first by hand.
    QByteArray out = "{\"format\":\"vorlane-catalog\",\"version\":1";
    for (const char* key : {"categories", "discs", "entries", "media", "thumbnails"}) {
        if (doc.contains(QLatin1String(key)))
            out += ",\"" + QByteArray(key) + "\":" +
                   QJsonDocument(doc.value(QLatin1String(key)).toArray())
                       .toJson(QJsonDocument::Compact);
    }
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(out + '}');
}

} // namespace

class TestMediaInterchange : public QObject {
    Q_OBJECT

private slots:
    void mergeCarriesFactsAndThumbnails_data();
    void mergeCarriesFactsAndThumbnails();
    void hostileSourceIsCleaned_data();
    void hostileSourceIsCleaned();
    void malformedMediaListsAreRefused_data();
    void malformedMediaListsAreRefused();
};

void TestMediaInterchange::mergeCarriesFactsAndThumbnails_data() {
    QTest::addColumn<QString>("via");
    QTest::newRow("catalog file") << "catalog";
    QTest::newRow("JSON export") << "json";
    QTest::newRow("export of a disc") << "disc";
    QTest::newRow("export of an older version") << "older";
}

void TestMediaInterchange::mergeCarriesFactsAndThumbnails() {
    QFETCH(QString, via);
    TestDir dir;
    const QString source = dir.path("source.vlr");
    const QList<qint64> ids = makeSource(source);
    QString from = source;
    if (via != "catalog") {
        from = dir.path("source.json");
        const CliResult r =
            via == "disc"
                ? runCli({"export", source, "--format", "json", "--disc", "1", "-o", from})
                : runCli({"export", source, "--format", "json", "-o", from});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        if (via == "older")
            editExport(from, [](QJsonObject& doc) {
                doc.remove("media");
                doc.remove("thumbnails");
            });
    }
    const QString target = dir.path("target.vlr");
    makeTarget(target);
    const CliResult r = runCli({"merge", target, from});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(!r.out.contains("left out"), qPrintable(r.out));

    Database db;
    db.open(target, Database::Mode::ReadOnly);
    const QList<MediaFacts> facts{photo(), track(), clip()};
    const QList<QByteArray> thumbs{jpeg(9000, 'p'), {}, jpeg(300, 'v')};
    const QStringList names{"a.jpg", "b.mp3", "c.mp4"};
    for (int i = 0; i < 3; ++i) {
        const qint64 id = mergedId(db, names[i]);
        QVERIFY(id > ids[i]);
        if (via == "older") {
            QVERIFY(!mediastore::factsOf(db, id));
            continue;
        }
        const std::optional<MediaFacts> got = mediastore::factsOf(db, id);
        QVERIFY2(got.has_value(), qPrintable(names[i]));
        QVERIFY2(*got == facts[i], qPrintable(names[i]));
        QCOMPARE(mediastore::thumbnailOf(db, id), thumbs[i]);
    }
    const qint64 rows = db.count(QStringLiteral("select * from qMedia"));
    QCOMPARE(rows, via == "older" ? 0 : 3);
    if (via != "older")
        QVERIFY2(r.out.contains("media facts of 3 entries, 2 thumbnails"), qPrintable(r.out));
    QCOMPARE(runCli({"check", target}).out, QStringLiteral("ok\n"));
}

void TestMediaInterchange::hostileSourceIsCleaned_data() {
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("plant"); // what the source holds besides its sound rows
    QTest::addColumn<QString>("said");  // the summary's line about it
    for (const char* via : {"catalog", "json"}) {
        const QByteArray v(via);
        QTest::newRow(v + ": facts of no entry")
            << via << "orphan"
            << "left out: media facts or thumbnails of 2 entries";
        QTest::newRow(v + ": a PNG as thumbnail") << via << "png"
                                                  << "left out: 1 thumbnails that are no JPEG";
        QTest::newRow(v + ": an oversized thumbnail")
            << via << "huge"
            << "left out: 1 thumbnails that are no JPEG or larger than 1 MiB";
        QTest::newRow(v + ": facts out of range") << via << "range"
                                                  << "left out: 6 media facts out of range";
    }
}

void TestMediaInterchange::hostileSourceIsCleaned() {
    QFETCH(QString, via);
    QFETCH(QString, plant);
    QFETCH(QString, said);
    TestDir dir;
    const QString source = dir.path("source.vlr");
    const QList<qint64> ids = makeSource(source);
    const QString longText(5000, QLatin1Char('x'));
    {
        Database db;
        db.open(source);
        if (plant == "orphan") {
            // Rows the trigger would have removed, left by a program without it.
            db.exec(QStringLiteral("insert into qMedia (EntryId, Kind, Width) values (999, 1, 5)"));
            db.exec(QStringLiteral("insert into qThumb (EntryId, Jpeg) values (998, ?)"),
                    {jpeg(50, 'o')});
        } else if (plant == "png") {
            db.exec(QStringLiteral("update qThumb set Jpeg = ? where EntryId = ?"),
                    {QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(40, 'i'), ids[0]});
        } else if (plant == "huge") {
            db.exec(QStringLiteral("update qThumb set Jpeg = ? where EntryId = ?"),
                    {jpeg((1 << 20) + 1, 'h'), ids[2]});
        } else {
            // Positions off the globe, negative sizes and durations, a bad
            // orientation, and one overlong text (cut, so counted, but kept).
            db.exec(QStringLiteral("update qMedia set Lat = ?, Lon = ?, Width = -4000, "
                                   "Orientation = 12, Make = ? where EntryId = ?"),
                    {95.0, 512.5, longText, ids[0]});
            db.exec(QStringLiteral("update qMedia set DurationMs = -1 where EntryId = ?"),
                    {ids[2]});
        }
    }
    if (plant != "orphan")
        QCOMPARE(runCli({"check", source}).out, QStringLiteral("ok\n"));
    else
        QVERIFY(runCli({"check", source})
                    .out.contains("media: 2 row(s) of facts or thumbnails belong to no entry"));
    QString from = source;
    if (via == "json") {
        from = dir.path("source.json");
        QCOMPARE(exportJson(source, from), QString());
        if (plant == "orphan")
            // An export only carries rows of its entries: the hand adds the stray ones.
            editExport(from, [](QJsonObject& doc) {
                QJsonArray media = doc.value("media").toArray();
                media.append(QJsonObject{{"entry", 999}, {"kind", "image"}, {"width", 5}});
                doc.insert("media", media);
                QJsonArray thumbs = doc.value("thumbnails").toArray();
                thumbs.append(QJsonObject{{"entry", 998},
                                          {"jpeg", QString::fromLatin1(jpeg(50, 'o').toBase64())}});
                doc.insert("thumbnails", thumbs);
            });
    }
    const QString target = dir.path("target.vlr");
    makeTarget(target);
    const CliResult r = runCli({"merge", target, from});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY2(r.out.contains(said), qPrintable(r.out));
    QCOMPARE(runCli({"check", target}).out, QStringLiteral("ok\n"));

    Database db;
    db.open(target, Database::Mode::ReadOnly);
    const qint64 a = mergedId(db, "a.jpg"), c = mergedId(db, "c.mp4");
    MediaFacts wantA = photo(), wantC = clip();
    QByteArray thumbA = jpeg(9000, 'p'), thumbC = jpeg(300, 'v');
    if (plant == "png")
        thumbA.clear();
    if (plant == "huge")
        thumbC.clear();
    if (plant == "range") {
        wantA.lat.reset();
        wantA.lon.reset();
        wantA.width.reset();
        wantA.orientation.reset();
        wantA.make = QString(1000, QLatin1Char('x'));
        wantC.durationMs.reset();
    }
    QVERIFY(mediastore::factsOf(db, a) == wantA);
    QVERIFY(mediastore::factsOf(db, c) == wantC);
    QCOMPARE(mediastore::thumbnailOf(db, a), thumbA);
    QCOMPARE(mediastore::thumbnailOf(db, c), thumbC);
    // Nothing beyond the merged entries' own rows.
    QCOMPARE(db.count(QStringLiteral("select * from qMedia")), 3);
    QCOMPARE(db.count(QStringLiteral("select * from qThumb")),
             qint64(thumbA.size() > 0) + qint64(thumbC.size() > 0));
}

void TestMediaInterchange::malformedMediaListsAreRefused_data() {
    QTest::addColumn<QString>("media"); // the document's "media" member, as written
    QTest::addColumn<QString>("fault");
    QTest::newRow("a row that is no object") << "[1]"
                                             << "a media row names no entry";
    QTest::newRow("a row without its entry") << "[{\"kind\":\"image\",\"width\":3}]"
                                             << "a media row names no entry";
    QTest::newRow("an entry that is text") << "[{\"entry\":\"1\",\"width\":3}]"
                                           << "a media row names no entry";
    QTest::newRow("a list closed wrong") << "[{\"entry\":2,\"width\":3}}"
                                         << "expected ']'";
    QTest::newRow("NaN is no JSON") << "[{\"entry\":2,\"lat\":NaN}]"
                                    << "unexpected character";
}

void TestMediaInterchange::malformedMediaListsAreRefused() {
    QFETCH(QString, media);
    QFETCH(QString, fault);
    TestDir dir;
    const QString source = dir.path("source.vlr");
    makeSource(source);
    const QString json = dir.path("source.json");
    QCOMPARE(exportJson(source, json), QString());
    QFile f(json);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    f.close();
    const qsizetype from = text.indexOf("\"media\":");
    const qsizetype to = text.indexOf(",\n\"thumbnails\":");
    QVERIFY(from > 0 && to > from);
    text.replace(from, to - from, "\"media\":" + media.toUtf8());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();

    const QString target = dir.path("target.vlr");
    makeTarget(target);
    const QList<QVariantList> before = everything(target);
    const CliResult r = runCli({"merge", target, json});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(fault) && r.err.endsWith("; nothing was changed\n"), qPrintable(r.err));
    QCOMPARE(everything(target), before);
}

QTEST_GUILESS_MAIN(TestMediaInterchange)

#include "tst_mediainterchange.moc"
