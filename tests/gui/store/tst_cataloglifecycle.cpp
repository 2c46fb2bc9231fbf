// New, open, save, save as, backup and compaction driven through the main window, with
// every message checked through the prompts seam.
#include "common/actions.h"
#include "common/testdir.h"
#include "common/unprivileged.h"
#include "core/settings/paths.h"
#include "core/store/backupjob.h"
#include "core/store/compaction.h"
#include "core/store/filecopy.h"
#include "core/store/schema.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/common/guards.h"
#include "gui/import/importhandler.h"
#include "gui/store/windowfixture.h"

#include <QAction>
#include <QtTest>
#include <optional>
#include <unistd.h>

using namespace vorlane;

namespace {

const QString Hint = QStringLiteral("提示");

void checkMessage(const PromptCall& call, const QString& text, const QString& caption,
                  QMessageBox::Icon icon) {
    QCOMPARE(call.kind, PromptCall::Message);
    QCOMPARE(call.text, text);
    QCOMPARE(call.caption, caption);
    QCOMPARE(call.icon, icon);
}

// A catalog with two categories and three discs, one of them nested.
void makeCatalog(const QString& file) {
    testcat::create(file);
    Database db;
    db.open(file);
    const qint64 films = testcat::addCategory(db, QStringLiteral("电影"), 0, 0);
    const qint64 music = testcat::addCategory(db, QStringLiteral("音乐"), 0, 5);
    const qint64 jazz = testcat::addCategory(db, QStringLiteral("爵士"), music, 6);
    testcat::addDisc(db, films, QStringLiteral("光盘一"), 1);
    testcat::addDisc(db, films, QStringLiteral("光盘二"), 2);
    testcat::addDisc(db, jazz, QStringLiteral("Blue 'Train'"), 7);
}

} // namespace

class TestCatalogLifecycle : public QObject {
    Q_OBJECT

private slots:
    void newCatalogSavedAndReopened();
    void extensionRule_data();
    void extensionRule();
    void firstSaveFailures_data();
    void firstSaveFailures();
    void editsSurviveReopening();
    void treeSaveFailures_data();
    void treeSaveFailures();
    void openFailures();
    void sameFileDoesNothingOtherCaseOpens();
    void catalogMissingAColumnIsRefused_data();
    void catalogMissingAColumnIsRefused();
    void unsavedChangesPrompt_data();
    void unsavedChangesPrompt();
    void closingAsksToSave();
    void nestedWorkKeepsChangeHandlingOff_data();
    void nestedWorkKeepsChangeHandlingOff();
    void backupAfterOpen();
    void failedBackupLeavesCatalogReadOnly();
    void backupOfClosedCatalogIsDropped();
    void unwritableFileOpensReadOnly_data();
    void unwritableFileOpensReadOnly();
    void futureCatalogOpensReadOnlyUnchanged();
    void saveAsWritesCopy();
    void saveAsOfNewCatalogSaves();
    void saveAsFailure();
    void replacingWithExtensionAsks_data();
    void replacingWithExtensionAsks();
    void compaction();
    void compactionFailures();
    void startUp_data();
    void startUp();
    void startUpChoosesTheCatalog_data();
    void startUpChoosesTheCatalog();
    void relativeStartFileIsRecordedAbsolute();
    void exampleOpensFromUserCopy_data();
    void exampleOpensFromUserCopy();
};

void TestCatalogLifecycle::newCatalogSavedAndReopened() {
    TestDir dir;
    WindowFixture f;
    TRIGGER(testui::action(&f.w(), "FileNew"));
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理--新文件"));
    QCOMPARE(dumpTree(f.tree()), QStringList{QStringLiteral("新分类")});
    QVERIFY(f.w().session().isModified());
    QVERIFY(testui::button(&f.w(), "tbSave")->isEnabled());
    QVERIFY(!testui::action(&f.w(), "FilePwd")->isEnabled());

    f.tree()->topLevelItem(0)->setText(0, QStringLiteral("书籍"));
    f.w().categoryTree()->btnAddChildClick();
    f.tree()->currentItem()->setText(0, QStringLiteral("小说"));
    f.prompts.answerFile(dir.path("catalog"));
    TRIGGER(testui::action(&f.w(), "MSave"));

    const QString file = dir.path("catalog.vlr");
    const PromptCall dialog = f.prompts.calls.last();
    QCOMPARE(dialog.kind, PromptCall::SaveFile);
    QCOMPARE(dialog.text, QStringLiteral("NewCDFile"));
    QCOMPARE(dialog.extra, QStringLiteral("Vorlane文件(*.vlr);;所有文件(*)"));
    QVERIFY(f.prompts.messages().isEmpty());
    QVERIFY(!f.w().session().saveIncomplete());
    QCOMPARE(f.w().session().currentFile(), file);
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理--") + file);
    QVERIFY(!f.w().session().isModified());
    QVERIFY(!testui::button(&f.w(), "tbSave")->isEnabled());
    QVERIFY(testui::action(&f.w(), "FilePwd")->isEnabled());
    QCOMPARE(reopenedTree(file), (QStringList{"书籍", "  小说"}));

    // A second save finds the ids the first one gave and appends nothing.
    f.tree()->topLevelItem(0)->setText(0, QStringLiteral("图书"));
    f.w().catalog()->saveCatalog();
    QCOMPARE(reopenedTree(file), (QStringList{"图书", "  小说"}));
    QCOMPARE(f.w().session().db().count(QStringLiteral("select * from qClass")), 2);
}

void TestCatalogLifecycle::extensionRule_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("no extension") << "abc"
                                  << "abc.vlr";
    QTest::newRow("other extension kept") << "abc.txt"
                                          << "abc.txt";
    QTest::newRow("not extended twice") << "abc.vlr"
                                        << "abc.vlr";
    QTest::newRow("blanks around") << "  abc  "
                                   << "abc.vlr";
    QTest::newRow("two-letter extension") << "abc.db"
                                          << "abc.db.vlr";
}

