#include "core/store/compaction.h"

#include "core/store/database.h"
#include "core/store/filecopy.h"

namespace vorlane {

QString backupPath(const QString& catalog) {
    return catalog + QStringLiteral(".bak");
}

namespace {
CompactResult failed(QString* error, CompactResult r, const QString& why) {
    if (error)
        *error = why;
    return r;
}
} // namespace

CompactResult compactCatalog(Database& db, const std::function<void(CompactStage)>& onStage,
                             QString* error) {
    auto stage = [&](CompactStage s) {
        if (onStage)
            onStage(s);
    };
    stage(CompactStage::BackingUp);
    QString why;
    if (!backupCatalog(db, backupPath(db.path()), &why))
        return failed(error, CompactResult::BackupFailed, why);
    stage(CompactStage::Compacting);
    try {
        db.vacuum();
    } catch (const DbError& e) {
        return failed(error, CompactResult::CompactFailed, e.text());
    }
    return CompactResult::Done;
}

CompactResult compactCatalog(const QString& catalog,
                             const std::function<void(CompactStage)>& onStage, QString* error) {
    Database db;
    try {
        db.open(catalog);
    } catch (const DbError& e) {
        return failed(error, CompactResult::CompactFailed, e.text());
    }
    return compactCatalog(db, onStage, error);
}

} // namespace vorlane
