// What the keyword and the extra conditions ask of a name or note, on UTF-8 bytes, shared by
// the SQLite search and the in-memory index so that both find the same.
#pragma once

#include "core/search/searchengine.h"

#include <QByteArray>
#include <QRegularExpression>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

namespace vorlane {

// A keyword tested against UTF-8 text. As a substring (the default) the text need only
// contain it; as a glob it is a pattern for the whole text, `*` standing for any run of
// characters and `?` for exactly one; as a regex it is found anywhere in the text. Without
// `caseSensitive` only a-z and A-Z are the same letter, except in a regex, which folds case
// as Unicode does. A regex that does not compile matches nothing.
class RegexScan;

class KeywordMatcher {
public:
    KeywordMatcher(const QString& keyword, bool caseSensitive,
                   KeywordMode mode = KeywordMode::Substring);

    bool matches(const unsigned char* text, size_t length) const;
    KeywordMode mode() const { return m_mode; }
    // The keyword's bytes, folded where letters fold.
    const QByteArray& needle() const { return m_needle; }
    // True when comparing must fold the text's letters.
    bool folds() const { return m_fold; }
    // Bytes every matching text contains, folded like needle(): the keyword itself as a
    // substring, a glob's longest run without wildcards, a run of plain characters a regex
    // requires; empty when nothing is known, so that no text may be ruled out before it is
    // tested.
    QByteArray requiredLiteral() const;
    // A regex's scan over many texts at once; nullptr when the texts must be tested one by
    // one (not a regex, an invalid one, or one the scan cannot take).
    const RegexScan* regexScan() const { return m_scan.get(); }

private:
    bool contains(const unsigned char* text, size_t length) const;
    bool glob(const unsigned char* text, size_t length) const;
    bool regex(const unsigned char* text, size_t length) const;

    QByteArray m_needle;
    QRegularExpression m_regex;
    std::shared_ptr<const RegexScan> m_scan;
    QByteArray m_regexLiteral;
    KeywordMode m_mode = KeywordMode::Substring;
    bool m_fold = false;
};

// The size, date and extension conditions. Discs have none of these, so while any is set
// only folders and files are found.
class EntryFilter {
public:
    explicit EntryFilter(const SearchOptions& options);

    bool active() const { return m_active; }
    bool passes(const unsigned char* name, size_t length, qint64 size,
                std::optional<qint64> time) const;

private:
    std::optional<qint64> m_minSize, m_maxSize, m_after, m_before;
    std::unordered_set<std::string> m_extensions; // folded, with the dot
    bool m_active = false;
};

// Folds a-z to A-Z and nothing else: UTF-8 lead and continuation bytes are all >= 0x80.
inline unsigned char foldLetter(unsigned char c) {
    return static_cast<unsigned char>(c - 'a') < 26u ? static_cast<unsigned char>(c - 32) : c;
}

} // namespace vorlane
