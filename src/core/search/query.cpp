#include "core/search/query.h"

#include "core/search/querynode.h"

#include "core/search/searchengine.h"

namespace vorlane {

std::variant<SearchQuery, QueryError> SearchQuery::parse(const QString& text) {
    SearchQuery q;
    q.m_text = text;
    const QString keyword = trimKeyword(text);
    if (!keyword.isEmpty())
        q.m_root = std::make_shared<const Node>(Node{keyword});
    return q;
}

} // namespace vorlane
