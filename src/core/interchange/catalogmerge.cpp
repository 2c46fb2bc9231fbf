#include "core/interchange/catalogmerge.h"

#include "core/interchange/foreign/foreignsource.h"
#include "core/interchange/jsonreader.h"
#include "core/interchange/mediajson.h"
#include "core/store/catalogrules.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "core/store/foreignhash.h"
#include "core/store/interchangestore.h"
#include "core/store/mediastore.h"
#include "core/store/passwords.h"
#include "core/throttle.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <memory>

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

// What a source is read into: the merge itself, the check before it, or the look for
// duplicates.
class Visitor {
public:
    virtual ~Visitor() = default;
    virtual void categories(const std::vector<OwnedRow>& rows) = 0;
    virtual void disc(const RowView& row) = 0;
    virtual bool wantsEntries() const = 0;
    virtual void entry(const RowView& row) = 0;
    // Media rows come after every entry: an entry's facts (with the number of facts
    // already left out as unreadable) and its thumbnail; and the number of rows whose
    // entry the source itself lacks.
    virtual bool wantsMedia() const { return false; }
    virtual void media(qint64, MediaFacts&&, int) {}
    virtual void thumbnail(qint64, QByteArray&&) {}
    virtual void orphanMedia(qint64) {}
    // Another program's source: its format and what it could not carry over.
    virtual void foreignSource(const QString& format, const QStringList& dropped) {
        Q_UNUSED(format);
        Q_UNUSED(dropped);
    }
};

DuplicateDisc describeDisc(const RowView& row, const QString& existing) {
    return {row.integerOr("AutoId", 0), row.textOr("CDName"), row.textOr("CDId"), existing};
}

// A failure of the catalog being merged into, told apart from the source's.
struct CatalogFailure {
    DbError error;
};

template <typename F> auto inCatalog(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const DbError& e) {
        throw CatalogFailure{e};
    }
}

// The source held to the rules of the catalog's check.
class Rules final : public Visitor {
public:
    void categories(const std::vector<OwnedRow>& rows) override {
        for (const OwnedRow& row : rows)
            m_rules.addCategory(row.view());
    }
    void disc(const RowView& row) override { m_rules.addDisc(row); }
    bool wantsEntries() const override { return true; }
    void entry(const RowView& row) override { m_rules.addEntry(row); }
    // The source's first fault, in the words of a refusal; empty for a sound source.
    QString fault() {
        const QString first = m_rules.firstFault();
        return first.isEmpty() ? first
                               : QStringLiteral("the source does not pass the check: ") + first;
    }

private:
    CatalogRules m_rules{CatalogRules::Scope::Part};
};

// The category a disc exported on its own goes into: named after the file it came in.
QString newCategoryName(const QString& source) {
    const QString name = QFileInfo(source).completeBaseName();
    return isSoundName(name.toUtf8()) ? name : QStringLiteral("新分类");
}

class Merge final : public Visitor {
public:
    Merge(MergeWriter& writer, const MergeOptions& options, MergeReport& report)
        : w(writer), m_options(options), m_report(report) {}

    void categories(const std::vector<OwnedRow>& rows) override {
        m_rules.categories(rows);
        inCatalog([&] {
            std::vector<qint64> added;
            for (const OwnedRow& row : rows) {
                added.push_back(w.addCategory(row.view()));
                m_categories.insert(row.view().integerOr("AutoId", 0), added.back());
            }
            // Parents once every category has its new id: a parent listed after its child
            // still holds it. A parent outside the source puts the category at the top.
            for (size_t i = 0; i < rows.size(); ++i) {
                qint64 father = m_categories.value(rows[i].view().integerOr("FatherId", 0), 0);
                if (!father)
                    father = m_options.categoryId;
                if (father)
                    w.setCategoryParent(added[i], father);
            }
        });
        m_report.categories = int(rows.size());
    }

    void disc(const RowView& row) override {
        m_rules.disc(row);
        const qint64 old = row.integerOr("AutoId", 0);
        inCatalog([&] {
            if (const auto existing = w.existingDisc(row.textOr("CDId"), row.textOr("CDName"))) {
                const DuplicateDisc d = describeDisc(row, *existing);
                if (!m_options.keepDuplicate || !m_options.keepDuplicate(d)) {
                    m_report.skipped.append(d);
                    m_discs.remove(old);
                    return;
                }
                m_report.kept.append(d);
            }
            qint64 category = m_categories.value(row.integerOr("ClassId", 0), 0);
            if (!category)
                category = holder();
            m_discs.insert(old, w.addDisc(row, category));
            ++m_report.discs;
        });
    }

    bool wantsEntries() const override { return true; }

