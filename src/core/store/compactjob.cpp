#include "core/store/compactjob.h"

namespace vorlane {

CompactJob::CompactJob(const QString& catalog, QObject* parent) : Job(parent), m_catalog(catalog) {}

CompactJob::~CompactJob() {
    stop();
}

void CompactJob::work() {
    // Not cancelled: the rebuild is one statement that either ends or leaves the file as it was.
    m_result = compactCatalog(
        m_catalog,
        [this](CompactStage stage) {
            JobProgress p;
            p.path = m_catalog;
            p.itemsDone = int(stage);
            p.itemsTotal = 2;
            emit progressed(p);
        },
        &m_error);
}

} // namespace vorlane
