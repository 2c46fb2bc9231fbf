#include "core/search/regexscan.h"

#include "core/search/matcher.h"
#include "core/search/scanpool.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace vorlane {

namespace {

// Below this a second part costs more than it saves.
constexpr size_t ParallelBytes = 4u << 20;

// True when the whole buffer must not be scanned at once: some part of the pattern could
// take the zero byte that ends a text (and a match run on into the texts after it), or see
// past it in a way that changes whether the text matches. Read on the pattern's text, so
// an escaped or quoted look-alike is refused too: such a pattern is only slower.
bool crossesTexts(const QString& p) {
    static const char* const Refused[] = {
        "\\A", "\\G", "\\z",  "\\Z",  "\\K", // the subject's ends, the match's start
        "(*",                                // verbs and settings
        "(?=", "(?!", "(?<=", "(?<!", "(?(", // lookaround, conditions
        "(?>", "++",  "*+",   "?+",   "}+",  // no way back once past a text's end
        "[^",  "[:",  "\\W",  "\\D",  "\\S", "\\H", "\\V", "\\N",
        "\\X", "\\p", "\\P",  "\\x",  "\\0", "\\o", "\\c", // what may take a zero byte
    };
    if (p.contains(QChar(0)))
        return true;
    for (const char* r : Refused) {
        if (p.contains(QLatin1String(r)))
            return true;
    }
    // Inline options that change what ^, $ and . mean, or turn options off.
    for (qsizetype i = p.indexOf(QLatin1String("(?")); i >= 0;
         i = p.indexOf(QLatin1String("(?"), i + 2)) {
        for (qsizetype k = i + 2; k < p.size(); ++k) {
            const QChar c = p[k];
            if (c == u'm' || c == u's' || c == u'-' || c == u'^')
                return true;
            if (!c.isLetter())
                break;
        }
    }
    return false;
}

} // namespace

struct RegexScan::Code {
    pcre2_code* code = nullptr;
    bool jit = false;
    ~Code() { pcre2_code_free(code); }

    // The first match in bytes[from, end).
    int match(const char* bytes, size_t end, size_t from, pcre2_match_data* data) const {
        const auto* subject = reinterpret_cast<PCRE2_SPTR>(bytes);
        return jit ? pcre2_jit_match(code, subject, end, from, 0, data, nullptr)
                   : pcre2_match(code, subject, end, from, 0, data, nullptr);
    }
};

namespace {

using MatchData = std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)>;

MatchData matchData() {
    MatchData data(pcre2_match_data_create(1, nullptr), pcre2_match_data_free);
    if (!data)
        throw std::bad_alloc();
    return data;
}

bool alone(const KeywordMatcher& exact, const char* bytes, const quint32* starts, size_t i) {
    return exact.matches(reinterpret_cast<const unsigned char*>(bytes + starts[i]),
                         starts[i + 1] - starts[i] - 1);
}

bool holdsLineFeed(const char* bytes, const quint32* starts, size_t i) {
    return std::memchr(bytes + starts[i], '\n', starts[i + 1] - starts[i] - 1) != nullptr;
}

bool stopped(const std::atomic<bool>* stop) {
    return stop && stop->load(std::memory_order_relaxed);
}

} // namespace

RegexScan::RegexScan(const QString& pattern, bool caseSensitive) {
    // \C is one code unit, a byte here but half a character to the keyword's own regex.
    if (pattern.isEmpty() || pattern.contains(QLatin1String("\\C")))
        return;
    // The options of the keyword's own regex (UTF, Unicode case folding), with every zero
    // byte a line end so that ^ and $ stand at the ends of each text and `.` stops there.
    // A text alone then matches as it does for the keyword's regex unless it holds a line
    // feed, the line end there. A byte that is not UTF-8 matches nothing instead of failing
    // the whole scan.
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (!context)
        return;
    pcre2_set_newline(context, PCRE2_NEWLINE_NUL);
    const QByteArray utf8 = pattern.toUtf8();
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(utf8.constData()), PCRE2_SIZE(utf8.size()),
                      PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_MULTILINE |
                          (caseSensitive ? 0 : PCRE2_CASELESS),
                      &error, &offset, context);
    pcre2_compile_context_free(context);
    if (!code)
        return; // the keyword's matcher reports what is wrong with it
    m_code = new Code;
    m_code->code = code;
    m_code->jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    m_dollar = pattern.contains(u'$');
    m_wholeBuffer = !crossesTexts(pattern);
}