    void entry(const RowView& row) override {
        m_rules.entry(row);
        const auto disc = m_discs.constFind(row.integerOr("CdID", 0));
        if (disc == m_discs.constEnd()) {
            m_skippedEntries.insert(row.integerOr("AutoId", 0)); // a skipped disc's
            return;
        }
        inCatalog([&] {
            const qint64 id = w.addEntry(row, *disc);
            for (const ForeignHash& h : foreign::rowHashes(row)) {
                foreignhash::store(w.database(), id, h);
                ++m_report.hashes;
            }
        });
        ++m_report.entries;
        ++(row.integerOr("IsDir", 0) ? m_report.folders : m_report.files);
    }

    void foreignSource(const QString& format, const QStringList& dropped) override {
        m_report.format = format;
        m_report.dropped = dropped;
    }

    bool wantsMedia() const override { return mediastore::available(w.database()); }

    void media(qint64 sourceId, MediaFacts&& facts, int dropped) override {
        const std::optional<qint64> id = merged(sourceId);
        if (!id)
            return;
        m_report.badFacts += dropped + mediajson::sanitize(facts);
        if (facts.isEmpty())
            return;
        inCatalog([&] { mediaWriter()->storeFacts(*id, facts); });
        ++m_report.media;
    }

    void thumbnail(qint64 sourceId, QByteArray&& jpeg) override {
        const std::optional<qint64> id = merged(sourceId);
        if (!id)
            return;
        if (!mediajson::isThumbnail(jpeg)) {
            ++m_report.badThumbnails;
            return;
        }
        inCatalog([&] { mediaWriter()->storeThumbnail(*id, jpeg); });
        ++m_report.thumbnails;
    }

    void orphanMedia(qint64 rows) override { m_report.orphanMedia += rows; }

    // The rows written are those the check before saw: a source changed in between
    // cannot slip past it.
    QString fault() { return m_rules.fault(); }

private:
    // The merged entry a media row of the source belongs to; nullopt for a skipped disc's
    // entry, and for one the source does not have, which is counted.
    std::optional<qint64> merged(qint64 sourceId) {
        if (m_skippedEntries.contains(sourceId))
            return std::nullopt;
        const std::optional<qint64> id = inCatalog([&] { return w.mergedEntry(sourceId); });
        if (!id)
            ++m_report.orphanMedia;
        return id;
    }

    // Writes in the merge's own transaction, on the same connection.
    mediastore::MediaWriter* mediaWriter() {
        if (!m_media)
            m_media = std::make_unique<mediastore::MediaWriter>(w.database());
        return m_media.get();
    }

    // Where a disc outside any category of the source goes.
    qint64 holder() {
        if (m_options.categoryId)
            return m_options.categoryId;
        if (!m_report.newCategoryId) {
            m_report.newCategoryName = newCategoryName(m_options.source);
            m_report.newCategoryId = w.addTopCategory(m_report.newCategoryName);
            ++m_report.categories;
        }
        return m_report.newCategoryId;
    }

    MergeWriter& w;
    const MergeOptions& m_options;
    MergeReport& m_report;
    Rules m_rules;
    QHash<qint64, qint64> m_categories;
    QHash<qint64, qint64> m_discs;
    QSet<qint64> m_skippedEntries;
    std::unique_ptr<mediastore::MediaWriter> m_media;
};

class Duplicates final : public Visitor {
public:
    Duplicates(MergeWriter& writer, QList<DuplicateDisc>& found) : w(writer), m_found(found) {}
    void categories(const std::vector<OwnedRow>&) override {}
    void disc(const RowView& row) override {
        const auto existing =
            inCatalog([&] { return w.existingDisc(row.textOr("CDId"), row.textOr("CDName")); });
        if (existing)
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
    // `passes` readings of the source make up the work.
    Ticker(const MergeHooks& hooks, int passes)
        : m_hooks(hooks), m_passes(passes), m_throttle(100) {}
    void nextPass() { ++m_pass; }
    // Throws Cancelled when the merge is to stop.
    void tick(qint64 done, qint64 total) {
        if ((++m_calls & 255) != 0)
            return;
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed))
            throw Cancelled{};
        if (m_hooks.progress && m_throttle.due())
            m_hooks.progress(m_pass * total + done, m_passes * total);
    }

