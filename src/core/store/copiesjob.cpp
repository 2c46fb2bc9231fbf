#include "core/store/copiesjob.h"

#include "core/store/database.h"
#include "core/throttle.h"

namespace vorlane {

CopiesJob::CopiesJob(const QString& catalog, int maxDiscs, qint64 minSize, QObject* parent)
    : Job(parent), m_catalog(catalog), m_maxDiscs(maxDiscs), m_minSize(minSize) {}

CopiesJob::~CopiesJob() {
    stop();
}

void CopiesJob::work() {
    using Stage = duplicatestore::Progress::Stage;
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        Throttle pace(100);
        const auto onProgress = [&](const duplicatestore::Progress& step) {
            if (step.done != step.total && !pace.due())
                return;
            JobProgress p;
            if (step.stage == Stage::Sizes) {
                p.path = QStringLiteral("正在读取文件大小");
                m_files = step.done;
            } else {
                p.path = step.stage == Stage::Candidates ? QStringLiteral("正在比较文件")
                                                         : QStringLiteral("正在整理结果");
                p.itemsDone = step.done;
                p.itemsTotal = step.total;
            }
            p.files = m_files;
            emit progressed(p);
        };
        m_copies = copiesstore::findCopies(db, m_maxDiscs, m_minSize, &cancelFlag(), onProgress);
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const std::bad_alloc&) {
        m_copies.clear();
        m_error = QStringLiteral("内存不足");
    }
}

SoleCopiesJob::SoleCopiesJob(const QString& catalog, QObject* parent)
    : Job(parent), m_catalog(catalog) {}

SoleCopiesJob::~SoleCopiesJob() {
    stop();
}

void SoleCopiesJob::work() {
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        m_counts = copiesstore::soleCopies(db, &cancelFlag());
    } catch (const DbError&) {
        m_failed = true;
    } catch (const std::bad_alloc&) {
        m_failed = true;
    }
    if (isCancelled())
        m_counts.clear();
}

} // namespace vorlane
