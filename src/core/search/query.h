// The query of the search bar and of `find --query`: blank-separated words that must all
// match, "phrases", a|b (either), !word (not), and filters such as ext:, size:, date:,
// disc:, path:, note:, type:, regex: and case:, and on media facts kind:, title:, artist:,
// album:, camera:, taken:, duration: and width:. A query is parsed once and then evaluated
// on the search index, from any thread.
//
// Grammar, as the parser reads it:
//   query   := term (blank term)*          every term must hold
//   term    := unary ('|' unary)*          any operand may hold; blanks around '|' are allowed
//   unary   := '!' unary | atom            not
//   atom    := filter ':' value | word     a filter name is known and not quoted; else a word
// A word or value runs to the next blank or '|' outside double quotes; quoted parts keep
// their blanks and '|' ("two words"), and \" inside quotes is a quote. The values of regex:,
// type: and kind: run to the next blank, '|' included (regex:jpe?g|png, kind:image|video).
#pragma once

#include "core/search/searchengine.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

namespace vorlane {

// Why a query text cannot be parsed.
enum class QueryErrorCode {
    UnclosedQuote, // a double quote without its closing one
    EmptyValue,    // a filter with nothing after its colon (ext:), or ""
    BadSize,       // size: not a size like 10M, >1G or 1M..5M
    BadDate,       // date: or taken: not a date like 2024, 2024-06, >2024-06-01 or
                   // 2024-01..2024-03
    ReversedRange, // a size or date range that ends before it starts
    BadType,       // type: not folder, file, archive or member
    BadKind,       // kind: not image, audio or video
    BadDuration,   // duration: not a duration like 3m, >1h or 90s..5m
    BadWidth,      // width: not a number of pixels like 3000, >3000 or 1920..4000
    BadRegex,      // regex: does not compile (`detail` says why)
    DanglingOr,    // a '|' without an operand on one side
    LoneNot,       // a '!' with nothing after it
    MisplacedCase, // case: as the operand of '!' or '|'
};

// Where and why a query text cannot be parsed; `offset` counts characters (UTF-16 units) of
// the text, from 0. `message` is queryErrorText(*this, false).
struct QueryError {
    QString message;
    qsizetype offset = 0;
    QueryErrorCode code = QueryErrorCode::EmptyValue;
    QString text;   // the failing part of the query (a value, an operator)
    QString detail; // for BadRegex: the regular expression engine's message
};

// The reason alone, without the offset: English for the command line, Simplified Chinese
// for the window.
QString queryErrorText(const QueryError& error, bool chinese);

class SearchQuery {
public:
    struct Node;

    // The query written in `text`, or why it cannot be read.
    static std::variant<SearchQuery, QueryError> parse(const QString& text);

    // A query with nothing in it (an empty or blank text) finds nothing.
    bool isEmpty() const { return !m_root; }
    const QString& text() const { return m_text; }
    const Node* root() const { return m_root.get(); }

private:
    QString m_text;
    std::shared_ptr<const Node> m_root;
};

// The order hits can be put in, besides the order they were found in.
enum class HitOrder { Found, Name, Size, Time, Path, Disc };

// Puts hits found through SQLite in `order` as SearchIndex::sort() does. `place` gives a
// hit's location (categories, disc, folders above it, outermost first); only Path asks.
void sortHits(std::vector<SearchHit>& hits, HitOrder order, bool descending,
              const std::function<QStringList(const SearchHit&)>& place = {});

} // namespace vorlane
