// The query of the search bar and of `find --query`: blank-separated words that must all
// match, "phrases", a|b (either), !word (not), and filters such as ext:, size:, date:,
// disc:, path:, note:, type:, regex: and case:. A query is parsed once and then evaluated
// on the search index, from any thread.
#pragma once

#include <QString>
#include <memory>
#include <variant>

namespace vorlane {

// Where and why a query text cannot be parsed; `offset` counts characters of the text.
struct QueryError {
    QString message;
    qsizetype offset = 0;
};

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

} // namespace vorlane
