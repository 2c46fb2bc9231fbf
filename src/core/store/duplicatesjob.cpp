#include "core/store/duplicatesjob.h"

#include "core/store/database.h"

namespace vorlane {

DuplicatesJob::DuplicatesJob(const QString& catalog, qint64 minSize, QObject* parent)
    : Job(parent), m_catalog(catalog), m_minSize(minSize) {}

DuplicatesJob::~DuplicatesJob() {
    stop();
}

void DuplicatesJob::work() {
    try {
        Database db;
        db.open(m_catalog, Database::Mode::ReadOnly);
        m_groups = duplicatestore::findDuplicates(db, m_minSize, &cancelFlag());
    } catch (const DbError& e) {
        m_error = e.text();
    } catch (const std::bad_alloc&) {
        m_groups.clear();
        m_error = QStringLiteral("内存不足");
    }
}

} // namespace vorlane
