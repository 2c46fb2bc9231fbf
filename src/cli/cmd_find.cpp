// find: the desktop program's search, same phases, same hits, same order; or a query of the
// search bar. Either may be sorted and cut short.
#include "cli/clicommon.h"
#include "cli/rowout.h"
#include "core/search/indexfile.h"
#include "core/search/searchindex.h"
#include "core/store/contentstore.h"
#include "core/store/searchstore.h"

#include <limits>

namespace vorlane::cli {

namespace {

HitOrder orderArgument(const QString& text) {
    static const std::pair<const char*, HitOrder> orders[] = {{"name", HitOrder::Name},
                                                              {"size", HitOrder::Size},
                                                              {"time", HitOrder::Time},
                                                              {"path", HitOrder::Path},
                                                              {"disc", HitOrder::Disc}};
    for (const auto& [name, order] : orders) {
        if (text == QLatin1String(name))
            return order;
    }
    usage(QStringLiteral("--sort takes name, size, time, path or disc, not ") + text);
}

// The options a query says in its own words.
const char* const KeywordOnly[] = {"glob",     "regex",      "case-sensitive", "min-size",
                                   "max-size", "after",      "before",         "ext",
                                   "no-notes", "no-folders", "no-files"};

// The index for a query: the kept one, else one built for this run.
std::shared_ptr<const SearchIndex> indexFor(Database& db, const QString& path, bool rebuild) {
    std::shared_ptr<const SearchIndex> index = rebuild ? nullptr : keptIndex(db);
    if (!index || !index->isCurrent(db))
        index = SearchIndex::build(db, searchstore::stamp(db));
    if (!index)
        fail(path, QStringLiteral("the catalog is too large for --query"));
    return index;
}

} // namespace

int cmdFind(Context& ctx, QCommandLineParser& p) {
    const QStringList args = p.positionalArguments();
    const QString path = args.at(0);
    const bool byQuery = p.isSet(QStringLiteral("query"));
    if (byQuery && args.size() > 1)
        usage(QStringLiteral("give a KEYWORD or --query, not both"));
    if (!byQuery && args.size() < 2)
        usage(QStringLiteral("missing arguments; usage: vorlane-cli find CATALOG (KEYWORD | "
                             "--query TEXT)"));
    const QString format = p.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("tsv") &&
        format != QLatin1String("json"))
        usage(QStringLiteral("unknown format: ") + format);
    const HitOrder order = p.isSet(QStringLiteral("sort"))
                               ? orderArgument(p.value(QStringLiteral("sort")))
                               : HitOrder::Found;
    const bool reverse = p.isSet(QStringLiteral("reverse"));
    qint64 limit = std::numeric_limits<qint64>::max();
    if (p.isSet(QStringLiteral("limit"))) {
        bool ok = false;
        limit = p.value(QStringLiteral("limit")).toLongLong(&ok);
        if (!ok || limit < 1)
            usage(QStringLiteral("--limit takes a whole number of at least 1, not ") +
                  p.value(QStringLiteral("limit")));
    }

    SearchOptions options;
    SearchQuery query;
    if (byQuery) {
        for (const char* option : KeywordOnly) {
            if (p.isSet(QLatin1String(option)))
                usage(QStringLiteral("--%1 does not go with --query; say it in the query "
                                     "(ext:, size:, date:, type:, regex:, case:)")
                          .arg(QLatin1String(option)));
        }
        auto parsed = SearchQuery::parse(p.value(QStringLiteral("query")));
        if (const QueryError* e = std::get_if<QueryError>(&parsed))
            usage(QStringLiteral("query error at offset %1: %2").arg(e->offset).arg(e->message));
        query = std::get<SearchQuery>(std::move(parsed));
        if (query.isEmpty())
            usage(QStringLiteral("the query is empty"));
    } else {
        options.keyword = trimKeyword(args.at(1));
        if (options.keyword.isEmpty())
            usage(QStringLiteral("the keyword is empty"));
        options.notes = !p.isSet(QStringLiteral("no-notes"));
        options.folders = !p.isSet(QStringLiteral("no-folders"));
        options.files = !p.isSet(QStringLiteral("no-files"));
        options.caseSensitive = p.isSet(QStringLiteral("case-sensitive"));
        const bool glob = p.isSet(QStringLiteral("glob"));
        const bool regex = p.isSet(QStringLiteral("regex"));
        if (glob && regex)
            usage(QStringLiteral("--glob and --regex exclude each other"));
        options.mode = glob    ? KeywordMode::Glob
                       : regex ? KeywordMode::Regex
                               : KeywordMode::Substring;
        if (const auto error = keywordError(options.keyword, options.mode))
            usage(QStringLiteral("invalid regular expression at offset %1: %2")
                      .arg(error->offset)
                      .arg(error->message));
        if (p.isSet(QStringLiteral("min-size")))
            options.minSize =
                sizeArgument(p.value(QStringLiteral("min-size")), QStringLiteral("min-size"));
        if (p.isSet(QStringLiteral("max-size")))
            options.maxSize =
                sizeArgument(p.value(QStringLiteral("max-size")), QStringLiteral("max-size"));
        if (p.isSet(QStringLiteral("after")))
            options.after = timeArgument(p.value(QStringLiteral("after")), QStringLiteral("after"));
        if (p.isSet(QStringLiteral("before")))
            options.before =
                timeArgument(p.value(QStringLiteral("before")), QStringLiteral("before"));
        if (p.isSet(QStringLiteral("ext")))
            options.extensions =
                extensionList(p.value(QStringLiteral("ext")), QStringLiteral("ext"));
    }

