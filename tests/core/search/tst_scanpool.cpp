// The pool a long search splits its scan over: both parts run, and a call never waits on a
// pool whose threads are all taken (a search may run inside work on that very pool).
#include "core/search/scanpool.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <stdexcept>

using namespace vorlane;

class TestScanPool : public QObject {
    Q_OBJECT

private slots:
    void bothPartsRunAndErrorsReachTheCaller_data();
    void bothPartsRunAndErrorsReachTheCaller();
};

void TestScanPool::bothPartsRunAndErrorsReachTheCaller_data() {
    QTest::addColumn<bool>("poolBusy"); // every thread of the pool is held meanwhile
    QTest::addColumn<bool>("secondThrows");
    QTest::newRow("free pool") << false << false;
    QTest::newRow("free pool, the second part throws") << false << true;
    QTest::newRow("busy pool: the caller runs both") << true << false;
    QTest::newRow("busy pool, the second part throws") << true << true;
}

void TestScanPool::bothPartsRunAndErrorsReachTheCaller() {
    QFETCH(bool, poolBusy);
    QFETCH(bool, secondThrows);
    QThreadPool& pool = scanPool();
    QSemaphore release;
    QSemaphore held;
    const int threads = pool.maxThreadCount();
    if (poolBusy) {
        for (int i = 0; i < threads; ++i) {
            pool.start([&] {
                held.release();
                release.acquire();
            });
        }
        QVERIFY(held.tryAcquire(threads, 10000));
    }
    QThread* const caller = QThread::currentThread();
    QThread* firstOn = nullptr;
    QThread* secondOn = nullptr;
    bool thrown = false;
    QSemaphore secondStarted;
    try {
        runBeside(
            [&] {
                firstOn = QThread::currentThread();
                // On a free pool the second part starts meanwhile; it is not taken back.
                if (!poolBusy)
                    QVERIFY(secondStarted.tryAcquire(1, 10000));
            },
            [&] {
                secondOn = QThread::currentThread();
                secondStarted.release();
                if (secondThrows)
                    throw std::runtime_error("part failed");
            });
    } catch (const std::runtime_error&) {
        thrown = true;
    }
    release.release(threads);
    pool.waitForDone();
    QCOMPARE(thrown, secondThrows);
    QCOMPARE(firstOn, caller);
    QVERIFY(secondOn);
    // A pool with a thread free takes the second part; a busy one leaves it to the caller.
    QCOMPARE(secondOn == caller, poolBusy);
}

QTEST_GUILESS_MAIN(TestScanPool)
#include "tst_scanpool.moc"
