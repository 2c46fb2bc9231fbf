// One progress window for the long work, driven through the main window by two kinds of
// job: an import cancelled from it, and a merge whose 取消 comes after the work is done.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/testdir.h"
#include "gui/common/progresswindow.h"
#include "gui/interchange/interchangehandler.h"
#include "gui/store/windowfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <QtTest>

using namespace vorlane;
using testui::child;

class TestProgressWindow : public QObject {
    Q_OBJECT

private slots:
    void oneWindowForAnImportAndAMerge();
};

void TestProgressWindow::oneWindowForAnImportAndAMerge() {
    QTemporaryDir dir;
    const QString catalog = dir.filePath(QStringLiteral("mine.vlr"));
    QVERIFY(QFile::copy(qEnvironmentVariable("VORLANE_BIN") + "/example.vlr", catalog));
    QFile::setPermissions(catalog, QFile::ReadOwner | QFile::WriteOwner);
    const QString source = dir.filePath(QStringLiteral("theirs.vlr"));
    testcat::create(source);
    {
        Database db;
        db.open(source);
        const qint64 c = testcat::addCategory(db, QStringLiteral("外来"));
        testcat::addDisc(db, c, QStringLiteral("新光盘"), 1);
    }
    WindowFixture f;
    QVERIFY(f.open(catalog));
    f.prompts.clear();
    auto* handler = f.w().findChild<InterchangeHandler*>(QStringLiteral("InterchangeHandler"));
    QVERIFY(handler);

    // The merge has done its work before its window has heard of it; a 取消 pressed then
    // neither undoes nor marks it.
    f.prompts.answerFile(source);
    QSignalSpy merged(handler, &InterchangeHandler::mergeFinished);
    TRIGGER(testui::action(&f.w(), "MMerge"));
    Job* job = handler->runningJob();
    QVERIFY(job);
    QDeadlineTimer deadline(10000);
    while (!job->isOver() && !deadline.hasExpired())
        QThread::msleep(5);
    QVERIFY(job->isOver());
    auto* window = f.w().findChild<ProgressWindow*>();
    QVERIFY(window && window->isVisible());
    QCOMPARE(child<QLabel>(window, "lbTitle")->text(), QStringLiteral("正在合并…"));
    child<QPushButton>(window, "btnCancel")->click();
    QVERIFY(!job->isCancelled());
    QVERIFY(merged.wait(10000));
    QCOMPARE(f.prompts.lastMessage().text,
             QStringLiteral("合并完成：新增 1 个分类、1 张光盘、0 个条目。"));
    QVERIFY(findNode(f.tree(), QStringLiteral("新光盘")));

    // An import in the same window, cancelled from it: the window closes when the scan has
    // stopped, and the summary, shown after, says what was kept.
    TestDir tree;
    for (int i = 0; i < 5; ++i)
        tree.createFile(QStringLiteral("f%1.txt").arg(i), 1);
    f.tree()->setCurrentItem(findNode(f.tree(), QStringLiteral("外来")));
    f.prompts.clear();
    f.prompts.answerFolder(tree.path(), QStringLiteral("d"));
    f.prompts.answer(QMessageBox::Yes);
    f.prompts.answerDialog([](QDialog* d) {
        child<QToolButton>(d, "btnSelectPath")->click();
        child<QPushButton>(d, "btnOk")->click();
        return d->result();
    });
    QString title;
    bool closed = false;
    f.prompts.answerDialog([&](QDialog* d) {
        title = child<QLabel>(d, "lbTitle")->text();
        child<QPushButton>(d, "btnCancel")->click(); // before the scan has begun
        const int result = d->exec();
        closed = !d->isVisible();
        return result;
    });
    TRIGGER(testui::action(&f.w(), "InCD"));
    QCOMPARE(title, QStringLiteral("正在导入…"));
    QVERIFY(closed);
    const PromptCall summary = f.prompts.lastMessage();
    QCOMPARE(
        summary.text,
        QStringLiteral("数据导入完毕！\r\n\r\n文件：0，目录：0\r\n导入已取消，已保存 0 条记录。"));
    QVERIFY2(!summary.shownDialogs.contains(QStringLiteral("ProgressWindow")),
             qPrintable(summary.shownDialogs.join(QLatin1Char(' '))));
}

QTEST_MAIN(TestProgressWindow)
#include "tst_progresswindow.moc"
