#include "cli/rowout.h"

#include "core/import/fsnames.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorlane::cli {

namespace {

constexpr char Hex[] = "0123456789abcdef";

// \xHH: a byte.
char* escapeX(char* p, unsigned c) {
    *p++ = '\\';
    *p++ = 'x';
    *p++ = Hex[(c >> 4) & 15];
    *p++ = Hex[c & 15];
    return p;
}

// \uHHHH: a UTF-16 code unit.
char* escapeU(char* p, unsigned c) {
    *p++ = '\\';
    *p++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4)
        *p++ = Hex[(c >> shift) & 15];
    return p;
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

bool plainAscii(unsigned c) {
    return c >= 0x20 && c < 0x7f && c != '\\';
}

// Copies the plain ASCII characters from text[i] on as they are, eight or sixteen at a
// time, up to the first character that needs a look of its own.
#if defined(__SSE2__)
char* plainRun(char* p, const char16_t* text, qsizetype n, qsizetype& i) {
    const __m128i below = _mm_set1_epi16(0x1f), del = _mm_set1_epi16(0x7f),
                  backslash = _mm_set1_epi16('\\');
    while (i + 8 <= n) {
        // Signed compares: code units from 0x8000 on count as below 0x20.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i plain =
            _mm_andnot_si128(_mm_cmpeq_epi16(v, backslash),
                             _mm_and_si128(_mm_cmpgt_epi16(v, below), _mm_cmplt_epi16(v, del)));
        if (_mm_movemask_epi8(plain) != 0xffff)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
        p += 8;
        i += 8;
    }
    return p;
}

char* plainRun(char* p, const unsigned char* text, size_t n, size_t& i) {
    const __m128i below = _mm_set1_epi8(0x1f), del = _mm_set1_epi8(0x7f),
                  backslash = _mm_set1_epi8('\\');
    while (i + 16 <= n) {
        // Signed compares: bytes from 0x80 on count as below 0x20.
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i plain =
            _mm_andnot_si128(_mm_cmpeq_epi8(v, backslash),
                             _mm_and_si128(_mm_cmpgt_epi8(v, below), _mm_cmplt_epi8(v, del)));
        if (_mm_movemask_epi8(plain) != 0xffff)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        p += 16;
        i += 16;
    }
    return p;
}

// The same for a JSON string: everything from 0x20 to 0x7f but the quote and backslash.
char* jsonPlainRun(char* p, const char16_t* text, qsizetype n, qsizetype& i) {
    const __m128i below = _mm_set1_epi16(0x1f), ascii = _mm_set1_epi16(0x80),
                  quote = _mm_set1_epi16('"'), backslash = _mm_set1_epi16('\\');
    while (i + 8 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const __m128i special =
            _mm_or_si128(_mm_cmpeq_epi16(v, quote), _mm_cmpeq_epi16(v, backslash));
        const __m128i plain = _mm_andnot_si128(
            special, _mm_and_si128(_mm_cmpgt_epi16(v, below), _mm_cmplt_epi16(v, ascii)));
        if (_mm_movemask_epi8(plain) != 0xffff)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
        p += 8;
        i += 8;
    }
    return p;
}
#else
char* jsonPlainRun(char* p, const char16_t*, qsizetype, qsizetype&) {
    return p;
}
char* plainRun(char* p, const char16_t*, qsizetype, qsizetype&) {
    return p;
}
char* plainRun(char* p, const unsigned char*, size_t, size_t&) {
    return p;
}
#endif

// An ASCII character that is not plainAscii() as oneLine() shows it (at most 4 bytes);
// `pair` is set when a "\r\n" pair was taken as one line break.
char* escapeAscii(char* p, char16_t c, char16_t next, bool doubleBackslashes, bool& pair) {
    pair = false;
    switch (c) {
    case u'\r':
        pair = next == u'\n';
        [[fallthrough]];
    case u'\n':
        *p++ = '\\';
        *p++ = 'n';
        return p;
    case u'\t':
        *p++ = ' ';
        return p;
    case u'\\':
        *p++ = '\\';
        if (doubleBackslashes)
            *p++ = '\\';
        return p;
    default:
        return escapeX(p, c); // C0 and DEL: a terminal would act on them
    }
}

// The UTF-8 of `u` (at most 4 bytes).
char* utf8(char* p, char32_t u) {
    if (u < 0x800) {
        *p++ = char(0xc0 | (u >> 6));
    } else if (u < 0x10000) {
        *p++ = char(0xe0 | (u >> 12));
        *p++ = char(0x80 | ((u >> 6) & 0x3f));
    } else {
        *p++ = char(0xf0 | (u >> 18));
        *p++ = char(0x80 | ((u >> 12) & 0x3f));
        *p++ = char(0x80 | ((u >> 6) & 0x3f));
    }
    *p++ = char(0x80 | (u & 0x3f));
    return p;
}

// A non-ASCII code unit at text[i] as the UTF-8 text stream writes it (a lone surrogate as
// U+FFFD); `i` moves past what was taken.
char* codeUnits(char* p, QStringView text, qsizetype& i) {
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text[i + 1].unicode())) {
        p = utf8(p, QChar::surrogateToUcs4(c, text[i + 1].unicode()));
        i += 2;
        return p;
    }
    ++i;
    return utf8(p, QChar::isSurrogate(c) ? char32_t(0xfffd) : char32_t(c));
}