void TestCatalogLifecycle::extensionRule() {
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    TestDir dir;
    WindowFixture f;
    // The blanks belong to the name, not to the folder.
    const QString lead = chosen.left(chosen.size() - chosen.trimmed().size() -
                                     (chosen.size() - chosen.trimmed().size()) / 2);
    f.prompts.answerFile(lead + dir.path(chosen.trimmed()) + chosen.right(lead.size()));
    f.w().catalog()->saveCatalog();
    QVERIFY(!f.w().session().saveIncomplete());
    QCOMPARE(f.w().session().currentFile(), dir.path(saved));
    QVERIFY(QFileInfo(dir.path(saved)).isFile());
}

void TestCatalogLifecycle::firstSaveFailures_data() {
    QTest::addColumn<QString>("templateName");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("cancelled") << ""
                               << ""
                               << ""
                               << "";
    QTest::newRow("template missing") << "missing.s_y"
                                      << "new.vlr"
                                      << "系统文件qCD.s_y丢失，保存文件失败！"
                                      << "系统错误";
    // Below a regular file nobody can create anything, root included.
    QTest::newRow("target not writable") << ""
                                         << "plain/new.vlr"
                                         << "无法建立新文件，无写权限！"
                                         << "提示";
    QTest::newRow("template damaged") << "junk.s_y"
                                      << "new.vlr"
                                      << "文件：\r\n%1\r\n打开出错，文件格式不正确，"
                                         "系统文件qCD.s_y不正确或被损坏！"
                                      << "连接失败";
}

void TestCatalogLifecycle::firstSaveFailures() {
    QFETCH(QString, templateName);
    QFETCH(QString, target);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    TestDir dir;
    dir.writeFile("plain", "a file");
    dir.writeFile("junk.s_y", "not a database");
    WindowFixture f;
    TRIGGER(testui::action(&f.w(), "FileNew"));
    if (!templateName.isEmpty())
        f.w().catalog()->setTemplateFile(dir.path(templateName));
    if (!target.isEmpty())
        f.prompts.answerFile(dir.path(target));
    f.prompts.clear();
    TRIGGER(testui::action(&f.w(), "MSave"));

    QVERIFY(f.w().session().saveIncomplete());
    QVERIFY(f.w().session().isModified());
    QVERIFY(f.w().session().currentFile().isEmpty());
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理--新文件"));
    QVERIFY(!testui::action(&f.w(), "FilePwd")->isEnabled());
    if (text.isEmpty()) {
        QVERIFY(f.prompts.messages().isEmpty());
        return;
    }
    QCOMPARE(f.prompts.messages().size(), 1);
    checkMessage(f.prompts.lastMessage(), text.contains("%1") ? text.arg(dir.path(target)) : text,
                 caption, QMessageBox::Critical);
}

void TestCatalogLifecycle::editsSurviveReopening() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    WindowFixture f;
    QVERIFY(f.open(file));
    const QStringList loaded{"电影", "  *光盘一", "  *光盘二",
                             "音乐", "  爵士",    "    *Blue 'Train'"};
    QCOMPARE(dumpTree(f.tree()), loaded);

    // Rename a disc (quotes included) and a category, add a category with a child.
    findNode(f.tree(), "光盘二")->setText(0, QStringLiteral("it's \"光盘\""));
    findNode(f.tree(), "爵士")->setText(0, QString());
    f.tree()->setCurrentItem(findNode(f.tree(), "电影"));
    f.w().categoryTree()->btnAddDownClick();
    f.tree()->currentItem()->setText(0, QStringLiteral("软件"));
    f.w().categoryTree()->btnAddChildClick();
    f.tree()->currentItem()->setText(0, QString(40, QChar(0x6587))); // 80 GBK bytes
    QVERIFY(f.w().session().isModified());
    TRIGGER(testui::action(&f.w(), "MSave"));
    QVERIFY(!f.w().session().isModified());
    // The empty name became "新分类" in the tree too; the long one stays whole until
    // reloaded.
    QVERIFY(findNode(f.tree(), "新分类"));
    QVERIFY(findNode(f.tree(), QString(40, QChar(0x6587))));

    QCOMPARE(reopenedTree(file), (QStringList{"电影", "  *光盘一", "  *it's \"光盘\"", "软件",
                                              "  " + QString(25, QChar(0x6587)), "音乐", "  新分类",
                                              "    *Blue 'Train'"}));
}

void TestCatalogLifecycle::treeSaveFailures_data() {
    // SQL run on a second connection to the catalog; empty: that connection holds a read
    // lock, so the save can write but not commit.
    QTest::addColumn<QString>("sabotage");
    QTest::addColumn<QString>("message"); // the whole text with caption 提示, else a part of it
    QTest::addColumn<QString>("caption");
    QTest::newRow("a category row cannot be written")
        << "create trigger t before insert on qClass when new.TreeName='坏' begin"
           " select raise(abort, 'no room'); end"
        << "保存数据出错,位置：坏，数据太长或文件不可写，请检查！"
        << "提示";
    QTest::newRow("a disc row cannot be updated")
        << "create trigger t before update on qCD begin select raise(abort, 'disc row locked');"
           " end"
        << "disc row locked"
        << "Vorlane";
    QTest::newRow("the commit fails") << ""
                                      << "locked"
                                      << "Vorlane";
}

