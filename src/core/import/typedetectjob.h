// File-type detection as a job.
#pragma once

#include "core/job.h"

#include <QStringList>

namespace vorlane {

struct TypeDetectParams {
    QString root;      // the folder walked
    QStringList known; // extensions already listed, not reported again
};

class TypeDetectJob final : public Job {
    Q_OBJECT

public:
    explicit TypeDetectJob(const TypeDetectParams& params, QObject* parent = nullptr);
    ~TypeDetectJob() override;

    // After finished(): the new extensions, in the order met (also after a cancel).
    const QStringList& found() const { return m_found; }

protected:
    void work() override;

private:
    const TypeDetectParams m_params;
    QStringList m_found;
};

} // namespace vorlane
