// An in-memory index of every disc, folder and file name and note of a catalog, for a
// search that answers as the keyword is typed. It finds exactly the hits of runSearch(),
// in the same order and with the same numbers, from a few compact arrays:
//   - every entry's name, UTF-8, one after another in one buffer, each ended by a zero byte
//     (a keyword holds no zero byte, so no match runs from one name into the next);
//   - per entry, in AutoId order: the name's offset, the ids a hit needs, size and time;
//   - the notes that exist, likewise, with their entry's position;
//   - the media facts the query filters on, for the few entries that have any, by position.
//
// An index describes the catalog as one connection saw it when the build began (its
// stamp). Once that connection sees any change, isCurrent() says false: the caller either
// patches it (patched(): a new index sharing these arrays, with the rows written since laid
// over them) or searches through SQLite until a new index is built.
#pragma once

#include "core/search/query.h"
#include "core/search/searchengine.h"
#include "core/store/searchstore.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace vorlane {

class Database;
class EntryFilter;
class KeywordMatcher;

// One hit of an index search, as small as it can be: the text is made when it is shown.
struct IndexHit {
    quint32 row = 0;   // entry position, or disc position for a disc hit
    bool disc = false; // a disc hit
};

class SearchIndex {
public:
    // Reads every row of the catalog open in `db` (a connection of the building thread).
    // `stamp` is what the connection that will search saw before the build began. Returns
    // nullptr when `cancel` was set, or when the catalog is too large for 32-bit offsets and
    // ids (the search then stays with SQLite).
    // Throws DbError.
    static std::shared_ptr<const SearchIndex> build(Database& db, const searchstore::Stamp& stamp,
                                                    const std::atomic<bool>* cancel = nullptr);

    // True while `db` (the searching connection) has seen no change since the stamp.
    bool isCurrent(Database& db) const;
    const searchstore::Stamp& stamp() const { return m_stamp; }

    // This index with the entry rows `ids` and every row of the discs `discs` read again from
    // `db` (a row that is gone is dropped), with `tree` the discs and categories too; stamped
    // with what `db` sees now. The caller holds a read transaction on `db`, in which it has
    // made sure that nothing else changed. nullptr when a row is beyond the index's limits.
    // Throws DbError.
    static std::shared_ptr<const SearchIndex>
    patched(const std::shared_ptr<const SearchIndex>& from, Database& db,
            const std::vector<qint64>& ids, const std::vector<qint64>& discs, bool tree);
    // Rows laid over the arrays by patches: changed, added or dropped ones.
    size_t patchedRows() const;

    // The search of runSearch(), hit for hit. `out` receives the hits in order; the
    // summary counts them like runSearch(). Stops early once `stop` is set.
    SearchSummary search(const SearchOptions& options, std::vector<IndexHit>& out,
                         const std::atomic<bool>* stop = nullptr) const;
    // The same, with every hit handed to the callbacks as runSearch() does. Returns nullopt,
    // having reported nothing, when the index turns out not intact().
    std::optional<SearchSummary> search(const SearchOptions& options,
                                        const SearchCallbacks& callbacks) const;

    // The hits of a query: discs first (in tree order), then folders, then files, each in
    // AutoId order. Stops early once `stop` is set.
    SearchSummary query(const SearchQuery& query, std::vector<IndexHit>& out,
                        const std::atomic<bool>* stop = nullptr) const;
    // Puts hits in `order` (Found leaves them as they are), descending with `descending`;
    // hits that compare equal keep their order.
    void sort(std::vector<IndexHit>& hits, HitOrder order, bool descending) const;

    // False when the file the index was mapped from failed its checksum. The check runs
    // beside the first search and is waited for here; a built index is always intact.
    bool intact() const;

    // The full hit, texts included.
    SearchHit hit(const IndexHit& h) const;
    // Where a hit lies: its categories, its disc and the folders above it, joined by " ▸ ".
    QString location(const IndexHit& h) const;

    qint64 entryCount() const { return m_entryCount; }
    // The catalog's change tag as the index read it; nullopt when it has none.
    const std::optional<searchstore::ChangeTag>& changeTag() const { return m_change; }

