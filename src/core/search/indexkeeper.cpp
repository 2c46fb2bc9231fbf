#include "core/search/indexkeeper.h"

#include "core/search/indexfile.h"
#include "core/store/database.h"

namespace vorlane {

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
    if (m_index && m_index->isCurrent(m_db))
        return m_index;
    m_index.reset();
    refresh();
    return {};
}

void IndexKeeper::refresh() {
    if (!catalogOpen())
        return;
    if (m_db.path() != m_path)
        reset();
    if (m_index && m_index->isCurrent(m_db))
        return;
    m_index.reset();
    const searchstore::Stamp now = searchstore::stamp(m_db);
    if (m_failed && *m_failed == now)
        return;
    if (m_job) {
        if (m_job->stamp() != now) {
            m_job->cancel();
            m_pending = true;
        }
        return;
    }
    start(now);
}

void IndexKeeper::reset() {
    if (m_job) {
        // It ends at its next row; its result is dropped when it reports.
        m_job->cancel();
        m_job = nullptr;
    }
    m_index.reset();
    m_pending = false;
    m_failed.reset();
    m_path = m_db.isOpen() ? m_db.path() : QString();
}

void IndexKeeper::start(const searchstore::Stamp& stamp) {
    m_path = m_db.path();
    m_pending = false;
    auto* job = new IndexBuildJob(m_path, stamp, this);
    m_job = job;
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
    if (catalogOpen() && m_db.path() == job->catalog() && index->isCurrent(m_db)) {
        m_index = std::move(index);
        emit ready();
    }
}

} // namespace vorlane
