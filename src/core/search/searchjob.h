// The search as a job: runSearch on a read-only connection of its own, the hits handed
// over in batches as they are found.
#pragma once

#include "core/job.h"
#include "core/search/searchengine.h"

#include <QList>

namespace vorlane {

class SearchJob final : public Job {
    Q_OBJECT

public:
    // Searches the catalog file `catalog`. cancel() stops the search; the hits found
    // before stand.
    SearchJob(const QString& catalog, const SearchOptions& options, QObject* parent = nullptr);
    ~SearchJob() override;

    // After finished().
    const SearchSummary& summary() const { return m_summary; }
    // After finished(): why the catalog could not be read; empty when it could.
    QString error() const { return m_error; }

signals:
    // The next hits, in order; all of them have arrived before finished().
    void hitsFound(const QList<vorlane::SearchHit>& hits);

protected:
    void work() override;

private:
    void flush();

    const QString m_catalog;
    const SearchOptions m_options;
    QList<SearchHit> m_pending;
    SearchSummary m_summary;
    QString m_error;
};

} // namespace vorlane
