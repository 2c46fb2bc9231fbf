// Compaction and backup while other connections and processes use the same catalog, two
// compactions at once, and a compaction killed midway.
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/store/compaction.h"
#include "core/store/database.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace vorlane;

class TestCompaction : public QObject {
    Q_OBJECT

private slots:
    void writesDuringCompactionAreKept();
    void sameNameCatalogsCompactedAtOnce();
    void killedCompactionLeavesNothingBehind();
};

namespace {

QString integrity(const QString& file) {
    Database db;
    db.open(file);
    return db.scalar(QStringLiteral("pragma integrity_check")).toString();
}

// A catalog with `entries` entries on one disc, every other one deleted again, so that
// compaction has work to do.
void fill(const QString& file, const QString& category, int entries) {
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 c = testcat::addCategory(db, category);
    const qint64 d = testcat::addDisc(db, c, category + QStringLiteral("的光盘"));
    Transaction t(db);
    for (int i = 0; i < entries; ++i)
        testcat::addEntry(db, d, 0, QStringLiteral("文件%1").arg(i), false, i,
                          QStringLiteral("/很长的路径/%1/").arg(category).repeated(4) +
                              QString::number(i));
    t.commit();
    db.exec(QStringLiteral("delete from qCDFiles where AutoId % 2 = 0"));
}

} // namespace

