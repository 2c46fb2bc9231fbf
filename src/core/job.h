// Long work (a scan, a detection, a search, a compaction) as a job: the owner makes it in
// its own thread, wires up its signals and starts it; work() then runs on a thread pool.
// Signals emitted there reach receivers in the owner's thread as queued calls, so a
// window stays live without polling. A job reads its parameters and writes its results
// only inside work(); the owner reads the results once finished() has arrived.
//
// A job runs once. Every job opens what it needs (a database connection above all) inside
// work(), on the worker thread.
#pragma once

#include <QObject>
#include <QRunnable>
#include <atomic>
#include <condition_variable>
#include <mutex>

class QThreadPool;

namespace vorlane {

class Job : public QObject, private QRunnable {
    Q_OBJECT

public:
    ~Job() override;

    // Runs work() on `pool` (the global pool when null). Only the first call counts.
    void start(QThreadPool* pool = nullptr);
    // Asks the work to end soon. Any thread, any time, also before start().
    void cancel() { m_cancel = true; }
    bool isCancelled() const { return m_cancel; }
    // The flag cancel() sets, for work that polls it.
    const std::atomic<bool>& cancelFlag() const { return m_cancel; }
    // Started and work() not yet returned.
    bool isRunning() const { return m_working; }

signals:
    // Emitted once, from the worker thread, after work() has returned.
    void finished();

protected:
    explicit Job(QObject* parent = nullptr);

    // The job's body, on a pool thread. Must poll cancelFlag() and catch what it throws.
    virtual void work() = 0;

    // Cancels and waits until work() has returned. Every final job class calls it in its
    // destructor, before the members work() uses are destroyed.
    void stop();

private:
    enum class State { Idle, Running, Ended };

    void run() override;

    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_working{false};
    std::mutex m_mutex;
    std::condition_variable m_ended;
    State m_state = State::Idle;
};

} // namespace vorlane
