// Output of listings that may run to millions of rows: UTF-8 bytes gathered in one buffer
// and written in large blocks, with the escapes of escapedText() and escapedName() done in
// one pass over the text. What it writes is exactly what the QString functions give.
#pragma once

#include "cli/clicommon.h"

#include <QByteArrayView>
#include <QStringView>
#include <cstring>
#include <memory>
#include <string_view>

class QIODevice;

namespace vorlane::cli {

class RowOut {
public:
    // Writes where ctx.out writes (standard output straight to its descriptor).
    explicit RowOut(Context& ctx);
    ~RowOut();
    RowOut(const RowOut&) = delete;
    RowOut& operator=(const RowOut&) = delete;

    void add(std::string_view bytes) {
        std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
        m_size += bytes.size();
    }
    void add(char c) {
        *room(1) = c;
        ++m_size;
    }
    void number(qint64 v);
    // Padded with spaces on the left to `width` characters (ASCII only), never cut.
    void rightAligned(std::string_view ascii, int width);
    void rightAligned(qint64 v, int width);
    // Pads what was written since `mark` (ASCII only) on the left to `width` characters.
    size_t mark() const { return m_size; }
    void padFrom(size_t mark, int width);

    // escapedText(), oneLine() and escapedName() of a QString or of stored UTF-8 bytes (read
    // as QString::fromUtf8() would where they are not valid).
    void text(QStringView t);
    void text(std::string_view utf8);
    void line(QStringView t);
    void name(QStringView name, QByteArrayView raw);
    void name(std::string_view utf8, QByteArrayView raw);

    // A JSON string as QJsonDocument writes it.
    void jsonString(QStringView t);
    void jsonString(std::string_view utf8);

    // ISO 8601 in UTC as QDateTime::toString(Qt::ISODate) writes it; false (nothing
    // written) where that gives an empty text.
    bool isoTime(qint64 secs);

    // Ends a row; the buffer goes out once it is large.
    void endRow() {
        if (m_size >= Chunk)
            flush();
    }
    // Writes what is left. Throws Failed when the output cannot be written.
    void finish();

private:
    static constexpr size_t Chunk = 1 << 16;
    // Room for `n` more bytes at the end of the buffer.
    char* room(size_t n) {
        if (m_size + n > m_capacity)
            grow(n);
        return m_data.get() + m_size;
    }
    void grow(size_t n);
    void flush();
    void escape(QStringView text, bool doubleBackslashes);
    bool escape(std::string_view text, bool doubleBackslashes);

    Context& m_ctx;
    int m_fd = -1;
    QIODevice* m_device = nullptr;
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// True when `raw`, a name's stored bytes, is a name that was not UTF-8 and was decoded.
bool decodedName(QByteArrayView raw);

// `bytes` as QString::fromUtf8() reads them, back in UTF-8: the bytes themselves when they
// are valid, else a copy in `storage`.
std::string_view validUtf8(std::string_view bytes, QByteArray& storage);

} // namespace vorlane::cli
