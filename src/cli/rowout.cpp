#include "cli/rowout.h"

#include "core/import/fsnames.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unistd.h>

namespace vorlane::cli {

namespace {

constexpr char Hex[] = "0123456789abcdef";

void appendHexEscape(std::string& out, const char* prefix, unsigned c) {
    out.append(prefix);
    out.push_back(Hex[(c >> 4) & 15]);
    out.push_back(Hex[c & 15]);
}

// Length of the valid UTF-8 sequence at p[0] (a byte >= 0x80), 0 when it is not one.
size_t sequenceLength(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        len = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        len = 3;
        if (c == 0xe0)
            lo = 0xa0;
        else if (c == 0xed)
            hi = 0x9f; // no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        len = 4;
        if (c == 0xf0)
            lo = 0x90;
        else if (c == 0xf4)
            hi = 0x8f;
    } else {
        return 0;
    }
    if (len > left || p[1] < lo || p[1] > hi)
        return 0;
    for (size_t k = 2; k < len; ++k) {
        if ((p[k] & 0xc0) != 0x80)
            return 0;
    }
    return len;
}

// An ASCII character as oneLine() shows it (`c` is no letter of a longer sequence); true
// when a "\r\n" pair was taken as one line break.
bool escapeAscii(std::string& out, char16_t c, char16_t next, bool doubleBackslashes) {
    switch (c) {
    case u'\r':
        out.append("\\n");
        return next == u'\n';
    case u'\n':
        out.append("\\n");
        return false;
    case u'\t':
        out.push_back(' ');
        return false;
    case u'\\':
        out.append(doubleBackslashes ? "\\\\" : "\\");
        return false;
    default:
        if (c < 0x20 || c == 0x7f)
            appendHexEscape(out, "\\x", c);
        else
            out.push_back(char(c));
        return false;
    }
}

bool plainAscii(unsigned c) {
    return c >= 0x20 && c < 0x7f && c != '\\';
}

// The escapes of oneLine(), on UTF-8. False, with `out` as it was, when `text` is not
// valid UTF-8.
bool escapeUtf8(std::string& out, std::string_view text, bool doubleBackslashes) {
    const size_t start = out.size();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t run = 0, i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (plainAscii(c)) {
            ++i;
            continue;
        }
        if (c < 0x80) {
            out.append(text.data() + run, i - run);
            const char16_t next = i + 1 < n ? p[i + 1] : 0;
            i += escapeAscii(out, c, next, doubleBackslashes) ? 2 : 1;
            run = i;
            continue;
        }
        const size_t len = sequenceLength(p + i, n - i);
        if (len == 0) {
            out.resize(start);
            return false;
        }
        if (c == 0xc2 && p[i + 1] <= 0x9f) { // C1, U+0080..U+009F
            out.append(text.data() + run, i - run);
            appendHexEscape(out, "\\u00", p[i + 1]);
            run = i + 2;
        }
        i += len;
    }
    out.append(text.data() + run, n - run);
    return true;
}

void appendUtf8(std::string& out, char32_t u) {
    if (u < 0x800) {
        out.push_back(char(0xc0 | (u >> 6)));
        out.push_back(char(0x80 | (u & 0x3f)));
    } else if (u < 0x10000) {
        out.push_back(char(0xe0 | (u >> 12)));
        out.push_back(char(0x80 | ((u >> 6) & 0x3f)));
        out.push_back(char(0x80 | (u & 0x3f)));
    } else {
        out.push_back(char(0xf0 | (u >> 18)));
        out.push_back(char(0x80 | ((u >> 12) & 0x3f)));
        out.push_back(char(0x80 | ((u >> 6) & 0x3f)));
        out.push_back(char(0x80 | (u & 0x3f)));
    }
}

// A non-ASCII code unit at text[i] in UTF-8 as the UTF-8 text stream writes it (a lone
// surrogate as U+FFFD); returns the code units taken.
qsizetype appendCodeUnits(std::string& out, QStringView text, qsizetype i) {
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text[i + 1].unicode())) {
        appendUtf8(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
        return 2;
    }
    appendUtf8(out, QChar::isSurrogate(c) ? char32_t(0xfffd) : char32_t(c));
    return 1;
}

void escapeUtf16(std::string& out, QStringView text, bool doubleBackslashes) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            const char16_t next = i + 1 < n ? text[i + 1].unicode() : 0;
            i += escapeAscii(out, c, next, doubleBackslashes) ? 2 : 1;
        } else if (c <= 0x9f) {
            appendHexEscape(out, "\\u00", c);
            ++i;
        } else {
            i += appendCodeUnits(out, text, i);
        }
    }
}

// Qt's JSON writer: the short escapes, \u00xx for other controls, a lone surrogate as
// \uxxxx, everything else as it is.
bool jsonAscii(std::string& out, unsigned c) {
    switch (c) {
    case '"':
        out.append("\\\"");
        return true;
    case '\\':
        out.append("\\\\");
        return true;
    case '\b':
        out.append("\\b");
        return true;
    case '\f':
        out.append("\\f");
        return true;
    case '\n':
        out.append("\\n");
        return true;
    case '\r':
        out.append("\\r");
        return true;
    case '\t':
        out.append("\\t");
        return true;
    default:
        if (c >= 0x20)
            return false;
        appendHexEscape(out, "\\u00", c);
        return true;
    }
}

} // namespace

bool decodedName(QByteArrayView raw) {
    return !raw.isEmpty() && !fsnames::isUtf8(std::string_view(raw.data(), size_t(raw.size())));
}

