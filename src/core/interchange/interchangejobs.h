// Export and merge as jobs, each on a connection of its own, for the window.
#pragma once

#include "core/interchange/catalogexport.h"
#include "core/interchange/catalogmerge.h"
#include "core/job.h"
#include "core/store/searchstore.h"

#include <QSet>

namespace vorlane {

class ExportJob final : public Job {
    Q_OBJECT

public:
    // Writes the export of `catalog` to `target` as exportToFile() does: a file appears
    // whole or not at all, a FIFO or a device is written as it is.
    ExportJob(const QString& catalog, const ExportOptions& options, const QString& target,
              QObject* parent = nullptr);
    ~ExportJob() override;

    // After finished().
    ExportResult result() const { return m_result; }
    bool succeeded() const { return m_error.isEmpty() && m_result == ExportResult::Done; }
    QString error() const { return m_error; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const ExportOptions m_options;
    const QString m_target;
    ExportResult m_result = ExportResult::Cancelled;
    QString m_error;
};

class MergeJob final : public Job {
    Q_OBJECT

public:
    // Merges `options.source` into `catalog`; of the duplicate discs, those whose source
    // ids are in `keep` are added as well, the others skipped.
    MergeJob(const QString& catalog, const MergeOptions& options, const QSet<qint64>& keep,
             QObject* parent = nullptr);
    ~MergeJob() override;

    // After finished().
    MergeReport report() const { return m_report; }
    // What was written, for the search index.
    const searchstore::WriteReport& written() const { return m_written; }

protected:
    void work() override;

private:
    const QString m_catalog;
    MergeOptions m_options;
    const QSet<qint64> m_keep;
    MergeReport m_report;
    searchstore::WriteReport m_written;
};

} // namespace vorlane
