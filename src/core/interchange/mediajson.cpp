#include "core/interchange/mediajson.h"

#include "core/interchange/jsonreader.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <cmath>
#include <limits>

namespace vorlane::mediajson {

namespace {

constexpr qsizetype MaxText = 1000;

// 0001-01-01T00:00:00 and 9999-12-31T23:59:59, counted as if UTC.
constexpr qint64 FirstTaken = -62135596800;
constexpr qint64 LastTaken = 253402300799;

template <typename T> void add(std::vector<Member>& out, const char* name, std::optional<T> v) {
    if (!v)
        return;
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isfinite(*v))
            out.push_back({name, Member::Type::Real, 0, *v, {}});
    } else {
        out.push_back({name, Member::Type::Integer, qint64(*v), 0, {}});
    }
}

void add(std::vector<Member>& out, const char* name, const QString& text) {
    if (!text.isEmpty())
        out.push_back({name, Member::Type::Text, 0, 0, text});
}

template <typename T> bool keepIf(std::optional<T>& v, bool sound) {
    if (!v || sound)
        return false;
    v.reset();
    return true;
}

bool cut(QString& text) {
    if (text.size() <= MaxText)
        return false;
    qsizetype n = MaxText;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    text.truncate(n);
    return true;
}

std::optional<qint64> integerOf(const JsonValue& v) {
    if (v.type == JsonValue::Type::Integer)
        return v.integer;
    if (v.type == JsonValue::Type::Real && std::isfinite(v.real) && v.real == std::trunc(v.real) &&
        std::abs(v.real) < 9.0e15)
        return qint64(v.real);
    return std::nullopt;
}

} // namespace

std::vector<Member> members(const MediaFacts& f) {
    // In the order of the names.
    std::vector<Member> out;
    add(out, "album", f.album);
    add(out, "artist", f.artist);
    add(out, "audio_codec", f.audioCodec);
    add(out, "bitrate", f.bitrate);
    add(out, "duration_ms", f.durationMs);
    add(out, "fps", f.fps);
    add(out, "genre", f.genre);
    add(out, "height", f.height);
    add(out, "lat", f.lat);
    add(out, "lon", f.lon);
    add(out, "make", f.make);
    add(out, "model", f.model);
    add(out, "orientation", f.orientation);
    add(out, "sample_rate", f.sampleRate);
    if (f.taken)
        add(out, "taken", takenText(*f.taken));
    add(out, "title", f.title);
    add(out, "track", f.track);
    add(out, "video_codec", f.videoCodec);
    add(out, "width", f.width);
    add(out, "year", f.year);
    return out;
}

QByteArray kindName(MediaKind kind) {
    switch (kind) {
    case MediaKind::Image:
        return "image";
    case MediaKind::Audio:
        return "audio";
    case MediaKind::Video:
        return "video";
    case MediaKind::None:
        break;
    }
    return {};
}

