#include "core/import/fsnames.h"

#include <cerrno>
#include <iconv.h>

namespace vorlane::fsnames {

namespace {

const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

void appendEscape(std::string& out, unsigned char byte) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

// Decoded text, with a backslash turned into its escape so that it cannot be mistaken for
// the start of one.
void appendDecoded(std::string& out, const char* text, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        if (text[i] == '\\')
            appendEscape(out, '\\');
        else
            out += text[i];
    }
}

} // namespace

bool isUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0; // overlong
            else if (c == 0xED)
                hi = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90; // overlong
            else if (c == 0xF4)
                hi = 0x8F; // past U+10FFFF
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi)
            return false;
        for (size_t k = 2; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += len;
    }
    return true;
}

NameDecoder::NameDecoder(const QString& encoding) : m_cd(kNone) {
    const QByteArray chosen = encoding.trimmed().toLatin1();
    iconv_t cd = chosen.isEmpty() ? kNone : ::iconv_open("UTF-8", chosen.constData());
    if (cd == kNone)
        cd = ::iconv_open("UTF-8", DefaultNameEncoding);
    m_cd = cd;
}

NameDecoder::~NameDecoder() {
    if (m_cd != kNone)
        ::iconv_close(static_cast<iconv_t>(m_cd));
}

bool NameDecoder::decode(std::string_view raw, std::string& out) {
    out.clear();
    if (isUtf8(raw)) {
        out.assign(raw);
        return true;
    }
    const auto cd = static_cast<iconv_t>(m_cd);
    if (cd == kNone) {
        // No decoder at all: every byte outside ASCII is shown by its value.
        for (const char c : raw) {
            if (static_cast<unsigned char>(c) >= 0x80)
                appendEscape(out, static_cast<unsigned char>(c));
            else
                appendDecoded(out, &c, 1);
        }
        return false;
    }
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(raw.data());
    size_t inLeft = raw.size();
    char buffer[256];
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        const size_t r = ::iconv(cd, &in, &inLeft, &o, &oLeft);
        appendDecoded(out, buffer, size_t(o - buffer));
        if (r != size_t(-1) || errno == E2BIG)
            continue;
        // An invalid or cut-off sequence: show its first byte and go on after it.
        appendEscape(out, static_cast<unsigned char>(*in));
        ++in;
        --inLeft;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &o, &oLeft); // a stateful encoding's closing bytes
    appendDecoded(out, buffer, size_t(o - buffer));
    return false;
}

} // namespace vorlane::fsnames
