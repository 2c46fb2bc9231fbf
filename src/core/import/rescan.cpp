#include "core/import/rescan.h"

#include "core/import/rescancompare.h"
#include "core/import/rescanwalk.h"
#include "core/import/scanjob.h"
#include "core/media/mediapool.h"
#include "core/media/mediareader.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"

#include <QDateTime>
#include <algorithm>
#include <exception>
#include <thread>

namespace vorlane {

namespace {

// Reads the media of the files that are new or changed, on the helper threads. False when
// a cancel came meanwhile.
bool readMedia(RescanPlan& plan, const ScanParams& params, const ScanHooks& hooks) {
    if (!params.media && !params.thumbnails)
        return true;
    media::MediaPool pool(params.media, params.thumbnails, hooks.cancel);
    // A job's number: changes count up from 0 and unchanged files on after them, additions
    // down from -1.
    std::thread feeding([&] {
        const auto job = [&](qint64 seq, const std::string& path) {
            if (!path.empty())
                pool.submit(media::MediaJob{seq, QByteArray(path.data(), qsizetype(path.size())),
                                            media::kindOfName(path.substr(path.rfind('/') + 1))});
        };
        for (size_t i = 0; i < plan.changes.size(); ++i)
            job(qint64(i), plan.changes[i].mediaPath);
        for (size_t i = 0; i < plan.additions.size(); ++i)
            job(-1 - qint64(i), plan.additions[i].mediaPath);
        for (size_t i = 0; i < plan.mediaOnly.size(); ++i)
            job(qint64(plan.changes.size() + i), plan.mediaOnly[i].mediaPath);
        pool.close();
    });
    while (!pool.done()) {
        for (media::MediaResult& r : pool.take(true)) {
            RescanPlan::Media m;
            if (r.seq >= qint64(plan.changes.size()))
                m.unchanged = int(r.seq - qint64(plan.changes.size()));
            else if (r.seq >= 0)
                m.change = int(r.seq);
            else
                m.addition = int(-1 - r.seq);
            m.facts = std::move(r.facts);
            m.thumbnail = std::move(r.thumbnail);
            plan.media.push_back(std::move(m));
        }
    }
    feeding.join();
    return !(hooks.cancel && hooks.cancel->load());
}

} // namespace

std::optional<ScanParams> rescanOptions(Database& db, qint64 discId, const QString& nameEncoding) {
    const std::optional<DiscRow> disc = catalogstore::discRow(db, discId);
    const std::optional<DiscFacts> facts = catalogstore::discFacts(db, discId, false);
    if (!disc || !facts)
        return std::nullopt;
    ScanParams params;
    params.nameEncoding = nameEncoding;
    readScanOptions(facts->options, params);
    params.root = disc->sourcePath;
    params.discId = discId;
    return params;
}

RescanReport compareRescan(Database& db, qint64 discId, const QString& root, const ScanHooks& hooks,
                           RescanPlan& plan, const QString& nameEncoding, bool takeHashes,
                           const std::optional<ScanParams>& options) {
    RescanReport report;
    plan = RescanPlan();
    plan.discId = discId;
    try {
        const std::optional<DiscRow> disc = catalogstore::discRow(db, discId);
        const std::optional<DiscFacts> facts = catalogstore::discFacts(db, discId, false);
        if (!disc || !facts) {
            report.failure = RescanReport::Failure::NoDisc;
            return report;
        }
        // An empty SourcePath would walk the whole file system: a root must be named then.
        const QString prefix = root.isEmpty() ? rootPrefix(disc->sourcePath) : rootPrefix(root);
        if (root.isEmpty() && prefix.isEmpty()) {
            report.failure = RescanReport::Failure::NoRoot;
            return report;
        }
        report.root = prefix.isEmpty() ? QStringLiteral("/") : prefix;
        plan.root = prefix;
        plan.newRoot = prefix != rootPrefix(disc->sourcePath);

        ScanParams stored;
        stored.nameEncoding = nameEncoding;
        readScanOptions(facts->options, stored);
        ScanParams params = options.value_or(stored);
        if (params.nameEncoding.isEmpty())
            params.nameEncoding = stored.nameEncoding;
        params.root = prefix;
        params.discId = discId;
        plan.facts.fsType = facts->fsType;
        plan.facts.capacity = facts->capacity;
        plan.facts.options = scanOptionsText(params);
        plan.facts.state = ScanState::Complete;

        // The walk goes on here while another thread reads the stored rows and then compares
        // what the walk has found so far with them.
        RescanComparer comparer(params, stored, hooks, takeHashes, plan, report);
        rescanwalk::StepQueue queue;
        std::exception_ptr failure;
        std::thread comparing([&] {
            try {
                if (comparer.load(db, discId))
                    comparer.replay(queue);
            } catch (...) {
                failure = std::current_exception();
            }
            queue.stop();
        });
        struct Join {
            rescanwalk::StepQueue& queue;
            std::thread& thread;
            ~Join() {
                queue.close();
                thread.join();
            }
        };
        bool walkCancelled = false;
        {
            const Join join{queue, comparing};
            rescanwalk::Recorder recorder(params, hooks, queue);
            recorder.record();
            walkCancelled = recorder.cancelled();
        }
        if (failure)
            std::rethrow_exception(failure);
        if (walkCancelled)
            report.cancelled = true;
        const bool finished = comparer.finish();
        if (finished && takeHashes && !readMedia(plan, params, hooks))
            report.cancelled = true;
        if (!finished || report.cancelled) {
            // A cancelled or failed walk reports no differences: nothing is known of them.
            report.changes.clear();
            report.added = report.removed = report.changed = report.unchanged = 0;
            report.notesLost = 0;
            plan = RescanPlan();
            return report;
        }
        plan.facts.scanTime = QDateTime::currentSecsSinceEpoch();
    } catch (const DbError& e) {
        report = RescanReport();
        report.failure = RescanReport::Failure::Write;
        report.error = e.text();
        plan = RescanPlan();
        return report;
    }
    // Case does not split the list; removed comes before added where one path is both (a
    // file that became a folder).
    std::sort(report.changes.begin(), report.changes.end(),
              [](const RescanChange& a, const RescanChange& b) {
                  if (const int c = a.path.compare(b.path, Qt::CaseInsensitive); c != 0)
                      return c < 0;
                  if (const int c = a.path.compare(b.path); c != 0)
                      return c < 0;
                  const auto rank = [](RescanChange::Kind k) {
                      return k == RescanChange::Kind::Removed ? 0 : 1;
                  };
                  return rank(a.kind) < rank(b.kind);
              });
    return report;
}

RescanJob::RescanJob(const QString& catalog, qint64 discId, const QString& root,
                     const QString& nameEncoding, std::optional<ScanParams> options,
                     QObject* parent)
    : Job(parent), m_catalog(catalog), m_discId(discId), m_root(root), m_nameEncoding(nameEncoding),
      m_options(std::move(options)) {}

RescanJob::RescanJob(const QString& catalog, std::shared_ptr<const RescanPlan> plan,
                     QObject* parent)
    : Job(parent), m_catalog(catalog), m_apply(true), m_plan(std::move(plan)) {}

RescanJob::~RescanJob() {
    stop();
}

void RescanJob::work() {
    Database db;
    try {
        if (!m_catalog.isEmpty())
            db.open(m_catalog);
    } catch (const DbError& e) {
        m_report.error = e.text();
    }
    if (!db.isOpen() || db.isReadOnly()) {
        m_report.failure = RescanReport::Failure::Catalog;
        return;
    }
    if (m_apply) {
        if (m_plan) {
            searchstore::WriteWatch watch(db);
            m_applied = applyRescan(db, *m_plan, &cancelFlag(), &m_report.error);
            m_written = watch.finish({m_plan->discId});
            if (!m_applied && !isCancelled())
                m_report.failure = RescanReport::Failure::Write;
        }
        return;
    }
    ScanHooks hooks;
    hooks.cancel = &cancelFlag();
    ScanCounts counts;
    hooks.counts = &counts;
    hooks.progress = [this, &counts](const QString& path) {
        JobProgress p;
        p.path = path;
        p.folders = counts.folders.load(std::memory_order_relaxed);
        p.files = counts.files.load(std::memory_order_relaxed);
        emit progressed(p);
    };
    auto plan = std::make_shared<RescanPlan>();
    m_report = compareRescan(db, m_discId, m_root, hooks, *plan, m_nameEncoding, true, m_options);
    m_plan = std::move(plan);
}

} // namespace vorlane
