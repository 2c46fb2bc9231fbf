#include "core/search/indexkeeper.h"

#include "core/search/indexfile.h"
#include "core/store/database.h"

#include <algorithm>
#include <utility>

namespace vorlane {

namespace {

// Rows an overlay may hold before a build replaces it: an eighth of the catalog, within
// these bounds.
constexpr size_t MinOverlay = 4096;
constexpr size_t MaxOverlay = 32768;

} // namespace

IndexBuildJob::IndexBuildJob(const QString& catalog, const searchstore::Stamp& stamp,
                             QObject* parent)
    : Job(parent), m_catalog(catalog), m_stamp(stamp) {}

IndexBuildJob::~IndexBuildJob() {
    stop();
}

void IndexBuildJob::work() {
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        // The index kept on disk while it is current; else a build, kept for the next open.
        if (const auto tag = searchstore::changeTag(db))
            m_index = IndexFile::load(m_catalog, *tag, m_stamp);
        if (m_index && m_index->intact())
            return;
        m_index = SearchIndex::build(db, m_stamp, &cancelFlag());
        if (m_index)
            IndexFile::save(*m_index, m_catalog);
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const std::bad_alloc&) {
        m_error = QStringLiteral("内存不足");
    }
}

IndexKeeper::IndexKeeper(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

IndexKeeper::~IndexKeeper() {
    // The connection may be gone already; a build still running ends at its next row and
    // is waited for as the job goes with this object.
    if (m_job)
        m_job->cancel();
}

bool IndexKeeper::catalogOpen() const {
    // A catalog never saved has no file a second connection could read.
    return m_db.isOpen() && !m_db.path().isEmpty();
}

std::shared_ptr<const SearchIndex> IndexKeeper::current() {
    if (!catalogOpen()) {
        reset();
        return {};
    }
    if (m_db.path() != m_path)
        reset();
    // Inside a write the catalog is half written; the commit's notice comes after.
    if (m_db.inTransaction())
        return {};
    if (m_index && (m_index->isCurrent(m_db) || patch(nullptr)))
        return m_index;
    rebuild();
    return {};
}

void IndexKeeper::refresh() {
    if (!catalogOpen() || m_db.inTransaction())
        return;
    if (m_db.path() != m_path)
        reset();
    if (m_index && m_index->isCurrent(m_db))
        return;
    if (m_index && patch(nullptr)) {
        emit ready();
        return;
    }
    rebuild();
}

void IndexKeeper::jobWrote(const searchstore::WriteReport& report) {
    if (catalogOpen() && !m_db.inTransaction() && m_db.path() == m_path && m_index &&
        !m_index->isCurrent(m_db) && patch(&report)) {
        emit ready();
        return;
    }
    refresh();
}

bool IndexKeeper::patch(const searchstore::WriteReport* report) {
    if (!m_index || m_indexLog.token == 0)
        return false;
    try {
        const searchstore::LogPosition log = searchstore::changeLog(m_db);
        if (log.token != m_indexLog.token)
            return false; // the connection was opened again: its log is a new one
        // What the index (and a build under way) has read already is no longer needed.
        qint64 keep = m_indexLog.seq;
        if (m_job && m_jobLog.token == log.token)
            keep = std::min(keep, m_jobLog.seq);
        searchstore::forgetChanges(m_db, keep);
        std::shared_ptr<const SearchIndex> next;
        qint64 seq = 0;
        {
            ReadSnapshot snapshot(m_db);
            std::vector<qint64> discs;
            bool tree = false;
            if (searchstore::dataVersion(m_db) != m_index->stamp().dataVersion) {
                // Another connection committed: only a job's report, telling of every
                // change since the index's state and of nothing else, can account for it.
                if (!report || !report->alone || !report->before ||
                    report->before != m_index->changeTag() ||
                    report->after != searchstore::changeTag(m_db))
                    return false;
                discs = report->discs;
                tree = true;
            }
            std::vector<qint64> ids = searchstore::changedSince(m_db, m_indexLog.seq, &seq);
            if (!ids.empty() && ids.front() == -1) {
                tree = true;
                ids.erase(ids.begin());
            }
            next = SearchIndex::patched(m_index, m_db, ids, discs, tree);
        }
        if (!next)
            return false;
        m_index = std::move(next);
        m_indexLog = {log.token, seq};
    } catch (const DbError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Every search, and every patch (it reads the overlay's rows again), pays for a large
    // overlay: a build in the background replaces it, and the patched index serves until then.
    const auto limit =
        std::clamp<size_t>(size_t(m_index->entryCount() / 8), MinOverlay, MaxOverlay);
    if (m_index->patchedRows() > limit && !m_job) {
        try {
            start();
        } catch (const DbError&) {
        }
    }
    return true;
}

void IndexKeeper::rebuild() {
    m_index.reset();
    searchstore::Stamp now;
    try {
        now = searchstore::stamp(m_db);
    } catch (const DbError&) {
        return;
    }
    if (m_failed && *m_failed == now)
        return;
    if (m_job) {
        // A build for an older state of this connection alone is brought forward by a patch.
        if (m_job->stamp().dataVersion != now.dataVersion || m_jobLog.token == 0) {
            m_job->cancel();
            m_pending = true;
        }
        return;
    }
    try {
        start();
    } catch (const DbError&) {
    }
}

void IndexKeeper::reset() {
    if (m_job) {
        // It ends at its next row; its result is dropped when it reports.
        m_job->cancel();
        m_job = nullptr;
    }
    m_index.reset();
    m_indexLog = {};
    m_pending = false;
    m_failed.reset();
    m_path = m_db.isOpen() ? m_db.path() : QString();
}

void IndexKeeper::start() {
    m_path = m_db.path();
    m_pending = false;
    // The log first: setting it up is a write of this connection, which the stamp then holds.
    try {
        m_jobLog = searchstore::changeLog(m_db);
    } catch (const DbError&) {
        m_jobLog = {}; // a build then serves only until the next write
    }
    auto* job = new IndexBuildJob(m_path, searchstore::stamp(m_db), this);
    m_job = job;
    ++m_builds;
    connect(
        job, &Job::finished, this, [this, job] { buildFinished(job); }, Qt::QueuedConnection);
    job->start();
}

void IndexKeeper::buildFinished(IndexBuildJob* job) {
    job->deleteLater();
    if (job != m_job)
        return; // dropped by reset()
    m_job = nullptr;
    if (m_pending) {
        refresh();
        return;
    }
    if (job->isCancelled())
        return;
    std::shared_ptr<const SearchIndex> index = job->index();
    if (!index) {
        m_failed = job->stamp();
        return;
    }
    if (!catalogOpen() || m_db.path() != job->catalog())
        return;
    std::shared_ptr<const SearchIndex> previous = std::exchange(m_index, std::move(index));
    const searchstore::LogPosition previousLog = std::exchange(m_indexLog, m_jobLog);
    // What this window wrote while the build ran is laid over it.
    if (m_index->isCurrent(m_db) || (!m_db.inTransaction() && patch(nullptr))) {
        emit ready();
        return;
    }
    m_index = std::move(previous);
    m_indexLog = previousLog;
    refresh();
}

} // namespace vorlane
