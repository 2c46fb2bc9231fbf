#include "core/job.h"

#include <QThread>
#include <QThreadPool>

namespace vorlane {

namespace {

std::atomic<int> g_foreground{0};

} // namespace

QThreadPool& jobPool() {
    static QThreadPool pool;
    return pool;
}

QThreadPool& backgroundPool() {
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

int foregroundJobs() {
    return g_foreground.load();
}

bool Job::yieldToForeground() {
    while (g_foreground.load() > 0 && !isCancelled())
        QThread::msleep(20);
    return !isCancelled();
}

Job::Job(QObject* parent) : QObject(parent) {
    qRegisterMetaType<JobProgress>();
    // The owner deletes the job; the pool must not.
    setAutoDelete(false);
}

Job::~Job() {
    stop();
}

void Job::start(QThreadPool* pool) {
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::Idle)
            return;
        m_state = State::Running;
    }
    m_working = true;
    if (!m_background)
        ++g_foreground;
    (pool ? pool : m_background ? &backgroundPool() : &jobPool())->start(this);
}

void Job::stop() {
    cancel();
    std::unique_lock lock(m_mutex);
    m_ended.wait(lock, [this] { return m_state != State::Running; });
}

void Job::run() {
    if (m_background)
        QThread::currentThread()->setPriority(QThread::IdlePriority);
    work();
    if (!m_background)
        --g_foreground;
    m_over = true;
    m_working = false;
    emit finished();
    // Notified under the lock: once it is released the owner may delete the job.
    std::lock_guard lock(m_mutex);
    m_state = State::Ended;
    m_ended.notify_all();
}

} // namespace vorlane
