// find: the desktop program's search, same phases, same hits, same order.
#include "cli/clicommon.h"
#include "cli/rowout.h"
#include "core/search/indexfile.h"
#include "core/search/searchengine.h"
#include "core/store/contentstore.h"

namespace vorlane::cli {

int cmdFind(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    const QString format = p.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("tsv") &&
        format != QLatin1String("json"))
        usage(QStringLiteral("unknown format: ") + format);
    SearchOptions options;
    options.keyword = trimKeyword(p.positionalArguments().at(1));
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
    options.mode = glob ? KeywordMode::Glob : regex ? KeywordMode::Regex : KeywordMode::Substring;
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
        options.before = timeArgument(p.value(QStringLiteral("before")), QStringLiteral("before"));
    if (p.isSet(QStringLiteral("ext")))
        options.extensions = extensionList(p.value(QStringLiteral("ext")), QStringLiteral("ext"));

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
    bool first = true;
    SearchCallbacks callbacks;
    callbacks.onHit = [&](const SearchHit& h) {
        const char* kind = h.kind() == SearchHit::Kind::Disc     ? "disc"
                           : h.kind() == SearchHit::Kind::Folder ? "folder"
                                                                 : "file";
        // The bytes change how a name prints only where it holds a backslash; JSON gives
        // them beside every such name.
        const QByteArray raw =
            h.kind() == SearchHit::Kind::Disc || !(json || h.name.contains(QLatin1Char('\\')))
                ? QByteArray()
                : rawNames.of(h.fileId ? h.fileId : h.folderId);
        if (json) {
            // Keys in the order QJsonDocument writes them.
            out.add(first ? "    {\n        \"disc\": " : ",\n    {\n        \"disc\": ");
            first = false;
            out.jsonString(h.discName);
            out.add(",\n        \"disc_id\": ");
            out.number(h.discId);
            out.add(",\n        \"file_id\": ");
            out.number(h.fileId);
            out.add(",\n        \"folder_id\": ");
            out.number(h.folderId);
            out.add(",\n        \"kind\": \"");
            out.add(kind);
            out.add("\",\n        \"name\": ");
            out.jsonString(h.name);
            if (!raw.isEmpty()) {
                out.add(",\n        \"name_base64\": \"");
                const QByteArray base64 = raw.toBase64();
                out.add(std::string_view(base64.constData(), size_t(base64.size())));
                out.add('"');
            }
            out.add(",\n        \"number\": ");
            out.number(h.number);
            out.add("\n    }");
        } else if (tsv) {
            out.number(h.number);
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
            out.rightAligned(h.number, 5);
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
    // The index kept on disk answers while it describes the catalog as it is now.
    const std::shared_ptr<const SearchIndex> index = keptIndex(db);
    const SearchSummary summary = runSearch(db, index.get(), options, callbacks);
    if (json) {
        out.add(first ? "]\n" : "\n]\n");
    } else if (!tsv) {
        out.number(summary.hits);
        out.add(summary.hits == 1 ? " hit\n" : " hits\n");
    }
    out.finish();
    return Ok;
}

} // namespace vorlane::cli
