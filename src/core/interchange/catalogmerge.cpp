#include "core/interchange/catalogmerge.h"

#include "core/interchange/jsonreader.h"
#include "core/store/database.h"
#include "core/store/interchangestore.h"
#include "core/store/passwords.h"
#include "core/throttle.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace vorlane {

namespace {

using interchangestore::MergeWriter;

// A row that owns its values, for rows kept beyond the callback that read them.
struct OwnedRow {
    std::vector<QByteArray> names;
    std::vector<QByteArray> data;
    std::vector<Cell> cells;

    RowView view() const { return {&names, cells.data(), int(cells.size())}; }
    // Points the cells at the data once every value is in place.
    void bind() {
        for (size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].type == Cell::Type::Text || cells[i].type == Cell::Type::Blob)
                cells[i].bytes = data[i];
        }
    }
};

OwnedRow copyRow(const RowView& row) {
    OwnedRow o;
    for (int i = 0; i < row.count; ++i) {
        o.names.push_back((*row.names)[size_t(i)]);
        o.data.push_back(row.cells[i].bytes.toByteArray());
        o.cells.push_back(row.cells[i]);
    }
    o.bind();
    return o;
}

// A row of the export: each member a column. Blobs, and text that is not UTF-8, come as
// {"base64": ..., "type": "text"?}.
OwnedRow jsonRow(JsonValue&& v) {
    if (v.type != JsonValue::Type::Object)
        throw JsonError("a row is not an object");
    OwnedRow o;
    for (auto& [key, value] : v.members) {
        Cell c;
        QByteArray data;
        switch (value.type) {
        case JsonValue::Type::Null:
            break;
        case JsonValue::Type::Bool:
            c.type = Cell::Type::Integer;
            c.integer = value.boolean ? 1 : 0;
            break;
        case JsonValue::Type::Integer:
            c.type = Cell::Type::Integer;
            c.integer = value.integer;
            break;
        case JsonValue::Type::Real:
            c.type = Cell::Type::Real;
            c.real = value.real;
            break;
        case JsonValue::Type::String:
            c.type = Cell::Type::Text;
            data = std::move(value.string);
            break;
        case JsonValue::Type::Object: {
            const JsonValue* b = value.member("base64");
            if (!b || b->type != JsonValue::Type::String)
                throw JsonError("column " + key.toStdString() + " holds an unknown object");
            const auto decoded =
                QByteArray::fromBase64Encoding(b->string, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                throw JsonError("column " + key.toStdString() + " holds bad base64");
            data = *decoded;
            const JsonValue* t = value.member("type");
            c.type = t && t->string == "text" ? Cell::Type::Text : Cell::Type::Blob;
            break;
        }
        case JsonValue::Type::Array:
            throw JsonError("column " + key.toStdString() + " holds a list");
        }
        o.names.push_back(key);
        o.data.push_back(std::move(data));
        o.cells.push_back(c);
    }
    o.bind();
    return o;
}

// What a source is read into: the merge itself, or the look for duplicates.
class Visitor {
public:
    virtual ~Visitor() = default;
    virtual void categories(const std::vector<OwnedRow>& rows) = 0;
    virtual void disc(const RowView& row) = 0;
    virtual bool wantsEntries() const = 0;
    virtual void entry(const RowView& row) = 0;
};

DuplicateDisc describeDisc(const RowView& row, const QString& existing) {
    return {row.integerOr("AutoId", 0), row.textOr("CDName"), row.textOr("CDId"), existing};
}

class Merge final : public Visitor {
public:
    Merge(MergeWriter& writer, const MergeOptions& options, MergeReport& report)
        : w(writer), m_options(options), m_report(report) {}

    void categories(const std::vector<OwnedRow>& rows) override {
        std::vector<qint64> added;
        for (const OwnedRow& row : rows) {
            added.push_back(w.addCategory(row.view()));
            m_categories.insert(row.view().integerOr("AutoId", 0), added.back());
        }
        // Parents once every category has its new id: a parent listed after its child
        // still holds it. A parent outside the source puts the category at the top.
        for (size_t i = 0; i < rows.size(); ++i) {
            const qint64 father = m_categories.value(rows[i].view().integerOr("FatherId", 0), 0);
            if (father)
                w.setCategoryParent(added[i], father);
        }
        m_report.categories = int(rows.size());
    }

    void disc(const RowView& row) override {
        const qint64 old = row.integerOr("AutoId", 0);
        if (const auto existing = w.existingDisc(row.textOr("CDId"), row.textOr("CDName"))) {
            const DuplicateDisc d = describeDisc(row, *existing);
            if (!m_options.keepDuplicate || !m_options.keepDuplicate(d)) {
                m_report.skipped.append(d);
                m_discs.remove(old);
                return;
            }
            m_report.kept.append(d);
        }
        m_discs.insert(old, w.addDisc(row, m_categories.value(row.integerOr("ClassId", 0), 0)));
        ++m_report.discs;
    }

    bool wantsEntries() const override { return true; }

    void entry(const RowView& row) override {
        const auto disc = m_discs.constFind(row.integerOr("CdID", 0));
        if (disc == m_discs.constEnd())
            return; // a skipped disc's, or one whose disc is not in the source
        w.addEntry(row, *disc);
        ++m_report.entries;
    }

private:
    MergeWriter& w;
    const MergeOptions& m_options;
    MergeReport& m_report;
    QHash<qint64, qint64> m_categories;
    QHash<qint64, qint64> m_discs;
};

class Duplicates final : public Visitor {
public:
    Duplicates(MergeWriter& writer, QList<DuplicateDisc>& found) : w(writer), m_found(found) {}
    void categories(const std::vector<OwnedRow>&) override {}
    void disc(const RowView& row) override {
        if (const auto existing = w.existingDisc(row.textOr("CDId"), row.textOr("CDName")))
            m_found.append(describeDisc(row, *existing));
    }
    bool wantsEntries() const override { return false; }
    void entry(const RowView&) override {}

private:
    MergeWriter& w;
    QList<DuplicateDisc>& m_found;
};

struct Cancelled {};

class Ticker {
public:
    explicit Ticker(const MergeHooks& hooks) : m_hooks(hooks), m_throttle(100) {}
    // Throws Cancelled when the merge is to stop.
    void tick(qint64 done, qint64 total) {
        if ((++m_calls & 255) != 0)
            return;
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed))
            throw Cancelled{};
        if (m_hooks.progress && m_throttle.due())
            m_hooks.progress(done, total);
    }

