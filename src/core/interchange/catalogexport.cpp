#include "core/interchange/catalogexport.h"

#include "core/import/fsnames.h"
#include "core/interchange/exportlayout.h"
#include "core/interchange/mediajson.h"
#include "core/store/database.h"
#include "core/store/mediastore.h"
#include "core/throttle.h"

#include <QBuffer>
#include <QDateTime>
#include <QIODevice>
#include <QTimeZone>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace vorlane {

namespace exportlayout {

ExportResult plan(Database& db, const ExportScope& scope, Layout& layout) {
    std::vector<Category> all;
    QHash<qint64, qsizetype> byId;
    interchangestore::readCategories(db, [&](const RowView& row) {
        Category c{row.integerOr("AutoId", 0), row.integerOr("FatherId", 0),
                   row.integerOr("OrderId", 0), row.textOr("TreeName")};
        byId.insert(c.id, qsizetype(all.size()));
        all.push_back(std::move(c));
        return true;
    });
    QHash<qint64, std::vector<qsizetype>> children;
    for (qsizetype i = 0; i < qsizetype(all.size()); ++i) {
        const qint64 father = byId.contains(all[size_t(i)].father) ? all[size_t(i)].father : 0;
        children[father].push_back(i);
    }
    for (auto& list : children) {
        std::sort(list.begin(), list.end(), [&](qsizetype a, qsizetype b) {
            const Category &x = all[size_t(a)], &y = all[size_t(b)];
            return x.order != y.order ? x.order < y.order : x.id < y.id;
        });
    }
    // Depth first, each category once (a damaged parent link cannot make it loop).
    QHash<qint64, QString> paths;
    QSet<qint64> seen;
    std::vector<Category> ordered;
    std::function<void(qint64, const QString&, bool)> walk = [&](qint64 father, const QString& path,
                                                                 bool take) {
        for (qsizetype i : children.value(father)) {
            const Category& c = all[size_t(i)];
            if (seen.contains(c.id))
                continue;
            seen.insert(c.id);
            const QString own = path.isEmpty() ? c.name : path + QStringLiteral(" / ") + c.name;
            paths.insert(c.id, own);
            const bool inScope =
                take || (scope.kind == ExportScope::Kind::Category && c.id == scope.id);
            if (inScope)
                ordered.push_back(c);
            walk(c.id, own, inScope);
        }
    };
    const bool everything =
        scope.kind == ExportScope::Kind::Catalog || scope.kind == ExportScope::Kind::Items;
    walk(0, QString(), everything);
    if (scope.kind == ExportScope::Kind::Category && !byId.contains(scope.id))
        return ExportResult::NoSuchCategory;
    QHash<qint64, qsizetype> position;
    for (qsizetype i = 0; i < qsizetype(ordered.size()); ++i)
        position.insert(ordered[size_t(i)].id, i);

    std::vector<DiscKey> keys = interchangestore::discKeys(db);
    std::erase_if(keys, [&](const DiscKey& d) {
        switch (scope.kind) {
        case ExportScope::Kind::Catalog:
        case ExportScope::Kind::Items:
            return false;
        case ExportScope::Kind::Category:
            return !position.contains(d.categoryId);
        case ExportScope::Kind::Disc:
            return d.id != scope.id;
        }
        return true;
    });
    if (scope.kind == ExportScope::Kind::Disc && keys.empty())
        return ExportResult::NoSuchDisc;
    // Top-level discs first, then by category in tree order; discs of a category that no
    // longer exists last.
    auto rank = [&](qint64 category) -> qint64 {
        if (category == 0)
            return -1;
        return position.value(category, std::numeric_limits<qsizetype>::max());
    };
    std::sort(keys.begin(), keys.end(), [&](const DiscKey& a, const DiscKey& b) {
        const qint64 ra = rank(a.categoryId), rb = rank(b.categoryId);
        if (ra != rb)
            return ra < rb;
        return a.orderId != b.orderId ? a.orderId < b.orderId : a.id < b.id;
    });
    std::vector<qint64> ids;
    for (const DiscKey& k : keys) {
        Disc d;
        d.id = k.id;
        d.categoryId = k.categoryId;
        d.categoryPath = paths.value(k.categoryId);
        interchangestore::readDisc(db, k.id, [&](const RowView& row) {
            d.name = row.textOr("CDName", QStringLiteral("未命名"));
            d.sourcePath = row.textOr("SourcePath");
            return false;
        });
        layout.discIndex.insert(d.id, qsizetype(layout.discs.size()));
        layout.discs.push_back(std::move(d));
        ids.push_back(k.id);
    }
    layout.categories = std::move(ordered);
    layout.totalEntries = scope.kind == ExportScope::Kind::Items
                              ? qint64(scope.items.size())
                              : interchangestore::countEntries(db, ids);
    return ExportResult::Done;
}

void Sink::appendInteger(qint64 v) {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    append(QByteArrayView(text, r.ptr - text));
}

void Sink::appendReal(double v) {
    if (!std::isfinite(v)) {
        append("null");
        return;
    }
    char text[40];
    const auto r = std::to_chars(text, text + sizeof text, v);
    QByteArrayView written(text, r.ptr - text);
    append(written);
    // Keeps a whole-number real a real when it is read back.
    if (!written.contains('.') && !written.contains('e'))
        append(".0");
}

void Sink::appendUtcTime(qint64 secs, char separator, bool seconds, const QString& format) {
    if (secs < 0 || secs > 253402300799) {
        append(QDateTime::fromSecsSinceEpoch(secs, QTimeZone::utc()).toString(format).toLatin1());
        return;
    }
    // The date at most once per day of the export.
    const qint64 day = secs / 86400;
    if (day != m_day) {
        const QByteArray text = QDate(1970, 1, 1).addDays(day).toString(Qt::ISODate).toLatin1();
        std::memcpy(m_date, text.constData(), 10);
        m_day = day;
    }
    const int s = int(secs % 86400);
    char time[] = {separator, 0, 0, ':', 0, 0, ':', 0, 0, 'Z'};
    for (const auto& [at, v] : {std::pair{1, s / 3600}, {4, s / 60 % 60}, {7, s % 60}}) {
        time[at] = char('0' + v / 10);
        time[at + 1] = char('0' + v % 10);
    }
    append(QByteArrayView(m_date, 10));
    append(QByteArrayView(time, seconds ? 10 : 6));
}

void Sink::appendJsonString(QByteArrayView bytes, bool forScript) {
    static constexpr char hex[] = "0123456789abcdef";
    append('"');
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        const bool special =
            c < 0x20 || c == '"' || c == '\\' || (forScript && (c == '<' || c == '>' || c == '&'));
        if (!special)
            continue;
        append(QByteArrayView(p + run, i - run));
        run = i + 1;
        switch (c) {
        case '"':
            append("\\\"");
            break;
        case '\\':
            append("\\\\");
            break;
        case '\n':
            append("\\n");
            break;
        case '\r':
            append("\\r");
            break;
        case '\t':
            append("\\t");
            break;
        default: {
            const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            append(QByteArrayView(esc, 6));
            break;
        }
        }
    }
    append(QByteArrayView(p + run, n - run));
    append('"');
}

