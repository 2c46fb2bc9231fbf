#include "core/store/compactjob.h"

namespace vorlane {

CompactJob::CompactJob(const QString& catalog, QObject* parent) : Job(parent), m_catalog(catalog) {}

CompactJob::~CompactJob() {
    stop();
}

void CompactJob::work() {
    // Not cancelled: the rebuild is one statement that either ends or leaves the file as it was.
    m_result = compactCatalog(
        m_catalog, [this](CompactStage stage) { emit stageReached(stage); }, &m_error);
}

} // namespace vorlane
