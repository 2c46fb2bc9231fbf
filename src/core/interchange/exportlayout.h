// What an export holds and in which order, shared by its formats: the categories in tree
// order (each after its parent, siblings by their order), the discs grouped by category in
// that order, each disc's category path, and a buffered writer for the output.
#pragma once

#include "core/interchange/catalogexport.h"
#include "core/store/interchangestore.h"
#include "core/throttle.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <vector>

namespace vorlane::exportlayout {

struct Category {
    qint64 id = 0;
    qint64 father = 0;
    qint64 order = 0;
    QString name;
};

struct Disc {
    qint64 id = 0;
    qint64 categoryId = 0;
    QString name;       // CDName, "未命名" when it has none
    QString sourcePath; // SourcePath
    QString categoryPath;
};

struct Layout {
    std::vector<Category> categories; // in scope, tree order
    std::vector<Disc> discs;          // in scope, in order
    QHash<qint64, qsizetype> discIndex;
    qint64 totalEntries = 0;
};

// The layout of `scope`; nullopt result codes for a missing category or disc.
ExportResult plan(Database& db, const ExportScope& scope, Layout& layout);

// Output through a buffer: `out` is written in large pieces.
class Sink {
public:
    explicit Sink(QIODevice& out) : m_out(out) { m_buf.reserve(Chunk + 4096); }
    ~Sink() = default;
    void append(QByteArrayView bytes) {
        m_buf.append(bytes);
        if (m_buf.size() >= Chunk)
            flush();
    }
    void append(char c) {
        m_buf.append(c);
        if (m_buf.size() >= Chunk)
            flush();
    }
    void appendInteger(qint64 v);
    void appendReal(double v);
    // `secs` in UTC as `format` gives it, "yyyy-MM-dd" `separator` "HH:mm", with ":ssZ"
    // when `seconds`; by hand from 1970 to 9999.
    void appendUtcTime(qint64 secs, char separator, bool seconds, const QString& format);
    // A JSON string of UTF-8 `bytes`; with `forScript`, also <, > and & escaped so the
    // text can sit inside an HTML script element.
    void appendJsonString(QByteArrayView bytes, bool forScript = false);
    // A cell as a JSON value: blobs and text that is not UTF-8 as {"base64": ...}.
    void appendJsonCell(const Cell& cell, bool forScript = false);
    void flush();

private:
    static constexpr qsizetype Chunk = 1 << 18;
    QIODevice& m_out;
    QByteArray m_buf;
    qint64 m_day = -1;
    char m_date[10] = {};
};

bool isUtf8(QByteArrayView bytes);

// Reports progress at most every 100 ms and answers whether to stop.
class Progress {
public:
    Progress(const ExportHooks& hooks, qint64 total);
    // One more entry written; true when the export should stop.
    bool step();
    void finish();

private:
    const ExportHooks& m_hooks;
    qint64 m_total;
    qint64 m_done = 0;
    Throttle m_throttle;
};

ExportResult writeHtml(Database& db, const ExportOptions& options, const Layout& layout, Sink& sink,
                       Progress& progress);

} // namespace vorlane::exportlayout
