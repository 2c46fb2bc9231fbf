#include "core/search/searchjob.h"

#include "core/store/database.h"
#include "core/throttle.h"

namespace vorlane {

SearchJob::SearchJob(const QString& catalog, const SearchOptions& options, QObject* parent)
    : Job(parent), m_catalog(catalog), m_options(options) {}

SearchJob::~SearchJob() {
    stop();
}

void SearchJob::flush() {
    if (!m_pending.isEmpty())
        emit hitsFound(std::exchange(m_pending, {}));
}

void SearchJob::work() {
    // One signal per batch rather than per hit: a search may find millions.
    Throttle batch(30);
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        SearchCallbacks callbacks;
        callbacks.stop = &cancelFlag();
        callbacks.onHit = [&](const SearchHit& h) {
            m_pending.append(h);
            if (batch.due())
                flush();
        };
        callbacks.onProgress = [&](qint64 examined, qint64 total) {
            if (batch.due())
                flush();
            JobProgress p;
            p.itemsDone = examined;
            p.itemsTotal = total;
            emit progressed(p);
        };
        m_summary = runSearch(db, m_options, callbacks);
    } catch (const DbError& e) {
        m_error = e.text();
    }
    flush();
}

} // namespace vorlane
