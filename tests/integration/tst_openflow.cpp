// The program's start with a catalog named on the command line and the backup on: Ctrl+F
// pressed while the window opens the catalog waits for the open, and the open ends whole.
#include "core/search/indexkeeper.h"
#include "core/store/compaction.h"
#include "flow.h"

#include <QApplication>
#include <QSignalSpy>

using namespace vorlane;
using namespace flow;

class TestOpenFlow : public QObject {
    Q_OBJECT

private slots:
    void ctrlFDuringLoadingEndsFullyOpen();
};

void TestOpenFlow::ctrlFDuringLoadingEndsFullyOpen() {
    TestDir dir;
    const QString file = dir.path(QStringLiteral("big.vlr"));
    testcat::create(file);
    {
        Database db;
        db.open(file);
        Transaction t(db);
        const qint64 category = testcat::addCategory(db, QStringLiteral("档案"));
        const qint64 disc = testcat::addDisc(db, category, QStringLiteral("D"));
        for (int i = 0; i < 20000; ++i)
            testcat::addEntry(db, disc, 0, QStringLiteral("f%1").arg(i), false, i);
        t.commit();
    }
    resetSettings(false, true, false);
    ScriptedPrompts prompts;
    QStringList hits;
    bool treeShownAtSearch = false;
    MainWindow w(file);
    prompts.answerDialog([&](QDialog* d) {
        treeShownAtSearch = w.tvMain()->topLevelItemCount() == 1;
        hits = search(qobject_cast<SearchWindow*>(d), QStringLiteral("f19999"));
        return int(QDialog::Rejected);
    });
    // What ends in which order: the search index must be ready before the backup, which
    // waits for it.
    QStringList ended;
    connect(w.searchIndex(), &IndexKeeper::ready, this, [&] { ended << QStringLiteral("index"); });
    connect(w.catalog(), &CatalogHandler::backupFinished, this,
            [&] { ended << QStringLiteral("backup"); });

    // The first show queues the open; the key press queued after it arrives while the
    // window is opening the catalog.
    w.show();
    QApplication::setActiveWindow(&w);
    QMetaObject::invokeMethod(
        &w, [&w] { QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier); }, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(ended.contains(QStringLiteral("backup")), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(ended.contains(QStringLiteral("index")), 60000);

    QCOMPARE(prompts.calls.size(), 1);
    QCOMPARE(prompts.calls.first().text, QStringLiteral("FindFrm"));
    QVERIFY(treeShownAtSearch);
    QCOMPARE(hits, QStringList{"D/f19999"});
    QCOMPARE(w.countText(), QStringLiteral("分类：1，光盘：1"));
    QCOMPARE(dumpTree(w.tvMain()), (QStringList{"档案", "  *D"}));
    QCOMPARE(ended, (QStringList{"index", "backup"}));
    QVERIFY(w.searchIndex()->current());
    QVERIFY(!w.catalog()->isBackingUp());
    QCOMPARE(reopenedTree(backupPath(file)), reopenedTree(file));
    QCOMPARE(w.session().accessMode(), AccessMode::Full);
}

QTEST_MAIN(TestOpenFlow)
#include "tst_openflow.moc"