// A save that fails says where, keeps the changes unsaved, and leaves the tree so that the
// next save, once the cause is gone, writes every node exactly once.
void TestCatalogLifecycle::treeSaveFailures() {
    QFETCH(QString, sabotage);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    WindowFixture f;
    QVERIFY(f.open(file));
    f.tree()->setCurrentItem(findNode(f.tree(), "音乐"));
    TRIGGER(testui::action(&f.w(), "NewChildClass"));
    f.tree()->currentItem()->setText(0, QStringLiteral("坏"));
    QVERIFY(testui::action(&f.w(), "MSave")->isEnabled());

    {
        Database other;
        other.open(file);
        std::optional<Query> reading;
        if (sabotage.isEmpty()) {
            reading.emplace(other, QStringLiteral("select * from qClass"));
            QVERIFY(reading->next());
        } else {
            other.exec(sabotage);
        }
        f.prompts.clear();
        TRIGGER(testui::action(&f.w(), "MSave"));
        const QList<PromptCall> messages = f.prompts.messages();
        QCOMPARE(messages.size(), 1);
        if (caption == QLatin1String("提示"))
            checkMessage(messages.first(), message, caption, QMessageBox::Critical);
        else
            QVERIFY2(messages.first().text.contains(message), qPrintable(messages.first().text));
        QCOMPARE(messages.first().caption, caption);
        QVERIFY(testui::action(&f.w(), "MSave")->isEnabled()); // still unsaved
        reading.reset();
        if (!sabotage.isEmpty())
            other.exec(QStringLiteral("drop trigger t"));
    }

    f.prompts.clear();
    TRIGGER(testui::action(&f.w(), "MSave"));
    QVERIFY(f.prompts.messages().isEmpty());
    QVERIFY(!testui::action(&f.w(), "MSave")->isEnabled());
    const QStringList saved{"电影",   "  *光盘一",         "  *光盘二", "音乐",
                            "  爵士", "    *Blue 'Train'", "  坏"};
    QCOMPARE(reopenedTree(file), saved);
}

void TestCatalogLifecycle::openFailures() {
    TestDir dir;
    const QString junk = dir.writeFile("junk.vlr", "definitely not a catalog");
    WindowFixture f;
    f.w().catalog()->openCatalogFile(dir.path("missing.vlr"));
    QCOMPARE(f.prompts.messages().size(), 1);
    checkMessage(f.prompts.lastMessage(), "文件不存在！", "系统错误", QMessageBox::Critical);
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理--新文件"));
    QCOMPARE(dumpTree(f.tree()), QStringList{"新分类"});

    f.prompts.clear();
    f.w().catalog()->openCatalogFile(junk);
    checkMessage(f.prompts.lastMessage(),
                 "文件：\r\n" + junk + "\r\n打开出错，文件不存在或文件格式不正确！", "连接失败",
                 QMessageBox::Critical);
    QVERIFY(f.w().session().currentFile().isEmpty());
    QVERIFY(!f.w().session().db().isOpen());
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理"));
    QVERIFY(f.tree()->topLevelItemCount() == 0);
}

void TestCatalogLifecycle::sameFileDoesNothingOtherCaseOpens() {
    TestDir dir;
    const QString file = dir.path("Cat.vlr");
    makeCatalog(file);
    QVERIFY(QFile::link(file, dir.path("link.vlr")));
    QCOMPARE(::link(QFile::encodeName(file).constData(),
                    QFile::encodeName(dir.path("hard.vlr")).constData()),
             0);
    WindowFixture f;
    QVERIFY(f.open(file));
    f.w().session().setModified(true);
    f.prompts.clear();
    // The open file under other names: nothing at all happens, not even the save prompt.
    for (const QString& same :
         {file, dir.path("./Cat.vlr"), dir.path("link.vlr"), dir.path("hard.vlr")})
        f.w().catalog()->openCatalogFile(same);
    QVERIFY(f.prompts.calls.isEmpty());
    QCOMPARE(f.w().session().currentFile(), file);
    QVERIFY(f.w().session().isModified());

    // Another letter case is another file here.
    const QString upper = dir.path("CAT.VLR");
    testcat::create(upper);
    {
        Database db;
        db.open(upper);
        testcat::addCategory(db, QStringLiteral("大写"));
    }
    f.prompts.answer(QMessageBox::No);
    QVERIFY(f.open(upper));
    QCOMPARE(dumpTree(f.tree()), QStringList{"大写"});
}

void TestCatalogLifecycle::catalogMissingAColumnIsRefused_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::newRow("sys without ReadPwd") << "sys"
                                         << "ReadPwd";
    QTest::newRow("qCDFiles without IsDir") << "qCDFiles"
                                            << "IsDir";
    QTest::newRow("qCD without SourcePath") << "qCD"
                                            << "SourcePath";
}

void TestCatalogLifecycle::catalogMissingAColumnIsRefused() {
    QFETCH(QString, table);
    QFETCH(QString, column);
    TestDir dir;
    const QString good = dir.path("good.vlr");
    makeCatalog(good);
    const QString bad = dir.path("bad.vlr");
    makeCatalog(bad);
    {
        Database db;
        db.open(bad);
        // An indexed column cannot be dropped.
        db.exec("drop index qCDFiles_CdID_FatherId_IsDir");
        db.exec("alter table " + table + " drop column " + column);
    }
    const QString junk = dir.writeFile("junk.vlr", "not a catalog");

    // The window a refused open leaves, after a catalog was open.
    auto refusedState = [&](const QString& file) {
        WindowFixture f;
        f.open(good);
        f.prompts.clear();
        f.w().catalog()->openCatalogFile(file);
        QStringList state{f.w().windowTitle(),
                          f.w().session().currentFile(),
                          QString::number(f.w().session().db().isOpen()),
                          QString::number(f.tree()->topLevelItemCount()),
                          QString::number(testui::action(&f.w(), "FilePwd")->isEnabled()),
                          QString::number(f.w().session().isModified())};
        for (const PromptCall& c : f.prompts.calls)
            state << QString(c.text).replace(file, QStringLiteral("<file>")) << c.caption;
        return state;
    };
    const QStringList state = refusedState(bad);
    QCOMPARE(state, refusedState(junk));
    QCOMPARE(state.at(0), QStringLiteral("Vorlane 光盘管理"));
    QCOMPARE(
        state.mid(6),
        (QStringList{"文件：\r\n<file>\r\n打开出错，文件不存在或文件格式不正确！", "连接失败"}));
}

