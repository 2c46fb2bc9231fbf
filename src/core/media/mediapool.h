// Reads media facts and makes thumbnails on helper threads, while the caller goes on with
// its walk. Jobs go in by a number the caller chooses and come back in no particular order.
#pragma once

#include "core/store/mediastore.h"

#include <QByteArray>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vorlane::media {

struct MediaJob {
    qint64 seq = 0;
    QByteArray path; // the file system's bytes
    MediaKind kind = MediaKind::None;
};

struct MediaResult {
    qint64 seq = 0;
    MediaFacts facts;     // empty when not asked for or not readable
    QByteArray thumbnail; // JPEG; empty when not asked for or none could be made
};

class MediaPool {
public:
    // `facts`, `thumbnails`: what each job makes. `cancel` (may be null) drops the jobs not
    // yet begun. `threads` 0: one per processor.
    MediaPool(bool facts, bool thumbnails, const std::atomic<bool>* cancel, int threads = 0);
    ~MediaPool(); // drops what is left and joins the threads
    MediaPool(const MediaPool&) = delete;
    MediaPool& operator=(const MediaPool&) = delete;

    // Hands a job over, waiting while many are queued.
    void submit(MediaJob job);
    // No more jobs come.
    void close();
    // The results finished so far; with `wait`, waits up to `waitMs` for one. done() tells
    // whether more can come.
    std::vector<MediaResult> take(bool wait = false, int waitMs = 100);
    // True once closed and every job is finished and taken.
    bool done();

private:
    void run();

    const bool m_facts;
    const bool m_thumbnails;
    const std::atomic<bool>* m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_hasJob;
    std::condition_variable m_hasRoom;
    std::condition_variable m_hasResult;
    std::deque<MediaJob> m_jobs;
    std::vector<MediaResult> m_results;
    size_t m_busy = 0;
    bool m_closed = false;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace vorlane::media
