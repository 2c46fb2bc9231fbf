// Export of a catalog, a category with its sub-categories, or one disc: lossless JSON
// (described in docs/catalog-json.md), CSV for spreadsheets, or one self-contained HTML
// page. Everything is streamed, so memory stays flat however many entries there are.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <vector>

class QIODevice;

namespace vorlane {

class Database;

enum class ExportFormat { Json, Csv, Html };

// One row of a chosen list (the search window's results): a disc, or one of its entries.
struct ExportItem {
    qint64 discId = 0;
    qint64 entryId = 0; // 0: the disc itself
};

struct ExportScope {
    // Items: only the rows of `items`, in their order, as CSV whatever the format asks
    // (a list of hits has no tree for JSON or HTML to hold). A disc is a row of kind
    // "disc"; a row that no longer exists is left out.
    enum class Kind { Catalog, Category, Disc, Items };
    Kind kind = Kind::Catalog;
    qint64 id = 0; // the category or the disc
    std::vector<ExportItem> items;
};

struct ExportOptions {
    ExportScope scope;
    ExportFormat format = ExportFormat::Json;
    bool byteOrderMark = false; // CSV only: spreadsheet programs need it to read UTF-8
    // CSV only: text cells as they are, also those a spreadsheet would take for a formula
    // (by default such a cell gets a leading apostrophe and reads as text).
    bool csvFormulas = false;
    QString title; // HTML: the page's heading (the catalog's file name)
};

struct ExportHooks {
    // Entries written out of all of them, at most about every 100 ms and at the end.
    std::function<void(qint64 done, qint64 total)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

enum class ExportResult { Done, Cancelled, NoSuchCategory, NoSuchDisc };

// A failure to write the output (a full disk, a closed pipe).
class ExportWriteError : public std::runtime_error {
public:
    explicit ExportWriteError(const QString& text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// Writes the export to `out`. Throws DbError when the catalog cannot be read and
// ExportWriteError when the output cannot be written.
ExportResult exportCatalog(Database& db, const ExportOptions& options, QIODevice& out,
                           const ExportHooks& hooks = {});

// The format's usual file name extension ("json", "csv", "html").
QString exportSuffix(ExportFormat format);

} // namespace vorlane
