#include "core/import/scanner.h"

#include "core/import/archivelist.h"
#include "core/import/filehash.h"
#include "core/import/fsnames.h"
#include "core/import/mediamatch.h"
#include "core/import/treewalk.h"
#include "core/media/mediapool.h"
#include "core/media/mediareader.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

namespace vorlane {

FileChoice::FileChoice(const ScanParams& params) : m_none(params.foldersOnly) {
    for (const QString& t : params.types)
        m_types.insert(fsnames::foldAscii(t.toUtf8().toStdString()));
}

bool FileChoice::accepts(const std::string& name) const {
    if (m_none)
        return false;
    if (m_types.empty())
        return true;
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return m_types.count(std::string()) > 0;
    return m_types.count(fsnames::foldAscii(name.substr(dot))) > 0;
}

QString rootPrefix(const QString& root) {
    QString p = root;
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

namespace {

using Clock = std::chrono::steady_clock;

// One row as the walk hands it over: the entry, its FPath, and the tag of the folder it
// goes in. A folder's tag is its depth (the root's is 0): rows are stored in walk order,
// so the folder last stored one level up is the parent.
// An archive's members follow its row; their tag is the index of the member folder that
// holds them in the archive's listing, -1 for the archive itself.
struct Record {
    WalkEntry entry;
    std::string path;
    qint64 parentTag = 0;
    ArchiveMark archive = ArchiveMark::None;
    std::string note;
    bool hashed = false;
    filehash::Digest hash{};
    qint64 mediaSeq = -1; // the file's job in the media pool, if it has one
};

using Batch = std::vector<Record>;

// Rows go over in batches, and only a few batches wait at a time: a walk that outruns the
// disk holding the catalog waits for it rather than keep the whole tree in memory.
constexpr size_t kBatchRows = 2048;
constexpr size_t kQueuedBatches = 4;
constexpr int kRowsPerStatement = 32;

// Stores the batches the walk hands over, on a thread of its own, with the interim
// commits. Everything it touches of the catalog is used by that thread only, between
// start() and join().
class Writer {
public:
    Writer(Database& db, qint64 discId, std::chrono::milliseconds commitInterval,
           media::MediaPool* pool)
        : m_rows(db, discId, kRowsPerStatement), m_tx(std::in_place, db, commitInterval),
          m_pool(pool) {
        if (m_pool)
            m_media.emplace(db);
        m_tx->setOnCommit([this] { m_committed = m_rows.stored(); });
    }

    ~Writer() {
        close(true);
        join();
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void start() {
        m_thread = std::thread([this] { run(); });
    }

    // Hands a full batch over, waiting while the queue is full. False once the writer has
    // stopped: the walk should end.
    bool push(Batch& batch) {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [&] { return m_queue.size() < kQueuedBatches || m_stopped; });
        if (m_stopped) {
            batch.clear();
            return false;
        }
        m_queue.push_back(std::move(batch));
        if (!m_spare.empty()) {
            batch = std::move(m_spare.back());
            m_spare.pop_back();
        } else {
            batch = Batch();
            batch.reserve(kBatchRows);
        }
        lock.unlock();
        m_notEmpty.notify_one();
        return true;
    }

    // Nothing more comes; what was handed over is still stored. With `abandon`, the writer
    // stops after the batch at hand.
    void close(bool abandon = false) {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
            if (abandon)
                m_stopped = true;
        }
        m_notEmpty.notify_all();
    }

    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    bool stopped() const { return m_stoppedFlag.load(std::memory_order_relaxed); }

    // After join().
    qint64 committed() const { return m_committed; }
    const QString& error() const { return m_error; }
    qint64 mediaFacts() const { return m_media ? m_media->facts() : 0; }
    qint64 thumbnails() const { return m_media ? m_media->thumbnails() : 0; }

private:
    void run() {
        try {
            m_ids.assign(1, 0);
            Batch batch;
            for (;;) {
                const Taken t = take(batch);
                if (t == Taken::End)
                    break;
                if (t == Taken::Batch) {
                    if (!store(batch))
                        break;
                    giveBack(batch);
                } else if (!storeMedia(m_pool->take())) {
                    break;
                }
            }
            finish();
        } catch (const DbError& e) {
            fail(e.text());
        } catch (const std::exception& e) {
            fail(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            fail(QStringLiteral("unknown error"));
        }
        stop();
    }

    enum class Taken { Batch, End, Idle };

    // Idle: no batch came for a while, and the media read meanwhile want storing.
    Taken take(Batch& batch) {
        std::unique_lock lock(m_mutex);
        const auto ready = [&] { return !m_queue.empty() || m_closed || m_stopped; };
        if (!m_pool)
            m_notEmpty.wait(lock, ready);
        else if (!m_notEmpty.wait_for(lock, std::chrono::milliseconds(100), ready))
            return Taken::Idle;
        if (m_stopped || m_queue.empty())
            return Taken::End;
        batch = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        m_notFull.notify_one();
        return Taken::Batch;
    }

    void giveBack(Batch& batch) {
        batch.clear();
        std::lock_guard lock(m_mutex);
        if (m_spare.size() < kQueuedBatches)
            m_spare.push_back(std::move(batch));
    }

    // False when a row could not be stored; every row before it stays.
    bool store(const Batch& batch) {
        try {
            for (const Record& r : batch) {
                contentstore::ScannedEntry row;
                row.name = r.entry.name;
                row.path = r.path;
                row.size = r.entry.size;
                row.isDir = r.entry.isDir;
                const bool member = r.archive == ArchiveMark::Member;
                row.fatherId = !member           ? m_ids[size_t(r.parentTag)]
                               : r.parentTag < 0 ? m_archiveId
                                                 : m_memberIds[size_t(r.parentTag)];
                row.mtime = r.entry.mtime;
                row.raw = r.entry.raw;
                row.link = r.entry.link;
                if (r.hashed)
                    row.hash = std::string_view(reinterpret_cast<const char*>(r.hash.data()),
                                                r.hash.size());
                row.note = r.note;
                row.archive = r.archive;
                row.special = r.entry.special;
                const qint64 id = m_rows.add(row);
                if (r.archive == ArchiveMark::Archive) {
                    m_archiveId = id;
                    m_memberIds.clear();
                } else if (member) {
                    m_memberIds.push_back(id);
                } else if (r.entry.isDir) {
                    m_ids.resize(size_t(r.parentTag) + 2);
                    m_ids.back() = id;
                }
                if (r.mediaSeq >= 0)
                    m_media->placed(r.mediaSeq, id);
            }
            // The batch's rows are all in before a commit can come.
            m_rows.flush();
            if (m_pool)
                m_media->arrived(m_pool->take());
            m_tx->checkpoint();
        } catch (const DbError& e) {
            m_error = e.text();
            return false;
        }
        return true;
    }

    bool storeMedia(std::vector<media::MediaResult> results) {
        try {
            m_media->arrived(std::move(results));
            m_tx->checkpoint();
        } catch (const DbError& e) {
            m_error = e.text();
            return false;
        }
        return true;
    }

    // Every row is stored: what the helpers still read goes in as it comes (the walk has
    // closed the pool; a cancel empties it quickly).
    bool drainMedia() {
        while (m_pool && !m_pool->done()) {
            if (!storeMedia(m_pool->take(true)))
                return false;
        }
        return true;
    }

    void finish() {
        if (!m_tx->isActive())
            return; // a failed statement already rolled the transaction back
        if (m_error.isEmpty() && !abandoned() && !drainMedia())
            return;
        try {
            m_tx->commit();
        } catch (const DbError& e) {
            if (m_error.isEmpty())
                m_error = e.text();
            m_tx.reset(); // rolls back
        }
    }

    void fail(const QString& text) {
        if (m_error.isEmpty())
            m_error = text;
        m_tx.reset(); // rolls back what was not committed
    }

    bool abandoned() {
        std::lock_guard lock(m_mutex);
        return m_stopped;
    }

    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_stoppedFlag.store(true, std::memory_order_relaxed);
        m_notFull.notify_all();
    }

    contentstore::EntryWriter m_rows;
    std::optional<MediaMatch> m_media;
    std::optional<Transaction> m_tx; // after the statements: rolled back before they go
    media::MediaPool* m_pool;
    std::vector<qint64> m_ids; // a folder's AutoId by its tag, down the current path
    qint64 m_archiveId = 0;    // the last archive's row, and its members' in order
    std::vector<qint64> m_memberIds;
    qint64 m_committed = 0;
    QString m_error;

    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<Batch> m_queue;
    std::vector<Batch> m_spare;
    bool m_closed = false;
    bool m_stopped = false;
    std::atomic<bool> m_stoppedFlag{false}; // m_stopped, for a check before every entry
    std::thread m_thread;
};

// The scan on the shared walk: a row for every folder and accepted file. The walk runs on
// the calling thread, where the hooks are called; the rows are stored on the writer's.
class Walker : TreeWalker {
public:
    // Each folder's entries go in in name order, so that a new disc lists alphabetically.
    Walker(const ScanParams& params, const ScanHooks& hooks, Writer& writer, media::MediaPool* pool)
        : TreeWalker(true, params.nameEncoding), m_params(params), m_hooks(hooks), m_writer(writer),
          m_pool(pool), m_rawPrefix(QFile::encodeName(rootPrefix(params.root))),
          m_reporter(hooks.progress, hooks.progressIntervalMs), m_names(params.nameEncoding),
          m_flushEvery(std::min(std::chrono::milliseconds(std::max(0, hooks.commitIntervalMs)),
                                std::chrono::milliseconds(100))) {
        m_prefix = rootPrefix(params.root);
        m_batch.reserve(kBatchRows);
        readAhead(params.depthLimit); // classify() reads only its entry and m_choice
        exclude(params.exclude);
    }

    ScanResult run() {
        m_lastFlush = Clock::now();
        walk(m_prefix);
        m_result.excluded = excluded();
        if (!m_batch.empty())
            m_writer.push(m_batch);
        return m_result;
    }

private:
    bool cancelled() {
        if (m_hooks.cancel && m_hooks.cancel->load(std::memory_order_relaxed)) {
            m_result.cancelled = true;
            return true;
        }
        return false;
    }

    // Hands the row over. A batch goes when it is full, and also when it has waited a
    // while: a slow disc still has its rows committed about every commit interval.
    void addEntry(const WalkEntry& e, qint64 parentTag, const filehash::Digest* hash = nullptr,
                  qint64 mediaSeq = -1) {
        m_batch.push_back(Record{e, path(), parentTag, ArchiveMark::None, {}});
        m_batch.back().mediaSeq = mediaSeq;
        if (hash) {
            m_batch.back().hashed = true;
            m_batch.back().hash = *hash;
        }
        flushWhenDue();
    }

    void flushWhenDue() {
        const Clock::time_point now = Clock::now();
        if (m_batch.size() < kBatchRows && now - m_lastFlush < m_flushEvery)
            return;
        m_lastFlush = now;
        m_writer.push(m_batch);
    }

    bool classify(WalkEntry& e) override {
        e.accepted = m_choice.accepts(e.name);
        return !e.isDir && e.accepted; // a stored file needs its size
    }

    bool proceed() override { return !m_writer.stopped() && !cancelled(); }

    // A folder's row goes in before its contents; path() is already its FPath.
    bool enter(const WalkEntry& e, qint64 parentTag, int depth, qint64& tag) override {
        // Reported as an entry of the folder it is in.
        m_reporter.report(m_prefix,
                          std::string_view(path()).substr(0, path().size() - e.name.size() - 1),
                          e.name);
        ++m_result.folders;
        if (m_hooks.counts)
            m_hooks.counts->folders.store(m_result.folders, std::memory_order_relaxed);
        if (cancelled())
            return false;
        if (m_params.depthLimit != 0 && m_params.depthLimit < depth)
            return false;
        if (m_pool) {
            m_rawDirs.resize(size_t(depth - 1));
            m_rawDirs.emplace_back(e.rawName());
        }
        addEntry(e, parentTag);
        tag = depth;
        return !m_writer.stopped();
    }

    void file(const WalkEntry& e, qint64 folderTag) override {
        // Reported as an entry of the folder it is in.
        m_reporter.report(m_prefix, path(), e.name);
        if (m_params.foldersOnly)
            return;
        if (e.accepted) {
            if (m_params.archives && e.hasContent() && archivelist::hasArchiveName(e.name))
                addArchive(e, folderTag);
            else if (m_params.checksums && e.hasContent())
                addHashed(e, folderTag, mediaJob(e, folderTag));
            else
                addEntry(e, folderTag, nullptr, mediaJob(e, folderTag));
        }
        ++m_result.files;
        if (m_hooks.counts)
            m_hooks.counts->files.store(m_result.files, std::memory_order_relaxed);
    }

    // The file's row with the hash of its content. A file that cannot be read (or a FIFO,
    // a device) is stored all the same, without one; so is the file a cancel broke off, and
    // one whose size changed while it was read (the hash would not match the stored size).
    void addHashed(const WalkEntry& e, qint64 folderTag, qint64 mediaSeq) {
        const filehash::Outcome h = hashOf(e);
        addEntry(e, folderTag, h.ok && h.bytes == e.size ? &h.digest : nullptr, mediaSeq);
    }

    // Hands a picture, a song or a video to the media helpers; its number, or -1.
    qint64 mediaJob(const WalkEntry& e, qint64 folderTag) {
        if (!m_pool || !e.hasContent() || e.size == 0)
            return -1;
        const MediaKind kind = media::kindOfName(e.name);
        if (kind == MediaKind::None || (kind == MediaKind::Audio && !m_params.media))
            return -1;
        QByteArray full = m_rawPrefix;
        for (size_t i = 0; i < size_t(folderTag) && i < m_rawDirs.size(); ++i)
            full.append('/').append(m_rawDirs[i].data(), qsizetype(m_rawDirs[i].size()));
        full.append('/').append(e.rawName());
        const qint64 seq = m_nextSeq++;
        m_pool->submit(media::MediaJob{seq, std::move(full), kind});
        return seq;
    }

    filehash::Outcome hashOf(const WalkEntry& e) {
        const int dir = folderFd();
        if (dir < 0)
            return {};
        ScanCounts* counts = m_hooks.counts;
        return filehash::hashFile(dir, e.rawName(), m_hooks.cancel, [counts](qint64 n) {
            if (counts)
                counts->bytes.fetch_add(n, std::memory_order_relaxed);
        });
    }

    // An archive's row, then its members below it; one that cannot be read is an ordinary
    // file with a note saying why.
    void addArchive(const WalkEntry& e, qint64 folderTag) {
        const int fd = folderFd();
        archivelist::Listing listing;
        if (fd >= 0)
            listing =
                archivelist::listArchive(fd, e.rawName(), m_names, [this] { return !proceed(); });
        Record row{e, path(), folderTag, ArchiveMark::None, {}};
        if (m_params.checksums) {
            const filehash::Outcome h = hashOf(e);
            row.hashed = h.ok && h.bytes == e.size;
            row.hash = h.digest;
        }
        if (listing.listed)
            row.archive = ArchiveMark::Archive;
        else if (!listing.problem.isEmpty())
            row.note = archivelist::problemNote(listing.problem).toStdString();
        m_batch.push_back(std::move(row));
        if (!listing.listed) {
            flushWhenDue();
            return;
        }
        std::string base = path();
        base += '/';
        base += e.name;
        for (archivelist::Member& m : listing.members) {
            m_batch.push_back(
                Record{std::move(m.entry), base + m.path, m.parent, ArchiveMark::Member, {}});
            // The writer places members by the archive it stored last, also in a later batch.
            flushWhenDue();
        }
    }

    // The folder at path() could not be opened or read.
    void unreadable(int error) override {
        if (m_result.unreadable++ > 0)
            return;
        m_result.firstUnreadable =
            path().empty() && m_prefix.isEmpty()
                ? QStringLiteral("/")
                : m_prefix + QString::fromUtf8(path().data(), qsizetype(path().size()));
        m_result.unreadableReason = QString::fromLocal8Bit(std::strerror(error));
    }

    const ScanParams& m_params;
    const ScanHooks& m_hooks;
    Writer& m_writer;
    media::MediaPool* m_pool;
    const QByteArray m_rawPrefix;
    std::vector<std::string> m_rawDirs; // the folders' own bytes down to the one walked
    qint64 m_nextSeq = 0;
    QString m_prefix;
    fsnames::PathReporter m_reporter;
    fsnames::NameDecoder m_names; // archive members' names
    const FileChoice m_choice{m_params};
    ScanResult m_result;
    Batch m_batch;
    std::chrono::milliseconds m_flushEvery;
    Clock::time_point m_lastFlush;
};

} // namespace

ScanResult scanTree(Database& db, const ScanParams& params, const ScanHooks& hooks) {
    ScanResult result;
    std::optional<media::MediaPool> pool;
    if (params.media || params.thumbnails)
        pool.emplace(params.media, params.thumbnails, hooks.cancel);
    media::MediaPool* const helpers = pool ? &*pool : nullptr;
    std::optional<Writer> writer;
    try {
        writer.emplace(db, params.discId,
                       std::chrono::milliseconds(std::max(0, hooks.commitIntervalMs)), helpers);
    } catch (const DbError& e) {
        result.error = e.text();
        return result;
    }
    writer->start();
    {
        // Should the walk throw, the writer is stopped and joined before it unwinds further.
        const auto done = [&](bool abandon) {
            if (helpers)
                helpers->close();
            writer->close(abandon);
            writer->join();
        };
        try {
            Walker walker(params, hooks, *writer, helpers);
            result = walker.run();
        } catch (...) {
            done(true);
            throw;
        }
        done(false);
    }
    result.rows = writer->committed();
    result.error = writer->error();
    result.mediaFacts = writer->mediaFacts();
    result.thumbnails = writer->thumbnails();
    return result;
}

} // namespace vorlane
