// What a parsed query holds, for its parser and the index that evaluates it.
#pragma once

#include "core/search/query.h"

namespace vorlane {

// For now the whole text is one substring keyword.
struct SearchQuery::Node {
    QString keyword;
};

} // namespace vorlane