RegexScan::~RegexScan() {
    delete m_code;
}

std::vector<quint32> RegexScan::matching(const char* bytes, const quint32* starts, size_t count,
                                         const std::vector<quint32>* candidates,
                                         const KeywordMatcher& exact,
                                         const std::atomic<bool>* stop) const {
    std::vector<quint32> out;
    if (!m_code || count == 0)
        return out;
    // A call per text costs more than the scan skimming over every text, once texts are
    // many; when the whole buffer cannot be scanned at once, every text has its call.
    if (candidates && (candidates->size() <= count / 16 || !m_wholeBuffer)) {
        test(bytes, starts, candidates->data(), candidates->size(), exact, out, stop);
        return stopped(stop) ? std::vector<quint32>() : out;
    }
    auto part = [&](size_t first, size_t last, std::vector<quint32>& into) {
        if (m_wholeBuffer) {
            scan(bytes, starts, first, last, exact, into, stop);
            return;
        }
        std::vector<quint32> all(last - first);
        std::iota(all.begin(), all.end(), quint32(first));
        test(bytes, starts, all.data(), all.size(), exact, into, stop);
    };
    const size_t total = starts[count] - starts[0];
    if (total < ParallelBytes) {
        part(0, count, out);
    } else {
        // Two parts of about the same bytes, split between texts.
        const quint32 half = quint32(starts[0] + total / 2);
        const auto split = size_t(std::upper_bound(starts, starts + count, half) - starts);
        std::vector<quint32> rest;
        runBeside([&] { part(0, split, out); }, [&] { part(split, count, rest); });
        out.insert(out.end(), rest.begin(), rest.end());
    }
    if (stopped(stop))
        return {};
    return out;
}

void RegexScan::scan(const char* bytes, const quint32* starts, size_t first, size_t last,
                     const KeywordMatcher& exact, std::vector<quint32>& out,
                     const std::atomic<bool>* stop) const {
    if (first >= last)
        return;
    const size_t from = out.size();
    const MatchData data = matchData();
    // The subject ends after the last text's zero byte: ^ then holds for an empty last text.
    const size_t end = starts[last];
    size_t i = first;
    size_t calls = 0;
    while (i < last) {
        if ((++calls & 1023) == 0 && stopped(stop))
            return;
        const int rc = m_code->match(bytes, end, starts[i], data.get());
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0) {
            // A limit of the engine (a deeply nested pattern): the rest one text at a time.
            std::vector<quint32> rest(last - i);
            std::iota(rest.begin(), rest.end(), quint32(i));
            test(bytes, starts, rest.data(), rest.size(), exact, out, stop);
            break;
        }
        const PCRE2_SIZE* match = pcre2_get_ovector_pointer(data.get());
        const auto j =
            size_t(std::upper_bound(starts + i, starts + last + 1, quint32(match[0])) - starts) - 1;
        if (j >= last)
            break; // an empty match after the last text's zero byte
        // Nothing here takes a zero byte, but a text is checked alone when a match runs on
        // over one all the same; a line feed is a line end to the keyword's own regex and
        // not to this scan.
        const bool within = match[1] < starts[j + 1];
        if ((within && !holdsLineFeed(bytes, starts, j)) || alone(exact, bytes, starts, j))
            out.push_back(quint32(j));
        i = j + 1;
    }
    if (!m_dollar)
        return;
    // `$` before a final line feed: such texts are tested alone, the scan may have missed them.
    std::vector<quint32> more;
    for (const char* p = bytes + starts[first]; p < bytes + end;) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(bytes + end - p)));
        if (!lf)
            break;
        const auto k =
            size_t(std::upper_bound(starts + first, starts + last + 1, quint32(lf - bytes)) -
                   starts) -
            1;
        if (!std::binary_search(out.begin() + qsizetype(from), out.end(), quint32(k)) &&
            alone(exact, bytes, starts, k))
            more.push_back(quint32(k));
        p = bytes + starts[k + 1];
    }
    if (more.empty())
        return;
    const auto middle = out.insert(out.end(), more.begin(), more.end());
    std::inplace_merge(out.begin() + qsizetype(from), middle, out.end());
}