// Qt's JSON writer for an ASCII character: the short escapes, \u00xx for other controls.
// Null when the character goes as it is.
char* jsonAscii(char* p, unsigned c) {
    char e = 0;
    switch (c) {
    case '"':
        e = '"';
        break;
    case '\\':
        e = '\\';
        break;
    case '\b':
        e = 'b';
        break;
    case '\f':
        e = 'f';
        break;
    case '\n':
        e = 'n';
        break;
    case '\r':
        e = 'r';
        break;
    case '\t':
        e = 't';
        break;
    default:
        if (c >= 0x20)
            return nullptr;
        return escapeU(p, c);
    }
    *p++ = '\\';
    *p++ = e;
    return p;
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

RowOut::RowOut(Context& ctx) : m_ctx(ctx) {
    grow(Chunk + 4096);
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

RowOut::~RowOut() {
    // Rows printed before a failure stay printed, as they would through the text stream.
    if (m_size > 0 && std::uncaught_exceptions() > 0) {
        try {
            flush();
        } catch (const Failed&) {
        }
    }
}

void RowOut::grow(size_t n) {
    const size_t capacity = std::max(m_capacity * 2, m_size + n);
    std::unique_ptr<char[]> data(new char[capacity]);
    if (m_size)
        std::memcpy(data.get(), m_data.get(), m_size);
    m_data = std::move(data);
    m_capacity = capacity;
}

void RowOut::number(qint64 v) {
    // Two digits a step, from the right.
    static constexpr char Pairs[] = "00010203040506070809101112131415161718192021222324252627282930"
                                    "31323334353637383940414243444546474849505152535455565758596061"
                                    "62636465666768697071727374757677787980818283848586878889909192"
                                    "93949596979899";
    quint64 u = v < 0 ? 0 - quint64(v) : quint64(v);
    int length = 1;
    for (quint64 bound = 10; length < 20 && u >= bound; bound *= 10)
        ++length;
    char* p = room(21);
    if (v < 0)
        *p++ = '-';
    char* const end = p + length;
    char* b = end;
    while (u >= 100) {
        const unsigned pair = unsigned(u % 100) * 2;
        u /= 100;
        *--b = Pairs[pair + 1];
        *--b = Pairs[pair];
    }
    if (u >= 10) {
        *--b = Pairs[u * 2 + 1];
        *--b = Pairs[u * 2];
    } else {
        *--b = char('0' + u);
    }
    m_size = size_t(end - m_data.get());
}

void RowOut::rightAligned(std::string_view ascii, int width) {
    if (qsizetype(ascii.size()) < width) {
        const size_t pad = size_t(width) - ascii.size();
        std::memset(room(pad), ' ', pad);
        m_size += pad;
    }
    add(ascii);
}

void RowOut::rightAligned(qint64 v, int width) {
    const size_t at = mark();
    number(v);
    padFrom(at, width);
}

void RowOut::padFrom(size_t mark, int width) {
    const size_t written = m_size - mark;
    if (qsizetype(written) >= width)
        return;
    const size_t pad = size_t(width) - written;
    room(pad);
    char* at = m_data.get() + mark;
    std::memmove(at + pad, at, written);
    std::memset(at, ' ', pad);
    m_size += pad;
}

void RowOut::escape(QStringView text, bool doubleBackslashes) {
    const qsizetype n = text.size();
    char* p = room(size_t(n) * 6); // "\u0085" for one code unit at most
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < n;) {
        p = plainRun(p, units, n, i);
        while (i < n && plainAscii(units[i]))
            *p++ = char(units[i++]);
        if (i == n)
            break;
        const char16_t c = units[i];
        if (c < 0x80) {
            bool pair = false;
            p = escapeAscii(p, c, i + 1 < n ? text[i + 1].unicode() : 0, doubleBackslashes, pair);
            i += pair ? 2 : 1;
        } else if (c <= 0x9f) { // C1 as well; as a character, since \xHH is a byte
            p = escapeU(p, c);
            ++i;
        } else {
            p = codeUnits(p, text, i);
        }
    }
    m_size = size_t(p - m_data.get());
}

bool RowOut::escape(std::string_view text, bool doubleBackslashes) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    char* const start = room(n * 4); // "\x1b" for one byte at most
    char* p = start;
    for (size_t i = 0; i < n;) {
        p = plainRun(p, s, n, i);
        while (i < n && plainAscii(s[i]))
            *p++ = char(s[i++]);
        if (i == n)
            break;
        const unsigned char c = s[i];
        if (c < 0x80) {
            bool pair = false;
            p = escapeAscii(p, c, i + 1 < n ? s[i + 1] : 0, doubleBackslashes, pair);
            i += pair ? 2 : 1;
            continue;
        }
        const size_t len = sequenceLength(s + i, n - i);
        if (len == 0)
            return false;                    // nothing is taken until m_size moves
        if (c == 0xc2 && s[i + 1] <= 0x9f) { // C1, U+0080..U+009F
            p = escapeU(p, s[i + 1]);
        } else {
            std::memcpy(p, s + i, len);
            p += len;
        }
        i += len;
    }
    m_size = size_t(p - m_data.get());
    return true;
}

