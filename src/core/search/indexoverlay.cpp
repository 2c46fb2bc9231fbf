// Patches of a search index: the rows this program wrote since the index was made, laid over
// its arrays instead of reading the whole catalog again.
#include "core/search/searchindex.h"
#include "core/store/database.h"

#include <algorithm>

namespace vorlane {

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