void RegexScan::test(const char* bytes, const quint32* starts, const quint32* texts, size_t n,
                     const KeywordMatcher& exact, std::vector<quint32>& out,
                     const std::atomic<bool>* stop) const {
    const MatchData data = matchData();
    for (size_t k = 0; k < n; ++k) {
        if ((k & 1023) == 1023 && stopped(stop))
            return;
        const quint32 i = texts[k];
        if (holdsLineFeed(bytes, starts, i)) {
            if (alone(exact, bytes, starts, i))
                out.push_back(i);
            continue;
        }
        // The text alone, without its zero byte.
        const int rc =
            m_code->match(bytes + starts[i], starts[i + 1] - starts[i] - 1, 0, data.get());
        if (rc >= 0 || (rc != PCRE2_ERROR_NOMATCH && alone(exact, bytes, starts, i)))
            out.push_back(i);
    }
}

QByteArray regexLiteral(const QString& p, bool caseSensitive) {
    if (p.contains(u'|') || p.contains(QLatin1String("\\Q")) || p.contains(QLatin1String("(*")))
        return {};
    for (qsizetype i = p.indexOf(QLatin1String("(?")); i >= 0;
         i = p.indexOf(QLatin1String("(?"), i + 2)) {
        if (i + 2 >= p.size() || p[i + 2] != u':')
            return {}; // options, lookaround, comments, named groups: not worth reading
    }
    QString best, run;
    auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    // A quantifier that allows none: the character before it is not required.
    auto dropLast = [&] {
        if (!run.isEmpty())
            run.chop(run.size() > 1 && run.back().isLowSurrogate() ? 2 : 1);
        endRun();
    };
    auto add = [&](QChar c) {
        if (caseSensitive || (c.unicode() < 0x80 && !QStringLiteral("kKsS").contains(c)))
            run += c;
        else
            endRun();
    };
    int depth = 0;
    for (qsizetype i = 0; i < p.size(); ++i) {
        const QChar c = p[i];
        if (c == u'\\') {
            if (i + 1 >= p.size())
                return {};
            const QChar n = p[++i];
            if (n.unicode() < 0x80 && n.isLetterOrNumber()) {
                // A class, an assertion, a reference, or a character given by its code.
                if (QStringLiteral("xoNpPgkcuE").contains(n))
                    return {};
                endRun();
            } else if (depth == 0) {
                add(n);
            }
            continue;
        }
        if (c == u'[') {
            // A class, skipped whole; a ] first in it is one of its characters.
            endRun();
            qsizetype k = i + 1;
            if (k < p.size() && p[k] == u'^')
                ++k;
            if (k < p.size() && p[k] == u']')
                ++k;
            for (; k < p.size() && p[k] != u']'; ++k) {
                if (p[k] == u'\\') {
                    ++k;
                } else if (p[k] == u'[' && k + 1 < p.size() && p[k + 1] == u':') {
                    const qsizetype close = p.indexOf(QLatin1String(":]"), k + 2);
                    k = close < 0 ? p.size() : close + 1;
                }
            }
            if (k >= p.size())
                return {};
            i = k;
            continue;
        }
        if (c == u'(' || c == u')') {
            endRun();
            depth += c == u'(' ? 1 : -1;
            continue;
        }
        if (c == u'?' || c == u'*' || c == u'{') {
            // {n,m} is taken as allowing none, whatever n is: only ever a shorter run. A {
            // that is no repeat is a character, left out of the run too.
            dropLast();
            if (c == u'{') {
                qsizetype k = i + 1;
                while (k < p.size() && (p[k].isDigit() || p[k] == u','))
                    ++k;
                if (k > i + 1 && k < p.size() && p[k] == u'}')
                    i = k;
            }
            continue;
        }
        if (c == u'+' || c == u'.' || c == u'^' || c == u'$' || depth > 0) {
            endRun();
            continue;
        }
        add(c);
    }
    endRun();
    QByteArray literal = best.toUtf8();
    if (!caseSensitive) {
        for (char& b : literal)
            b = char(foldLetter(static_cast<unsigned char>(b)));
    }
    return literal;
}

} // namespace vorlane
