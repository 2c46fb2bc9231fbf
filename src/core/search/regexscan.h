// A regular expression run over many texts at once: the index keeps its names (and its
// notes) one after another, each ended by a zero byte, and PCRE2 scans that buffer in one
// pass with the zero byte as its line end, instead of being called once per text.
//
// The pass must find what the keyword's own regex finds in each text alone. It does when
// the zero byte stands for the end of a text to every part of the pattern; patterns that
// could take that byte or look across it (negated classes, lookaround, \A, \z, possessive
// repeats, newline settings...) are instead run on each text as its own subject, still
// without a conversion per text. A text holding a line feed (a line end to the keyword's
// own regex, not here) is checked with the keyword's matcher.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <vector>

namespace vorlane {

class KeywordMatcher;

class RegexScan {
public:
    RegexScan(const QString& pattern, bool caseSensitive);
    ~RegexScan();
    RegexScan(const RegexScan&) = delete;
    RegexScan& operator=(const RegexScan&) = delete;

    // False when the pattern cannot be run this way (\C, or what PCRE2 refuses); texts are
    // then tested one by one with the keyword's matcher.
    bool usable() const { return m_code != nullptr; }

    // Positions (ascending) of the texts in [0, count) that `exact` (the keyword's matcher)
    // matches: text i is bytes[starts[i] .. starts[i + 1] - 1), followed by a zero byte.
    // With `candidates` (ascending), only those texts can match: a few are tested one by
    // one, many by the scan of every text. Null texts are not told apart from empty ones
    // here. Long buffers are split over the scan pool. Returns nothing once `stop` is set.
    std::vector<quint32> matching(const char* bytes, const quint32* starts, size_t count,
                                  const std::vector<quint32>* candidates,
                                  const KeywordMatcher& exact, const std::atomic<bool>* stop) const;

private:
    struct Code;

    void scan(const char* bytes, const quint32* starts, size_t first, size_t last,
              const KeywordMatcher& exact, std::vector<quint32>& out,
              const std::atomic<bool>* stop) const;
    // Each of the n texts listed, on its own.
    void test(const char* bytes, const quint32* starts, const quint32* texts, size_t n,
              const KeywordMatcher& exact, std::vector<quint32>& out,
              const std::atomic<bool>* stop) const;

    Code* m_code = nullptr;
    bool m_dollar = false;      // `$` also matches before a text's final line feed
    bool m_wholeBuffer = false; // the pattern may run over the whole buffer at once
};

// The longest run of characters every match of `pattern` holds, as UTF-8, a-z folded to
// A-Z unless `caseSensitive` (as the substring search folds); empty when none is known for
// sure. Read from the pattern's text, outside groups and classes; alternation, quoting and
// inline options give nothing. Without `caseSensitive` a run stops at characters whose
// case partners are not all ASCII (k, s and all beyond ASCII).
QByteArray regexLiteral(const QString& pattern, bool caseSensitive);

} // namespace vorlane