    // Bytes held, the name and note texts included.
    size_t memoryBytes() const;

private:
    // A run of values the index reads, in memory of its own or in a mapped index file.
    template <class T> struct Span {
        const T* ptr = nullptr;
        size_t len = 0;
        Span() = default;
        Span(const std::vector<T>& v) : ptr(v.data()), len(v.size()) {}
        Span(const T* p, size_t n) : ptr(p), len(n) {}
        size_t size() const { return len; }
        bool empty() const { return len == 0; }
        const T* data() const { return ptr; }
        const T* begin() const { return ptr; }
        const T* end() const { return ptr + len; }
        const T& operator[](size_t i) const { return ptr[i]; }
    };
    struct Texts {
        Span<char> bytes;          // each text followed by a zero byte
        Span<quint32> starts;      // offset of each text, plus one past the end
        Span<quint32> owners;      // for notes: the entry position of each
        Span<quint32> nulls;       // the texts that are null, not empty (rare)
        Span<quint32> frequency;   // how often each byte value occurs in `bytes` (a hint only)
        Span<quint32> blockStarts; // the blocks of the filter in front of the scan
        Span<quint64> blockBits;   // (see blockfilter.h)
        size_t count() const { return starts.empty() ? 0 : starts.size() - 1; }
    };
    struct Disc {
        qint64 id = 0;
        qint64 categoryId = 0;
        QByteArray name;
        QByteArray note;
        bool nameNull = false; // a null text is never found, an empty one is (by "*")
        bool noteNull = false;
    };
    struct Category {
        qint64 fatherId = 0;
        QString name;
    };
    // The media facts of the rows that have any, sorted by row (see indexmedia.cpp).
    enum MediaNumber { MediaWidth, MediaTaken, MediaDuration, MediaNumbers };
    enum MediaText { MediaTitle, MediaArtist, MediaAlbum, MediaCamera, MediaTexts };
    struct Media {
        Span<quint32> rows;   // positions, ascending
        Span<qint8> kinds;    // MediaKind
        Span<qint64> numbers; // MediaNumbers per row, NoTime when unknown
        // MediaTexts per row as stored (UTF-8), then as many case-folded
        Span<char> bytes;
        Span<quint32> starts; // offset of each text, plus one past the end
        size_t count() const { return rows.size(); }
    };
    struct MediaRef {
        const SearchIndex* index; // the index, or the overlay's, holding the facts
        quint32 at;
        qint8 kind() const { return index->m_media.kinds[at]; }
        std::optional<qint64> number(MediaNumber n) const {
            const qint64 v = index->m_media.numbers[at * MediaNumbers + n];
            return v == NoTime ? std::nullopt : std::optional<qint64>(v);
        }
        std::string_view text(MediaText t, bool folded) const {
            const Media& m = index->m_media;
            const size_t i = size_t(at) * 2 * MediaTexts + (folded ? MediaTexts : 0) + t;
            return {m.bytes.data() + m.starts[i], size_t(m.starts[i + 1] - m.starts[i])};
        }
    };

    friend class IndexFile;

    SearchIndex() = default;
    // Positions (ascending) of the texts in `t` that contain the keyword.
    static std::vector<quint32> find(const Texts& t, const QByteArray& needle, bool fold,
                                     const std::atomic<bool>* stop);
    static std::vector<quint32> matching(const Texts& t, const KeywordMatcher& matcher,
                                         const std::atomic<bool>* stop);
    bool passes(const EntryFilter& filter, quint32 row) const;
    // Reads the rows `pick` names (all with nullptr), with `tree` the discs and categories.
    static std::shared_ptr<SearchIndex> read(Database& db, const searchstore::Stamp& stamp,
                                             const searchstore::RowPick* pick, bool tree,
                                             const std::atomic<bool>* cancel);

    // What patches lay over the arrays: rows past the arrays' end are those of `extra`.
    struct Overlay {
        std::shared_ptr<const SearchIndex> extra; // rows changed or added, without overlay
        std::vector<quint32> gone;                // rows of the arrays changed or dropped
        qint64 baseFolders = 0;                   // the arrays' own counts
        qint64 baseFiles = 0;
    };
    quint32 baseRows() const { return quint32(m_ids.size()); }
    const SearchIndex& extra() const { return *m_overlay->extra; }
    // Rows of the arrays, ascending, less those gone, merged in AutoId order with the
    // overlay's `rows` (positions within `extra`).
    std::vector<quint32> overlaid(std::vector<quint32> base,
                                  const std::vector<quint32>& rows) const;

