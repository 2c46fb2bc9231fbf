#include "store/compaction.h"

#include "store/database.h"
#include "store/filecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vorlane {

QString backupPath(const QString& catalog) {
    return catalog + QStringLiteral(".bak");
}

CompactResult compactCatalog(const QString& catalog,
                             const std::function<void(CompactStage)>& onStage, QString* error,
                             const QString& tempDir) {
    auto stage = [&](CompactStage s) {
        if (onStage)
            onStage(s);
    };
    auto failed = [&](CompactResult r, const QString& why) {
        if (error)
            *error = why;
        return r;
    };

    stage(CompactStage::BackingUp);
    QString why;
    if (!copyFileReplacing(catalog, backupPath(catalog), &why))
        return failed(CompactResult::BackupFailed, why);

    const QString dir = tempDir.isEmpty() ? QDir::tempPath() : tempDir;
    QString temp = QDir(dir).filePath(QFileInfo(catalog).fileName());
    // A catalog kept in the temporary folder itself must not be taken for the stale copy.
    if (QFileInfo(dir).canonicalFilePath() == QFileInfo(catalog).canonicalPath())
        temp += QStringLiteral(".compact");
    if (QFileInfo::exists(temp) && !QFile::remove(temp))
        return failed(CompactResult::CompactFailed,
                      QStringLiteral("cannot remove the stale file ") + temp);

    stage(CompactStage::Compacting);
    try {
        Database db;
        db.open(catalog, Database::Mode::ReadOnly);
        db.vacuumInto(temp);
    } catch (const DbError& e) {
        QFile::remove(temp);
        return failed(CompactResult::CompactFailed, e.text());
    }
    const bool copied = copyFileReplacing(temp, catalog, &why);
    const bool removed = QFile::remove(temp);
    if (!copied)
        return failed(CompactResult::CompactFailed, why);
    if (!removed)
        return failed(CompactResult::CompactFailed,
                      QStringLiteral("cannot remove the temporary file ") + temp);
    return CompactResult::Done;
}

} // namespace vorlane