void Sink::appendJsonCell(const Cell& cell, bool forScript) {
    switch (cell.type) {
    case Cell::Type::Null:
        append("null");
        return;
    case Cell::Type::Integer:
        appendInteger(cell.integer);
        return;
    case Cell::Type::Real:
        appendReal(cell.real);
        return;
    case Cell::Type::Text:
        if (isUtf8(cell.bytes)) {
            appendJsonString(cell.bytes, forScript);
            return;
        }
        append("{\"base64\":\"");
        append(QByteArray::fromRawData(cell.bytes.data(), cell.bytes.size()).toBase64());
        append("\",\"type\":\"text\"}");
        return;
    case Cell::Type::Blob:
        append("{\"base64\":\"");
        append(QByteArray::fromRawData(cell.bytes.data(), cell.bytes.size()).toBase64());
        append("\"}");
        return;
    }
}

void Sink::flush() {
    if (m_buf.isEmpty())
        return;
    if (m_out.write(m_buf) != m_buf.size())
        throw ExportWriteError(m_out.errorString());
    m_buf.clear();
}

bool isUtf8(QByteArrayView bytes) {
    return fsnames::isUtf8(std::string_view(bytes.data(), size_t(bytes.size())));
}

Progress::Progress(const ExportHooks& hooks, qint64 total)
    : m_hooks(hooks), m_total(total), m_throttle(100) {}