    // The entry rows and their facts, for the searches. Every search goes through these, so
    // that what it sees of a row is decided in one place. Lists of rows are in AutoId order;
    // rowBefore() tells that order.
    // Rows past the arrays' end are the overlay's.
    std::vector<quint32> allRows() const;
    bool rowBefore(quint32 a, quint32 b) const { return m_overlay ? idAt(a) < idAt(b) : a < b; }
    qint64 idAt(quint32 row) const {
        return row < baseRows() ? m_ids[row] : extra().idAt(row - baseRows());
    }
    qint64 fatherAt(quint32 row) const {
        return row < baseRows() ? m_fathers[row] : extra().fatherAt(row - baseRows());
    }
    qint64 discIdAt(quint32 row) const {
        return row < baseRows() ? m_discIds[m_discs[row]] : extra().discIdAt(row - baseRows());
    }
    qint64 sizeAt(quint32 row) const {
        return row < baseRows() ? m_sizes[row] : extra().sizeAt(row - baseRows());
    }
    std::optional<qint64> timeAt(quint32 row) const {
        if (row >= baseRows())
            return extra().timeAt(row - baseRows());
        return m_times[row] == NoTime ? std::nullopt : std::optional<qint64>(m_times[row]);
    }
    // 1 a folder, 0 a file, -1 neither (a damaged row).
    qint8 kindAt(quint32 row) const {
        return row < baseRows() ? m_kinds[row] : extra().kindAt(row - baseRows());
    }
    // 1 an archive listed as a folder, 2 one of its members, 0 anything else.
    qint8 archiveAt(quint32 row) const {
        return row < baseRows() ? m_archives[row] : extra().archiveAt(row - baseRows());
    }
    std::string_view nameAt(quint32 row) const {
        if (row >= baseRows())
            return extra().nameAt(row - baseRows());
        return {m_names.bytes.data() + m_names.starts[row],
                size_t(m_names.starts[row + 1] - m_names.starts[row] - 1)};
    }
    // The note; nullopt when it is null.
    std::optional<std::string_view> noteAt(quint32 row) const;
    // The rows whose name, or whose note, the matcher matches.
    std::vector<quint32> rowsNamed(const KeywordMatcher& matcher,
                                   const std::atomic<bool>* stop) const;
    std::vector<quint32> rowsNoted(const KeywordMatcher& matcher,
                                   const std::atomic<bool>* stop) const;
    qint64 positionOf(qint64 entryId) const;
    const Disc* discById(qint64 discId) const;
    // The facts of a row; nullopt when it has none.
    std::optional<MediaRef> mediaAt(quint32 row) const;
    // The rows that have facts, and about how many there are.
    std::vector<quint32> mediaRows() const;
    size_t mediaCount() const;
    // Reads the facts of the rows the arrays hold (those `pick` names, or all).
    void readMedia(Database& db, const searchstore::RowPick* pick);
    // Indexes the discs by id, and with `count` counts the folders and files, once the
    // arrays are set.
    void finish(bool count = true);

    searchstore::Stamp m_stamp;
    std::optional<searchstore::ChangeTag> m_change;     // the catalog's tag when it was read
    std::shared_ptr<const void> m_storage;              // what the spans below point into
    std::shared_ptr<std::shared_future<bool>> m_intact; // the file's checksum, when mapped
    Texts m_names;
    Texts m_notes;
    Span<quint32> m_ids;     // AutoId, ascending
    Span<quint32> m_fathers; // FatherId
    Span<quint32> m_discs;   // position in m_discIds
    Span<qint64> m_sizes;    // FSize
    Span<qint64> m_times;    // FTime, or NoTime
    Span<qint8> m_kinds;     // 1 folder, 0 file, -1 neither
    Span<qint8> m_archives;  // Archive: 1 archive, 2 member, else 0
    Span<qint64> m_discIds;  // the distinct CdID values
    Media m_media;
    std::shared_ptr<const void> m_mediaStorage; // what m_media points into, when read
    std::vector<Disc> m_discList;               // in OrderId order
    QHash<qint64, quint32> m_discPositions;     // disc id -> position in m_discList
    QHash<qint64, Category> m_categories;
    qint64 m_folderCount = 0;
    qint64 m_fileCount = 0;
    qint64 m_entryCount = 0;
    std::shared_ptr<const Overlay> m_overlay; // none for an index as built or loaded

public:
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::min();
};

// The index's search while `index` is current for `db`, else runSearch() through SQLite.
SearchSummary runSearch(Database& db, const SearchIndex* index, const SearchOptions& options,
                        const SearchCallbacks& callbacks = {});

} // namespace vorlane