void TestCompaction::writesDuringCompactionAreKept() {
    TestDir dir;
    const QString file = dir.path("discs.vlr");
    fill(file, QStringLiteral("旧"), 20000);

    // A second connection commits categories with a batch of entries each, throughout.
    // What it was told is stored must be there at the end; a refusal (busy) is allowed.
    std::atomic<bool> stop{false};
    std::atomic<int> storedCount{0};
    QList<QPair<qint64, QString>> stored;
    QStringList refusals;
    std::thread writer([&] {
        Database db;
        db.open(file);
        for (int i = 0; !stop; ++i) {
            const QString name = QStringLiteral("写入%1").arg(i);
            try {
                Transaction t(db);
                const qint64 id = testcat::addCategory(db, name);
                const qint64 disc = testcat::addDisc(db, id, name);
                for (int k = 0; k < 200; ++k)
                    testcat::addEntry(db, disc, 0, name + QString::number(k), false, k,
                                      QString(80, QLatin1Char('p')));
                t.commit();
                stored << qMakePair(id, name);
                ++storedCount;
            } catch (const DbError& e) {
                refusals << e.text();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto joinWriter = qScopeGuard([&] {
        stop = true;
        writer.join();
    });

    // Several compactions, and at least some dozens of writes among them.
    QStringList failures;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int round = 0; (round < 8 || storedCount < 40) && elapsed.elapsed() < 60'000; ++round) {
        QString error;
        if (compactCatalog(file, {}, &error) != CompactResult::Done)
            failures << error;
        // Each backup is a consistent snapshot although commits went on while it was made.
        const QString check = integrity(backupPath(file));
        if (check != QLatin1String("ok"))
            failures << QStringLiteral("backup %1: %2").arg(round).arg(check);
    }
    joinWriter.dismiss();
    stop = true;
    writer.join();

    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    for (const QString& r : refusals)
        QVERIFY2(r.contains(QLatin1String("locked")), qPrintable(r));
    QVERIFY2(stored.size() >= 40, qPrintable(QStringLiteral("the writer stored %1, %2 refused")
                                                 .arg(stored.size())
                                                 .arg(refusals.size())));
    QCOMPARE(integrity(file), QStringLiteral("ok"));
    Database db;
    db.open(file);
    QSet<qint64> ids;
    for (const auto& [id, name] : std::as_const(stored)) {
        QVERIFY2(!ids.contains(id), "an id was handed out twice");
        ids << id;
        QCOMPARE(db.scalar(QStringLiteral("select TreeName from qClass where AutoId=?"), {id})
                     .toString(),
                 name);
        QCOMPARE(db.count(QStringLiteral("select f.AutoId from qCDFiles f join qCD d on "
                                         "f.CdID=d.AutoId where d.ClassId=?"),
                          {id}),
                 200);
    }
    QCOMPARE(db.count(QStringLiteral("select * from qClass where TreeName like '写入%'")),
             stored.size());
}

void TestCompaction::sameNameCatalogsCompactedAtOnce() {
    TestDir dir;
    const QStringList files{dir.createDir("one") + "/discs.vlr",
                            dir.createDir("two") + "/discs.vlr"};
    fill(files[0], QStringLiteral("一号"), 6000);
    fill(files[1], QStringLiteral("二号"), 9000);
    QStringList errors[2];
    std::thread workers[2];
    for (int w = 0; w < 2; ++w)
        workers[w] = std::thread([&, w] {
            for (int round = 0; round < 6; ++round) {
                QString error;
                if (compactCatalog(files[w], {}, &error) != CompactResult::Done)
                    errors[w] << error;
            }
        });
    for (std::thread& t : workers)
        t.join();
    const QStringList names{QStringLiteral("一号"), QStringLiteral("二号")};
    const int kept[2]{3000, 4500};
    for (int w = 0; w < 2; ++w) {
        QVERIFY2(errors[w].isEmpty(), qPrintable(errors[w].join(QLatin1Char('\n'))));
        QCOMPARE(integrity(files[w]), QStringLiteral("ok"));
        QCOMPARE(integrity(backupPath(files[w])), QStringLiteral("ok"));
        Database db;
        db.open(files[w]);
        QCOMPARE(db.scalar(QStringLiteral("select TreeName from qClass")).toString(), names[w]);
        QCOMPARE(db.count(QStringLiteral("select * from qCDFiles")), kept[w]);
    }
}

void TestCompaction::killedCompactionLeavesNothingBehind() {
    TestDir dir;
    const QString file = dir.path("discs.vlr");
    const QString tmp = dir.createDir("tmp");
    fill(file, QStringLiteral("大"), 150000);
    qint64 rows = 0;
    {
        Database db;
        db.open(file);
        rows = db.count(QStringLiteral("select * from qCDFiles"));
    }
    const QString cli = qEnvironmentVariable("VORLANE_BIN") + QStringLiteral("/vorlane-cli");
    QVERIFY2(QFileInfo(cli).isExecutable(), qPrintable(cli));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp);

    auto compact = [&](int killAfterMs) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(cli, {QStringLiteral("compact"), file});
        if (!p.waitForStarted())
            return qint64(-1);
        const qint64 pid = p.processId();
        if (killAfterMs >= 0) {
            QThread::msleep(killAfterMs);
            p.kill();
        }
        p.waitForFinished(60'000);
        return killAfterMs >= 0 || p.exitCode() != 0 ? pid : 0;
    };

    // How long one whole compaction takes, then kills spread over that time.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(compact(-1), 0);
    const qint64 whole = timer.elapsed();
    for (int tenth : {1, 2, 3, 5, 7, 9}) {
        const qint64 pid = compact(int(whole * tenth / 10));
        QVERIFY(pid > 0);
        // Only the engine's journal, which the next connection rolls back, and files named
        // as the killed process's own may remain.
        const QRegularExpression own(QStringLiteral("^\\.discs\\.vlr(\\.bak)?\\.vorlane-%1-"
                                                    "[A-Za-z0-9]{6}(-journal)?$")
                                         .arg(pid));
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
            if (name != "discs.vlr" && name != "discs.vlr.bak" && name != "discs.vlr-journal")
                QVERIFY2(own.match(name).hasMatch(), qPrintable(name));
        }
        QCOMPARE(QDir(tmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
        QCOMPARE(integrity(file), QStringLiteral("ok"));
        Database db;
        db.open(file);
        QCOMPARE(db.count(QStringLiteral("select * from qCDFiles")), rows);
    }
    // The next compaction clears what the killed ones left.
    QCOMPARE(compact(-1), 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("discs.vlr"), QStringLiteral("discs.vlr.bak")}));
    QCOMPARE(integrity(file), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(TestCompaction)
#include "tst_compaction.moc"
