// The duplicate search as a job, on a connection of its own, so that the window stays live
// and can stop it. It reports the files it looks at and, once their number is known (in the
// second pass and while the groups are named), how far it has come.
#pragma once

#include "core/job.h"
#include "core/store/duplicatestore.h"

namespace vorlane {

class DuplicatesJob final : public Job {
    Q_OBJECT

public:
    DuplicatesJob(const QString& catalog, qint64 minSize, QObject* parent = nullptr);
    ~DuplicatesJob() override;

    // After finished(): the groups (none when cancelled or failed) and why the catalog
    // could not be read (empty when it could).
    const std::vector<duplicatestore::Group>& groups() const { return m_groups; }
    QString error() const { return m_error; }

protected:
    void work() override;

private:
    JobProgress jobProgress(const duplicatestore::Progress& step);

    const QString m_catalog;
    const qint64 m_minSize;
    std::vector<duplicatestore::Group> m_groups;
    QString m_error;
    qint64 m_files = 0; // read in the first pass
};

} // namespace vorlane