void TestCatalogLifecycle::unsavedChangesPrompt_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("renewed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("yes saves") << int(QMessageBox::Yes) << true << "改过";
    QTest::newRow("no discards") << int(QMessageBox::No) << true << "电影";
    QTest::newRow("cancel keeps all") << int(QMessageBox::Cancel) << false << "电影";
}

void TestCatalogLifecycle::unsavedChangesPrompt() {
    QFETCH(int, answer);
    QFETCH(bool, renewed);
    QFETCH(QString, stored);
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    WindowFixture f;
    QVERIFY(f.open(file));
    findNode(f.tree(), "电影")->setText(0, QStringLiteral("改过"));
    f.w().categoryTree()->tvMainEdited(findNode(f.tree(), "改过"));
    f.prompts.clear();
    f.prompts.answer(QMessageBox::StandardButton(answer));
    TRIGGER(testui::action(&f.w(), "FileNew"));

    const PromptCall ask = f.prompts.messages().value(0);
    checkMessage(ask, "当前文件未保存！保存吗？", Hint, QMessageBox::Question);
    QCOMPARE(ask.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(ask.defaultButton, QMessageBox::Cancel);
    QCOMPARE(f.w().session().currentFile().isEmpty(), renewed);
    QCOMPARE(dumpTree(f.tree()).first(),
             renewed ? QStringLiteral("新分类") : QStringLiteral("改过"));
    QCOMPARE(reopenedTree(file).first(), stored);
}

void TestCatalogLifecycle::closingAsksToSave() {
    WindowFixture f;
    f.w().show();
    // No changes: nothing is asked.
    QVERIFY(f.w().close());
    QVERIFY(f.prompts.calls.isEmpty());

    f.w().show();
    TRIGGER(testui::action(&f.w(), "FileNew"));
    f.prompts.answer(QMessageBox::Yes); // then the save dialog is cancelled
    QVERIFY(!f.w().close());
    QCOMPARE(f.prompts.calls.size(), 2);
    QCOMPARE(f.prompts.calls.last().kind, PromptCall::SaveFile);
    f.prompts.answer(QMessageBox::Cancel);
    QVERIFY(!f.w().close());
    f.prompts.answer(QMessageBox::No);
    QVERIFY(f.w().close());
}

void TestCatalogLifecycle::nestedWorkKeepsChangeHandlingOff_data() {
    QTest::addColumn<bool>("import");
    QTest::newRow("reset") << false;
    QTest::newRow("cancelled import") << true;
}

// Work that switches change handling off for itself gives back what it found: run inside
// a caller's own switch, handling stays off until that caller is done.
void TestCatalogLifecycle::nestedWorkKeepsChangeHandlingOff() {
    QFETCH(bool, import);
    TestDir dir;
    const QString file = dir.path(QStringLiteral("nested.vlr"));
    makeCatalog(file);
    WindowFixture f;
    QVERIFY(f.open(file));
    f.tree()->setCurrentItem(findNode(f.tree(), QStringLiteral("电影")));
    f.prompts.clear();
    {
        HandlingOff off(f.w().session());
        if (import)
            f.w().importer()->btnInCDClick();
        else
            f.w().catalog()->resetToEmpty();
        QVERIFY(!f.w().session().changeHandling());
    }
    QVERIFY(f.w().session().changeHandling());
    if (import) {
        QCOMPARE(f.prompts.calls.size(), 1); // the import dialog, rejected
        QCOMPARE(f.prompts.calls.first().text, QStringLiteral("InputDataFrm"));
    }
}

void TestCatalogLifecycle::backupAfterOpen() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    dir.writeFile("a.vlr.bak", "an old backup");
    // A private catalog gets a private backup, whatever the old backup's permissions.
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    QCOMPARE(::chmod(QFile::encodeName(file + ".bak").constData(), 0644), 0);
    WindowFixture f(true);
    QSignalSpy backedUp(f.w().catalog(), &CatalogHandler::backupFinished);
    QVERIFY(f.open(file));
    QTRY_COMPARE(backedUp.count(), 1);
    QVERIFY(f.prompts.messages().isEmpty());
    QVERIFY(f.w().session().fullAccess());
    QCOMPARE(reopenedTree(file + ".bak"), reopenedTree(file));
    QCOMPARE(QFileInfo(file + ".bak").permissions(), QFileInfo(file).permissions());
    QCOMPARE(QFileInfo(file + ".bak").permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(f.w().statusText(), QStringLiteral("就绪！"));
    QCOMPARE(f.w().countText(), QStringLiteral("分类：3，光盘：3"));
}

void TestCatalogLifecycle::failedBackupLeavesCatalogReadOnly() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    dir.createDir("a.vlr.bak"); // nobody can replace a folder with the backup
    WindowFixture f(true);
    QSignalSpy backedUp(f.w().catalog(), &CatalogHandler::backupFinished);
    QVERIFY(f.open(file));
    // The catalog is usable before the backup has reported: the user selects and renames.
    QCOMPARE(f.w().session().accessMode(), AccessMode::Full);
    f.tree()->setCurrentItem(findNode(f.tree(), "电影"));
    QVERIFY(testui::button(&f.w(), "btnAddChild")->isEnabled());
    QVERIFY(testui::action(&f.w(), "RenameNode")->isEnabled());
    findNode(f.tree(), "音乐")->setText(0, QStringLiteral("歌曲"));
    f.w().session().setModified(true);

    QTRY_COMPARE(backedUp.count(), 1);
    QCOMPARE(f.prompts.messages().size(), 1);
    checkMessage(f.prompts.lastMessage(), "未能产生备份文件，无可写权限。", Hint,
                 QMessageBox::Critical);
    QCOMPARE(f.w().session().accessMode(), AccessMode::ReadOnly);
    // The password item was enabled before the backup and stays so.
    QVERIFY(testui::action(&f.w(), "FilePwd")->isEnabled());
    // The selection made meanwhile loses its editing commands, and a new one has none.
    QVERIFY(!testui::button(&f.w(), "btnAddChild")->isEnabled());
    QVERIFY(!testui::action(&f.w(), "RenameNode")->isEnabled());
    f.tree()->setCurrentItem(findNode(f.tree(), "光盘一"));
    f.tree()->setCurrentItem(findNode(f.tree(), "电影"));
    QVERIFY(!testui::button(&f.w(), "btnAddChild")->isEnabled());
    QVERIFY(!testui::action(&f.w(), "RenameNode")->isEnabled());
    QCOMPARE(f.w().countText(), QStringLiteral("分类：3，光盘：3"));

    // The rename made before is not lost: closing asks, and Yes writes it.
    QVERIFY(f.w().session().isModified());
    f.prompts.answer(QMessageBox::Yes);
    QVERIFY(f.w().catalog()->closing());
    checkMessage(f.prompts.lastMessage(), "当前文件未保存！保存吗？", Hint, QMessageBox::Question);
    QVERIFY(!f.w().session().saveIncomplete());
    QVERIFY(reopenedTree(file).contains(QStringLiteral("歌曲")));
}

