#include "core/search/query.h"

#include "core/search/querynode.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace vorlane {

namespace {

using Node = SearchQuery::Node;
using Kind = Node::Kind;
using Code = QueryErrorCode;

// Blanks as trimKeyword() sees them, plus the ideographic space an input method types.
bool isBlank(QChar c) {
    return c.unicode() <= 0x20 || c.isSpace();
}

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// A value as written, with the position in the query of each of its characters (quotes
// and escapes take none), so that an error inside it can be placed.
struct Value {
    QString text;
    std::vector<qsizetype> at;
    qsizetype start = 0;
    qsizetype end = 0;
};

struct Bounds {
    qint64 low = Node::Lowest;
    qint64 high = Node::Highest;
};

// A size like 700, 10K, 1.5M or 2GB (powers of 1024); nullopt when it is none.
std::optional<qint64> sizeValue(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{1,19})(?:\\.(\\d{1,9}))?([KMGT]?)(?:I?B)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 whole = m.captured(1).toLongLong(&ok);
    const QString unit = m.captured(3).toUpper();
    const int shift = unit.isEmpty() ? 0 : int(10 * (QStringLiteral("KMGT").indexOf(unit) + 1));
    if (!ok || whole > (Node::Highest >> shift) - 1)
        return std::nullopt;
    qint64 value = whole << shift;
    if (!m.captured(2).isEmpty()) {
        if (shift == 0)
            return std::nullopt; // no fractions of a byte
        const QString digits = m.captured(2);
        value += qint64(std::floor(digits.toDouble() / std::pow(10.0, double(digits.size())) *
                                   double(qint64(1) << shift)));
    }
    return value;
}

// The seconds a date like 2024, 2024-06 or 2024-06-01 starts and ends at (the end is the
// next period's start), in local time or with `utc` in UTC; nullopt when it is none.
std::optional<Bounds> period(const QString& text, bool utc) {
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})(?:-(\\d{1,2})(?:-(\\d{1,2}))?)?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    const bool hasMonth = !m.captured(2).isEmpty();
    const bool hasDay = !m.captured(3).isEmpty();
    const QDate first(year, hasMonth ? m.captured(2).toInt() : 1,
                      hasDay ? m.captured(3).toInt() : 1);
    if (!first.isValid() || year < 1)
        return std::nullopt;
    const QDate next = hasDay     ? first.addDays(1)
                       : hasMonth ? first.addMonths(1)
                                  : first.addYears(1);
    if (utc)
        return Bounds{first.startOfDay(QTimeZone::utc()).toSecsSinceEpoch(),
                      next.startOfDay(QTimeZone::utc()).toSecsSinceEpoch()};
    return Bounds{first.startOfDay().toSecsSinceEpoch(), next.startOfDay().toSecsSinceEpoch()};
}

