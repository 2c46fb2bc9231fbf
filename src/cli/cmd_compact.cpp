// compact: backup and compaction, as the desktop program does them.
#include "cli/clicommon.h"
#include "core/store/compaction.h"

#include <QFileInfo>

namespace vorlane::cli {

int cmdCompact(Context& ctx, QCommandLineParser& p) {
    const QString path = p.positionalArguments().at(0);
    // Checks the file and its passwords; the same connection then compacts it in place.
    Database db;
    openCatalog(db, path, p, Access::Write);
    const qint64 before = QFileInfo(path).size();
    QString error;
    switch (compactCatalog(db, {}, &error)) {
    case CompactResult::Done:
        break;
    case CompactResult::BackupFailed:
        fail(path, QStringLiteral("no backup could be written (") + backupPath(path) +
                       QStringLiteral("); nothing was changed") +
                       (error.isEmpty() ? QString() : QStringLiteral(": ") + error));
    case CompactResult::CompactFailed:
        fail(path, QStringLiteral("compaction failed: ") + error);
    }
    ctx.out << "compacted " << path << ": " << before << " -> " << QFileInfo(path).size()
            << " bytes (backup " << backupPath(path) << ")\n";
    return Ok;
}

} // namespace vorlane::cli