std::string_view validUtf8(std::string_view bytes, QByteArray& storage) {
    if (fsnames::isUtf8(bytes))
        return bytes;
    storage = QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toUtf8();
    return {storage.constData(), size_t(storage.size())};
}

RowOut::~RowOut() {
    // Rows printed before a failure stay printed, as they would through the text stream.
    if (!m_buf.empty() && std::uncaught_exceptions() > 0) {
        try {
            flush();
        } catch (const Failed&) {
        }
    }
}

RowOut::RowOut(Context& ctx) : m_ctx(ctx) {
    m_buf.reserve(Chunk + 4096);
    ctx.out.flush();
    if (const auto* file = qobject_cast<QFile*>(ctx.out.device());
        file && file->handle() == STDOUT_FILENO) {
        // Straight to the descriptor, so that a write error is seen and reported.
        std::fflush(stdout);
        m_fd = STDOUT_FILENO;
    } else {
        m_device = ctx.out.device();
    }
}

void RowOut::number(qint64 v) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    m_buf.append(text, size_t(r.ptr - text));
}

void RowOut::rightAligned(std::string_view ascii, int width) {
    if (qsizetype(ascii.size()) < width)
        m_buf.append(size_t(width) - ascii.size(), ' ');
    m_buf.append(ascii);
}

void RowOut::rightAligned(qint64 v, int width) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    rightAligned(std::string_view(text, size_t(r.ptr - text)), width);
}

void RowOut::text(QStringView t) {
    escapeUtf16(m_buf, t, true);
}

void RowOut::text(std::string_view utf8) {
    if (!escapeUtf8(m_buf, utf8, true))
        escapeUtf16(m_buf, QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), true);
}

void RowOut::line(QStringView t) {
    escapeUtf16(m_buf, t, false);
}

void RowOut::name(QStringView name, QByteArrayView raw) {
    escapeUtf16(m_buf, name, !decodedName(raw));
}

void RowOut::name(std::string_view utf8, QByteArrayView raw) {
    const bool doubled = !decodedName(raw);
    if (!escapeUtf8(m_buf, utf8, doubled))
        escapeUtf16(m_buf, QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), doubled);
}

void RowOut::jsonString(QStringView t) {
    m_buf.push_back('"');
    const qsizetype n = t.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t c = t[i].unicode();
        if (c < 0x80) {
            if (!jsonAscii(m_buf, c))
                m_buf.push_back(char(c));
            ++i;
        } else if (QChar::isSurrogate(c) &&
                   !(QChar::isHighSurrogate(c) && i + 1 < n && t[i + 1].isLowSurrogate())) {
            appendHexEscape(m_buf, "\\u", c >> 8);
            appendHexEscape(m_buf, "", c & 0xff);
            ++i;
        } else {
            i += appendCodeUnits(m_buf, t, i);
        }
    }
    m_buf.push_back('"');
}

void RowOut::jsonString(std::string_view utf8) {
    if (!fsnames::isUtf8(utf8)) {
        jsonString(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
        return;
    }
    m_buf.push_back('"');
    size_t run = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        m_buf.append(utf8.data() + run, i - run);
        jsonAscii(m_buf, c);
        run = i + 1;
    }
    m_buf.append(utf8.data() + run, utf8.size() - run);
    m_buf.push_back('"');
}

bool RowOut::isoTime(qint64 secs) {
    // 1970-01-01 to 9999-12-31 by hand; anything else as QDateTime writes it.
    if (secs < 0 || secs > 253402300799) {
        const QByteArray t =
            QDateTime::fromSecsSinceEpoch(secs, Qt::UTC).toString(Qt::ISODate).toLatin1();
        m_buf.append(t.constData(), size_t(t.size()));
        return !t.isEmpty();
    }
    const qint64 days = secs / 86400;
    const int daySecs = int(secs % 86400);
    // Days to a civil date (proleptic Gregorian), from an era of 400 years.
    const qint64 z = days + 719468;
    const qint64 era = z / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
    char t[19];
    const auto two = [&](int at, int v) {
        t[at] = char('0' + v / 10);
        t[at + 1] = char('0' + v % 10);
    };
    two(0, year / 100);
    two(2, year % 100);
    t[4] = '-';
    two(5, month);
    t[7] = '-';
    two(8, day);
    t[10] = 'T';
    two(11, daySecs / 3600);
    t[13] = ':';
    two(14, daySecs / 60 % 60);
    t[16] = ':';
    two(17, daySecs % 60);
    m_buf.append(t, sizeof t);
    m_buf.push_back('Z');
    return true;
}

void RowOut::flush() {
    if (m_buf.empty())
        return;
    if (m_fd >= 0) {
        size_t done = 0;
        while (done < m_buf.size()) {
            const ssize_t n = ::write(m_fd, m_buf.data() + done, m_buf.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : EIO;
                m_buf.clear();
                fail(QStringLiteral("standard output"),
                     QString::fromLocal8Bit(std::strerror(error)));
            }
            done += size_t(n);
        }
    } else if (m_device) {
        if (m_device->write(m_buf.data(), qint64(m_buf.size())) != qint64(m_buf.size())) {
            m_buf.clear();
            fail(QStringLiteral("standard output"), m_device->errorString());
        }
    } else {
        // A stream on a string; rows end whole, so no character is split.
        m_ctx.out << QString::fromUtf8(m_buf.data(), qsizetype(m_buf.size()));
    }
    m_buf.clear();
}

void RowOut::finish() {
    flush();
}

} // namespace vorlane::cli