// Catalog A is opened and, before its backup has failed, catalog B. The failure concerns
// a file that is no longer open: it is dropped, neither shown nor turned against B.
void TestCatalogLifecycle::backupOfClosedCatalogIsDropped() {
    TestDir dir;
    const QString a = dir.path("a.vlr");
    const QString b = dir.path("b.vlr");
    makeCatalog(a);
    makeCatalog(b);
    dir.createDir("a.vlr.bak"); // A's backup cannot replace a folder
    WindowFixture f(true);
    QSignalSpy backedUp(f.w().catalog(), &CatalogHandler::backupFinished);
    QVERIFY(f.open(a));
    QVERIFY(f.w().catalog()->isBackingUp());
    QVERIFY(f.open(b));
    // Both jobs have reported once neither is left.
    QTRY_VERIFY(f.w().catalog()->findChildren<BackupJob*>().isEmpty());
    QCOMPARE(backedUp.count(), 1);
    QVERIFY(f.prompts.messages().isEmpty());
    QCOMPARE(f.w().session().currentFile(), b);
    QCOMPARE(f.w().session().accessMode(), AccessMode::Full);
    f.tree()->setCurrentItem(findNode(f.tree(), "电影"));
    QVERIFY(testui::button(&f.w(), "btnAddChild")->isEnabled());
    QVERIFY(testui::action(&f.w(), "RenameNode")->isEnabled());
    QCOMPARE(reopenedTree(b + ".bak"), reopenedTree(b));
    QVERIFY(QFileInfo(a + ".bak").isDir());
}

void TestCatalogLifecycle::unwritableFileOpensReadOnly_data() {
    QTest::addColumn<bool>("folderLocked");
    QTest::newRow("file not writable") << false;
    QTest::newRow("folder not writable") << true;
}

void TestCatalogLifecycle::unwritableFileOpensReadOnly() {
    VORLANE_RUN_UNPRIVILEGED();
    QFETCH(bool, folderLocked);
    TestDir dir;
    const QString folder = dir.createDir("ro");
    const QString file = dir.path("ro/a.vlr");
    makeCatalog(file);
    const QString locked = folderLocked ? folder : file;
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        WindowFixture f;
        QVERIFY(f.open(file));
        QVERIFY(f.prompts.messages().isEmpty());
        QCOMPARE(f.w().session().accessMode(), AccessMode::ReadOnly);
        QVERIFY(!testui::action(&f.w(), "FilePwd")->isEnabled());
        f.tree()->setCurrentItem(findNode(f.tree(), "电影"));
        QVERIFY(!testui::button(&f.w(), "btnAddChild")->isEnabled());
        QVERIFY(!testui::action(&f.w(), "RenameNode")->isEnabled());
    }
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestCatalogLifecycle::futureCatalogOpensReadOnlyUnchanged() {
    TestDir dir;
    const QString file = dir.path("future.vlr");
    // Without the volume-label column, which opening adds to every older catalog.
    testcat::createUnversioned(file, false);
    qint64 disc = 0;
    {
        Database db;
        db.open(file);
        const qint64 films = testcat::addCategory(db, QStringLiteral("电影"));
        disc = testcat::addDisc(db, films, QStringLiteral("光盘一"));
        testcat::addEntry(db, disc, 0, QStringLiteral("a.txt"), false, 3);
    }
    testcat::setVersion(file, CatalogVersion + 1);
    auto bytes = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    {
        WindowFixture f(true); // the backup after opening writes only its own file
        QVERIFY(f.open(file));
        QCOMPARE(f.prompts.messages().size(), 1);
        checkMessage(f.prompts.lastMessage(),
                     QStringLiteral("此文件由更新版本的程序建立，将以只读方式打开。"), Hint,
                     QMessageBox::Information);
        QCOMPARE(f.w().session().accessMode(), AccessMode::ReadOnly);
        QVERIFY(f.w().session().db().isReadOnly());
        QCOMPARE(dumpTree(f.tree()), (QStringList{"电影", "  *光盘一"}));
        f.tree()->setCurrentItem(findNode(f.tree(), "电影"));
        QVERIFY(!testui::button(&f.w(), "btnAddChild")->isEnabled());
        QVERIFY(!testui::action(&f.w(), "RenameNode")->isEnabled());
        // Showing the disc reads it; closing does not ask to save anything.
        f.w().contents()->showDisc(disc, QStringLiteral("光盘一"));
        QCOMPARE(f.w().lvMain()->model()->rowCount(), 1);
        QVERIFY(f.w().catalog()->closing());
        QCOMPARE(f.prompts.messages().size(), 1);
        // The backup waits for the search index, then runs beside the window.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file + ".bak").isFile(), 20000);
    }
    QCOMPARE(bytes(), before);
}

