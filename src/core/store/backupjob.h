// The backup made after a catalog is opened, as background work: the copy of a large file
// takes a noticeable time, and the catalog is usable while it runs. It yields to every
// other job (the search index first), at idle priority.
#pragma once

#include "core/job.h"

#include <QString>

namespace vorlane {

class BackupJob final : public Job {
    Q_OBJECT

public:
    // Copies `catalog` to `target` through a read-only connection of the job's own.
    BackupJob(const QString& catalog, const QString& target, QObject* parent = nullptr);
    ~BackupJob() override;

    QString catalog() const { return m_catalog; }

    // After finished(). A job cancelled before it began reports failure.
    bool succeeded() const { return m_ok; }
    QString error() const { return m_error; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const QString m_target;
    bool m_ok = false;
    QString m_error;
};

} // namespace vorlane
