#include "core/interchange/interchangejobs.h"

#include "core/interchange/exportfile.h"
#include "core/store/database.h"

namespace vorlane {

ExportJob::ExportJob(const QString& catalog, const ExportOptions& options, const QString& target,
                     QObject* parent)
    : Job(parent), m_catalog(catalog), m_options(options), m_target(target) {}

ExportJob::~ExportJob() {
    stop();
}

void ExportJob::work() {
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        ExportHooks hooks;
        hooks.cancel = &cancelFlag();
        hooks.progress = [this](qint64 done, qint64 total) {
            JobProgress p;
            p.path = m_target;
            p.entries = p.itemsDone = done;
            p.itemsTotal = total;
            emit progressed(p);
        };
        m_result = exportToFile(db, m_options, m_target, hooks);
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const ExportWriteError& e) {
        m_error = e.text();
    } catch (const std::exception& e) {
        m_error = QString::fromLocal8Bit(e.what());
    }
}

MergeJob::MergeJob(const QString& catalog, const MergeOptions& options, const QSet<qint64>& keep,
                   QObject* parent)
    : Job(parent), m_catalog(catalog), m_options(options), m_keep(keep) {
    m_options.keepDuplicate = [this](const DuplicateDisc& d) {
        return m_keep.contains(d.sourceId);
    };
}

MergeJob::~MergeJob() {
    stop();
}

void MergeJob::work() {
    try {
        Database db;
        db.open(m_catalog);
        MergeHooks hooks;
        hooks.cancel = &cancelFlag();
        hooks.progress = [this](qint64 done, qint64 total) {
            JobProgress p;
            p.path = m_options.source;
            p.itemsDone = done;
            p.itemsTotal = total;
            emit progressed(p);
        };
        searchstore::WriteWatch watch(db);
        m_report = mergeCatalog(db, m_options, hooks);
        m_written = watch.finish();
    } catch (const DbError& e) {
        m_report.status = MergeStatus::Failed;
        m_report.error = e.text();
    }
}

} // namespace vorlane
