// find: the desktop program's search, same phases, same hits, same order.
#include "cli/clicommon.h"
#include "core/search/indexfile.h"
#include "core/search/searchengine.h"
#include "core/store/contentstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    QJsonArray json;
    if (format == QLatin1String("tsv"))
        ctx.out << "number\tdisc\tname\tdisc_id\tfolder_id\tfile_id\n";
    SearchCallbacks callbacks;
    callbacks.onHit = [&](const SearchHit& h) {
        const char* kind = h.kind() == SearchHit::Kind::Disc     ? "disc"
                           : h.kind() == SearchHit::Kind::Folder ? "folder"
                                                                 : "file";
        const QByteArray raw = h.kind() == SearchHit::Kind::Disc
                                   ? QByteArray()
                                   : rawNames.of(h.fileId ? h.fileId : h.folderId);
        if (format == QLatin1String("json")) {
            QJsonObject o{{QStringLiteral("number"), h.number},
                          {QStringLiteral("kind"), QLatin1String(kind)},
                          {QStringLiteral("disc"), h.discName},
                          {QStringLiteral("name"), h.name},
                          {QStringLiteral("disc_id"), h.discId},
                          {QStringLiteral("folder_id"), h.folderId},
                          {QStringLiteral("file_id"), h.fileId}};
            if (!raw.isEmpty())
                o.insert(QStringLiteral("name_base64"), QString::fromLatin1(raw.toBase64()));
            json.append(o);
        } else if (format == QLatin1String("tsv")) {
            ctx.out << h.number << '\t' << escapedText(h.discName) << '\t'
                    << escapedName(h.name, raw) << '\t' << h.discId << '\t' << h.folderId << '\t'
                    << h.fileId << '\n';
        } else {
            ctx.out << QString::number(h.number).rightJustified(5) << "  " << kind << "  ["
                    << escapedText(h.discName) << "]";
            if (!h.name.isEmpty())
                ctx.out << ' ' << escapedName(h.name, raw);
            ctx.out << "  (disc " << h.discId;
            if (h.folderId)
                ctx.out << ", folder " << h.folderId;
            if (h.fileId)
                ctx.out << ", file " << h.fileId;
            ctx.out << ")\n";
        }
    };
    // The index kept on disk answers while it describes the catalog as it is now.
    const std::shared_ptr<const SearchIndex> index = keptIndex(db);
    const SearchSummary summary = runSearch(db, index.get(), options, callbacks);
    if (format == QLatin1String("json"))
        ctx.out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    else if (format == QLatin1String("text"))
        ctx.out << summary.hits << (summary.hits == 1 ? " hit\n" : " hits\n");
    return Ok;
}

} // namespace vorlane::cli
