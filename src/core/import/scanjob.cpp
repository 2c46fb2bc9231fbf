#include "core/import/scanjob.h"

#include "core/store/database.h"
#include "core/store/foldersizes.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

QString scanOptionsText(const ScanParams& params) {
    QJsonObject o;
    o[QStringLiteral("depthLimit")] = params.depthLimit;
    o[QStringLiteral("foldersOnly")] = params.foldersOnly;
    o[QStringLiteral("types")] = QJsonArray::fromStringList(params.types);
    o[QStringLiteral("nameEncoding")] = params.nameEncoding;
    o[QStringLiteral("checksums")] = params.checksums;
    o[QStringLiteral("archives")] = params.archives;
    o[QStringLiteral("media")] = params.media;
    o[QStringLiteral("thumbnails")] = params.thumbnails;
    o[QStringLiteral("exclude")] = QJsonArray::fromStringList(params.exclude);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void readScanOptions(const QString& text, ScanParams& params) {
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    if (const QJsonValue v = o.value(QStringLiteral("depthLimit")); v.isDouble())
        params.depthLimit = qMax(0, v.toInt());
    if (const QJsonValue v = o.value(QStringLiteral("foldersOnly")); v.isBool())
        params.foldersOnly = v.toBool();
    if (const QJsonValue v = o.value(QStringLiteral("types")); v.isArray()) {
        params.types.clear();
        for (const QJsonValue& t : v.toArray()) {
            if (t.isString())
                params.types << t.toString();
        }
    }
    if (const QJsonValue v = o.value(QStringLiteral("nameEncoding")); v.isString())
        params.nameEncoding = v.toString();
    if (const QJsonValue v = o.value(QStringLiteral("checksums")); v.isBool())
        params.checksums = v.toBool();
    if (const QJsonValue v = o.value(QStringLiteral("archives")); v.isBool())
        params.archives = v.toBool();
    if (const QJsonValue v = o.value(QStringLiteral("media")); v.isBool())
        params.media = v.toBool();
    if (const QJsonValue v = o.value(QStringLiteral("thumbnails")); v.isBool())
        params.thumbnails = v.toBool();
    // Options stored before there were exclusions do not name them.
    if (const QJsonValue v = o.value(QStringLiteral("exclude")); v.isArray()) {
        params.exclude.clear();
        for (const QJsonValue& t : v.toArray()) {
            if (t.isString())
                params.exclude << t.toString();
        }
    }
}

ScanResult scanDisc(Database& db, const ScanParams& params, const ScanHooks& hooks) {
    ScanFacts facts;
    facts.options = scanOptionsText(params);
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
        // A cancelled scan's folders total what was stored of them. Totals and facts go
        // together: a disc marked complete never lacks its totals.
        Transaction tx(db);
        foldersizes::storeTotals(db, params.discId);
        catalogstore::setScanFacts(db, params.discId, facts);
        tx.commit();
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
    hooks.counts = &m_counts;
    const auto report = [this](const QString& path) {
        JobProgress p;
        p.path = path;
        p.folders = m_counts.folders.load(std::memory_order_relaxed);
        p.files = m_counts.files.load(std::memory_order_relaxed);
        if (m_params.checksums)
            p.bytesDone = m_counts.bytes.load(std::memory_order_relaxed);
        emit progressed(p);
    };
    hooks.progress = report;
    searchstore::WriteWatch watch(db);
    m_result = scanDisc(db, m_params, hooks);
    m_written = watch.finish({m_params.discId});
    report({}); // the window ends on what the scan met
}

} // namespace vorlane
