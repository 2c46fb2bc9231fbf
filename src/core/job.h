// Long work (a scan, a detection, a search, a compaction) as a job: the owner makes it in
// its own thread, wires up its signals and starts it; work() then runs on a thread pool.
// Signals emitted there reach receivers in the owner's thread as queued calls, so a
// window stays live without polling. A job reads its parameters and writes its results
// only inside work(); the owner reads the results once finished() has arrived.
//
// A job runs once. Every job opens what it needs (a database connection above all) inside
// work(), on the worker thread.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QRunnable>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>

class QThreadPool;

namespace vorlane {

// What a job reports while it runs, one structure for every kind of work so that one
// window can show any of them. A count of -1 is one the job does not keep.
struct JobProgress {
    QString path; // what is being read or written now
    qint64 folders = -1;
    qint64 files = -1;
    qint64 entries = -1;
    qint64 bytesDone = -1; // where data is read
    qint64 bytesTotal = -1;
    qint64 itemsDone = -1; // steps of work that has no bytes to count
    qint64 itemsTotal = -1;
};

// The pool jobs run on unless told otherwise: the program's own, so that waiting for it
// waits for jobs only and nothing else in the process competes for its threads.
QThreadPool& jobPool();
// The pool of background work (the backup after opening): one thread of its own, so that
// it never holds a thread that a job the user waits for needs.
QThreadPool& backgroundPool();
// Jobs other than background work that were started and have not yet ended, queued ones
// included.
int foregroundJobs();

class Job : public QObject, private QRunnable {
    Q_OBJECT

public:
    ~Job() override;

    // Runs work() on `pool` (jobPool(), or backgroundPool() for background work, when
    // null). Only the first call counts.
    void start(QThreadPool* pool = nullptr);
    // Asks the work to end soon. Any thread, any time, also before start(). Once work()
    // has returned it does nothing: what was done stays done, and is not reported as
    // cancelled.
    void cancel() {
        if (!m_over)
            m_cancel = true;
    }
    bool isCancelled() const { return m_cancel; }
    // The flag cancel() sets, for work that polls it.
    const std::atomic<bool>& cancelFlag() const { return m_cancel; }
    // False for work that runs to its end once begun; the window offers no cancel then.
    virtual bool isCancellable() const { return true; }
    // Started and work() not yet returned.
    bool isRunning() const { return m_working; }
    // work() has returned.
    bool isOver() const { return m_over; }

signals:
    // Now and then while work() runs, from the worker thread.
    void progressed(const vorlane::JobProgress& progress);
    // Emitted once, from the worker thread, after work() has returned.
    void finished();

protected:
    explicit Job(QObject* parent = nullptr);

    // The job's body, on a pool thread. Must poll cancelFlag() and catch what it throws.
    virtual void work() = 0;

    // Made background work: it runs at idle priority on backgroundPool() and waits for the
    // other jobs with yieldToForeground(). Called in the constructor.
    void setBackground() { m_background = true; }
    // Waits while other jobs are queued or running; false when cancelled meanwhile.
    bool yieldToForeground();

    // Cancels and waits until work() has returned. Every final job class calls it in its
    // destructor, before the members work() uses are destroyed.
    void stop();

private:
    enum class State { Idle, Running, Ended };

    void run() override;

    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_working{false};
    std::atomic<bool> m_over{false};
    bool m_background = false;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    State m_state = State::Idle;
};

} // namespace vorlane

Q_DECLARE_METATYPE(vorlane::JobProgress)
