#include "core/search/regexscan.h"

#include "core/search/matcher.h"
#include "core/search/scanpool.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>

namespace vorlane {

namespace {

// Below this a second part costs more than it saves.
constexpr size_t ParallelBytes = 4u << 20;

// True when some part of the pattern could see past the zero byte that ends a text, or
// where that byte is, in a way that changes whether the text matches. Read on the pattern's
// text, so an escaped or quoted look-alike is refused too: such a pattern is only slower.
bool crossesTexts(const QString& p) {
    static const char* const Refused[] = {
        "\\A", "\\G", "\\z",  "\\Z",  "\\K", "\\C", // the subject's own ends, the match start
        "(*",                                       // verbs, newline and start settings
        "(?=", "(?!", "(?<=", "(?<!", "(?(",        // lookaround and conditions
        "(?>", "++",  "*+",   "?+",   "}+",         // no way back once past the text's end
    };
    for (const char* r : Refused) {
        if (p.contains(QLatin1String(r)))
            return true;
    }
    // Inline options that change what ^ and $ mean, or turn options off.
    for (qsizetype i = p.indexOf(QLatin1String("(?")); i >= 0;
         i = p.indexOf(QLatin1String("(?"), i + 2)) {
        for (qsizetype k = i + 2; k < p.size(); ++k) {
            const QChar c = p[k];
            if (c == u'm' || c == u'-' || c == u'^')
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
};

RegexScan::RegexScan(const QString& pattern, bool caseSensitive) {
    if (pattern.isEmpty() || crossesTexts(pattern))
        return;
    // The options of the keyword's own regex (UTF, Unicode case folding), with every zero
    // byte a line end so that ^ and $ stand at the ends of each text and `.` stops there.
    // A byte that is not UTF-8 matches nothing instead of failing the whole scan.
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
}

RegexScan::~RegexScan() {
    delete m_code;
}

std::vector<quint32> RegexScan::matching(const char* bytes, const quint32* starts, size_t count,
                                         const KeywordMatcher& exact,
                                         const std::atomic<bool>* stop) const {
    std::vector<quint32> out;
    if (!m_code || count == 0)
        return out;
    const size_t total = starts[count] - starts[0];
    if (total < ParallelBytes) {
        scan(bytes, starts, 0, count, exact, out, stop);
    } else {
        // Two parts of about the same bytes, split between texts.
        const quint32 half = quint32(starts[0] + total / 2);
        const auto split = size_t(std::upper_bound(starts, starts + count, half) - starts);
        std::vector<quint32> rest;
        runBeside([&] { scan(bytes, starts, 0, split, exact, out, stop); },
                  [&] { scan(bytes, starts, split, count, exact, rest, stop); });
        out.insert(out.end(), rest.begin(), rest.end());
    }
    if (stop && stop->load(std::memory_order_relaxed))
        return {};
    return out;
}

void RegexScan::scan(const char* bytes, const quint32* starts, size_t first, size_t last,
                     const KeywordMatcher& exact, std::vector<quint32>& out,
                     const std::atomic<bool>* stop) const {
    if (first >= last)
        return;
    auto alone = [&](size_t i) {
        return exact.matches(reinterpret_cast<const unsigned char*>(bytes + starts[i]),
                             starts[i + 1] - starts[i] - 1);
    };
    auto holdsLineFeed = [&](size_t i) {
        return std::memchr(bytes + starts[i], '\n', starts[i + 1] - starts[i] - 1) != nullptr;
    };
    const size_t from = out.size();
    std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)> data(
        pcre2_match_data_create(1, nullptr), pcre2_match_data_free);
    if (!data)
        throw std::bad_alloc();
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(bytes);
    // The subject ends after the last text's zero byte: ^ then holds for an empty last text.
    const PCRE2_SIZE end = starts[last];
    size_t i = first;
    size_t calls = 0;
    while (i < last) {
        if ((++calls & 1023) == 0 && stop && stop->load(std::memory_order_relaxed))
            return;
        const int rc =
            m_code->jit
                ? pcre2_jit_match(m_code->code, subject, end, starts[i], 0, data.get(), nullptr)
                : pcre2_match(m_code->code, subject, end, starts[i], 0, data.get(), nullptr);
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0) {
            // A limit of the engine (a deeply nested pattern): the rest one text at a time.
            for (; i < last; ++i) {
                if ((i & 4095) == 0 && stop && stop->load(std::memory_order_relaxed))
                    return;
                if (alone(i))
                    out.push_back(quint32(i));
            }
            break;
        }
        const PCRE2_SIZE* match = pcre2_get_ovector_pointer(data.get());
        const auto j =
            size_t(std::upper_bound(starts + i, starts + last + 1, quint32(match[0])) - starts) - 1;
        if (j >= last)
            break; // an empty match after the last text's zero byte
        // The zero byte is the text's end to everything but a class that takes it; a line
        // feed is a line end to the keyword's own regex and not to this scan.
        const bool within = match[1] < starts[j + 1];
        if ((within && !holdsLineFeed(j)) || alone(j))
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
        if (!std::binary_search(out.begin() + qsizetype(from), out.end(), quint32(k)) && alone(k))
            more.push_back(quint32(k));
        p = bytes + starts[k + 1];
    }
    if (more.empty())
        return;
    const auto middle = out.insert(out.end(), more.begin(), more.end());
    std::inplace_merge(out.begin() + qsizetype(from), middle, out.end());
}

} // namespace vorlane
