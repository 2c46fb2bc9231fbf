#include "core/job.h"

#include <QThreadPool>

namespace vorlane {

QThreadPool& jobPool() {
    static QThreadPool pool;
    return pool;
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
    (pool ? pool : &jobPool())->start(this);
}

void Job::stop() {
    cancel();
    std::unique_lock lock(m_mutex);
    m_ended.wait(lock, [this] { return m_state != State::Running; });
}

void Job::run() {
    work();
    m_over = true;
    m_working = false;
    emit finished();
    // Notified under the lock: once it is released the owner may delete the job.
    std::lock_guard lock(m_mutex);
    m_state = State::Ended;
    m_ended.notify_all();
}

} // namespace vorlane