    Database db;
    openCatalog(db, path, p, Access::Read);
    // The bytes of names that are not UTF-8, to tell them from text that looks the same.
    contentstore::RawNames rawNames(db);
    const bool json = format == QLatin1String("json");
    const bool tsv = format == QLatin1String("tsv");
    RowOut out(ctx);
    if (tsv)
        out.add("number\tdisc\tname\tdisc_id\tfolder_id\tfile_id\n");
    else if (json)
        out.add("[\n");
    qint64 shown = 0;
    // Numbered as shown, so that a sorted listing counts from its top.
    auto print = [&](const SearchHit& h) {
        if (shown >= limit)
            return;
        const qint64 number = ++shown;
        const char* kind = h.kind() == SearchHit::Kind::Disc     ? "disc"
                           : h.kind() == SearchHit::Kind::Folder ? "folder"
                                                                 : "file";
        // The bytes change how a name prints only where it holds a backslash; JSON gives
        // them beside every such name.
        const QByteArray raw =
            h.kind() == SearchHit::Kind::Disc || !(json || h.name.contains(QLatin1Char('\\')))
                ? QByteArray()
                : rawNames.of(h.fileId ? h.fileId : h.folderId);
        const bool isDisc = h.kind() == SearchHit::Kind::Disc;
        if (json) {
            // Keys in the order QJsonDocument writes them.
            out.add(number == 1 ? "    {\n        \"disc\": " : ",\n    {\n        \"disc\": ");
            out.jsonString(h.discName);
            out.add(",\n        \"disc_id\": ");
            out.number(h.discId);
            out.add(",\n        \"file_id\": ");
            out.number(h.fileId);
            out.add(",\n        \"folder_id\": ");
            out.number(h.folderId);
            out.add(",\n        \"kind\": \"");
            out.add(kind);
            out.add("\",\n        \"mtime\": ");
            if (h.time)
                out.number(*h.time);
            else
                out.add("null");
            out.add(",\n        \"name\": ");
            out.jsonString(h.name);
            if (!raw.isEmpty()) {
                out.add(",\n        \"name_base64\": \"");
                const QByteArray base64 = raw.toBase64();
                out.add(std::string_view(base64.constData(), size_t(base64.size())));
                out.add('"');
            }
            out.add(",\n        \"number\": ");
            out.number(number);
            out.add(",\n        \"size\": ");
            if (isDisc)
                out.add("null");
            else
                out.number(h.size);
            out.add("\n    }");
        } else if (tsv) {
            out.number(number);
            out.add('\t');
            out.text(h.discName);
            out.add('\t');
            out.name(h.name, raw);
            out.add('\t');
            out.number(h.discId);
            out.add('\t');
            out.number(h.folderId);
            out.add('\t');
            out.number(h.fileId);
            out.add('\n');
        } else {
            out.rightAligned(number, 5);
            out.add("  ");
            out.add(kind);
            out.add("  [");
            out.text(h.discName);
            out.add(']');
            if (!h.name.isEmpty()) {
                out.add(' ');
                out.name(h.name, raw);
            }
            out.add("  (disc ");
            out.number(h.discId);
            if (h.folderId) {
                out.add(", folder ");
                out.number(h.folderId);
            }
            if (h.fileId) {
                out.add(", file ");
                out.number(h.fileId);
            }
            out.add(")\n");
        }
        out.endRow();
    };

    const bool ordered = order != HitOrder::Found || reverse;
    if (byQuery) {
        std::shared_ptr<const SearchIndex> index = indexFor(db, path, false);
        std::vector<IndexHit> hits;
        index->query(query, hits);
        if (!index->intact()) {
            // A kept file that failed its checksum: this run builds its own.
            index = indexFor(db, path, true);
            hits.clear();
            index->query(query, hits);
        }
        index->sort(hits, order, reverse);
        for (size_t i = 0; i < hits.size() && qint64(i) < limit; ++i)
            print(index->hit(hits[i]));
    } else {
        // The index kept on disk answers while it describes the catalog as it is now.
        const std::shared_ptr<const SearchIndex> index = keptIndex(db);
        std::vector<IndexHit> found;
        if (ordered && index && index->isCurrent(db)) {
            index->search(options, found);
            if (!index->intact())
                found.clear();
        }
        if (ordered && index && index->intact() && index->isCurrent(db)) {
            index->sort(found, order, reverse);
            for (size_t i = 0; i < found.size() && qint64(i) < limit; ++i)
                print(index->hit(found[i]));
        } else if (ordered) {
            std::vector<SearchHit> hits;
            SearchCallbacks collect;
            collect.onHit = [&](const SearchHit& h) { hits.push_back(h); };
            runSearch(db, options, collect);
            sortHits(hits, order, reverse, [&](const SearchHit& h) {
                const qint64 entry = h.fileId ? h.fileId : h.folderId;
                return searchstore::location(db, h.discId, entry)
                    .split(QStringLiteral(" ▸ "), Qt::SkipEmptyParts);
            });
            for (const SearchHit& h : hits)
                print(h);
        } else {
            std::atomic<bool> enough{false};
            SearchCallbacks callbacks;
            callbacks.stop = &enough;
            callbacks.onHit = [&](const SearchHit& h) {
                print(h);
                if (shown >= limit)
                    enough = true;
            };
            runSearch(db, index.get(), options, callbacks);
        }
    }
    if (json) {
        out.add(shown == 0 ? "]\n" : "\n]\n");
    } else if (!tsv) {
        out.number(shown);
        out.add(shown == 1 ? " hit\n" : " hits\n");
    }
    out.finish();
    return Ok;
}

} // namespace vorlane::cli