void RowOut::text(QStringView t) {
    escape(t, true);
}

void RowOut::text(std::string_view utf8) {
    if (!escape(utf8, true))
        escape(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), true);
}

void RowOut::line(QStringView t) {
    escape(t, false);
}

void RowOut::name(QStringView name, QByteArrayView raw) {
    escape(name, !decodedName(raw));
}

void RowOut::name(std::string_view utf8, QByteArrayView raw) {
    const bool doubled = !decodedName(raw);
    if (!escape(utf8, doubled))
        escape(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), doubled);
}

void RowOut::jsonString(QStringView t) {
    const qsizetype n = t.size();
    char* p = room(size_t(n) * 6 + 2);
    *p++ = '"';
    const char16_t* units = reinterpret_cast<const char16_t*>(t.utf16());
    for (qsizetype i = 0; i < n;) {
        p = jsonPlainRun(p, units, n, i);
        if (i == n)
            break;
        const char16_t c = units[i];
        if (c < 0x80) {
            if (char* e = jsonAscii(p, c))
                p = e;
            else
                *p++ = char(c);
            ++i;
        } else if (QChar::isSurrogate(c) &&
                   !(QChar::isHighSurrogate(c) && i + 1 < n && t[i + 1].isLowSurrogate())) {
            p = escapeU(p, c);
            ++i;
        } else {
            p = codeUnits(p, t, i);
        }
    }
    *p++ = '"';
    m_size = size_t(p - m_data.get());
}

void RowOut::jsonString(std::string_view utf8) {
    if (!fsnames::isUtf8(utf8)) {
        jsonString(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
        return;
    }
    char* p = room(utf8.size() * 6 + 2);
    *p++ = '"';
    for (const char ch : utf8) {
        if (char* e = jsonAscii(p, static_cast<unsigned char>(ch)))
            p = e;
        else
            *p++ = ch;
    }
    *p++ = '"';
    m_size = size_t(p - m_data.get());
}

bool RowOut::isoTime(qint64 secs) {
    // 1970-01-01 to 9999-12-31 by hand; anything else as QDateTime writes it.
    if (secs < 0 || secs > 253402300799) {
        const QByteArray t =
            QDateTime::fromSecsSinceEpoch(secs, Qt::UTC).toString(Qt::ISODate).toLatin1();
        add(std::string_view(t.constData(), size_t(t.size())));
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
    char* t = room(20);
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
    t[19] = 'Z';
    m_size += 20;
    return true;
}

void RowOut::flush() {
    const size_t size = m_size;
    m_size = 0;
    if (size == 0)
        return;
    const char* data = m_data.get();
    if (m_fd >= 0) {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail(QStringLiteral("standard output"),
                     QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            done += size_t(n);
        }
    } else if (m_device) {
        if (m_device->write(data, qint64(size)) != qint64(size))
            fail(QStringLiteral("standard output"), m_device->errorString());
    } else {
        // A stream on a string; rows end whole, so no character is split.
        m_ctx.out << QString::fromUtf8(data, qsizetype(size));
    }
}

void RowOut::finish() {
    flush();
}

} // namespace vorlane::cli
