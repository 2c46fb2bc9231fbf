// Patches of a search index (the rows this program wrote since the index was made, laid over
// its arrays instead of reading the whole catalog again), and the lists of rows that see
// through them.
#include "core/search/searchindex.h"
#include "core/store/database.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace vorlane {

std::vector<quint32> SearchIndex::allRows() const {
    std::vector<quint32> rows(m_ids.size());
    std::iota(rows.begin(), rows.end(), quint32(0));
    return m_overlay ? overlaid(std::move(rows), extra().allRows()) : rows;
}

std::optional<std::string_view> SearchIndex::noteAt(quint32 row) const {
    if (row >= baseRows())
        return extra().noteAt(row - baseRows());
    // The notes' owners ascend with their rows.
    const auto it = std::lower_bound(m_notes.owners.begin(), m_notes.owners.end(), row);
    if (it == m_notes.owners.end() || *it != row)
        return std::nullopt;
    const auto i = size_t(it - m_notes.owners.begin());
    if (std::binary_search(m_notes.nulls.begin(), m_notes.nulls.end(), quint32(i)))
        return std::nullopt;
    return std::string_view(m_notes.bytes.data() + m_notes.starts[i],
                            size_t(m_notes.starts[i + 1] - m_notes.starts[i] - 1));
}

std::vector<quint32> SearchIndex::rowsNamed(const KeywordMatcher& matcher,
                                            const std::atomic<bool>* stop) const {
    std::vector<quint32> rows = matching(m_names, matcher, stop);
    return m_overlay ? overlaid(std::move(rows), extra().rowsNamed(matcher, stop)) : rows;
}

std::vector<quint32> SearchIndex::rowsNoted(const KeywordMatcher& matcher,
                                            const std::atomic<bool>* stop) const {
    std::vector<quint32> rows = matching(m_notes, matcher, stop);
    for (quint32& i : rows)
        i = m_notes.owners[i];
    return m_overlay ? overlaid(std::move(rows), extra().rowsNoted(matcher, stop)) : rows;
}

qint64 SearchIndex::positionOf(qint64 entryId) const {
    if (entryId < 0 || entryId > qint64(std::numeric_limits<quint32>::max() - 1))
        return -1;
    if (m_overlay) {
        // A changed row is in the overlay; the arrays' row of it is gone.
        if (const qint64 at = extra().positionOf(entryId); at >= 0)
            return baseRows() + at;
    }
    const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), quint32(entryId));
    if (it == m_ids.end() || *it != quint32(entryId))
        return -1;
    const auto row = quint32(it - m_ids.begin());
    if (m_overlay && std::binary_search(m_overlay->gone.begin(), m_overlay->gone.end(), row))
        return -1;
    return row;
}

size_t SearchIndex::patchedRows() const {
    return m_overlay ? m_overlay->gone.size() + m_overlay->extra->m_ids.size() : 0;
}

std::vector<quint32> SearchIndex::overlaid(std::vector<quint32> base,
                                           const std::vector<quint32>& rows) const {
    const std::vector<quint32>& gone = m_overlay->gone;
    const SearchIndex& x = extra();
    const quint32 first = baseRows();
    std::vector<quint32> out;
    out.reserve(base.size() + rows.size());
    auto g = gone.begin();
    size_t j = 0;
    for (const quint32 row : base) {
        while (g != gone.end() && *g < row)
            ++g;
        if (g != gone.end() && *g == row)
            continue;
        const quint32 id = m_ids[row];
        while (j < rows.size() && x.m_ids[rows[j]] < id)
            out.push_back(first + rows[j++]);
        out.push_back(row);
    }
    while (j < rows.size())
        out.push_back(first + rows[j++]);
    return out;
}

std::shared_ptr<const SearchIndex>
SearchIndex::patched(const std::shared_ptr<const SearchIndex>& from, Database& db,
                     const std::vector<qint64>& ids, const std::vector<qint64>& discs, bool tree) {
    const SearchIndex& base = *from;
    // The rows laid over before are read again with the new ones: what has not changed
    // reads the same, and whatever the reader reads of a row comes along.
    searchstore::RowPick pick;
    pick.ids = ids;
    pick.discs = discs;
    if (base.m_overlay) {
        for (const quint32 id : base.extra().m_ids)
            pick.ids.push_back(id);
    }
    std::shared_ptr<SearchIndex> extra = read(db, {}, &pick, tree, nullptr);
    if (!extra)
        return nullptr;

    std::shared_ptr<SearchIndex> index(new SearchIndex(base));
    index->m_change = extra->m_change;
    if (tree) {
        index->m_discList = std::move(extra->m_discList);
        index->m_categories = std::move(extra->m_categories);
        extra->m_discList.clear();
        extra->m_categories.clear();
        extra->finish(false);
        index->finish(false);
    }

    auto overlay = std::make_shared<Overlay>();
    if (base.m_overlay) {
        overlay->gone = base.m_overlay->gone;
        overlay->baseFolders = base.m_overlay->baseFolders;
        overlay->baseFiles = base.m_overlay->baseFiles;
    } else {
        overlay->baseFolders = base.m_folderCount;
        overlay->baseFiles = base.m_fileCount;
    }
    std::vector<quint32>& gone = overlay->gone;
    for (const qint64 id : ids) {
        if (id < 0 || id > qint64(std::numeric_limits<quint32>::max()))
            continue;
        const auto it = std::lower_bound(base.m_ids.begin(), base.m_ids.end(), quint32(id));
        if (it != base.m_ids.end() && *it == quint32(id))
            gone.push_back(quint32(it - base.m_ids.begin()));
    }
    if (!discs.empty()) {
        // Every row of a disc written whole: one pass over the arrays' disc column.
        std::vector<char> written(base.m_discIds.size(), 0);
        bool any = false;
        for (size_t i = 0; i < written.size(); ++i) {
            written[i] = std::find(discs.begin(), discs.end(), base.m_discIds[i]) != discs.end();
            any = any || written[i];
        }
        for (quint32 row = 0; any && row < base.baseRows(); ++row) {
            if (written[base.m_discs[row]])
                gone.push_back(row);
        }
    }
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());

    qint64 folders = overlay->baseFolders + extra->m_folderCount;
    qint64 files = overlay->baseFiles + extra->m_fileCount;
    for (const quint32 row : gone) {
        folders -= base.m_kinds[row] == 1;
        files -= base.m_kinds[row] == 0;
    }
    index->m_folderCount = folders;
    index->m_fileCount = files;
    index->m_entryCount = qint64(base.baseRows()) - qint64(gone.size()) + extra->m_entryCount;
    overlay->extra = std::move(extra);
    index->m_overlay = std::move(overlay);
    index->m_stamp = searchstore::stamp(db);
    return index;
}

} // namespace vorlane
