// The disc scan as a job: scanDisc on a connection of its own to the catalog file.
#pragma once

#include "core/import/scanner.h"
#include "core/job.h"
#include "core/store/catalogstore.h"
#include "core/store/searchstore.h"

namespace vorlane {

// How a scan ended, as the disc records it: failed when a row could not be stored or the
// root itself could not be read (nothing of the disc is there); cancelled when it was
// stopped; complete otherwise. Unreadable folders below the root do not fail the disc:
// the scan went through, and the import reports them.
ScanState scanStateOf(const ScanResult& result, const QString& root);

// The options of an import that a rescan repeats (everything but the root and the disc),
// as compact JSON for qCD.ScanOptions. readScanOptions() sets them on `params`, leaving
// whatever the text does not name; unknown keys and damaged text are ignored.
QString scanOptionsText(const ScanParams& params);
void readScanOptions(const QString& text, ScanParams& params);

// The import's scan: scanTree, then the disc's facts (when it ended, how, the file
// system at the root and its size) written to its row. A fact that cannot be written
// leaves the row marked as a failed import, which the result then also reads as.
ScanResult scanDisc(Database& db, const ScanParams& params, const ScanHooks& hooks = {});

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
    // After finished(): what was written, for the search index.
    const searchstore::WriteReport& written() const { return m_written; }

protected:
    void work() override;

private:
    const QString m_catalog;
    const ScanParams m_params;
    bool m_opened = false;
    ScanResult m_result;
    searchstore::WriteReport m_written;
    ScanCounts m_counts;
};

} // namespace vorlane
