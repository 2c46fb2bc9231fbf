#include "core/import/scanjob.h"

#include "core/store/database.h"

#include <QDateTime>
#include <QStorageInfo>

namespace vorlane {

ScanState scanStateOf(const ScanResult& result, const QString& root) {
    const QString prefix = rootPrefix(root);
    const QString rootPath = prefix.isEmpty() ? QStringLiteral("/") : prefix;
    if (!result.error.isEmpty() || (result.unreadable > 0 && result.firstUnreadable == rootPath))
        return ScanState::Failed;
    if (result.cancelled)
        return ScanState::Cancelled;
    return ScanState::Complete;
}

ScanResult scanDisc(Database& db, const ScanParams& params, const ScanHooks& hooks) {
    ScanFacts facts;
    // Read before the walk, while the medium is surely there.
    const QStorageInfo storage(params.root.isEmpty() ? QStringLiteral("/") : params.root);
    if (storage.isValid()) {
        facts.fsType = QString::fromUtf8(storage.fileSystemType());
        if (storage.bytesTotal() > 0)
            facts.capacity = storage.bytesTotal();
    }
    ScanResult result = scanTree(db, params, hooks);
    facts.scanTime = QDateTime::currentSecsSinceEpoch();
    facts.state = scanStateOf(result, params.root);
    try {
        catalogstore::setScanFacts(db, params.discId, facts);
    } catch (const DbError& e) {
        // The row keeps the mark it was made with: a failed import.
        if (result.error.isEmpty())
            result.error = e.text();
    }
    return result;
}

ScanJob::ScanJob(const QString& catalog, const ScanParams& params, QObject* parent)
    : Job(parent), m_catalog(catalog), m_params(params) {}

ScanJob::~ScanJob() {
    stop();
}

void ScanJob::work() {
    Database db;
    try {
        if (m_catalog.isEmpty())
            return;
        db.open(m_catalog);
        if (db.isReadOnly())
            return;
    } catch (const DbError&) {
        return;
    }
    m_opened = true;
    ScanHooks hooks;
    hooks.cancel = &cancelFlag();
    hooks.progress = [this](const QString& path) { emit progress(path); };
    m_result = scanDisc(db, m_params, hooks);
}

} // namespace vorlane
