// The duplicate files window driven as a user would: its search runs under the progress
// window, a cancel there leaves an empty list that says so and a window that still works,
// and the groups are listed only once the progress window has closed.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/job.h"
#include "gui/common/progresswindow.h"
#include "gui/dups/duplicatewindow.h"
#include "gui/store/windowfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThreadPool>
#include <QtTest>

using namespace vorlane;
using testui::child;

class TestDuplicateWindow : public QObject {
    Q_OBJECT

private slots:
    void cancelThenFindAgain();
};

namespace {

QList<ProgressWindow*> shownProgress(QWidget* owner) {
    QList<ProgressWindow*> out;
    for (ProgressWindow* p : owner->findChildren<ProgressWindow*>())
        if (p->isVisible())
            out << p;
    return out;
}

// Holds every thread of the job pool until released, so that a job started meanwhile
// waits in the queue: a cancel then comes before its work has begun, whatever the pace.
class PoolHold {
public:
    PoolHold() {
        for (int i = 0; i < jobPool().maxThreadCount(); ++i)
            jobPool().start([this] {
                m_running.release();
                m_release.acquire();
            });
        m_running.acquire(jobPool().maxThreadCount());
    }
    ~PoolHold() { m_release.release(jobPool().maxThreadCount()); }
    PoolHold(const PoolHold&) = delete;
    PoolHold& operator=(const PoolHold&) = delete;

private:
    QSemaphore m_running, m_release;
};

} // namespace

void TestDuplicateWindow::cancelThenFindAgain() {
    TestDir dir;
    const QString catalog = dir.path(QStringLiteral("dups.vlr"));
    testcat::create(catalog);
    {
        Database db;
        db.open(catalog);
        const qint64 cat = testcat::addCategory(db, QStringLiteral("cat"));
        const qint64 a = testcat::addDisc(db, cat, QStringLiteral("A"));
        const qint64 b = testcat::addDisc(db, cat, QStringLiteral("B"));
        testcat::addEntry(db, a, 0, QStringLiteral("movie.mkv"), false, 7000);
        testcat::addEntry(db, b, 0, QStringLiteral("movie.mkv"), false, 7000);
        testcat::addEntry(db, b, 0, QStringLiteral("other.txt"), false, 12);
    }
    WindowFixture f;
    QVERIFY(f.open(catalog));
    auto* dups = f.w().findChild<DuplicateWindow*>();
    QVERIFY(dups);
    QSignalSpy ended(dups, &DuplicateWindow::searchFinished);

    // Opening the window starts a search; 取消 on its progress window ends it.
    {
        PoolHold hold;
        TRIGGER(testui::action(&f.w(), "MDuplicates"));
        QVERIFY(dups->isVisible() && dups->isSearching());
        const QList<ProgressWindow*> shown = shownProgress(dups);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(child<QLabel>(shown[0], "lbTitle")->text(), QStringLiteral("正在查找重复文件…"));
        QVERIFY(dups->findChildren<QPushButton*>(QStringLiteral("btnStop")).isEmpty());
        child<QPushButton>(shown[0], "btnCancel")->click();
    }
    QVERIFY(ended.wait(10000));
    QVERIFY(!dups->isSearching());
    QVERIFY(shownProgress(dups).isEmpty());
    QVERIFY(dups->isVisible());
    QCOMPARE(dups->tree()->topLevelItemCount(), 0);
    QCOMPARE(child<QLabel>(dups, "lblCount")->text(), QStringLiteral("查找已取消"));

    // The window still searches; its result comes after the progress window has closed,
    // which counted the files it looked at.
    QStringList atEnd;
    connect(dups, &DuplicateWindow::searchFinished, this, [&] {
        for (ProgressWindow* p : dups->findChildren<ProgressWindow*>())
            atEnd << (p->isVisible() ? QStringLiteral("shown ") : QStringLiteral("closed ")) +
                         child<QLabel>(p, "lbCounts")->text().section(QStringLiteral("，"), 0, 0);
    });
    QPushButton* find = child<QPushButton>(dups, "btnFind");
    QVERIFY(find->isEnabled());
    find->click();
    QVERIFY(ended.wait(10000));
    QCOMPARE(atEnd, QStringList{QStringLiteral("closed 文件：3")});
    QCOMPARE(dups->tree()->topLevelItemCount(), 1);
    QCOMPARE(dups->tree()->topLevelItem(0)->childCount(), 2);
    QVERIFY2(
        child<QLabel>(dups, "lblCount")->text().startsWith(QStringLiteral("共 1 组，2 个文件")),
        qPrintable(child<QLabel>(dups, "lblCount")->text()));
    QTRY_VERIFY(dups->findChildren<ProgressWindow*>().isEmpty());
}

QTEST_MAIN(TestDuplicateWindow)
#include "tst_duplicatewindow.moc"
