#include "core/store/duplicatesjob.h"

#include "core/store/database.h"
#include "core/throttle.h"

namespace vorlane {

DuplicatesJob::DuplicatesJob(const QString& catalog, qint64 minSize, QObject* parent)
    : Job(parent), m_catalog(catalog), m_minSize(minSize) {}

DuplicatesJob::~DuplicatesJob() {
    stop();
}

JobProgress DuplicatesJob::jobProgress(const duplicatestore::Progress& step) {
    using Stage = duplicatestore::Progress::Stage;
    JobProgress p;
    if (step.stage == Stage::Sizes) {
        p.path = QStringLiteral("正在读取文件大小");
        m_files = step.done;
    } else {
        // The second pass reads the same files again: the bar shows how far it is.
        p.path = step.stage == Stage::Candidates ? QStringLiteral("正在比较大小相同的文件")
                                                 : QStringLiteral("正在整理重复文件组");
        p.itemsDone = step.done;
        p.itemsTotal = step.total;
    }
    p.files = m_files;
    return p;
}

void DuplicatesJob::work() {
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        // A report a few times a second is all a window shows; the end of each stage always.
        Throttle pace(100);
        const auto onProgress = [&](const duplicatestore::Progress& step) {
            const bool ended = step.done == step.total;
            if (!ended && !pace.due())
                return;
            emit progressed(jobProgress(step));
        };
        m_groups = duplicatestore::findDuplicates(db, m_minSize, &cancelFlag(), onProgress);
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const std::bad_alloc&) {
        m_groups.clear();
        m_error = QStringLiteral("内存不足");
    }
}

} // namespace vorlane
