// 文件 ▸ 合并… and 文件 ▸ 导出… driven through the window: the source's password asked with
// the program's own dialog, a duplicate disc asked about, the tree showing what arrived,
// and the selected disc written out; the end of a merge leaves nothing of its progress.
#include "common/actions.h"
#include "common/catalogs.h"
#include "core/store/passwords.h"
#include "gui/common/progresswindow.h"
#include "gui/interchange/interchangehandler.h"
#include "gui/store/windowfixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorlane;

class TestInterchangeWindow : public QObject {
    Q_OBJECT

private slots:
    void mergeThenExportTheNewDisc();
    void mergeEndsBeforeItsResultIsShown();
    void mergeAnotherProgramsListing();
};

// A checksum listing is offered by the dialog's first filter, becomes a disc, and the
// summary says what it carried and what it could not.
void TestInterchangeWindow::mergeAnotherProgramsListing() {
    QTemporaryDir dir;
    const QString catalog = dir.filePath(QStringLiteral("mine.vlr"));
    testcat::create(catalog);
    const QString source = dir.filePath(QStringLiteral("盘.sha1"));
    QFile out(source);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("a9993e364706816aba3e25717850c26c9cd0d89d  /srv/盘/文件 \"一\".txt\n");
    out.close();
    WindowFixture f;
    QVERIFY(f.open(catalog));
    f.prompts.clear();
    auto* handler = f.w().findChild<InterchangeHandler*>(QStringLiteral("InterchangeHandler"));
    QVERIFY(handler);
    f.prompts.answerFile(source);
    QSignalSpy merged(handler, &InterchangeHandler::mergeFinished);
    TRIGGER(testui::action(&f.w(), "MMerge"));
    QVERIFY(merged.wait(10000));
    QVERIFY(f.prompts.calls.first().extra.section(QStringLiteral(";;"), 0, 0).contains("*.sha1"));
    const QList<PromptCall> messages = f.prompts.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text,
             QStringLiteral("合并完成：新增 1 个分类、1 张光盘、1 个条目。\r\n"
                            "按 sha1sum 格式读取：0 个文件夹、1 个文件、1 个校验值。\r\n"
                            "未能带入：\r\n1 × file sizes the listing does not give (stored as 0) "
                            "(e.g. 文件 \"一\".txt)"));
}

// The progress window is gone before the result is told, the status bar counts what the
// tree holds now, and its bar is empty again.
void TestInterchangeWindow::mergeEndsBeforeItsResultIsShown() {
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
        const qint64 disc = testcat::addDisc(db, c, QStringLiteral("新光盘"), 1);
        for (int i = 0; i < 50; ++i)
            testcat::addEntry(db, disc, 0, QStringLiteral("f%1").arg(i), false, i);
    }
    WindowFixture f;
    QVERIFY(f.open(catalog));
    const int discs = f.w().session().discCount();
    const int categories = f.w().session().categoryCount();
    QCOMPARE(f.w().countText(), QStringLiteral("分类：%1，光盘：%2").arg(categories).arg(discs));
    f.prompts.clear();
    auto* handler = f.w().findChild<InterchangeHandler*>(QStringLiteral("InterchangeHandler"));
    QVERIFY(handler);

    f.prompts.answerFile(source);
    QSignalSpy merged(handler, &InterchangeHandler::mergeFinished);
    TRIGGER(testui::action(&f.w(), "MMerge"));
    auto* window = f.w().findChild<ProgressWindow*>();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("正在合并…"));
    QVERIFY(merged.wait(10000));

    const QList<PromptCall> messages = f.prompts.messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("合并完成：新增 1 个分类、1 张光盘、50 个条目。"));
    QCOMPARE(messages[0].shownDialogs, QStringList());
    QTRY_VERIFY(f.w().findChildren<ProgressWindow*>().isEmpty());
    QCOMPARE(f.w().countText(),
             QStringLiteral("分类：%1，光盘：%2").arg(categories + 1).arg(discs + 1));
    QCOMPARE(f.w().progressBar()->value(), 0);
}

void TestInterchangeWindow::mergeThenExportTheNewDisc() {
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
        const qint64 fresh = testcat::addDisc(db, c, QStringLiteral("新光盘"), 1);
        testcat::addEntry(db, fresh, 0, QStringLiteral("说明, \"一\".txt"), false, 42, QString(),
                          QStringLiteral("注\n释"));
        const qint64 dup = testcat::addDisc(db, c, QStringLiteral("另一个名字"), 2);
        db.exec(QStringLiteral("update qCD set CDId = 'CLASSIC_01' where AutoId = ?"), {dup});
        writePasswords(db, QStringLiteral("pw"), QString());
    }

    WindowFixture f;
    QVERIFY(f.open(catalog));
    f.prompts.clear();
    auto* handler = f.w().findChild<InterchangeHandler*>(QStringLiteral("InterchangeHandler"));
    QVERIFY(handler);

    f.prompts.answerFile(source);
    f.prompts.answerDialog([](QDialog* d) {
        d->findChild<QLineEdit*>(QStringLiteral("txtPwd"))->setText(QStringLiteral("wrong"));
        d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        d->findChild<QLineEdit*>(QStringLiteral("txtPwd"))->setText(QStringLiteral("pw"));
        d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        return d->result();
    });
    f.prompts.answer(QMessageBox::Ok); // 密码错误！
    f.prompts.answer(QMessageBox::No); // skip the duplicate
    QSignalSpy merged(handler, &InterchangeHandler::mergeFinished);
    testui::action(&f.w(), "MMerge")->trigger();
    QVERIFY(merged.wait(10000));

    const QList<PromptCall> messages = f.prompts.messages();
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages[0].text, QStringLiteral("密码错误！"));
    QCOMPARE(messages[1].text, QStringLiteral("光盘“另一个名字”（卷标：CLASSIC_01）已在当前文件中。"
                                              "\r\n两者都保留吗？选“否”则跳过该光盘。"));
    QCOMPARE(messages[1].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(
        messages[2].text,
        QStringLiteral("合并完成：新增 1 个分类、1 张光盘、1 个条目。\r\n跳过 1 张重复的光盘。"));
    QTreeWidgetItem* disc = findNode(f.tree(), QStringLiteral("新光盘"));
    QVERIFY(disc);
    QCOMPARE(disc->parent()->text(0), QStringLiteral("外来"));
    QVERIFY(!findNode(f.tree(), QStringLiteral("另一个名字")));

    // The new disc, selected, as CSV.
    f.tree()->setCurrentItem(disc);
    const QString out = dir.filePath(QStringLiteral("disc.csv"));
    f.prompts.answerDialog([](QDialog* d) {
        d->findChild<QComboBox*>(QStringLiteral("cbFormat"))->setCurrentIndex(1);
        d->accept();
        return int(QDialog::Accepted);
    });
    f.prompts.answerFile(out);
    QSignalSpy exported(handler, &InterchangeHandler::exportFinished);
    testui::action(&f.w(), "MExport")->trigger();
    QVERIFY(exported.wait(10000));
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(bytes.mid(3)),
             QStringLiteral("disc,category,path,name,size,modified,kind,note\r\n"
                            "新光盘,外来,\"/说明, \"\"一\"\".txt\",\"说明, \"\"一\"\".txt\",42,,"
                            "file,\"注\n释\"\r\n"));
}

QTEST_MAIN(TestInterchangeWindow)
#include "tst_interchangewindow.moc"
