#include "core/search/scanpool.h"

#include <QRunnable>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <exception>
#include <future>

namespace vorlane {

namespace {

class Part final : public QRunnable {
public:
    explicit Part(const std::function<void()>& fn) : m_fn(fn) { setAutoDelete(false); }

    void run() override {
        try {
            m_fn();
            m_done.set_value();
        } catch (...) {
            m_done.set_exception(std::current_exception());
        }
    }

    std::future<void> done() { return m_done.get_future(); }

private:
    const std::function<void()>& m_fn;
    std::promise<void> m_done;
};

class ScanPool final : public QThreadPool {
public:
    // The caller scans a part itself: one thread fewer than the processor has.
    ScanPool() { setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1)); }
};

} // namespace

QThreadPool& scanPool() {
    static ScanPool pool;
    return pool;
}

void runBeside(const std::function<void()>& first, const std::function<void()>& second) {
    Part part(second);
    std::future<void> done = part.done();
    QThreadPool& pool = scanPool();
    pool.start(&part);
    std::exception_ptr error;
    try {
        first();
    } catch (...) {
        error = std::current_exception();
    }
    // Still queued: the pool is busy with other searches, and waiting could take long.
    if (pool.tryTake(&part))
        part.run();
    done.wait();
    if (error)
        std::rethrow_exception(error);
    done.get();
}

} // namespace vorlane