private:
    const MergeHooks& m_hooks;
    const int m_passes;
    int m_pass = 0;
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
    qint64 total = 0;
    if (visitor.wantsEntries()) {
        total = interchangestore::countEntries(src, ids);
        qint64 done = 0;
        interchangestore::readEntries(src, std::nullopt, [&](const RowView& row) {
            visitor.entry(row);
            ticker.tick(++done, total);
            return true;
        });
    }
    if (visitor.wantsMedia()) {
        // A catalog from before media facts has no such rows.
        visitor.orphanMedia(mediastore::orphanRows(src));
        mediastore::readFacts(src, std::nullopt, [&](qint64 entry, qint64, const MediaFacts& f) {
            visitor.media(entry, MediaFacts(f), 0);
            ticker.tick(total, total); // answers a cancel
            return true;
        });
        mediastore::readThumbnails(src, std::nullopt, [&](qint64 entry, qint64, QByteArrayView b) {
            visitor.thumbnail(entry, b.toByteArray());
            ticker.tick(total, total);
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
    if (file.peek(3) == "\xEF\xBB\xBF")
        throw JsonError("not a Vorlane catalog export: it begins with a byte-order mark, "
                        "which an export never has");
    JsonReader r(file);
    bool isExport = false, haveCategories = false, haveDiscs = false, haveEntries = false;
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
                haveEntries = true;
            } else if (key == "media" || key == "thumbnails") {
                if (!haveEntries)
                    throw JsonError("the " + key.toStdString() + " come before the entries");
                mediajson::readList(
                    r, key == "media",
                    [&](qint64 entry, MediaFacts&& facts, int dropped) {
                        visitor.media(entry, std::move(facts), dropped);
                        ticker.tick(r.position(), size);
                    },
                    [&](qint64 entry, QByteArray&& jpeg) {
                        visitor.thumbnail(entry, std::move(jpeg));
                        ticker.tick(r.position(), size);
                    });
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

// Another program's file, read whole into the neutral tree and fed as catalog rows.
MergeStatus readForeign(const MergeOptions& options, const QString& format, Visitor& visitor,
                        Ticker& ticker) {
    const foreign::Source source = foreign::readSource(options.source, format);
    visitor.categories({});
    visitor.foreignSource(source.format, source.droppedLines());
    qint64 done = 0;
    foreign::sourceRows(
        source, [&](const RowView& row) { visitor.disc(row); },
        [&](const RowView& row) {
            if (visitor.wantsEntries())
                visitor.entry(row);
            ++done;
            ticker.tick(done, done + 1); // the count is not known ahead
        });
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
    if (options.format.isEmpty() && !isCatalog) {
        const QString found = foreign::detectFormat(options.source);
        if (!found.isEmpty())
            return readForeign(options, found, visitor, ticker);
    } else if (foreign::isForeignFormat(options.format)) {
        return readForeign(options, options.format, visitor, ticker);
    }
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
        if (options.categoryId &&
            !inCatalog([&] { return catalogstore::categoryExists(target, options.categoryId); })) {
            report.inCatalog = true;
            report.error = QStringLiteral("no category with id %1").arg(options.categoryId);
            return report;
        }
        report.status = body(report);
    } catch (const Cancelled&) {
        report.status = MergeStatus::Cancelled;
    } catch (const CatalogFailure& e) {
        report.status = MergeStatus::Failed;
        report.inCatalog = true;
        report.error = e.error.text();
    } catch (const DbError& e) {
        report.status = MergeStatus::Failed;
        report.error = e.text();
    } catch (const JsonError& e) {
        report.status = MergeStatus::Failed;
        report.error = QString::fromUtf8(e.what());
    } catch (const foreign::ForeignError& e) {
        report.status = MergeStatus::Failed;
        report.error = QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        report.status = MergeStatus::Failed;
        report.error = QString::fromLocal8Bit(e.what());
    }
    if (report.status != MergeStatus::Done) {
        // Nothing of the source stands: the report tells only why.
        report.categories = report.discs = 0;
        report.entries = report.folders = report.files = report.hashes = 0;
        report.dropped.clear();
        report.newCategoryId = 0;
        report.newCategoryName.clear();
        report.skipped.clear();
        report.kept.clear();
    }
    return report;
}

} // namespace

MergeReport findDuplicates(Database& target, const MergeOptions& options,
                           QList<DuplicateDisc>& duplicates) {
    duplicates.clear();
    return guarded(options, target, [&](MergeReport& report) {
        // Only read: dropped without a commit.
        auto writer = inCatalog([&] { return std::make_unique<MergeWriter>(target); });
        Duplicates visitor(*writer, duplicates);
        const MergeHooks none;
        Ticker ticker(none, 1);
        return readSource(options, visitor, ticker, report.error);
    });
}

MergeReport mergeCatalog(Database& target, const MergeOptions& options, const MergeHooks& hooks) {
    return guarded(options, target, [&](MergeReport& report) {
        Ticker ticker(hooks, 2);
        // The whole source is checked before anything is written.
        {
            Rules rules;
            const MergeStatus status = readSource(options, rules, ticker, report.error);
            if (status != MergeStatus::Done)
                return status;
            report.error = rules.fault();
            if (!report.error.isEmpty())
                return MergeStatus::Failed;
        }
        ticker.nextPass();
        auto writer = inCatalog([&] { return std::make_unique<MergeWriter>(target); });
        Merge visitor(*writer, options, report);
        const MergeStatus status = readSource(options, visitor, ticker, report.error);
        if (status != MergeStatus::Done)
            return status;
        report.error = visitor.fault();
        if (!report.error.isEmpty())
            return MergeStatus::Failed;
        inCatalog([&] { writer->commit(); });
        if (hooks.progress)
            hooks.progress(1, 1);
        return MergeStatus::Done;
    });
}

} // namespace vorlane
