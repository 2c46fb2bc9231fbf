#include "core/store/mediastore.h"

#include "core/store/database.h"
#include "core/store/schema.h"

#include <QStringList>

namespace vorlane {

bool MediaFacts::isEmpty() const {
    return *this == MediaFacts();
}

namespace mediastore {

namespace {

const QString kColumns = QStringLiteral(
    "EntryId, Kind, Width, Height, Taken, Make, Model, Orientation, Lat, Lon, Title, Artist,"
    " Album, Track, Year, Genre, DurationMs, Bitrate, SampleRate, Fps, VideoCodec, AudioCodec");

template <typename T> QVariant valueOf(const std::optional<T>& v) {
    return v ? QVariant::fromValue(*v) : QVariant();
}

QVariant valueOf(const QString& s) {
    return s.isEmpty() ? QVariant() : QVariant(s);
}

QVariantList valuesOf(qint64 id, const MediaFacts& f) {
    return {id,
            int(f.kind),
            valueOf(f.width),
            valueOf(f.height),
            valueOf(f.taken),
            valueOf(f.make),
            valueOf(f.model),
            valueOf(f.orientation),
            valueOf(f.lat),
            valueOf(f.lon),
            valueOf(f.title),
            valueOf(f.artist),
            valueOf(f.album),
            valueOf(f.track),
            valueOf(f.year),
            valueOf(f.genre),
            valueOf(f.durationMs),
            valueOf(f.bitrate),
            valueOf(f.sampleRate),
            valueOf(f.fps),
            valueOf(f.videoCodec),
            valueOf(f.audioCodec)};
}

std::optional<int> intAt(const Query& q, int column) {
    if (q.isNull(column))
        return std::nullopt;
    return int(q.integer(column));
}

std::optional<qint64> int64At(const Query& q, int column) {
    if (q.isNull(column))
        return std::nullopt;
    return q.integer(column);
}

std::optional<double> realAt(const Query& q, int column) {
    if (q.isNull(column))
        return std::nullopt;
    return q.value(column).toDouble();
}

// The facts of the row at hand, read in kColumns' order.
MediaFacts factsAt(const Query& q) {
    MediaFacts f;
    const qint64 kind = q.isNull(1) ? 0 : q.integer(1);
    f.kind = kind >= 1 && kind <= 3 ? MediaKind(kind) : MediaKind::None;
    f.width = intAt(q, 2);
    f.height = intAt(q, 3);
    f.taken = int64At(q, 4);
    f.make = q.textOr(5);
    f.model = q.textOr(6);
    f.orientation = intAt(q, 7);
    f.lat = realAt(q, 8);
    f.lon = realAt(q, 9);
    f.title = q.textOr(10);
    f.artist = q.textOr(11);
    f.album = q.textOr(12);
    f.track = intAt(q, 13);
    f.year = intAt(q, 14);
    f.genre = q.textOr(15);
    f.durationMs = int64At(q, 16);
    f.bitrate = intAt(q, 17);
    f.sampleRate = intAt(q, 18);
    f.fps = realAt(q, 19);
    f.videoCodec = q.textOr(20);
    f.audioCodec = q.textOr(21);
    return f;
}

} // namespace

bool available(Database& db) {
    return hasMediaTables(db);
}

std::optional<MediaFacts> factsOf(Database& db, qint64 entryId) {
    if (!available(db))
        return std::nullopt;
    Query q(db, QStringLiteral("select %1 from qMedia where EntryId = ?").arg(kColumns), {entryId});
    if (!q.next())
        return std::nullopt;
    return factsAt(q);
}

std::unordered_map<qint64, MediaFacts> factsOf(Database& db, const std::vector<qint64>& entryIds) {
    std::unordered_map<qint64, MediaFacts> out;
    if (!available(db) || entryIds.empty())
        return out;
    Query q(db, QStringLiteral("select %1 from qMedia where EntryId = ?").arg(kColumns));
    for (qint64 id : entryIds) {
        q.reset();
        q.bind(1, id);
        if (q.next())
            out.emplace(id, factsAt(q));
    }
    return out;
}

std::unordered_map<qint64, MediaFacts> factsOfLevel(Database& db, qint64 discId, qint64 fatherId) {
    std::unordered_map<qint64, MediaFacts> out;
    if (!available(db))
        return out;
    Query q(db,
            QStringLiteral("select %1 from qMedia where EntryId in (select AutoId from qCDFiles "
                           "where CdID = ? and FatherId = ?)")
                .arg(kColumns),
            {discId, fatherId});
    while (q.next())
        out.emplace(q.integer(0), factsAt(q));
    return out;
}

QByteArray thumbnailOf(Database& db, qint64 entryId) {
    if (!available(db))
        return {};
    return db.scalar(QStringLiteral("select Jpeg from qThumb where EntryId = ?"), {entryId})
        .toByteArray();
}

std::unordered_map<qint64, QByteArray> thumbnailsOf(Database& db,
                                                    const std::vector<qint64>& entryIds) {
    std::unordered_map<qint64, QByteArray> out;
    if (!available(db) || entryIds.empty())
        return out;
    Query q(db, QStringLiteral("select Jpeg from qThumb where EntryId = ?"));
    for (qint64 id : entryIds) {
        q.reset();
        q.bind(1, id);
        if (q.next() && !q.isNull(0))
            out.emplace(id, q.value(0).toByteArray());
    }
    return out;
}

void readFacts(Database& db, std::optional<qint64> discId,
               const std::function<bool(qint64, qint64, const MediaFacts&)>& onFacts) {
    if (!available(db))
        return;
    QString sql = QStringLiteral("select %1, f.CdID from qMedia join qCDFiles f on "
                                 "f.AutoId = EntryId")
                      .arg(kColumns);
    QVariantList values;
    if (discId) {
        sql += QStringLiteral(" where f.CdID = ?");
        values << *discId;
    }
    Query q(db, sql + QStringLiteral(" order by EntryId"), values);
    const int disc = kColumns.count(QLatin1Char(',')) + 1;
    while (q.next()) {
        if (!onFacts(q.integer(0), q.isNull(disc) ? 0 : q.integer(disc), factsAt(q)))
            return;
    }
}

void readThumbnails(Database& db, std::optional<qint64> discId,
                    const std::function<bool(qint64, qint64, QByteArrayView)>& onThumbnail) {
    if (!available(db))
        return;
    QString sql = QStringLiteral("select t.EntryId, f.CdID, t.Jpeg from qThumb t join qCDFiles f "
                                 "on f.AutoId = t.EntryId where t.Jpeg is not null");
    QVariantList values;
    if (discId) {
        sql += QStringLiteral(" and f.CdID = ?");
        values << *discId;
    }
    Query q(db, sql + QStringLiteral(" order by t.EntryId"), values);
    while (q.next()) {
        if (!onThumbnail(q.integer(0), q.isNull(1) ? 0 : q.integer(1), q.value(2).toByteArray()))
            return;
    }
}

qint64 orphanRows(Database& db) {
    if (!available(db))
        return 0;
    return db.count(QStringLiteral(
        "select EntryId from qMedia where EntryId not in (select AutoId from qCDFiles) union all "
        "select EntryId from qThumb where EntryId not in (select AutoId from qCDFiles)"));
}

std::unordered_set<qint64> thumbnailIdsOfLevel(Database& db, qint64 discId, qint64 fatherId) {
    std::unordered_set<qint64> out;
    if (!available(db))
        return out;
    Query q(db,
            QStringLiteral("select t.EntryId from qCDFiles f join qThumb t on t.EntryId = "
                           "f.AutoId where f.CdID = ? and f.FatherId = ?"),
            {discId, fatherId});
    while (q.next())
        out.insert(q.integer(0));
    return out;
}

MediaWriter::MediaWriter(Database& db) : m_db(db) {
    QStringList marks;
    for (int i = 0; i < kColumns.count(QLatin1Char(',')) + 1; ++i)
        marks << QStringLiteral("?");
    m_putFacts =
        std::make_unique<Query>(db, QStringLiteral("insert or replace into qMedia (%1) values (%2)")
                                        .arg(kColumns, marks.join(QLatin1Char(','))));
    m_dropFacts = std::make_unique<Query>(db, QStringLiteral("delete from qMedia where EntryId=?"));
    m_putThumb = std::make_unique<Query>(
        db, QStringLiteral("insert or replace into qThumb (EntryId, Jpeg) values (?, ?)"));
    m_dropThumb = std::make_unique<Query>(db, QStringLiteral("delete from qThumb where EntryId=?"));
}

MediaWriter::~MediaWriter() = default;

void MediaWriter::storeFacts(qint64 entryId, const MediaFacts& facts) {
    if (facts.isEmpty()) {
        m_dropFacts->reset();
        m_dropFacts->bind(1, entryId).exec();
        return;
    }
    m_putFacts->reset();
    m_putFacts->bindAll(valuesOf(entryId, facts)).exec();
}

void MediaWriter::storeThumbnail(qint64 entryId, const QByteArray& jpeg) {
    if (jpeg.isEmpty()) {
        m_dropThumb->reset();
        m_dropThumb->bind(1, entryId).exec();
        return;
    }
    m_putThumb->reset();
    m_putThumb->bind(1, entryId).bind(2, jpeg).exec();
}

void MediaWriter::drop(qint64 entryId) {
    storeFacts(entryId, MediaFacts());
    storeThumbnail(entryId, {});
}

} // namespace mediastore
} // namespace vorlane
