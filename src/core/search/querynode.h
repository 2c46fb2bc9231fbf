// What a parsed query holds, for its parser and the index that evaluates it, and the keys
// both kinds of hits are sorted by.
#pragma once

#include "core/search/query.h"

#include <QByteArray>
#include <limits>
#include <optional>
#include <vector>

namespace vorlane {

struct SearchQuery::Node {
    enum class Kind {
        All,   // every child holds
        Any,   // some child holds
        Not,   // the one child does not hold
        Word,  // the name or the note holds `text`
        Ext,   // the text after the name's last dot is one of `values`
        Size,  // low <= size <= high
        Date,  // low <= time < high (an unknown time never)
        Disc,  // the disc's name holds `text`
        Path,  // the path on the disc ("/folder/name") holds `text`
        Note,  // the note holds `text`
        Type,  // the entry is one of `types`
        Regex, // the regular expression `text` is found in the name
        // Media facts; an entry without them never holds.
        Media,    // the facts' kind is one of `types` (MediaBit)
        Title,    // the title holds `text`
        Artist,   // the artist holds `text`
        Album,    // the album holds `text`
        Camera,   // "make model" holds `text`
        Taken,    // low <= taken < high, the camera's wall time counted as UTC
        Duration, // low <= milliseconds <= high
        Width,    // low <= pixels <= high
    };
    enum TypeBit : quint8 { Folder = 1, File = 2, Archive = 4, Member = 8 };
    enum MediaBit : quint8 { Image = 1, Audio = 2, Video = 4 };
    static constexpr qint64 Lowest = std::numeric_limits<qint64>::min();
    static constexpr qint64 Highest = std::numeric_limits<qint64>::max();

    Kind kind = Kind::Word;
    std::vector<Node> children;
    QString text;
    QStringList values;
    bool caseSensitive = false;
    qint64 low = Lowest;
    qint64 high = Highest;
    quint8 types = 0;

    bool isMedia() const { return kind >= Kind::Media; }

    // False when a disc can never satisfy this (a size, date, extension, type, path or media
    // fact).
    bool discCanHold() const {
        if (kind == Kind::Ext || kind == Kind::Size || kind == Kind::Date || kind == Kind::Type ||
            kind == Kind::Path || isMedia())
            return false;
        for (const Node& c : children) {
            if (!c.discCanHold())
                return false;
        }
        return true;
    }
};

namespace hitorder {

// What a hit is sorted by; only the parts its order needs are filled.
struct Key {
    QByteArray folded; // the name (a disc hit's: the disc's), case-folded, UTF-8
    QByteArray raw;    // the same as stored
    qint64 size = 0;
    std::optional<qint64> time;
    std::vector<std::pair<QByteArray, QByteArray>> place; // folded and raw, outermost first
    qint64 placeRank = -1; // instead of `place`: its rank among the places of the hits
    QByteArray discFolded, discRaw;
};

std::pair<QByteArray, QByteArray> text(const QString& s);
// UTF-8 case-folded (ASCII without a detour through UTF-16).
QByteArray folded(const QByteArray& utf8);
// Folded texts first, then the texts as stored, byte by byte: <0, 0 or >0.
int compare(const QByteArray& foldedA, const QByteArray& rawA, const QByteArray& foldedB,
            const QByteArray& rawB);
// The positions of `keys` in `order`; ties keep their order in either direction.
std::vector<size_t> sorted(const std::vector<Key>& keys, HitOrder order, bool descending);

} // namespace hitorder

} // namespace vorlane