void TestCatalogLifecycle::saveAsWritesCopy() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    WindowFixture f;
    QVERIFY(f.open(file));
    findNode(f.tree(), "音乐")->setText(0, QStringLiteral("歌曲"));
    f.w().categoryTree()->tvMainEdited(findNode(f.tree(), "歌曲"));
    f.prompts.answerFile(dir.path("copy"));
    TRIGGER(testui::action(&f.w(), "FileSaveAs"));

    QCOMPARE(f.prompts.calls.last().text, QStringLiteral("vlrFileCopy"));
    QVERIFY(f.prompts.messages().isEmpty());
    QCOMPARE(f.w().session().currentFile(), file); // the copy is not opened
    QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理--") + file);
    QCOMPARE(reopenedTree(dir.path("copy.vlr")), reopenedTree(file));
    QCOMPARE(reopenedTree(file).at(3), QStringLiteral("歌曲"));

    // Save As onto the open file itself leaves it whole.
    f.prompts.answerFile(file);
    TRIGGER(testui::action(&f.w(), "FileSaveAs"));
    QVERIFY(f.prompts.messages().isEmpty());
    f.w().catalog()->saveCatalog();
    QVERIFY(!f.w().session().saveIncomplete());
    QCOMPARE(reopenedTree(file).at(3), QStringLiteral("歌曲"));
}

void TestCatalogLifecycle::saveAsOfNewCatalogSaves() {
    TestDir dir;
    WindowFixture f;
    TRIGGER(testui::action(&f.w(), "FileNew"));
    f.prompts.answerFile(dir.path("first.vlr"));
    TRIGGER(testui::action(&f.w(), "FileSaveAs"));
    QCOMPARE(f.prompts.calls.last().kind, PromptCall::SaveFile);
    QCOMPARE(f.prompts.calls.last().text, QStringLiteral("NewCDFile"));
    QCOMPARE(f.w().session().currentFile(), dir.path("first.vlr"));

    // Unsaved changes whose save is cancelled: no copy is offered.
    f.w().session().setModified(true);
    f.w().catalog()->setTemplateFile(dir.path("none"));
    f.w().session().db().close(); // the save fails
    f.prompts.clear();
    TRIGGER(testui::action(&f.w(), "FileSaveAs"));
    QVERIFY(f.w().session().saveIncomplete());
    for (const PromptCall& c : f.prompts.calls)
        QVERIFY(c.kind != PromptCall::SaveFile);
}

void TestCatalogLifecycle::saveAsFailure() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    dir.writeFile("plain", "x");
    WindowFixture f;
    QVERIFY(f.open(file));
    f.prompts.answerFile(dir.path("plain/copy.vlr"));
    TRIGGER(testui::action(&f.w(), "FileSaveAs"));
    checkMessage(f.prompts.lastMessage(), "保存文件出错！", Hint, QMessageBox::Critical);
}

void TestCatalogLifecycle::replacingWithExtensionAsks_data() {
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<bool>("replace");
    QTest::newRow("new file, kept") << false << false;
    QTest::newRow("new file, replaced") << false << true;
    QTest::newRow("save as, kept") << true << false;
    QTest::newRow("save as, replaced") << true << true;
}

