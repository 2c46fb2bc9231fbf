#include "core/import/scanjob.h"

#include "core/store/database.h"

namespace vorlane {

ScanJob::ScanJob(const QString& catalog, const ScanParams& params, QObject* parent)
    : Job(parent), m_catalog(catalog), m_params(params) {}

ScanJob::~ScanJob() {
    stop();
}

void ScanJob::work() {
    Database db;
    try {
        if (m_catalog.isEmpty())
            return;
        db.open(m_catalog);
        if (db.isReadOnly())
            return;
    } catch (const DbError&) {
        return;
    }
    m_opened = true;
    ScanHooks hooks;
    hooks.cancel = &cancelFlag();
    hooks.progress = [this](const QString& path) { emit progress(path); };
    m_result = scanTree(db, m_params, hooks);
}

} // namespace vorlane
