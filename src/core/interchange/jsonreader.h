// A pull reader for large JSON files: the caller walks the outer structure token by token
// and reads the small values inside it (one row at a time) whole, so a file of a million
// rows is read with flat memory. Throws JsonError with the byte offset on malformed input.
#pragma once

#include <QByteArray>
#include <stdexcept>
#include <vector>

class QIODevice;

namespace vorlane {

class JsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct JsonValue {
    enum class Type { Null, Bool, Integer, Real, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    qint64 integer = 0;
    double real = 0;
    QByteArray string; // UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<QByteArray, JsonValue>> members; // in file order

    const JsonValue* member(QByteArrayView key) const;
};

class JsonReader {
public:
    explicit JsonReader(QIODevice& in);

    // The next character that is not white space, without consuming it; 0 at the end.
    char peek();
    // Consumes `c` (after white space) or throws.
    void expect(char c);
    // Consumes `c` when it comes next.
    bool accept(char c);
    QByteArray readString();
    JsonValue readValue();
    void skipValue();
    // Bytes consumed so far.
    qint64 position() const { return m_base + m_pos; }
    [[noreturn]] void fail(const char* what) const;

private:
    bool fill();
    char next();
    void readNumber(JsonValue& v);
    void appendUtf8(QByteArray& out, uint code);
    uint readHex4();

    QIODevice& m_in;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    qint64 m_base = 0;
    int m_depth = 0;
};

} // namespace vorlane
