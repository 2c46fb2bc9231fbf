// Compaction as a job, on a connection of its own: the file is rebuilt in place under the
// engine's locks, so the program's other connections simply wait for it.
#pragma once

#include "core/job.h"
#include "core/store/compaction.h"

namespace vorlane {

class CompactJob final : public Job {
    Q_OBJECT

public:
    explicit CompactJob(const QString& catalog, QObject* parent = nullptr);
    ~CompactJob() override;

    // The rebuild is one statement that either ends or leaves the file as it was.
    bool isCancellable() const override { return false; }

    // After finished().
    CompactResult result() const { return m_result; }
    QString error() const { return m_error; }

protected:
    void work() override;

private:
    const QString m_catalog;
    CompactResult m_result = CompactResult::CompactFailed;
    QString m_error;
};

} // namespace vorlane