private:
    const MergeHooks& m_hooks;
    Throttle m_throttle;
    qint64 m_calls = 0;
};

MergeStatus readCatalogFile(const MergeOptions& options, Visitor& visitor, Ticker& ticker,
                            QString& error) {
    Database src;
    try {
        src.open(options.source, Database::Mode::ReadOnly);
    } catch (const DbError& e) {
        error = QStringLiteral("not a Vorlane catalog, or the file is damaged (") + e.text() +
                QLatin1Char(')');
        return MergeStatus::Failed;
    }
    const CatalogPasswords passwords = readPasswords(src);
    if (!passwords.read.isEmpty()) {
        if (options.sourcePassword.isEmpty())
            return MergeStatus::NeedsPassword;
        if (options.sourcePassword != passwords.read)
            return MergeStatus::WrongPassword;
    }
    src.begin(); // one consistent snapshot of the source
    std::vector<OwnedRow> categories;
    interchangestore::readCategories(src, [&](const RowView& row) {
        categories.push_back(copyRow(row));
        return true;
    });
    visitor.categories(categories);
    std::vector<qint64> ids;
    for (const DiscKey& key : interchangestore::discKeys(src)) {
        ids.push_back(key.id);
        interchangestore::readDisc(src, key.id, [&](const RowView& row) {
            visitor.disc(row);
            return false;
        });
    }
    if (visitor.wantsEntries()) {
        const qint64 total = interchangestore::countEntries(src, ids);
        qint64 done = 0;
        interchangestore::readEntries(src, std::nullopt, [&](const RowView& row) {
            visitor.entry(row);
            ticker.tick(++done, total);
            return true;
        });
    }
    src.rollback();
    return MergeStatus::Done;
}