QByteArray exportRow(qint64 entryId, const MediaFacts& facts) {
    QJsonObject o;
    o.insert(QStringLiteral("entry"), entryId);
    const QByteArray kind = kindName(facts.kind);
    if (!kind.isEmpty())
        o.insert(QStringLiteral("kind"), QString::fromLatin1(kind));
    for (const Member& m : members(facts)) {
        const QString name = QString::fromLatin1(m.name);
        switch (m.type) {
        case Member::Type::Integer:
            o.insert(name, m.integer);
            break;
        case Member::Type::Real:
            o.insert(name, m.real);
            break;
        case Member::Type::Text:
            o.insert(name, m.text);
            break;
        }
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString takenText(qint64 secs) {
    if (secs < FirstTaken || secs > LastTaken)
        return {};
    return QDateTime::fromSecsSinceEpoch(secs, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
}

MediaFacts read(const JsonValue& object, int& dropped) {
    MediaFacts f;
    for (const auto& [key, v] : object.members) {
        const std::optional<qint64> n = integerOf(v);
        const bool isText = v.type == JsonValue::Type::String;
        const bool isNumber = n || v.type == JsonValue::Type::Real;
        const double real = v.type == JsonValue::Type::Real ? v.real : double(n.value_or(0));
        const QString text = isText ? QString::fromUtf8(v.string) : QString();
        bool ok = true;
        const auto toInt = [&](std::optional<int>& out) {
            ok =
                n && *n >= std::numeric_limits<int>::min() && *n <= std::numeric_limits<int>::max();
            if (ok)
                out = int(*n);
        };
        const auto toText = [&](QString& out) {
            ok = isText;
            out = text;
        };
        if (key == "entry" || v.type == JsonValue::Type::Null) {
            continue;
        } else if (key == "kind") {
            ok = isText && (v.string == "image" || v.string == "audio" || v.string == "video");
            if (ok)
                f.kind = v.string == "image"   ? MediaKind::Image
                         : v.string == "audio" ? MediaKind::Audio
                                               : MediaKind::Video;
        } else if (key == "width") {
            toInt(f.width);
        } else if (key == "height") {
            toInt(f.height);
        } else if (key == "taken") {
            const QDateTime t = QDateTime(
                QDate::fromString(text.left(10), Qt::ISODate),
                QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss")), QTimeZone::utc());
            ok = isText && text.size() == 19 && text.at(10) == QLatin1Char('T') && t.isValid();
            if (ok)
                f.taken = t.toSecsSinceEpoch();
        } else if (key == "make") {
            toText(f.make);
        } else if (key == "model") {
            toText(f.model);
        } else if (key == "orientation") {
            toInt(f.orientation);
        } else if (key == "lat") {
            ok = isNumber;
            if (ok)
                f.lat = real;
        } else if (key == "lon") {
            ok = isNumber;
            if (ok)
                f.lon = real;
        } else if (key == "title") {
            toText(f.title);
        } else if (key == "artist") {
            toText(f.artist);
        } else if (key == "album") {
            toText(f.album);
        } else if (key == "track") {
            toInt(f.track);
        } else if (key == "year") {
            toInt(f.year);
        } else if (key == "genre") {
            toText(f.genre);
        } else if (key == "duration_ms") {
            ok = n.has_value();
            if (ok)
                f.durationMs = *n;
        } else if (key == "bitrate") {
            toInt(f.bitrate);
        } else if (key == "sample_rate") {
            toInt(f.sampleRate);
        } else if (key == "fps") {
            ok = isNumber;
            if (ok)
                f.fps = real;
        } else if (key == "video_codec") {
            toText(f.videoCodec);
        } else if (key == "audio_codec") {
            toText(f.audioCodec);
        } // a later version's fact is passed over
        if (!ok)
            ++dropped;
    }
    return f;
}

void readList(JsonReader& r, bool facts,
              const std::function<void(qint64, MediaFacts&&, int)>& onFacts,
              const std::function<void(qint64, QByteArray&&)>& onThumbnail) {
    r.expect('[');
    if (r.accept(']'))
        return;
    do {
        const JsonValue v = r.readValue();
        const JsonValue* entry = v.type == JsonValue::Type::Object ? v.member("entry") : nullptr;
        if (!entry || entry->type != JsonValue::Type::Integer)
            throw JsonError(facts ? "a media row names no entry" : "a thumbnail names no entry");
        if (facts) {
            int dropped = 0;
            MediaFacts f = read(v, dropped);
            onFacts(entry->integer, std::move(f), dropped);
            continue;
        }
        const JsonValue* jpeg = v.member("jpeg");
        QByteArray bytes;
        if (jpeg && jpeg->type == JsonValue::Type::String)
            bytes = QByteArray::fromBase64Encoding(jpeg->string,
                                                   QByteArray::AbortOnBase64DecodingErrors)
                        .decoded;
        onThumbnail(entry->integer, std::move(bytes));
    } while (r.accept(','));
    r.expect(']');
}

int sanitize(MediaFacts& f) {
    const auto within = [](auto v, auto low, auto high) { return v >= low && v <= high; };
    int dropped = 0;
    dropped += keepIf(f.width, f.width && within(*f.width, 1, 1000000));
    dropped += keepIf(f.height, f.height && within(*f.height, 1, 1000000));
    dropped += keepIf(f.taken, f.taken && within(*f.taken, FirstTaken, LastTaken));
    dropped += keepIf(f.orientation, f.orientation && within(*f.orientation, 1, 8));
    dropped += keepIf(f.lat, f.lat && std::isfinite(*f.lat) && within(*f.lat, -90.0, 90.0));
    dropped += keepIf(f.lon, f.lon && std::isfinite(*f.lon) && within(*f.lon, -180.0, 180.0));
    dropped += keepIf(f.track, f.track && within(*f.track, 0, 1000000));
    dropped += keepIf(f.year, f.year && within(*f.year, 1, 9999));
    dropped += keepIf(f.durationMs, f.durationMs && *f.durationMs >= 0);
    dropped += keepIf(f.bitrate, f.bitrate && *f.bitrate >= 0);
    dropped += keepIf(f.sampleRate, f.sampleRate && *f.sampleRate >= 0);
    dropped += keepIf(f.fps, f.fps && std::isfinite(*f.fps) && within(*f.fps, 0.0, 100000.0));
    for (QString* text :
         {&f.make, &f.model, &f.title, &f.artist, &f.album, &f.genre, &f.videoCodec, &f.audioCodec})
        dropped += cut(*text);
    return dropped;
}

bool isThumbnail(QByteArrayView bytes) {
    return bytes.size() > 3 && bytes.size() <= MaxThumbnailBytes &&
           bytes.startsWith("\xFF\xD8\xFF");
}

} // namespace vorlane::mediajson
