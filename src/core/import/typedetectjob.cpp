#include "core/import/typedetectjob.h"

#include "core/import/typedetect.h"

namespace vorlane {

TypeDetectJob::TypeDetectJob(const TypeDetectParams& params, QObject* parent)
    : Job(parent), m_params(params) {}

TypeDetectJob::~TypeDetectJob() {
    stop();
}

void TypeDetectJob::work() {
    TypeDetectHooks hooks;
    hooks.cancel = &cancelFlag();
    hooks.progress = [this](const QString& path) {
        JobProgress p;
        p.path = path;
        emit progressed(p);
    };
    m_found = detectTypes(m_params.root, m_params.known, hooks);
}

} // namespace vorlane