MergeStatus readExport(const MergeOptions& options, Visitor& visitor, Ticker& ticker,
                       QString& error) {
    QFile file(options.source);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return MergeStatus::Failed;
    }
    const qint64 size = file.size();
    JsonReader r(file);
    bool isExport = false, haveCategories = false, haveDiscs = false;
    auto notExport = [] { throw JsonError("not a Vorlane catalog export"); };
    auto giveCategories = [&](const std::vector<OwnedRow>& rows) {
        if (!haveCategories)
            visitor.categories(rows);
        haveCategories = true;
    };
    r.expect('{');
    if (!r.accept('}')) {
        do {
            const QByteArray key = r.readString();
            r.expect(':');
            if (key == "format") {
                const JsonValue v = r.readValue();
                if (v.string != "vorlane-catalog")
                    notExport();
                isExport = true;
            } else if (key == "version") {
                const JsonValue v = r.readValue();
                if (v.type != JsonValue::Type::Integer || v.integer < 1)
                    notExport();
                if (v.integer > 1)
                    throw JsonError("the export was made by a newer version of Vorlane (format "
                                    "version " +
                                    std::to_string(v.integer) + ")");
            } else if (key == "categories" || key == "discs") {
                if (!isExport)
                    notExport();
                std::vector<OwnedRow> categories;
                if (key == "discs")
                    giveCategories({});
                r.expect('[');
                if (!r.accept(']')) {
                    do {
                        OwnedRow row = jsonRow(r.readValue());
                        if (key == "discs")
                            visitor.disc(row.view());
                        else
                            categories.push_back(std::move(row));
                    } while (r.accept(','));
                    r.expect(']');
                }
                if (key == "categories")
                    giveCategories(categories);
                else
                    haveDiscs = true;
            } else if (key == "entries") {
                if (!isExport)
                    notExport();
                if (!visitor.wantsEntries())
                    return MergeStatus::Done; // every disc has been seen
                if (!haveDiscs)
                    throw JsonError("the entries come before the discs");
                r.expect('[');
                if (!r.accept(']')) {
                    do {
                        const OwnedRow row = jsonRow(r.readValue());
                        visitor.entry(row.view());
                        ticker.tick(r.position(), size);
                    } while (r.accept(','));
                    r.expect(']');
                }
            } else {
                r.skipValue(); // a later version's addition
            }
        } while (r.accept(','));
        r.expect('}');
    }
    if (!isExport)
        notExport();
    if (r.peek() != 0)
        r.fail("text after the end");
    giveCategories({});
    return MergeStatus::Done;
}

MergeStatus readSource(const MergeOptions& options, Visitor& visitor, Ticker& ticker,
                       QString& error) {
    QFile file(options.source);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return MergeStatus::Failed;
    }
    const bool isCatalog = file.read(16) == QByteArray("SQLite format 3", 16);
    file.close();
    return isCatalog ? readCatalogFile(options, visitor, ticker, error)
                     : readExport(options, visitor, ticker, error);
}

template <typename Body>
MergeReport guarded(const MergeOptions& options, Database& target, Body body) {
    MergeReport report;
    const QFileInfo source(options.source);
    if (!source.exists()) {
        report.error = QStringLiteral("no such file");
        return report;
    }
    if (source.canonicalFilePath() == QFileInfo(target.path()).canonicalFilePath()) {
        report.error = QStringLiteral("the source is the catalog itself");
        return report;
    }
    try {
        report.status = body(report);
    } catch (const Cancelled&) {
        report.status = MergeStatus::Cancelled;
    } catch (const DbError& e) {
        report.status = MergeStatus::Failed;
        report.error = e.text();
    } catch (const JsonError& e) {
        report.status = MergeStatus::Failed;
        report.error = QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        report.status = MergeStatus::Failed;
        report.error = QString::fromLocal8Bit(e.what());
    }
    return report;
}

} // namespace

MergeReport findDuplicates(Database& target, const MergeOptions& options,
                           QList<DuplicateDisc>& duplicates) {
    duplicates.clear();
    return guarded(options, target, [&](MergeReport& report) {
        MergeWriter writer(target); // only read: dropped without a commit
        Duplicates visitor(writer, duplicates);
        const MergeHooks none;
        Ticker ticker(none);
        return readSource(options, visitor, ticker, report.error);
    });
}

MergeReport mergeCatalog(Database& target, const MergeOptions& options, const MergeHooks& hooks) {
    return guarded(options, target, [&](MergeReport& report) {
        MergeWriter writer(target);
        Merge visitor(writer, options, report);
        Ticker ticker(hooks);
        const MergeStatus status = readSource(options, visitor, ticker, report.error);
        if (status != MergeStatus::Done)
            return status;
        writer.commit();
        if (hooks.progress)
            hooks.progress(1, 1);
        return MergeStatus::Done;
    });
}

} // namespace vorlane
