#include "core/store/backupjob.h"

#include "core/store/database.h"
#include "core/store/filecopy.h"

namespace vorlane {

BackupJob::BackupJob(const QString& catalog, const QString& target, QObject* parent)
    : Job(parent), m_catalog(catalog), m_target(target) {}

BackupJob::~BackupJob() {
    stop();
}

void BackupJob::work() {
    // The copy itself is one step of the engine and cannot be broken off; a cancel only
    // spares a copy that has not begun.
    if (isCancelled()) {
        m_error = QStringLiteral("cancelled");
        return;
    }
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        m_ok = backupCatalog(db, m_target, &m_error);
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const std::exception& e) {
        m_error = QString::fromLocal8Bit(e.what());
    }
}

} // namespace vorlane
