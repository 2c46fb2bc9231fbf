// Media facts as JSON members, shared by the export, the merge that reads it back and the
// command line's listings, so that every one names and writes a fact alike.
#pragma once

#include "core/store/mediastore.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <vector>

namespace vorlane {

struct JsonValue;
class JsonReader;

namespace mediajson {

struct Member {
    enum class Type { Integer, Real, Text };
    const char* name;
    Type type;
    qint64 integer = 0;
    double real = 0;
    QString text;
};

// The known facts, each as its member ("width", "duration_ms", "taken" as
// "YYYY-MM-DDTHH:MM:SS"…), in the order of their names. The kind is not among them.
std::vector<Member> members(const MediaFacts& facts);

// "image", "audio", "video"; empty for none.
QByteArray kindName(MediaKind kind);

// One row of the export's "media" list, compact: {"album":…,"entry":12,"kind":"image",…}.
QByteArray exportRow(qint64 entryId, const MediaFacts& facts);

// A wall time without a zone, "YYYY-MM-DDTHH:MM:SS"; empty outside the years 1 to 9999.
QString takenText(qint64 secs);

// The facts of an object with the members of members() and "kind". A member of the wrong
// type is left out and counted in `dropped`; values are taken as they are (see sanitize()).
MediaFacts read(const JsonValue& object, int& dropped);

// Reads the export's "media" (`facts`) or "thumbnails" list, handing over each row: the
// facts with the number of members left out as unreadable, or the thumbnail's bytes (empty
// when they are not Base64). A row that is no object or names no entry throws JsonError.
void readList(JsonReader& r, bool facts,
              const std::function<void(qint64 entry, MediaFacts&&, int dropped)>& onFacts,
              const std::function<void(qint64 entry, QByteArray&& jpeg)>& onThumbnail);

// Clears what no reading of a file could give (a NaN or far-off position, a negative
// size or duration, an orientation outside 1..8) and cuts overlong texts. Returns how
// many facts were dropped or cut.
int sanitize(MediaFacts& facts);

// The largest thumbnail taken from elsewhere; the program's own are far smaller.
constexpr qsizetype MaxThumbnailBytes = 1 << 20;

// True for bytes that may stand as a thumbnail: a JPEG, and not unreasonably large.
bool isThumbnail(QByteArrayView bytes);

} // namespace mediajson
} // namespace vorlane
