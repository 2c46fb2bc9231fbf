// copies: the files held on few discs (one by default), the largest first: what a failing
// disc would take with it.
#include "cli/clicommon.h"
#include "cli/rowout.h"
#include "core/store/copiesstore.h"

#include <limits>

namespace vorlane::cli {

int cmdCopies(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    const QString format = p.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("tsv") &&
        format != QLatin1String("json"))
        usage(QStringLiteral("unknown format: ") + format);
    const qint64 max = idArgument(p.value(QStringLiteral("max")), QStringLiteral("--max"));
    if (max < 1 || max > std::numeric_limits<int>::max())
        usage(QStringLiteral("--max must be 1 or more"));
    qint64 minSize = 0;
    if (p.isSet(QStringLiteral("min-size")))
        minSize = sizeArgument(p.value(QStringLiteral("min-size")), QStringLiteral("min-size"));

    Database db;
    openCatalog(db, path, p, Access::Read);
    const std::vector<copiesstore::Copy> copies = copiesstore::findCopies(db, int(max), minSize);

    const bool json = format == QLatin1String("json");
    const bool tsv = format == QLatin1String("tsv");
    RowOut out(ctx);
    if (tsv)
        out.add("size\tdiscs\tdisc_id\tdisc\tfolder_id\tfile_id\tpath\n");
    else if (json)
        out.add("[\n");
    bool first = true;
    qint64 bytes = 0;
    for (const copiesstore::Copy& c : copies) {
        const duplicatestore::Member& m = c.member;
        if (__builtin_add_overflow(bytes, c.size, &bytes))
            bytes = std::numeric_limits<qint64>::max();
        if (json) {
            // Keys in the order QJsonDocument writes them.
            out.add(first ? "    {\n        \"disc\": " : ",\n    {\n        \"disc\": ");
            first = false;
            out.jsonString(m.discName);
            out.add(",\n        \"disc_id\": ");
            out.number(m.discId);
            out.add(",\n        \"discs\": ");
            out.number(c.discs);
            out.add(",\n        \"file_id\": ");
            out.number(m.id);
            out.add(",\n        \"folder_id\": ");
            out.number(m.folderId);
            out.add(",\n        \"path\": ");
            out.jsonString(m.path);
            out.add(",\n        \"size\": ");
            out.number(c.size);
            out.add("\n    }");
        } else if (tsv) {
            out.number(c.size);
            out.add('\t');
            out.number(c.discs);
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
            out.number(c.size);
            out.add(" bytes on ");
            out.number(c.discs);
            out.add(c.discs == 1 ? " disc: [" : " discs: [");
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
    if (json) {
        out.add(first ? "]\n" : "\n]\n");
    } else if (!tsv) {
        out.number(qint64(copies.size()));
        out.add(copies.size() == 1 ? " file, " : " files, ");
        out.number(bytes);
        out.add(" bytes, held on at most ");
        out.number(max);
        out.add(max == 1 ? " disc\n" : " discs\n");
    }
    out.finish();
    return Ok;
}

} // namespace vorlane::cli