// A duration like 90s, 3m, 1.5h, 250ms or 1h30m, in milliseconds; nullopt when it is none.
std::optional<qint64> durationValue(const QString& text) {
    static const QRegularExpression part(
        QStringLiteral("\\G(\\d{1,12})(?:\\.(\\d{1,9}))?(ms|s|m|h)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString t = text.trimmed();
    qint64 total = 0;
    qsizetype at = 0;
    while (at < t.size()) {
        const QRegularExpressionMatch m = part.match(t, at);
        if (!m.hasMatch())
            return std::nullopt;
        const QString unit = m.captured(3).toLower();
        const qint64 scale = unit == QLatin1String("ms")  ? 1
                             : unit == QLatin1String("s") ? 1000
                             : unit == QLatin1String("m") ? 60'000
                                                          : 3'600'000;
        const QString digits = m.captured(2);
        const double fraction =
            digits.isEmpty() ? 0 : digits.toDouble() / std::pow(10.0, double(digits.size()));
        const qint64 part =
            m.captured(1).toLongLong() * scale + qint64(std::floor(fraction * double(scale)));
        if (part > Node::Highest - total)
            return std::nullopt;
        total += part;
        at = m.capturedEnd();
    }
    return at > 0 ? std::optional<qint64>(total) : std::nullopt;
}

// A plain count of pixels; nullopt when it is none.
std::optional<qint64> countValue(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\d{1,12}$"));
    const QString t = text.trimmed();
    if (!form.match(t).hasMatch())
        return std::nullopt;
    return t.toLongLong();
}

class Parser {
public:
    explicit Parser(const QString& text) : s(text) {}

    std::optional<Node> query() {
        Node all;
        all.kind = Kind::All;
        for (;;) {
            skipBlanks();
            if (pos >= s.size())
                break;
            if (std::optional<Node> t = term())
                all.children.push_back(std::move(*t));
        }
        if (all.children.empty())
            return std::nullopt;
        return all;
    }

private:
    [[noreturn]] void fail(Code code, qsizetype at, const QString& text,
                           const QString& detail = {}) {
        QueryError e;
        e.code = code;
        e.offset = at;
        e.text = text;
        e.detail = detail;
        e.message = queryErrorText(e, false);
        throw e;
    }

    void skipBlanks() {
        while (pos < s.size() && isBlank(s[pos]))
            ++pos;
    }
    bool atTermEnd() const { return pos >= s.size() || isBlank(s[pos]) || s[pos] == u'|'; }

    // Operands joined by '|'. Nullopt for a bare case:, which is no term.
    std::optional<Node> term() {
        const qsizetype start = pos;
        std::optional<Node> first = unary();
        std::vector<Node> operands;
        if (first)
            operands.push_back(std::move(*first));
        for (;;) {
            const qsizetype before = pos;
            skipBlanks();
            if (pos >= s.size() || s[pos] != u'|') {
                pos = before;
                break;
            }
            const qsizetype bar = pos++;
            if (!first)
                fail(Code::MisplacedCase, start, QStringLiteral("case:"));
            skipBlanks();
            if (pos >= s.size() || s[pos] == u'|')
                fail(Code::DanglingOr, bar, QStringLiteral("|"));
            const qsizetype at = pos;
            std::optional<Node> next = unary();
            if (!next)
                fail(Code::MisplacedCase, at, QStringLiteral("case:"));
            operands.push_back(std::move(*next));
        }
        if (operands.size() < 2)
            return operands.empty() ? std::nullopt : std::optional<Node>(std::move(operands[0]));
        Node any;
        any.kind = Kind::Any;
        any.children = std::move(operands);
        return any;
    }

    std::optional<Node> unary() {
        if (s[pos] == u'|')
            fail(Code::DanglingOr, pos, QStringLiteral("|"));
        if (s[pos] != u'!')
            return atom();
        const qsizetype bang = pos++;
        if (atTermEnd())
            fail(Code::LoneNot, bang, QStringLiteral("!"));
        const qsizetype at = pos;
        std::optional<Node> inner = unary();
        if (!inner)
            fail(Code::MisplacedCase, at, QStringLiteral("case:"));
        Node n;
        n.kind = Kind::Not;
        n.children.push_back(std::move(*inner));
        return n;
    }

    // Characters up to a blank (or '|' when `barEnds`) outside double quotes.
    Value value(bool barEnds) {
        Value v;
        v.start = pos;
        while (pos < s.size() && !isBlank(s[pos]) && !(barEnds && s[pos] == u'|')) {
            if (s[pos] != u'"') {
                v.at.push_back(pos);
                v.text += s[pos++];
                continue;
            }
            const qsizetype open = pos++;
            for (;;) {
                if (pos >= s.size())
                    fail(Code::UnclosedQuote, open, s.mid(open));
                if (s[pos] == u'\\' && pos + 1 < s.size() && s[pos + 1] == u'"')
                    ++pos;
                else if (s[pos] == u'"')
                    break;
                v.at.push_back(pos);
                v.text += s[pos++];
            }
            ++pos;
        }
        v.end = pos;
        return v;
    }

    Node word(const Value& v) {
        if (v.text.isEmpty())
            fail(Code::EmptyValue, v.start, s.mid(v.start, v.end - v.start));
        Node n;
        n.kind = Kind::Word;
        n.text = v.text;
        n.caseSensitive = caseSensitive;
        return n;
    }

    std::optional<Node> atom() {
        qsizetype colon = pos;
        while (colon < s.size() && isAsciiLetter(s[colon]))
            ++colon;
        static const QStringList names = {
            QStringLiteral("ext"),      QStringLiteral("size"),   QStringLiteral("date"),
            QStringLiteral("disc"),     QStringLiteral("path"),   QStringLiteral("note"),
            QStringLiteral("type"),     QStringLiteral("regex"),  QStringLiteral("case"),
            QStringLiteral("kind"),     QStringLiteral("title"),  QStringLiteral("artist"),
            QStringLiteral("album"),    QStringLiteral("camera"), QStringLiteral("taken"),
            QStringLiteral("duration"), QStringLiteral("width")};
        const QString name = s.mid(pos, colon - pos).toLower();
        if (colon == pos || colon >= s.size() || s[colon] != u':' || !names.contains(name))
            return word(value(true));
        const QString label = s.mid(pos, colon - pos + 1);
        pos = colon + 1;
        if (name == QLatin1String("case")) {
            caseSensitive = true;
            if (atTermEnd())
                return std::nullopt;
            return word(value(true));
        }
        const Value v = value(!(name == QLatin1String("regex") || name == QLatin1String("type") ||
                                name == QLatin1String("kind")));
        if (v.text.isEmpty())
            fail(Code::EmptyValue, v.start, label);
        Node n;
        n.caseSensitive = caseSensitive;
        n.text = v.text;
        if (name == QLatin1String("ext")) {
            n.kind = Kind::Ext;
            for (QString e : v.text.split(u',')) {
                e = e.trimmed();
                while (e.startsWith(u'.'))
                    e.remove(0, 1);
                if (!e.isEmpty())
                    n.values << e;
            }
            if (n.values.isEmpty())
                fail(Code::EmptyValue, v.start, label);
        } else if (name == QLatin1String("size")) {
            n.kind = Kind::Size;
            const Bounds b = range(v, Code::BadSize, [](const QString& t) -> std::optional<Bounds> {
                const std::optional<qint64> n = sizeValue(t);
                return n ? std::optional<Bounds>(Bounds{*n, *n}) : std::nullopt;
            });
            n.low = b.low;
            n.high = b.high;
        } else if (name == QLatin1String("date") || name == QLatin1String("taken")) {
            // Taken times are the camera's wall clock counted as UTC: so are their periods.
            const bool utc = name == QLatin1String("taken");
            n.kind = utc ? Kind::Taken : Kind::Date;
            // A period is [start, end); the range code below works on inclusive ends.
            const Bounds b = range(v, Code::BadDate, [utc](const QString& t) {
                std::optional<Bounds> p = period(t, utc);
                if (p)
                    p->high -= 1;
                return p;
            });
            n.low = b.low;
            n.high = b.high == Node::Highest ? b.high : b.high + 1;
        } else if (name == QLatin1String("duration") || name == QLatin1String("width")) {
            const bool duration = name == QLatin1String("duration");
            n.kind = duration ? Kind::Duration : Kind::Width;
            const Bounds b =
                range(v, duration ? Code::BadDuration : Code::BadWidth,
                      [duration](const QString& t) -> std::optional<Bounds> {
                          const std::optional<qint64> n =
                              duration ? durationValue(t) : countValue(t);
                          return n ? std::optional<Bounds>(Bounds{*n, *n}) : std::nullopt;
                      });
            n.low = b.low;
            n.high = b.high;
        } else if (name == QLatin1String("kind")) {
            n.kind = Kind::Media;
            n.types =
                bits(v, label, Code::BadKind,
                     {{"image", Node::Image}, {"audio", Node::Audio}, {"video", Node::Video}});
        } else if (name == QLatin1String("type")) {
            n.kind = Kind::Type;
            n.types = bits(v, label, Code::BadType,
                           {{"folder", Node::Folder},
                            {"file", Node::File},
                            {"archive", Node::Archive},
                            {"member", Node::Member}});
        } else if (name == QLatin1String("regex")) {
            n.kind = Kind::Regex;
            const QRegularExpression re(v.text, caseSensitive
                                                    ? QRegularExpression::NoPatternOption
                                                    : QRegularExpression::CaseInsensitiveOption);
            if (!re.isValid()) {
                const qsizetype e = re.patternErrorOffset();
                fail(Code::BadRegex, e >= 0 && e < qsizetype(v.at.size()) ? v.at[size_t(e)] : v.end,
                     v.text, re.errorString());
            }
        } else {
            n.kind = name == QLatin1String("disc")     ? Kind::Disc
                     : name == QLatin1String("path")   ? Kind::Path
                     : name == QLatin1String("title")  ? Kind::Title
                     : name == QLatin1String("artist") ? Kind::Artist
                     : name == QLatin1String("album")  ? Kind::Album
                     : name == QLatin1String("camera") ? Kind::Camera
                                                       : Kind::Note;
        }
        return n;
    }

    // The bits the names in a list like a,b or a|b stand for; `bad` for a name not in `known`.
    quint8 bits(const Value& v, const QString& label, Code bad,
                std::initializer_list<std::pair<const char*, quint8>> known) {
        quint8 out = 0;
        qsizetype from = 0;
        for (const QString& t : v.text.split(QRegularExpression(QStringLiteral("[,|]")))) {
            const QString key = t.trimmed().toLower();
            const qsizetype at = from < qsizetype(v.at.size()) ? v.at[size_t(from)] : v.end;
            from += t.size() + 1;
            const auto it = std::find_if(known.begin(), known.end(), [&](const auto& k) {
                return key == QLatin1String(k.first);
            });
            if (it != known.end())
                out |= it->second;
            else if (!key.isEmpty())
                fail(bad, at, t);
        }
        if (!out)
            fail(Code::EmptyValue, v.start, label);
        return out;
    }

    // `=V`, `>V`, `>=V`, `<V`, `<=V`, `A..B` (either end may be left open) or `V`, where
    // `one` reads a V into the inclusive bounds it stands for.
    template <class One> Bounds range(const Value& v, Code bad, One one) {
        const QString t = v.text.trimmed();
        auto read = [&](const QString& part) {
            const std::optional<Bounds> b = one(part);
            if (!b)
                fail(bad, v.start, v.text);
            return *b;
        };
        Bounds out;
        const qsizetype dots = t.indexOf(QLatin1String(".."));
        if (dots >= 0 && t.indexOf(u'.', dots + 2) != dots + 2 && !t.startsWith(u'<') &&
            !t.startsWith(u'>') && !t.startsWith(u'=')) {
            const QString from = t.left(dots);
            const QString to = t.mid(dots + 2);
            if (from.isEmpty() && to.isEmpty())
                fail(bad, v.start, v.text);
            if (!from.isEmpty())
                out.low = read(from).low;
            if (!to.isEmpty())
                out.high = read(to).high;
            if (out.low > out.high)
                fail(Code::ReversedRange, v.start, v.text);
        } else if (t.startsWith(QLatin1String(">="))) {
            out.low = read(t.mid(2)).low;
        } else if (t.startsWith(QLatin1String("<="))) {
            out.high = read(t.mid(2)).high;
        } else if (t.startsWith(u'>')) {
            const qint64 h = read(t.mid(1)).high;
            out.low = h == Node::Highest ? h : h + 1;
        } else if (t.startsWith(u'<')) {
            const qint64 l = read(t.mid(1)).low;
            out.high = l == Node::Lowest ? l : l - 1;
        } else {
            out = read(t.startsWith(u'=') ? t.mid(1) : t);
        }
        return out;
    }

    const QString& s;
    qsizetype pos = 0;
    bool caseSensitive = false;
};

} // namespace

std::variant<SearchQuery, QueryError> SearchQuery::parse(const QString& text) {
    SearchQuery q;
    q.m_text = text;
    try {
        if (std::optional<Node> root = Parser(q.m_text).query())
            q.m_root = std::make_shared<const Node>(std::move(*root));
    } catch (const QueryError& e) {
        return e;
    }
    return q;
}

QString queryErrorText(const QueryError& e, bool chinese) {
    switch (e.code) {
    case Code::UnclosedQuote:
        return chinese ? QStringLiteral("缺少右引号") : QStringLiteral("missing closing quote");
    case Code::EmptyValue:
        if (e.text.startsWith(u'"'))
            return chinese ? QStringLiteral("引号之间没有内容")
                           : QStringLiteral("nothing between the quotes");
        return chinese ? QStringLiteral("%1 后缺少值").arg(e.text)
                       : QStringLiteral("%1 needs a value").arg(e.text);
    case Code::BadSize:
        return chinese
                   ? QStringLiteral("无效的大小：%1（例如 700M、>1G、<=10K、1M..5M）").arg(e.text)
                   : QStringLiteral("not a size: %1 (try 700M, >1G, <=10K or 1M..5M)").arg(e.text);
    case Code::BadDate:
        return chinese ? QStringLiteral("无效的日期：%1（例如 2024、2024-06、>2024-06-01、"
                                        "2024-01..2024-03）")
                             .arg(e.text)
                       : QStringLiteral("not a date: %1 (try 2024, 2024-06, >2024-06-01 or "
                                        "2024-01..2024-03)")
                             .arg(e.text);
    case Code::ReversedRange:
        return chinese ? QStringLiteral("范围 %1 的终点在起点之前").arg(e.text)
                       : QStringLiteral("the range %1 ends before it starts").arg(e.text);
    case Code::BadType:
        return chinese ? QStringLiteral("未知的类型：%1（可用 folder、file、archive、member）")
                             .arg(e.text)
                       : QStringLiteral("unknown type: %1 (folder, file, archive or member)")
                             .arg(e.text);
    case Code::BadKind:
        return chinese
                   ? QStringLiteral("未知的媒体种类：%1（可用 image、audio、video）").arg(e.text)
                   : QStringLiteral("unknown media kind: %1 (image, audio or video)").arg(e.text);
    case Code::BadDuration:
        return chinese ? QStringLiteral("无效的时长：%1（单位 ms、s、m、h，例如 >1h、<3m、"
                                        "90s、1h30m、2m..5m）")
                             .arg(e.text)
                       : QStringLiteral("not a duration: %1 (units ms, s, m, h: try >1h, <3m, "
                                        "90s, 1h30m or 2m..5m)")
                             .arg(e.text);
    case Code::BadWidth:
        return chinese ? QStringLiteral("无效的宽度：%1（像素数，例如 >3000、<=1920、1920..4000）")
                             .arg(e.text)
                       : QStringLiteral("not a width: %1 (pixels: try >3000, <=1920 or "
                                        "1920..4000)")
                             .arg(e.text);
    case Code::BadRegex:
        return chinese ? QStringLiteral("无效的正则表达式：%1").arg(e.detail)
                       : QStringLiteral("invalid regular expression: %1").arg(e.detail);
    case Code::DanglingOr:
        return chinese ? QStringLiteral("“|”的两边都需要条件")
                       : QStringLiteral("| needs a term on each side");
    case Code::LoneNot:
        return chinese ? QStringLiteral("“!”后缺少条件")
                       : QStringLiteral("! needs a term after it");
    case Code::MisplacedCase:
        return chinese ? QStringLiteral("case: 不能跟在“!”后面，也不能与“|”连用")
                       : QStringLiteral("case: cannot follow ! or stand beside |");
    }
    return {};
}

} // namespace vorlane
