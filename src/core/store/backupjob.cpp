#include "core/store/backupjob.h"

#include "core/store/database.h"
#include "core/store/filecopy.h"

namespace vorlane {

BackupJob::BackupJob(const QString& catalog, const QString& target, QObject* parent)
    : Job(parent), m_catalog(catalog), m_target(target) {
    setBackground();
}

BackupJob::~BackupJob() {
    stop();
}

void BackupJob::work() {
    // It starts once the work the user waits for (the search index, a search) is done,
    // and pauses between its steps while such work runs again; a cancel ends it there,
    // leaving no copy.
    if (!yieldToForeground()) {
        m_error = QStringLiteral("cancelled");
        return;
    }
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        m_ok = backupCatalog(db, m_target, &m_error, [this] { return yieldToForeground(); });
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const std::exception& e) {
        m_error = QString::fromLocal8Bit(e.what());
    }
}

} // namespace vorlane