// The dialog asked about the typed name "other"; the file written is "other.vlr".
void TestCatalogLifecycle::replacingWithExtensionAsks() {
    QFETCH(bool, saveAs);
    QFETCH(bool, replace);
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    const QString other = dir.path("other.vlr");
    testcat::create(other);
    {
        Database db;
        db.open(other);
        testcat::addCategory(db, QStringLiteral("别人的"));
    }
    WindowFixture f;
    if (saveAs)
        QVERIFY(f.open(file));
    else
        TRIGGER(testui::action(&f.w(), "FileNew"));
    f.prompts.clear();
    f.prompts.answerFile(dir.path("other"));
    f.prompts.answer(replace ? QMessageBox::Yes : QMessageBox::No);
    TRIGGER(testui::action(&f.w(), saveAs ? "FileSaveAs" : "MSave"));

    QCOMPARE(f.prompts.messages().size(), 1);
    const PromptCall ask = f.prompts.lastMessage();
    checkMessage(ask, "other.vlr already exists.\nDo you want to replace it?",
                 saveAs ? "另存为" : "保存", QMessageBox::Warning);
    QCOMPARE(ask.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(ask.defaultButton, QMessageBox::No);
    const QStringList written = saveAs ? reopenedTree(file) : QStringList{"新分类"};
    QCOMPARE(reopenedTree(other), replace ? written : QStringList{"别人的"});
    QCOMPARE(f.w().session().currentFile(), saveAs ? file : replace ? other : QString());
    QCOMPARE(f.w().session().saveIncomplete(), !saveAs && !replace);
}

void TestCatalogLifecycle::compaction() {
    TestDir dir;
    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    {
        Database db;
        db.open(file);
        Transaction t(db);
        for (int i = 0; i < 3000; ++i)
            testcat::addEntry(db, 1, 0, QStringLiteral("条目%1").arg(i), false, i);
        t.commit();
        db.exec(QStringLiteral("delete from qCDFiles"));
    }
    WindowFixture f;
    QVERIFY(f.open(file));
    const qint64 before = QFileInfo(file).size();

    f.prompts.answer(QMessageBox::No);
    TRIGGER(testui::action(&f.w(), "MCompactFile"));
    checkMessage(f.prompts.lastMessage(), "是否确认要对当前文件进行压缩整理操作？", Hint,
                 QMessageBox::Question);
    QCOMPARE(f.prompts.lastMessage().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!QFileInfo::exists(file + ".bak"));

    // Unsaved tree changes stay in memory and are saved into the compacted file.
    findNode(f.tree(), "爵士")->setText(0, QStringLiteral("蓝调"));
    f.w().session().setModified(true);
    f.prompts.clear();
    f.prompts.answer(QMessageBox::Yes);
    QSignalSpy compacted(f.w().catalog(), &CatalogHandler::compactionFinished);
    TRIGGER(testui::action(&f.w(), "MCompactFile"));
    QVERIFY(compacted.wait(20000));
    QCOMPARE(f.prompts.messages().size(), 2);
    checkMessage(f.prompts.lastMessage(), "文件压缩修复成功！", Hint, QMessageBox::Information);
    QVERIFY(QFileInfo(file).size() < before);
    QVERIFY(QFileInfo::exists(file + ".bak"));
    QVERIFY(f.w().session().db().isOpen());
    QCOMPARE(f.w().statusText(), QStringLiteral("就绪"));
    QVERIFY(f.w().session().isModified());
    f.w().catalog()->saveCatalog();
    QVERIFY(!f.w().session().saveIncomplete());
    QCOMPARE(reopenedTree(file).at(4), QStringLiteral("  蓝调"));
    QCOMPARE(f.w().session().db().count(QStringLiteral("select * from qClass")), 3);
}

void TestCatalogLifecycle::compactionFailures() {
    TestDir dir;
    WindowFixture f;
    // Nothing open: nothing asked.
    TRIGGER(testui::action(&f.w(), "MCompactFile"));
    QVERIFY(f.prompts.calls.isEmpty());

    const QString file = dir.path("a.vlr");
    makeCatalog(file);
    QVERIFY(f.open(file));
    dir.createDir("a.vlr.bak");
    f.prompts.answer(QMessageBox::Yes);
    QSignalSpy compacted(f.w().catalog(), &CatalogHandler::compactionFinished);
    TRIGGER(testui::action(&f.w(), "MCompactFile"));
    QVERIFY(compacted.wait(20000));
    checkMessage(f.prompts.lastMessage(), "未能产生备份文件，无可写权限,不能进行该操作。", Hint,
                 QMessageBox::Critical);
    QVERIFY(f.w().session().db().isOpen());

    // Another program holds the file for writing: the compaction gives up after waiting,
    // and the file stays as it was.
    QDir(dir.path()).rmdir("a.vlr.bak");
    Database other;
    other.open(file);
    other.exec(QStringLiteral("begin immediate"));
    f.prompts.clear();
    f.prompts.answer(QMessageBox::Yes);
    TRIGGER(testui::action(&f.w(), "MCompactFile"));
    QVERIFY(compacted.wait(30000));
    checkMessage(f.prompts.lastMessage(), "压缩修复文件失败，文件已经打开或不可读写！", Hint,
                 QMessageBox::Critical);
    QCOMPARE(f.w().statusText(), QStringLiteral("就绪"));
    other.rollback();
    QVERIFY(f.w().session().db().isOpen());
    QCOMPARE(reopenedTree(file).size(), 6);
}

void TestCatalogLifecycle::startUp_data() {
    QTest::addColumn<bool>("firstRun");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("title");
    QTest::newRow("first run opens the example")
        << true << ""
        << "您应该是第一次使用本系统，为让您很快熟悉操作方法，系统将为您打开示例文件！"
        << "example";
    QTest::newRow("first run with a file") << true << "a.vlr"
                                           << "欢迎使用本系统！"
                                           << "a.vlr";
    QTest::newRow("later run with a file") << false << "a.vlr"
                                           << ""
                                           << "a.vlr";
    QTest::newRow("nothing to open") << false << ""
                                     << ""
                                     << "";
    QTest::newRow("file that cannot be opened") << false << "junk.vlr"
                                                << "打开出错，文件不存在或文件格式不正确！"
                                                << "";
    QTest::newRow("catalog missing a column") << false << "nocol.vlr"
                                              << "打开出错，文件不存在或文件格式不正确！"
                                              << "";
}

void TestCatalogLifecycle::startUp() {
    QFETCH(bool, firstRun);
    QFETCH(QString, argument);
    QFETCH(QString, message);
    QFETCH(QString, title);
    TestDir dir;
    makeCatalog(dir.path("a.vlr"));
    dir.writeFile("junk.vlr", "junk");
    makeCatalog(dir.path("nocol.vlr"));
    {
        Database db;
        db.open(dir.path("nocol.vlr"));
        db.exec(QStringLiteral("alter table sys drop column WritePwd"));
    }
    resetSettings(firstRun, false, true);
    ScriptedPrompts prompts;
    MainWindow w(argument.isEmpty() ? QString() : dir.path(argument));
    w.FormActivate();
    const QList<PromptCall> messages = prompts.messages();
    QCOMPARE(messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(messages.first().text.endsWith(message), qPrintable(messages.first().text));
    if (title.isEmpty()) {
        QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--新文件"));
        QCOMPARE(dumpTree(w.tvMain()), QStringList{"新分类"});
        QVERIFY(w.session().isModified());
    } else {
        QVERIFY2(w.windowTitle().startsWith(QStringLiteral("Vorlane 光盘管理--/")) &&
                     w.windowTitle().contains(title),
                 qPrintable(w.windowTitle()));
        QVERIFY(w.tvMain()->topLevelItemCount() > 0);
        QVERIFY(!w.session().isModified());
    }
}

void TestCatalogLifecycle::startUpChoosesTheCatalog_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("lastOpened");
    QTest::addColumn<bool>("openRecent");
    QTest::addColumn<QString>("opened"); // empty: a new catalog
    QTest::newRow("the argument before the last file") << "a.vlr"
                                                       << "last.vlr" << true << "a.vlr";
    QTest::newRow("the argument with the option off") << "a.vlr"
                                                      << "last.vlr" << false << "a.vlr";
    QTest::newRow("the last file without an argument") << ""
                                                       << "last.vlr" << true << "last.vlr";
    QTest::newRow("the option off: a new catalog") << ""
                                                   << "last.vlr" << false << "";
    QTest::newRow("no last file: a new catalog") << ""
                                                 << "" << true << "";
}

void TestCatalogLifecycle::startUpChoosesTheCatalog() {
    QFETCH(QString, argument);
    QFETCH(QString, lastOpened);
    QFETCH(bool, openRecent);
    QFETCH(QString, opened);
    TestDir dir;
    makeCatalog(dir.path("a.vlr"));
    testcat::create(dir.path("last.vlr"));
    {
        Database db;
        db.open(dir.path("last.vlr"));
        testcat::addCategory(db, QStringLiteral("上次"));
    }
    resetSettings(false, false, openRecent);
    if (!lastOpened.isEmpty())
        Settings().saveOpenHistory(dir.path(lastOpened));
    ScriptedPrompts prompts;
    MainWindow w(argument.isEmpty() ? QString() : dir.path(argument));
    w.FormActivate();
    QVERIFY(prompts.messages().isEmpty());
    if (opened.isEmpty()) {
        QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--新文件"));
        QCOMPARE(dumpTree(w.tvMain()), QStringList{"新分类"});
    } else {
        QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--") + dir.path(opened));
        QCOMPARE(dumpTree(w.tvMain()).first(), opened == QLatin1String("a.vlr")
                                                   ? QStringLiteral("电影")
                                                   : QStringLiteral("上次"));
    }
}

void TestCatalogLifecycle::relativeStartFileIsRecordedAbsolute() {
    TestDir dir;
    TestDir elsewhere;
    makeCatalog(dir.path("rel.vlr"));
    resetSettings(false, false, true);
    const QString started = QDir::currentPath();
    QString opened;
    {
        ScriptedPrompts prompts;
        QVERIFY(QDir::setCurrent(dir.path()));
        MainWindow w(QStringLiteral("rel.vlr"));
        w.FormActivate();
        opened = w.session().currentFile();
        QVERIFY2(QFileInfo(opened).isAbsolute(), qPrintable(opened));
        QVERIFY(isSameFile(opened, dir.path("rel.vlr")));
        QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--") + opened);
        QVERIFY(w.catalog()->closing());
    }
    // The next start, from another folder, finds it again.
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    ScriptedPrompts prompts;
    MainWindow again;
    again.FormActivate();
    QDir::setCurrent(started);
    QVERIFY(prompts.messages().isEmpty());
    QCOMPARE(again.session().currentFile(), opened);
    QVERIFY(again.session().db().isOpen());
    QCOMPARE(dumpTree(again.tvMain()).first(), QStringLiteral("电影"));
}

void TestCatalogLifecycle::exampleOpensFromUserCopy_data() {
    QTest::addColumn<bool>("firstRun");
    QTest::newRow("first run") << true;
    QTest::newRow("help menu item") << false;
}

// The installed example lies in a folder the user cannot write; what the user opens is a
// copy of it in the user's data folder, with full access and no complaint.
void TestCatalogLifecycle::exampleOpensFromUserCopy() {
    VORLANE_RUN_UNPRIVILEGED();
    QFETCH(bool, firstRun);
    TestDir dir;
    const QString installed = dir.createDir("share");
    QVERIFY(QFile::copy(dataFile(QStringLiteral("example.vlr")), dir.path("share/example.vlr")));
    QFile::setPermissions(installed, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString copy = dir.path("data/vorlane/example.vlr");

    auto openExample = [&](bool first, QList<PromptCall>& messages) {
        resetSettings(first, true, false);
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path("data")));
        ScriptedPrompts prompts;
        MainWindow w;
        w.catalog()->setInstalledExample(dir.path("share/example.vlr"));
        w.FormActivate();
        if (!first) {
            w.session().setModified(false);
            prompts.clear();
            TRIGGER(testui::action(&w, "MExample"));
        }
        QTRY_VERIFY(!w.catalog()->isBackingUp());
        messages = prompts.messages();
        QCOMPARE(w.session().currentFile(), copy);
        QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--") + copy);
        QCOMPARE(w.session().accessMode(), AccessMode::Full);
        QVERIFY(testui::action(&w, "FilePwd")->isEnabled());
        QVERIFY(w.tvMain()->topLevelItemCount() > 1);
    };
    QList<PromptCall> messages;
    openExample(firstRun, messages);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(messages.size(), firstRun ? 1 : 0);
    if (firstRun)
        QCOMPARE(messages.first().icon, QMessageBox::Information);
    QVERIFY(QFileInfo::exists(copy + ".bak"));

    // The user's copy is theirs: a later use opens it as it was left.
    {
        Database db;
        db.open(copy);
        testcat::addCategory(db, QStringLiteral("我的"), 0, 99);
    }
    openExample(false, messages);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(messages.isEmpty());
    Database db;
    db.open(copy);
    QCOMPARE(db.count(QStringLiteral("select * from qClass where TreeName='我的'")), 1);
    db.close();
    QFile::setPermissions(installed,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QTEST_MAIN(TestCatalogLifecycle)
#include "tst_cataloglifecycle.moc"
