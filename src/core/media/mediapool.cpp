#include "core/media/mediapool.h"

#include "core/media/mediareader.h"

#include <algorithm>

namespace vorlane::media {

namespace {
// Enough to keep the helpers busy; more would only hold paths in memory.
constexpr size_t kQueuedJobs = 256;
} // namespace

MediaPool::MediaPool(bool facts, bool thumbnails, const std::atomic<bool>* cancel, int threads)
    : m_facts(facts), m_thumbnails(thumbnails), m_cancel(cancel) {
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { run(); });
}

MediaPool::~MediaPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_closed = true;
        m_jobs.clear();
    }
    m_hasJob.notify_all();
    m_hasRoom.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void MediaPool::submit(MediaJob job) {
    std::unique_lock lock(m_mutex);
    m_hasRoom.wait(lock, [&] { return m_jobs.size() < kQueuedJobs || m_stopping; });
    if (m_stopping)
        return;
    m_jobs.push_back(std::move(job));
    lock.unlock();
    m_hasJob.notify_one();
}

void MediaPool::close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_hasJob.notify_all();
    m_hasResult.notify_all();
}

std::vector<MediaResult> MediaPool::take(bool wait, int waitMs) {
    std::unique_lock lock(m_mutex);
    if (wait)
        m_hasResult.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
            return !m_results.empty() || (m_closed && m_jobs.empty() && m_busy == 0);
        });
    std::vector<MediaResult> out;
    out.swap(m_results);
    return out;
}

bool MediaPool::done() {
    std::lock_guard lock(m_mutex);
    return m_closed && m_jobs.empty() && m_busy == 0 && m_results.empty();
}

void MediaPool::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_hasJob.wait(lock, [&] { return !m_jobs.empty() || m_closed || m_stopping; });
        if (m_stopping || m_jobs.empty())
            return;
        MediaJob job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_busy;
        lock.unlock();
        m_hasRoom.notify_one();

        MediaResult r;
        r.seq = job.seq;
        if (!(m_cancel && m_cancel->load(std::memory_order_relaxed))) {
            if (m_facts)
                r.facts = readFacts(job.path, job.kind);
            if (m_thumbnails && job.kind != MediaKind::Audio)
                r.thumbnail = makeThumbnail(job.path, job.kind);
        }

        lock.lock();
        --m_busy;
        if (!r.facts.isEmpty() || !r.thumbnail.isEmpty())
            m_results.push_back(std::move(r));
        m_hasResult.notify_all();
    }
}

} // namespace vorlane::media
