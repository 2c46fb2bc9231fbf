// The media facts the index keeps for the query's filters: for the rows that have any (few,
// in most catalogs), a side table sorted by row.
#include "core/search/searchindex.h"
#include "core/store/database.h"

#include <algorithm>

namespace vorlane {

namespace {

struct BuiltMedia {
    std::vector<quint32> rows;
    std::vector<qint8> kinds;
    std::vector<qint64> numbers;
    std::vector<char> bytes;
    std::vector<quint32> starts{0};

    void add(const QByteArray& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        starts.push_back(quint32(bytes.size()));
    }
};

QByteArray bytesOf(searchstore::Utf8 t) {
    return t.data ? QByteArray(reinterpret_cast<const char*>(t.data), qsizetype(t.size))
                  : QByteArray();
}

} // namespace

void SearchIndex::readMedia(Database& db, const searchstore::RowPick* pick) {
    auto built = std::make_shared<BuiltMedia>();
    BuiltMedia& b = *built;
    for (searchstore::IndexMedia media(db, pick); media.next();) {
        // Facts whose entry the arrays do not hold (an orphan row) are nobody's.
        const qint64 id = media.entryId();
        if (id < 0 || id > qint64(std::numeric_limits<quint32>::max()))
            continue;
        const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), quint32(id));
        if (it == m_ids.end() || *it != quint32(id))
            continue;
        b.rows.push_back(quint32(it - m_ids.begin()));
        const qint64 kind = media.kind();
        b.kinds.push_back(kind >= 1 && kind <= 3 ? qint8(kind) : 0);
        for (const std::optional<qint64> n : {media.width(), media.taken(), media.durationMs()})
            b.numbers.push_back(n.value_or(NoTime));
        const QByteArray make = bytesOf(media.make()).trimmed();
        const QByteArray model = bytesOf(media.model()).trimmed();
        const QByteArray camera =
            make.isEmpty() || model.isEmpty() ? make + model : make + ' ' + model;
        const QByteArray texts[MediaTexts] = {bytesOf(media.title()), bytesOf(media.artist()),
                                              bytesOf(media.album()), camera};
        for (const QByteArray& t : texts)
            b.add(t);
        // Folded as Unicode folds case: artists and titles are often not ASCII.
        for (const QByteArray& t : texts)
            b.add(QString::fromUtf8(t).toCaseFolded().toUtf8());
    }
    m_media.rows = b.rows;
    m_media.kinds = b.kinds;
    m_media.numbers = b.numbers;
    m_media.bytes = b.bytes;
    m_media.starts = b.starts;
    m_mediaStorage = std::move(built);
}

std::optional<SearchIndex::MediaRef> SearchIndex::mediaAt(quint32 row) const {
    if (row >= baseRows())
        return extra().mediaAt(row - baseRows());
    const auto it = std::lower_bound(m_media.rows.begin(), m_media.rows.end(), row);
    if (it == m_media.rows.end() || *it != row)
        return std::nullopt;
    return MediaRef{this, quint32(it - m_media.rows.begin())};
}

std::vector<quint32> SearchIndex::mediaRows() const {
    std::vector<quint32> rows(m_media.rows.begin(), m_media.rows.end());
    return m_overlay ? overlaid(std::move(rows), extra().mediaRows()) : rows;
}

size_t SearchIndex::mediaCount() const {
    return m_media.count() + (m_overlay ? extra().mediaCount() : 0);
}

} // namespace vorlane
