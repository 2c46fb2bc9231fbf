// The disc scan as a job: scanTree on a connection of its own to the catalog file.
#pragma once

#include "core/import/scanner.h"
#include "core/job.h"

namespace vorlane {

class ScanJob final : public Job {
    Q_OBJECT

public:
    // Scans `params` into the catalog file `catalog`.
    ScanJob(const QString& catalog, const ScanParams& params, QObject* parent = nullptr);
    ~ScanJob() override;

    // After finished(): false when the catalog could not be opened for writing a second
    // time; nothing was scanned then.
    bool opened() const { return m_opened; }
    // After finished(): what the scan did.
    const ScanResult& result() const { return m_result; }

signals:
    // The full path of the entry being read, now and then.
    void progress(const QString& path);

protected:
    void work() override;

private:
    const QString m_catalog;
    const ScanParams m_params;
    bool m_opened = false;
    ScanResult m_result;
};

} // namespace vorlane
