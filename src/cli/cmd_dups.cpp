// dups: files kept more than once across the catalog's discs, largest waste first.
#include "cli/clicommon.h"
#include "cli/rowout.h"
#include "core/store/duplicatestore.h"

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

    const bool json = format == QLatin1String("json");
    const bool tsv = format == QLatin1String("tsv");
    RowOut out(ctx);
    if (tsv)
        out.add("group\tsize\tcount\twasted\thash\tdisc_id\tdisc\tfolder_id\tfile_id\tpath\n");
    else if (json)
        out.add("[\n");
    bool first = true;
    qint64 files = 0, wasted = 0;
    int number = 0;
    for (const duplicatestore::Group& g : groups) {
        ++number;
        const qint64 count = qint64(g.members.size());
        files += count;
        if (__builtin_add_overflow(wasted, g.wasted(), &wasted))
            wasted = std::numeric_limits<qint64>::max();
        const QByteArray hash = g.hash.toHex();
        const std::string_view hashText(hash.constData(), size_t(hash.size()));
        if (!json && !tsv) {
            out.add("group ");
            out.number(number);
            out.add(": ");
            out.number(count);
            out.add(" files of ");
            out.number(g.size);
            out.add(" bytes, ");
            out.number(g.wasted());
            out.add(" bytes wasted, ");
            if (g.hash.isEmpty()) {
                out.add("same size and name");
            } else {
                out.add("same content ");
                // Ours needs no name; one brought in says which it is.
                if (g.algorithm != QLatin1String("XXH3-128")) {
                    out.line(g.algorithm);
                    out.add(' ');
                }
                out.add(hashText);
            }
            out.add('\n');
        }
        for (const duplicatestore::Member& m : g.members) {
            if (json) {
                // Keys in the order QJsonDocument writes them.
                out.add(first ? "    {\n        \"count\": " : ",\n    {\n        \"count\": ");
                first = false;
                out.number(count);
                out.add(",\n        \"disc\": ");
                out.jsonString(m.discName);
                out.add(",\n        \"disc_id\": ");
                out.number(m.discId);
                out.add(",\n        \"file_id\": ");
                out.number(m.id);
                out.add(",\n        \"folder_id\": ");
                out.number(m.folderId);
                out.add(",\n        \"group\": ");
                out.number(number);
                out.add(",\n        \"hash\": ");
                if (g.hash.isEmpty()) {
                    out.add("null");
                } else {
                    out.add('"');
                    out.add(hashText);
                    out.add('"');
                }
                out.add(",\n        \"hash_algorithm\": ");
                if (g.hash.isEmpty())
                    out.add("null");
                else
                    out.jsonString(g.algorithm);
                out.add(",\n        \"path\": ");
                out.jsonString(m.path);
                out.add(",\n        \"size\": ");
                out.number(g.size);
                out.add(",\n        \"wasted\": ");
                out.number(g.wasted());
                out.add("\n    }");
            } else if (tsv) {
                out.number(number);
                out.add('\t');
                out.number(g.size);
                out.add('\t');
                out.number(count);
                out.add('\t');
                out.number(g.wasted());
                out.add('\t');
                out.add(hashText);
                out.add('\t');
                out.number(m.discId);
                out.add('\t');
                out.line(m.discName);
                out.add('\t');
                out.number(m.folderId);
                out.add('\t');
                out.number(m.id);
                out.add('\t');
                out.line(m.path);
                out.add('\n');
            } else {
                out.add("    [");
                out.line(m.discName);
                out.add("] ");
                out.line(m.path);
                out.add("  (disc ");
                out.number(m.discId);
                out.add(", file ");
                out.number(m.id);
                out.add(")\n");
            }
            out.endRow();
        }
    }
    if (json) {
        out.add(first ? "]\n" : "\n]\n");
    } else if (!tsv) {
        out.number(qint64(groups.size()));
        out.add(groups.size() == 1 ? " group, " : " groups, ");
        out.number(files);
        out.add(" files, ");
        out.number(wasted);
        out.add(" bytes wasted\n");
    }
    out.finish();
    return Ok;
}

} // namespace vorlane::cli
