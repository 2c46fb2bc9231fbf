// thumb: an entry's stored thumbnail written out as a JPEG file.
#include "cli/clicommon.h"
#include "core/interchange/exportfile.h"
#include "core/store/contentstore.h"
#include "core/store/mediastore.h"

#include <QFile>
#include <cstdio>
#include <unistd.h>

namespace vorlane::cli {

void thumbOptions(QCommandLineParser& p) {
    addPasswordOptions(p);
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Write the JPEG to this file; - for standard output."),
                 QStringLiteral("file")});
}

int cmdThumb(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    const qint64 entry = idArgument(p.positionalArguments().at(1), QStringLiteral("ENTRY_ID"));
    const QString target = p.value(QStringLiteral("output"));
    if (target.isEmpty())
        usage(QStringLiteral("give the file to write with -o FILE.jpg (- for standard output)"));
    Database db;
    openCatalog(db, path, p, Access::Read);
    if (!contentstore::entryNote(db, entry))
        fail(path, QStringLiteral("no entry with id ") + QString::number(entry));
    const QByteArray jpeg = mediastore::thumbnailOf(db, entry);
    if (jpeg.isEmpty())
        fail(path, QStringLiteral("entry %1 has no thumbnail (import with --thumbnails to make "
                                  "them)")
                       .arg(entry));
    try {
        if (target == QLatin1String("-")) {
            ctx.out.flush();
            std::fflush(stdout);
            QFile out;
            if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
                out.write(jpeg) != jpeg.size())
                throw ExportWriteError(out.errorString());
        } else {
            writeFileSafely(target, jpeg, path);
        }
    } catch (const ExportWriteError& e) {
        fail(target == QLatin1String("-") ? QStringLiteral("standard output") : target, e.text());
    }
    return Ok;
}

} // namespace vorlane::cli
