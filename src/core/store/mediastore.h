// Media facts (picture size, date taken, tags, duration…) and thumbnails, kept in tables of
// their own (qMedia, qThumb): one row per entry that has any, keyed by the entry's AutoId
// and removed with the entry by a trigger.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vorlane {

class Database;
class Query;

enum class MediaKind { None = 0, Image = 1, Audio = 2, Video = 3 };

// Everything known about one file's media; a member is empty or unset when not known.
struct MediaFacts {
    MediaKind kind = MediaKind::None;
    // images and videos
    std::optional<int> width;
    std::optional<int> height;
    // images: when the picture was taken, as the camera's clock read, with no time zone:
    // seconds since 1970-01-01 00:00 counted as if that wall time were UTC
    std::optional<qint64> taken;
    QString make;
    QString model;
    std::optional<int> orientation; // EXIF 1..8
    std::optional<double> lat;      // degrees, south negative
    std::optional<double> lon;      // degrees, west negative
    // audio tags
    QString title;
    QString artist;
    QString album;
    std::optional<int> track;
    std::optional<int> year;
    QString genre;
    // audio and video streams
    std::optional<qint64> durationMs;
    std::optional<int> bitrate;    // bits per second
    std::optional<int> sampleRate; // Hz
    std::optional<double> fps;
    QString videoCodec;
    QString audioCodec;

    // True when nothing at all is known: such facts are not stored.
    bool isEmpty() const;
    bool operator==(const MediaFacts&) const = default;
};

namespace mediastore {

// True when the catalog has the tables (an older catalog opened read-only may not).
bool available(Database& db);

// One entry's facts; nullopt when it has none.
std::optional<MediaFacts> factsOf(Database& db, qint64 entryId);

// The facts of the given entries that have any.
std::unordered_map<qint64, MediaFacts> factsOf(Database& db, const std::vector<qint64>& entryIds);

// The facts of every entry of one folder level of a disc (fatherId 0: its top level).
std::unordered_map<qint64, MediaFacts> factsOfLevel(Database& db, qint64 discId, qint64 fatherId);

// The stored thumbnail (JPEG bytes); empty when there is none.
QByteArray thumbnailOf(Database& db, qint64 entryId);

// The thumbnails of the given entries that have one.
std::unordered_map<qint64, QByteArray> thumbnailsOf(Database& db,
                                                    const std::vector<qint64>& entryIds);

// Every stored facts row whose entry exists, of one disc or of the whole catalog, in entry
// id order, with the entry's disc. `onFacts` returns false to stop.
void readFacts(
    Database& db, std::optional<qint64> discId,
    const std::function<bool(qint64 entryId, qint64 discId, const MediaFacts&)>& onFacts);

// Every stored thumbnail whose entry exists, as readFacts(). `jpeg` is valid only during
// the call.
void readThumbnails(
    Database& db, std::optional<qint64> discId,
    const std::function<bool(qint64 entryId, qint64 discId, QByteArrayView jpeg)>& onThumbnail);

// Rows of facts and of thumbnails whose entry does not exist (left by a program that
// deleted entries without the trigger).
qint64 orphanRows(Database& db);

// The entries of one folder level of a disc that have a thumbnail: ids only, so that a
// view knows what to fetch as it comes into sight.
std::unordered_set<qint64> thumbnailIdsOfLevel(Database& db, qint64 discId, qint64 fatherId);

// Writes facts and thumbnails with statements prepared once, for a scan's writer thread.
// Throws DbError.
class MediaWriter {
public:
    explicit MediaWriter(Database& db);
    ~MediaWriter();
    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    // Replaces the entry's facts; empty facts remove them.
    void storeFacts(qint64 entryId, const MediaFacts& facts);
    // Replaces the entry's thumbnail; empty bytes remove it.
    void storeThumbnail(qint64 entryId, const QByteArray& jpeg);
    // Removes both (a file whose content changed).
    void drop(qint64 entryId);

private:
    Database& m_db;
    std::unique_ptr<Query> m_putFacts;
    std::unique_ptr<Query> m_dropFacts;
    std::unique_ptr<Query> m_putThumb;
    std::unique_ptr<Query> m_dropThumb;
};

} // namespace mediastore
} // namespace vorlane
