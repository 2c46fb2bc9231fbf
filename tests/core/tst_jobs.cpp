// Long work run as jobs: what arrives, on which thread, in which order. The job's signals
// come from a pool thread, so the tests wait on what their receivers record.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/import/scanjob.h"
#include "core/search/searchjob.h"
#include "core/store/database.h"

#include <QDateTime>
#include <QTest>
#include <QThread>

using namespace vorlane;

class TestJobs : public QObject {
    Q_OBJECT

private slots:
    // The scan stores through its own connection on a pool thread; what it reports reaches
    // the owner on the owner's thread, finished() last.
    void scanReportsToTheOwnersThread() {
        TestDir dir;
        const QString file = dir.path("a.vlr");
        testcat::create(file);
        Database db;
        db.open(file);
        const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "d");
        TestDir tree;
        tree.createFile("one.txt", 3);
        tree.createFile("sub/two.txt", 5);

        ScanParams params;
        params.root = tree.path();
        params.discId = disc;
        ScanJob job(file, params);
        QList<QThread*> threads;
        QStringList events;
        connect(&job, &Job::progressed, this, [&](const JobProgress& p) {
            threads << QThread::currentThread();
            events << p.path;
        });
        connect(&job, &Job::finished, this, [&] {
            threads << QThread::currentThread();
            events << QStringLiteral("finished");
        });
        job.start();
        QTRY_VERIFY_WITH_TIMEOUT(events.contains(QStringLiteral("finished")), 20000);
        QVERIFY(!job.isRunning());
        QVERIFY(events.size() >= 2); // the first entry is reported at once
        QCOMPARE(events.last(), QStringLiteral("finished"));
        QVERIFY(events.first().startsWith(tree.path() + QLatin1Char('/')));
        for (QThread* t : threads)
            QCOMPARE(t, thread());
        QVERIFY(job.opened());
        QCOMPARE(job.result().files, 2);
        QCOMPARE(job.result().folders, 1);
        QCOMPARE(job.result().rows, qint64(3));
        QCOMPARE(db.count(QStringLiteral("select AutoId from qCDFiles")), 3);
        // What has ended is not turned into a cancelled job by a late press.
        job.cancel();
        QVERIFY(!job.isCancelled());
    }

    // The disc records how its import ended, with what its rows hold; until the end it
    // reads as failed, so an import killed half-way never looks complete.
    void scanRecordsHowTheImportEnded_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("state");
        QTest::newRow("complete") << "complete" << int(ScanState::Complete);
        QTest::newRow("cancelled") << "cancel" << int(ScanState::Cancelled);
        QTest::newRow("a row cannot be stored") << "fail" << int(ScanState::Failed);
        QTest::newRow("the root cannot be read") << "noroot" << int(ScanState::Failed);
        QTest::newRow("killed before the end") << "killed" << int(ScanState::Failed);
    }
    void scanRecordsHowTheImportEnded() {
        QFETCH(QString, how);
        QFETCH(int, state);
        TestDir dir;
        const QString file = dir.path("a.vlr");
        testcat::create(file);
        Database db;
        db.open(file);
        TestDir tree;
        tree.createFile("one.txt", 3);
        tree.createFile("sub/two.txt", 5);
        const QString root = how == QLatin1String("noroot") ? tree.path("gone") : tree.path();
        const qint64 disc = catalogstore::addDiscRow(
            db, NewDisc{QStringLiteral("d"), testcat::addCategory(db, "c"), 1, root, {}});
        if (how == QLatin1String("fail"))
            db.exec(QStringLiteral("create trigger stopper before insert on qCDFiles when "
                                   "(select count(*) from qCDFiles) >= 2 begin select "
                                   "raise(rollback, 'disk full'); end"));
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        if (how != QLatin1String("killed")) {
            ScanParams params;
            params.root = root;
            params.discId = disc;
            ScanJob job(file, params);
            bool ended = false;
            connect(&job, &Job::finished, this, [&] { ended = true; });
            if (how == QLatin1String("cancel"))
                job.cancel();
            job.start();
            QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
            QVERIFY(job.opened());
        }
        const std::optional<DiscFacts> facts = catalogstore::discFacts(db, disc);
        QVERIFY(facts);
        QCOMPARE(facts->state, std::optional<ScanState>(ScanState(state)));
        if (how == QLatin1String("complete")) { // counted from the rows
            QCOMPARE(facts->folders, qint64(1));
            QCOMPARE(facts->files, qint64(2));
            QCOMPARE(facts->totalSize, qint64(8));
        }
        if (how == QLatin1String("killed")) {
            QVERIFY(!facts->scanTime);
            return;
        }
        QVERIFY(facts->scanTime);
        QVERIFY(*facts->scanTime >= before &&
                *facts->scanTime <= QDateTime::currentSecsSinceEpoch());
        if (how != QLatin1String("noroot")) {
            QVERIFY(!facts->fsType.isEmpty());
            QVERIFY(facts->capacity && *facts->capacity > 0);
        }
    }

    // A catalog that cannot be opened again: nothing is scanned, and the owner hears so.
    void scanWithoutACatalog() {
        TestDir tree;
        tree.createFile("one.txt", 3);
        ScanParams params;
        params.root = tree.path();
        ScanJob job(tree.path("missing.vlr"), params);
        bool ended = false;
        connect(&job, &Job::finished, this, [&] { ended = true; });
        job.start();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
        QVERIFY(!job.opened());
        QCOMPARE(job.result().files, 0);
    }

    // Every hit arrives, in order and before finished(), however the batches fall; a job
    // deleted while it runs stops and waits for its work first.
    void searchHandsOverEveryHit() {
        TestDir dir;
        const QString file = dir.path("a.vlr");
        testcat::create(file);
        {
            Database db;
            db.open(file);
            const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "d");
            db.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 "
                                   "from n where i < 100000) insert into qCDFiles (CdID, "
                                   "FatherId, TreeName, IsDir) select ?, 0, 'hit ' || i, 0 from n"),
                    {disc});
        }
        SearchOptions options;
        options.keyword = QStringLiteral("hit");

        SearchJob job(file, options);
        QList<qint64> numbers;
        bool ended = false;
        bool lateHits = false;
        connect(&job, &SearchJob::hitsFound, this, [&](const QList<SearchHit>& hits) {
            lateHits = lateHits || ended;
            for (const SearchHit& h : hits)
                numbers << h.number;
        });
        connect(&job, &Job::finished, this, [&] { ended = true; });
        job.start();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 30000);
        QVERIFY(job.error().isEmpty());
        QCOMPARE(job.summary().hits, qint64(100000));
        QCOMPARE(numbers.size(), 100000);
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers[i], qint64(i + 1));
        QVERIFY(!lateHits);

        auto running = std::make_unique<SearchJob>(file, options);
        running->start();
        running.reset();
    }
};

QTEST_GUILESS_MAIN(TestJobs)
#include "tst_jobs.moc"
