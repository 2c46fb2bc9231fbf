// dups: files kept more than once across the catalog's discs, largest waste first.
#include "cli/clicommon.h"
#include "core/store/duplicatestore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

namespace vorlane::cli {

int cmdDups(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    const QString format = p.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("tsv") &&
        format != QLatin1String("json"))
        usage(QStringLiteral("unknown format: ") + format);
    // Empty files are all alike and waste nothing.
    qint64 minSize = 1;
    if (p.isSet(QStringLiteral("min-size")))
        minSize = sizeArgument(p.value(QStringLiteral("min-size")), QStringLiteral("min-size"));

    Database db;
    openCatalog(db, path, p, Access::Read);
    const std::vector<duplicatestore::Group> groups = duplicatestore::findDuplicates(db, minSize);

    QJsonArray json;
    if (format == QLatin1String("tsv"))
        ctx.out << "group\tsize\tcount\twasted\thash\tdisc_id\tdisc\tfolder_id\tfile_id\tpath\n";
    qint64 files = 0, wasted = 0;
    int number = 0;
    for (const duplicatestore::Group& g : groups) {
        ++number;
        const qint64 count = qint64(g.members.size());
        files += count;
        if (__builtin_add_overflow(wasted, g.wasted(), &wasted))
            wasted = std::numeric_limits<qint64>::max();
        const QString hash = QString::fromLatin1(g.hash.toHex());
        if (format == QLatin1String("text")) {
            ctx.out << "group " << number << ": " << count << " files of " << g.size << " bytes, "
                    << g.wasted() << " bytes wasted, "
                    << (g.hash.isEmpty() ? QStringLiteral("same size and name")
                                         : QStringLiteral("same content ") + hash)
                    << '\n';
        }
        for (const duplicatestore::Member& m : g.members) {
            if (format == QLatin1String("json")) {
                json.append(QJsonObject{
                    {QStringLiteral("group"), number},
                    {QStringLiteral("size"), g.size},
                    {QStringLiteral("count"), count},
                    {QStringLiteral("wasted"), g.wasted()},
                    {QStringLiteral("hash"), g.hash.isEmpty() ? QJsonValue() : QJsonValue(hash)},
                    {QStringLiteral("disc_id"), m.discId},
                    {QStringLiteral("disc"), m.discName},
                    {QStringLiteral("folder_id"), m.folderId},
                    {QStringLiteral("file_id"), m.id},
                    {QStringLiteral("path"), m.path}});
            } else if (format == QLatin1String("tsv")) {
                ctx.out << number << '\t' << g.size << '\t' << count << '\t' << g.wasted() << '\t'
                        << hash << '\t' << m.discId << '\t' << oneLine(m.discName) << '\t'
                        << m.folderId << '\t' << m.id << '\t' << oneLine(m.path) << '\n';
            } else {
                ctx.out << "    [" << oneLine(m.discName) << "] " << oneLine(m.path) << "  (disc "
                        << m.discId << ", file " << m.id << ")\n";
            }
        }
    }
    if (format == QLatin1String("json"))
        ctx.out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    else if (format == QLatin1String("text"))
        ctx.out << groups.size() << (groups.size() == 1 ? " group, " : " groups, ") << files
                << " files, " << wasted << " bytes wasted\n";
    return Ok;
}

} // namespace vorlane::cli
