#include "core/interchange/jsonreader.h"

#include <QIODevice>
#include <charconv>
#include <cstdlib>
#include <string>

namespace vorlane {

namespace {
constexpr int MaxDepth = 64; // rows are shallow; deeper input is malformed, not a crash
} // namespace

const JsonValue* JsonValue::member(QByteArrayView key) const {
    for (const auto& m : members) {
        if (m.first == key)
            return &m.second;
    }
    return nullptr;
}

JsonReader::JsonReader(QIODevice& in) : m_in(in) {}

void JsonReader::fail(const char* what) const {
    throw JsonError(std::string(what) + " at byte " + std::to_string(position()));
}

bool JsonReader::fill() {
    if (m_pos < m_buf.size())
        return true;
    m_base += m_buf.size();
    m_pos = 0;
    m_buf = m_in.read(1 << 20);
    return !m_buf.isEmpty();
}

char JsonReader::next() {
    if (!fill())
        fail("unexpected end of the file");
    return m_buf[m_pos++];
}

char JsonReader::peek() {
    for (;;) {
        if (!fill())
            return 0;
        const char c = m_buf[m_pos];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            return c;
        ++m_pos;
    }
}

void JsonReader::expect(char c) {
    if (peek() != c) {
        const std::string what = std::string("expected '") + c + "'";
        fail(what.c_str());
    }
    ++m_pos;
}

bool JsonReader::accept(char c) {
    if (peek() != c)
        return false;
    ++m_pos;
    return true;
}

uint JsonReader::readHex4() {
    uint v = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = next();
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= uint(c - '0');
        else if (c >= 'a' && c <= 'f')
            v |= uint(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v |= uint(c - 'A' + 10);
        else
            fail("bad \\u escape");
    }
    return v;
}

void JsonReader::appendUtf8(QByteArray& out, uint code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xc0 | (code >> 6));
        out += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        out += char(0xe0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    } else {
        out += char(0xf0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3f));
        out += char(0x80 | ((code >> 6) & 0x3f));
        out += char(0x80 | (code & 0x3f));
    }
}

QByteArray JsonReader::readString() {
    expect('"');
    QByteArray out;
    for (;;) {
        if (!fill())
            fail("unterminated string");
        // Copies the plain run at once.
        const char* p = m_buf.constData() + m_pos;
        const qsizetype n = m_buf.size() - m_pos;
        qsizetype i = 0;
        while (i < n && p[i] != '"' && p[i] != '\\' && static_cast<unsigned char>(p[i]) >= 0x20)
            ++i;
        out.append(p, i);
        m_pos += i;
        if (i == n)
            continue;
        const char c = next();
        if (c == '"')
            return out;
        if (c != '\\')
            fail("control character in a string");
        const char e = next();
        switch (e) {
        case '"':
        case '\\':
        case '/':
            out += e;
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            uint code = readHex4();
            if (code >= 0xd800 && code <= 0xdbff) {
                if (next() != '\\' || next() != 'u')
                    fail("lone surrogate");
                const uint low = readHex4();
                if (low < 0xdc00 || low > 0xdfff)
                    fail("lone surrogate");
                code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
            } else if (code >= 0xdc00 && code <= 0xdfff) {
                fail("lone surrogate");
            }
            appendUtf8(out, code);
            break;
        }
        default:
            fail("bad escape");
        }
    }
}

void JsonReader::readNumber(JsonValue& v) {
    std::string text;
    bool real = false;
    for (;;) {
        if (!fill())
            break;
        const char c = m_buf[m_pos];
        if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
        } else if (c == '.' || c == 'e' || c == 'E') {
            real = true;
        } else {
            break;
        }
        text += c;
        ++m_pos;
        if (text.size() > 400)
            fail("number too long");
    }
    const char* b = text.data();
    const char* e = b + text.size();
    if (!real) {
        const auto r = std::from_chars(b, e, v.integer);
        if (r.ec == std::errc() && r.ptr == e) {
            v.type = JsonValue::Type::Integer;
            return;
        }
    }
    char* end = nullptr;
    v.real = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size())
        fail("bad number");
    v.type = JsonValue::Type::Real;
}

JsonValue JsonReader::readValue() {
    JsonValue v;
    const char c = peek();
    if (c == '"') {
        v.type = JsonValue::Type::String;
        v.string = readString();
    } else if (c == '{' || c == '[') {
        if (++m_depth > MaxDepth)
            fail("nested too deeply");
        ++m_pos;
        const char close = c == '{' ? '}' : ']';
        v.type = c == '{' ? JsonValue::Type::Object : JsonValue::Type::Array;
        if (!accept(close)) {
            do {
                if (c == '{') {
                    QByteArray key = readString();
                    expect(':');
                    v.members.emplace_back(std::move(key), readValue());
                } else {
                    v.items.push_back(readValue());
                }
            } while (accept(','));
            expect(close);
        }
        --m_depth;
    } else if (c == 't' || c == 'f' || c == 'n') {
        const char* word = c == 't' ? "true" : c == 'f' ? "false" : "null";
        for (const char* w = word; *w; ++w) {
            if (next() != *w)
                fail("bad literal");
        }
        v.type = c == 'n' ? JsonValue::Type::Null : JsonValue::Type::Bool;
        v.boolean = c == 't';
    } else if (c == '-' || (c >= '0' && c <= '9')) {
        readNumber(v);
    } else if (c == 0) {
        fail("unexpected end of the file");
    } else {
        fail("unexpected character");
    }
    return v;
}

void JsonReader::skipValue() {
    const char c = peek();
    if (c == '{' || c == '[') {
        if (++m_depth > MaxDepth)
            fail("nested too deeply");
        ++m_pos;
        const char close = c == '{' ? '}' : ']';
        if (!accept(close)) {
            do {
                if (c == '{') {
                    readString();
                    expect(':');
                }
                skipValue();
            } while (accept(','));
            expect(close);
        }
        --m_depth;
        return;
    }
    readValue();
}

} // namespace vorlane