bool Progress::step() {
    ++m_done;
    if ((m_done & 255) != 0)
        return false;
    if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed))
        return true;
    if (m_hooks.progress && m_throttle.due())
        m_hooks.progress(std::min(m_done, m_total), m_total);
    return false;
}

void Progress::finish() {
    if (m_hooks.progress)
        m_hooks.progress(m_total, m_total);
}

} // namespace exportlayout

namespace {

using namespace exportlayout;

void writeRow(Sink& sink, const RowView& row) {
    sink.append('{');
    for (int i = 0; i < row.count; ++i) {
        if (i)
            sink.append(',');
        sink.appendJsonString((*row.names)[size_t(i)]);
        sink.append(':');
        sink.appendJsonCell(row.cells[i]);
    }
    sink.append('}');
}

ExportResult writeJson(Database& db, const ExportOptions& options, const Layout& layout, Sink& sink,
                       Progress& progress) {
    sink.append("{\"format\":\"vorlane-catalog\",\"version\":1,\"scope\":");
    switch (options.scope.kind) {
    case ExportScope::Kind::Catalog:
    case ExportScope::Kind::Items: // never written as JSON
        sink.append("\"catalog\"");
        break;
    case ExportScope::Kind::Category:
        sink.append("\"category\"");
        break;
    case ExportScope::Kind::Disc:
        sink.append("\"disc\"");
        break;
    }
    sink.append(",\n\"categories\":[");
    QSet<qint64> inScope;
    for (const Category& c : layout.categories)
        inScope.insert(c.id);
    // The rows themselves, every column, in tree order.
    std::vector<QByteArray> rows(layout.categories.size());
    QHash<qint64, qsizetype> at;
    for (qsizetype i = 0; i < qsizetype(layout.categories.size()); ++i)
        at.insert(layout.categories[size_t(i)].id, i);
    interchangestore::readCategories(db, [&](const RowView& row) {
        const auto pos = at.constFind(row.integerOr("AutoId", 0));
        if (pos == at.constEnd())
            return true;
        QBuffer buffer(&rows[size_t(*pos)]);
        buffer.open(QIODevice::WriteOnly);
        Sink one(buffer);
        writeRow(one, row);
        one.flush();
        return true;
    });
    for (size_t i = 0; i < rows.size(); ++i) {
        sink.append(i ? ",\n" : "\n");
        sink.append(rows[i]);
    }
    sink.append("],\n\"discs\":[");
    bool first = true;
    for (const Disc& d : layout.discs) {
        interchangestore::readDisc(db, d.id, [&](const RowView& row) {
            sink.append(first ? "\n" : ",\n");
            first = false;
            writeRow(sink, row);
            return false;
        });
    }
    sink.append("],\n\"entries\":[");
    first = true;
    bool stopped = false;
    const std::optional<qint64> one =
        layout.discs.size() == 1 ? std::optional<qint64>(layout.discs.front().id) : std::nullopt;
    interchangestore::readEntries(db, one, [&](const RowView& row) {
        if (!one && !layout.discIndex.contains(row.integerOr("CdID", 0)))
            return true;
        sink.append(first ? "\n" : ",\n");
        first = false;
        writeRow(sink, row);
        if (progress.step()) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (stopped)
        return ExportResult::Cancelled;
    // Facts and thumbnails after the entries they belong to, so that a reader that knows
    // the entries by then can take them row by row.
    const auto discInScope = [&](qint64 disc) { return one || layout.discIndex.contains(disc); };
    sink.append("],\n\"media\":[");
    first = true;
    mediastore::readFacts(db, one, [&](qint64 entry, qint64 disc, const MediaFacts& facts) {
        if (discInScope(disc)) {
            sink.append(first ? "\n" : ",\n");
            first = false;
            sink.append(mediajson::exportRow(entry, facts));
        }
        return true;
    });
    sink.append("],\n\"thumbnails\":[");
    first = true;
    mediastore::readThumbnails(db, one, [&](qint64 entry, qint64 disc, QByteArrayView jpeg) {
        if (discInScope(disc)) {
            sink.append(first ? "\n{\"entry\":" : ",\n{\"entry\":");
            first = false;
            sink.appendInteger(entry);
            sink.append(",\"jpeg\":\"");
            sink.append(jpeg.toByteArray().toBase64());
            sink.append("\"}");
        }
        return true;
    });
    sink.append("]}\n");
    return ExportResult::Done;
}

// True when a spreadsheet would run a cell beginning so as a formula (tab and carriage
// return count as well: some programs drop them and look at what follows).
bool startsLikeFormula(QByteArrayView text) {
    if (text.isEmpty())
        return false;
    switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

// One CSV text field, quoted when it holds a comma, a quote or a line break. With `guard`,
// a text that a spreadsheet would run as a formula gets a leading apostrophe.
void csvField(Sink& sink, QByteArrayView text, bool guard) {
    QByteArray valid;
    if (!isUtf8(text)) {
        valid = QString::fromUtf8(text).toUtf8();
        text = valid;
    }
    if (guard && startsLikeFormula(text)) {
        valid = '\'' + text.toByteArray();
        text = valid;
    }
    bool quote = false;
    for (char c : text) {
        if (c == ',' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        sink.append(text);
        return;
    }
    sink.append('"');
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            sink.append(text.sliced(run, i + 1 - run));
            sink.append('"');
            run = i + 1;
        }
    }
    sink.append(text.sliced(run));
    sink.append('"');
}

QByteArrayView textCell(const RowView& row, int index) {
    if (index < 0 || row.cells[index].type != Cell::Type::Text)
        return {};
    return row.cells[index].bytes;
}

ExportResult writeCsv(Database& db, const ExportOptions& options, const Layout& layout, Sink& sink,
                      Progress& progress) {
    if (options.byteOrderMark)
        sink.append("\xEF\xBB\xBF");
    sink.append("disc,category,path,name,size,modified,kind,note\r\n");
    std::vector<QByteArray> discNames, categoryPaths, sources;
    for (const Disc& d : layout.discs) {
        discNames.push_back(d.name.toUtf8());
        categoryPaths.push_back(d.categoryPath.toUtf8());
        sources.push_back(d.sourcePath.toUtf8());
    }
    const auto cellInteger = [](const RowView& row, int index) -> std::optional<qint64> {
        if (index >= 0 && row.cells[index].type == Cell::Type::Integer)
            return row.cells[index].integer;
        return std::nullopt;
    };
    // Sizes and times are numbers the export writes itself; only text cells need a guard.
    const bool guard = !options.csvFormulas;
    const auto writeRow = [&](size_t d, QByteArrayView full, QByteArrayView name,
                              std::optional<qint64> size, std::optional<qint64> time,
                              const char* kind, QByteArrayView note) {
        csvField(sink, discNames[d], guard);
        sink.append(',');
        csvField(sink, categoryPaths[d], guard);
        sink.append(',');
        csvField(sink, full, guard);
        sink.append(',');
        csvField(sink, name, guard);
        sink.append(',');
        if (size)
            sink.appendInteger(*size);
        sink.append(',');
        if (time)
            sink.appendUtcTime(*time, 'T', true, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
        sink.append(',');
        sink.append(kind);
        sink.append(',');
        csvField(sink, note, guard);
        sink.append("\r\n");
    };
    int cName = -1, cPath = -1, cSize = -1, cDir = -1, cTime = -1, cNote = -1, cLink = -1,
        cArchive = -1;
    const auto writeEntry = [&](const RowView& row) {
        if (cName < 0) {
            cName = row.indexOf("TreeName");
            cPath = row.indexOf("FPath");
            cSize = row.indexOf("FSize");
            cDir = row.indexOf("IsDir");
            cTime = row.indexOf("FTime");
            cNote = row.indexOf("TreeExp");
            cLink = row.indexOf("Link");
            cArchive = row.indexOf("Archive");
        }
        const auto disc = layout.discIndex.constFind(row.integerOr("CdID", 0));
        if (disc == layout.discIndex.constEnd())
            return false;
        const size_t d = size_t(*disc);
        const bool isDir = cellInteger(row, cDir).value_or(0) != 0;
        const QByteArrayView name = textCell(row, cName);
        QByteArray full = sources[d] + textCell(row, cPath).toByteArray();
        if (!isDir)
            full += '/' + name.toByteArray();
        const qint64 mark = cellInteger(row, cArchive).value_or(0);
        const char* kind = mark == 2   ? (isDir ? "archive folder" : "archive member")
                           : isDir     ? "folder"
                           : mark == 1 ? "archive"
                           : !textCell(row, cLink).isEmpty() ? "link"
                                                             : "file";
        writeRow(d, full, name, cellInteger(row, cSize), cellInteger(row, cTime), kind,
                 textCell(row, cNote));
        return true;
    };
    bool stopped = false;
    if (options.scope.kind == ExportScope::Kind::Items) {
        interchangestore::EntryLookup lookup(db);
        for (const ExportItem& item : options.scope.items) {
            if (item.entryId != 0) {
                lookup.read(item.entryId, writeEntry);
            } else if (const auto disc = layout.discIndex.constFind(item.discId);
                       disc != layout.discIndex.constEnd()) {
                const size_t d = size_t(*disc);
                interchangestore::readDisc(db, item.discId, [&](const RowView& row) {
                    writeRow(d, sources[d], discNames[d], std::nullopt,
                             cellInteger(row, row.indexOf("ScanTime")), "disc",
                             textCell(row, row.indexOf("CDExp")));
                    return false;
                });
            }
            if (progress.step())
                return ExportResult::Cancelled;
        }
        return ExportResult::Done;
    }
    const std::optional<qint64> one =
        layout.discs.size() == 1 ? std::optional<qint64>(layout.discs.front().id) : std::nullopt;
    interchangestore::readEntries(db, one, [&](const RowView& row) {
        if (!writeEntry(row))
            return true;
        if (progress.step()) {
            stopped = true;
            return false;
        }
        return true;
    });
    return stopped ? ExportResult::Cancelled : ExportResult::Done;
}

} // namespace

ExportResult exportCatalog(Database& db, const ExportOptions& options, QIODevice& out,
                           const ExportHooks& hooks) {
    // One read transaction: the export is a consistent snapshot even while others write.
    ReadSnapshot snapshot(db);
    Layout layout;
    const ExportResult planned = plan(db, options.scope, layout);
    if (planned != ExportResult::Done)
        return planned;
    Sink sink(out);
    // A list of rows has no tree for the other formats to hold.
    const ExportFormat format =
        options.scope.kind == ExportScope::Kind::Items ? ExportFormat::Csv : options.format;
    // The page writes each entry twice: in its listing and in the tree's data.
    Progress progress(hooks,
                      format == ExportFormat::Html ? 2 * layout.totalEntries : layout.totalEntries);
    ExportResult result = ExportResult::Done;
    switch (format) {
    case ExportFormat::Json:
        result = writeJson(db, options, layout, sink, progress);
        break;
    case ExportFormat::Csv:
        result = writeCsv(db, options, layout, sink, progress);
        break;
    case ExportFormat::Html:
        result = writeHtml(db, options, layout, sink, progress);
        break;
    }
    if (result != ExportResult::Done)
        return result;
    sink.flush();
    progress.finish();
    return ExportResult::Done;
}

QString exportSuffix(ExportFormat format) {
    switch (format) {
    case ExportFormat::Json:
        return QStringLiteral("json");
    case ExportFormat::Csv:
        return QStringLiteral("csv");
    case ExportFormat::Html:
        return QStringLiteral("html");
    }
    return {};
}

} // namespace vorlane
