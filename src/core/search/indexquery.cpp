// The query language evaluated on the index, and the orders of its hits.
#include "core/search/searchindex.h"

#include "core/search/querynode.h"

#include <algorithm>

namespace vorlane {

SearchSummary SearchIndex::query(const SearchQuery& query, std::vector<IndexHit>& out,
                                 const std::atomic<bool>* stop) const {
    SearchOptions options;
    if (const SearchQuery::Node* root = query.root())
        options.keyword = root->keyword;
    return search(options, out, stop);
}

void SearchIndex::sort(std::vector<IndexHit>& hits, HitOrder order, bool descending) const {
    if (order == HitOrder::Found) {
        if (descending)
            std::reverse(hits.begin(), hits.end());
        return;
    }
    auto key = [&](const IndexHit& h) { return hit(h); };
    std::stable_sort(hits.begin(), hits.end(), [&](const IndexHit& a, const IndexHit& b) {
        const SearchHit x = key(descending ? b : a);
        const SearchHit y = key(descending ? a : b);
        switch (order) {
        case HitOrder::Size:
            return x.size < y.size;
        case HitOrder::Time:
            return x.time < y.time;
        case HitOrder::Disc:
            return x.discName < y.discName;
        case HitOrder::Path:
            return location(descending ? b : a) < location(descending ? a : b);
        default:
            return (x.fileId || x.folderId ? x.name : x.discName) <
                   (y.fileId || y.folderId ? y.name : y.discName);
        }
    });
}

} // namespace vorlane
