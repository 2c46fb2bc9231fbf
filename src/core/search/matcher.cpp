#include "core/search/matcher.h"

#include "core/search/regexscan.h"

#include <QStringDecoder>
#include <QVarLengthArray>
#include <algorithm>
#include <cstring>

namespace vorlane {

namespace {

bool hasLetter(const QByteArray& bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
    });
}

// Length of the UTF-8 character starting at `p` (a stray byte counts as one).
size_t charLength(const unsigned char* p, const unsigned char* end) {
    size_t n = 1;
    while (p + n < end && (p[n] & 0xC0) == 0x80)
        ++n;
    return n;
}

QRegularExpression::PatternOptions regexOptions(bool caseSensitive) {
    return caseSensitive ? QRegularExpression::NoPatternOption
                         : QRegularExpression::CaseInsensitiveOption;
}

} // namespace

std::optional<KeywordError> keywordError(const QString& keyword, KeywordMode mode) {
    if (mode != KeywordMode::Regex)
        return std::nullopt;
    const QRegularExpression re(keyword);
    if (re.isValid())
        return std::nullopt;
    return KeywordError{re.errorString(), re.patternErrorOffset()};
}

KeywordMatcher::KeywordMatcher(const QString& keyword, bool caseSensitive, KeywordMode mode)
    : m_needle(keyword.toUtf8()), m_mode(mode) {
    if (mode == KeywordMode::Regex) {
        m_regex = QRegularExpression(keyword, regexOptions(caseSensitive));
        m_regex.optimize();
        if (m_regex.isValid()) {
            m_regexLiteral = regexLiteral(keyword, caseSensitive);
            auto scan = std::make_shared<const RegexScan>(keyword, caseSensitive);
            if (scan->usable())
                m_scan = std::move(scan);
        }
    }
    if (!caseSensitive) {
        for (char& c : m_needle)
            c = char(foldLetter(static_cast<unsigned char>(c)));
    }
    // Without letters in the keyword, folding the text cannot change the outcome.
    m_fold = !caseSensitive && hasLetter(m_needle);
}

bool KeywordMatcher::matches(const unsigned char* text, size_t length) const {
    if (!text || m_needle.isEmpty())
        return false;
    switch (m_mode) {
    case KeywordMode::Glob:
        return glob(text, length);
    case KeywordMode::Regex:
        return regex(text, length);
    case KeywordMode::Substring:
        break;
    }
    return contains(text, length);
}

// PCRE in Qt works on UTF-16: the text is decoded into a buffer on the stack (for all but
// long texts) rather than into a QString of its own for every name.
bool KeywordMatcher::regex(const unsigned char* text, size_t length) const {
    if (!m_regex.isValid())
        return false;
    QVarLengthArray<QChar, 256> buffer(qsizetype(length) + 1);
    // A leading byte order mark stays a character, as QString::fromUtf8 keeps it.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    const QChar* end = decoder.appendToBuffer(
        buffer.data(), QByteArrayView(reinterpret_cast<const char*>(text), qsizetype(length)));
    // The decoder only ever writes well-formed UTF-16, so PCRE need not check it again.
    return m_regex
        .match(QStringView(buffer.data(), end - buffer.data()), 0, QRegularExpression::NormalMatch,
               QRegularExpression::DontCheckSubjectStringMatchOption)
        .hasMatch();
}

bool KeywordMatcher::contains(const unsigned char* text, size_t length) const {
    const size_t n = size_t(m_needle.size());
    if (n > length)
        return false;
    if (!m_fold)
        return memmem(text, length, m_needle.constData(), n) != nullptr;
    // Names and notes are short: a direct scan beats folding into a buffer first.
    const auto* needle = reinterpret_cast<const unsigned char*>(m_needle.constData());
    const unsigned char first = needle[0];
    const size_t last = length - n;
    for (size_t i = 0; i <= last; ++i) {
        if (foldLetter(text[i]) != first)
            continue;
        size_t k = 1;
        while (k < n && foldLetter(text[i + k]) == needle[k])
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

// The whole text against the pattern; after a `*` the match backs up to the last star only,
// so a pattern costs at most text times pattern steps.
bool KeywordMatcher::glob(const unsigned char* text, size_t length) const {
    const auto* p = reinterpret_cast<const unsigned char*>(m_needle.constData());
    const unsigned char* pEnd = p + m_needle.size();
    const unsigned char* t = text;
    const unsigned char* tEnd = text + length;
    const unsigned char* starP = nullptr;
    const unsigned char* starT = nullptr;
    while (t < tEnd) {
        if (p < pEnd && *p == '*') {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < pEnd && *p == '?') {
            ++p;
            t += charLength(t, tEnd);
            continue;
        }
        if (p < pEnd && (m_fold ? foldLetter(*t) : *t) == *p) {
            ++p;
            ++t;
            continue;
        }
        if (!starP)
            return false;
        // Let the last star take one more character and try again from there.
        starT += charLength(starT, tEnd);
        t = starT;
        p = starP;
    }
    while (p < pEnd && *p == '*')
        ++p;
    return p == pEnd;
}

QByteArray KeywordMatcher::requiredLiteral() const {
    if (m_mode == KeywordMode::Substring)
        return m_needle;
    if (m_mode == KeywordMode::Regex)
        return m_regexLiteral;
    QByteArray best;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= m_needle.size(); ++i) {
        if (i == m_needle.size() || m_needle[i] == '*' || m_needle[i] == '?') {
            if (i - start > best.size())
                best = m_needle.mid(start, i - start);
            start = i + 1;
        }
    }
    return best;
}

EntryFilter::EntryFilter(const SearchOptions& o)
    : m_minSize(o.minSize), m_maxSize(o.maxSize), m_after(o.after), m_before(o.before) {
    for (const QString& e : o.extensions) {
        std::string folded = e.toUtf8().toStdString();
        for (char& c : folded)
            c = char(foldLetter(static_cast<unsigned char>(c)));
        if (!folded.empty() && folded[0] != '.')
            folded.insert(folded.begin(), '.');
        m_extensions.insert(folded);
    }
    m_active = m_minSize || m_maxSize || m_after || m_before || !m_extensions.empty();
}

bool EntryFilter::passes(const unsigned char* name, size_t length, qint64 size,
                         std::optional<qint64> time) const {
    if ((m_minSize && size < *m_minSize) || (m_maxSize && size > *m_maxSize))
        return false;
    // An entry whose time is unknown passes only while no date is asked for.
    if ((m_after || m_before) &&
        (!time || (m_after && *time < *m_after) || (m_before && *time >= *m_before)))
        return false;
    if (!m_extensions.empty()) {
        if (!name)
            return false;
        const auto* end = name + length;
        const auto* dot = end;
        while (dot > name && dot[-1] != '.')
            --dot;
        if (dot == name)
            return false; // no extension
        std::string ext(reinterpret_cast<const char*>(dot - 1), size_t(end - dot + 1));
        for (char& c : ext)
            c = char(foldLetter(static_cast<unsigned char>(c)));
        if (!m_extensions.count(ext))
            return false;
    }
    return true;
}

} // namespace vorlane
