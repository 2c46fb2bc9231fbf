// The import command and dialog driven through the main window: its checks and messages in
// order, drives from a fake drive list, the stored disc, the tree and the status bar.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/recordingopener.h"
#include "common/scriptedprompts.h"
#include "common/testdir.h"
#include "core/import/drives.h"
#include "core/import/scanfixture.h"
#include "core/import/scanjob.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/common/commands.h"
#include "gui/common/platform.h"
#include "gui/import/importdialog.h"
#include "gui/import/importhandler.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

using namespace vorlane;

namespace {

class FakeDrives : public Drives {
public:
    QList<DriveInfo> drives;
    QList<DriveInfo> list() override { return drives; }
    QString label(const QString& root) override {
        for (const DriveInfo& d : drives) {
            if (d.root() == root)
                return d.label;
        }
        return {};
    }
};

const QString kConfirm = QStringLiteral("是否确认导入内容？");

template <class T> T* child(QDialog* d, const char* name) {
    T* w = d->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

int runDialog(QDialog* d) {
    return d->exec();
}

// A dialog script whose body may use QVERIFY/QCOMPARE; the dialog's own result is returned.
ScriptedPrompts::DialogScript script(std::function<void(QDialog*)> body) {
    return [body](QDialog* d) {
        body(d);
        return d->result();
    };
}

} // namespace

class TestImportDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void directoryImportStoresDiscAndShowsIt();
    void refusalsComeInOrder_data();
    void refusalsComeInOrder();
    void driveWithoutDiscIsListedAndRefused();
    void duplicateLabelAsksNamingTheCategory_data();
    void duplicateLabelAsksNamingTheCategory();
    void discNodeSelectedImportsIntoItsCategory();
    void unsavedTreeThatCannotBeSavedStopsTheImport();
    void detectedTypesLimitTheImport();
    void lookOpensTheRoot();
    void failedDiscRowLeavesDialogOpen();
    void unfinishedScanSaysSoWithTheRowsKept_data();
    void unfinishedScanSaysSoWithTheRowsKept();
    void rescanShowsTheChangesAndWritesOnlyWhenApplied();

private:
    QTreeWidgetItem* addCategoryNode(const QString& name);
    QStringList messageTexts() const;
    qint64 discRows();

    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<MainWindow> m_w;
    FakeDrives m_drives;
    std::unique_ptr<RecordingOpener> m_opener;
};

void TestImportDialog::init() {
    testcat::isolateSettings();
    m_dir = std::make_unique<TestDir>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_drives.drives.clear();
    setDrives(&m_drives);
    m_opener.reset();
    m_opener = std::make_unique<RecordingOpener>(RecordingOpener::Always);
    m_w = std::make_unique<MainWindow>();
    const QString file = m_dir->path(QStringLiteral("cat.vlr"));
    testcat::create(file);
    m_w->session().db().open(file);
    m_w->session().setCurrentFile(file);
    m_w->commands().InCD->setEnabled(true);
    m_w->commands().MInCD->setEnabled(true);
}

void TestImportDialog::cleanup() {
    m_w.reset();
    m_prompts.reset();
    setDrives(nullptr);
    setOpener(nullptr);
    m_dir.reset();
}

QTreeWidgetItem* TestImportDialog::addCategoryNode(const QString& name) {
    const qint64 id = testcat::addCategory(m_w->session().db(), name);
    auto* node = new QTreeWidgetItem(m_w->tvMain(), QStringList{name});
    node->setData(0, nodes::KindRole, nodes::Category);
    nodes::setId(node, id);
    return node;
}

QStringList TestImportDialog::messageTexts() const {
    QStringList out;
    for (const PromptCall& c : m_prompts->messages())
        out << c.text;
    return out;
}

qint64 TestImportDialog::discRows() {
    return m_w->session().db().count(QStringLiteral("select AutoId from qCD"));
}

void TestImportDialog::directoryImportStoresDiscAndShowsIt() {
    TestDir tree;
    tree.createFile(QStringLiteral("A/a.txt"), 3);
    tree.createFile(QStringLiteral("b.jpg"), 5);
    QTreeWidgetItem* films = addCategoryNode(QStringLiteral("电影"));
    m_w->tvMain()->setCurrentItem(films);
    m_w->session().setNodeSerial(41);

    m_prompts->answerFolder(tree.path(), QStringLiteral("照片"));
    m_prompts->answer(QMessageBox::Yes);
    bool handlingOffInDialog = true;
    m_prompts->answerDialog(script([&](QDialog* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("内容导入"));
        handlingOffInDialog = !m_w->session().changeHandling();
        QVERIFY(!child<QPushButton>(d, "btnOk")->isEnabled());
        QVERIFY(child<QRadioButton>(d, "rdo1")->isChecked());
        child<QToolButton>(d, "btnSelectPath")->click();
        QCOMPARE(child<QLineEdit>(d, "txtCDPath")->text(), tree.path());
        QCOMPARE(child<QLineEdit>(d, "txtCDName")->text(), QStringLiteral("照片"));
        QVERIFY(child<QRadioButton>(d, "rdo2")->isChecked());
        child<QPushButton>(d, "btnOk")->click();
    }));
    m_prompts->answerDialog(runDialog);
    TRIGGER(testui::action(m_w, "InCD"));

    QVERIFY(handlingOffInDialog);
    QVERIFY(m_w->session().changeHandling());
    QCOMPARE(messageTexts(),
             (QStringList{kConfirm, QStringLiteral("数据导入完毕！\r\n\r\n文件：2，目录：1")}));
    const PromptCall summary = m_prompts->lastMessage();
    QCOMPARE(summary.caption, QStringLiteral("提示"));
    QCOMPARE(summary.icon, QMessageBox::Information);

    Query q(m_w->session().db(),
            QStringLiteral("select AutoId, CDName, ClassId, OrderId, SourcePath, CDId from qCD"));
    QVERIFY(q.next());
    const qint64 disc = q.integer(0);
    QCOMPARE(q.text(1), QStringLiteral("照片"));
    QCOMPARE(q.text(2), nodes::idText(films));
    QCOMPARE(q.integer(3), 42);
    QCOMPARE(q.text(4), tree.path());
    QVERIFY(q.isNull(5));
    QCOMPARE(rowsAsTree(readRows(m_w->session().db(), disc)), walkTree(tree.path()));

    QCOMPARE(films->childCount(), 1);
    QTreeWidgetItem* node = films->child(0);
    QVERIFY(nodes::isDisc(node));
    QCOMPARE(node->text(0), QStringLiteral("照片"));
    QCOMPARE(nodes::id(node), disc);
    QCOMPARE(m_w->tvMain()->currentItem(), node);
    QCOMPARE(m_w->session().nodeSerial(), 42);
    QCOMPARE(m_w->session().discCount(), 1);
    QCOMPARE(m_w->countText(), QStringLiteral("分类：1，光盘：1"));
}

void TestImportDialog::refusalsComeInOrder_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("directoryMode");
    QTest::addColumn<bool>("chooseFolder");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("no name") << QString() << false << false << QStringList{"没有标识！"};
    QTest::newRow("no drive") << "x" << false << false << QStringList{"请选择光盘！"};
    QTest::newRow("no directory") << "x" << true << false << QStringList{"请选择目录！"};
    QTest::newRow("confirm answered no") << QString() << true << true << QStringList{kConfirm};
}

void TestImportDialog::refusalsComeInOrder() {
    QFETCH(QString, name);
    QFETCH(bool, directoryMode);
    QFETCH(bool, chooseFolder);
    QFETCH(QStringList, messages);
    addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(m_w->tvMain()->topLevelItem(0));
    if (chooseFolder)
        m_prompts->answerFolder(m_dir->path(), QStringLiteral("dir"));
    m_prompts->answer(QMessageBox::No);
    bool stillOpen = false;
    m_prompts->answerDialog(script([&](QDialog* d) {
        auto* dlg = static_cast<ImportDialog*>(d);
        if (directoryMode)
            child<QRadioButton>(d, "rdo2")->click();
        if (chooseFolder)
            child<QToolButton>(d, "btnSelectPath")->click();
        if (!name.isNull())
            child<QLineEdit>(d, "txtCDName")->setText(name);
        dlg->btnOkClick();
        stillOpen = !dlg->importDone() && d->result() == QDialog::Rejected;
    }));
    TRIGGER(testui::action(m_w, "MInCD"));
    QVERIFY(stillOpen);
    QCOMPARE(messageTexts(), messages);
    const PromptCall m = m_prompts->lastMessage();
    QCOMPARE(m.caption, QStringLiteral("提示"));
    QCOMPARE(m.icon, messages.first() == kConfirm ? QMessageBox::Question : QMessageBox::Critical);
    QCOMPARE(discRows(), 0);
    QCOMPARE(m_w->tvMain()->topLevelItem(0)->childCount(), 0);
}

void TestImportDialog::driveWithoutDiscIsListedAndRefused() {
    m_drives.drives = {
        DriveInfo{QStringLiteral("/dev/sr0"), {}, {}},
        DriveInfo{QStringLiteral("/dev/sr1"), m_dir->path(), QStringLiteral("DATA")}};
    addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(m_w->tvMain()->topLevelItem(0));
    m_prompts->answerDialog(script([&](QDialog* d) {
        auto* cob = child<QComboBox>(d, "cobCDDriver");
        QCOMPARE(cob->count(), 2);
        QCOMPARE(cob->itemText(0), QStringLiteral(" (/dev/sr0)"));
        QCOMPARE(cob->itemText(1), QStringLiteral("DATA (") + m_dir->path() + ")");
        QCOMPARE(cob->currentIndex(), -1);
        cob->setCurrentIndex(1);
        static_cast<ImportDialog*>(d)->cobCDDriverChange();
        QCOMPARE(child<QLineEdit>(d, "txtCDName")->text(), QStringLiteral("DATA"));
        cob->setCurrentIndex(0);
        static_cast<ImportDialog*>(d)->cobCDDriverChange();
        QCOMPARE(cob->currentIndex(), -1);
        QCOMPARE(child<QLineEdit>(d, "txtCDName")->text(), QString());
        QCOMPARE(static_cast<ImportDialog*>(d)->rootPath(), QStringLiteral("/dev/sr0"));
    }));
    m_w->importer()->btnInCDClick();
    QCOMPARE(messageTexts(), QStringList{"光驱中没发现光盘！"});
    QCOMPARE(m_prompts->lastMessage().caption, QStringLiteral("读取失败"));
    QCOMPARE(m_prompts->lastMessage().icon, QMessageBox::Critical);
}

void TestImportDialog::duplicateLabelAsksNamingTheCategory_data() {
    QTest::addColumn<bool>("again");
    QTest::newRow("no") << false;
    QTest::newRow("yes") << true;
}

void TestImportDialog::duplicateLabelAsksNamingTheCategory() {
    QFETCH(bool, again);
    const QString label = QStringLiteral("It's \"MY\" disc");
    TestDir mount;
    mount.createFile(QStringLiteral("track.mp3"), 9);
    m_drives.drives = {DriveInfo{QStringLiteral("/dev/sr0"), mount.path() + "/", label}};
    const qint64 films = testcat::addCategory(m_w->session().db(), QStringLiteral("电影"));
    Record(m_w->session().db(), QStringLiteral("qCD"))
        .set(QStringLiteral("CDName"), QStringLiteral("first"))
        .set(QStringLiteral("ClassId"), films)
        .set(QStringLiteral("CDId"), label)
        .append();
    QTreeWidgetItem* music = addCategoryNode(QStringLiteral("音乐"));
    m_w->tvMain()->setCurrentItem(music);
    m_prompts->answer(QMessageBox::Yes);
    m_prompts->answer(again ? QMessageBox::Yes : QMessageBox::No);
    m_prompts->answerDialog(script([&](QDialog* d) {
        auto* cob = child<QComboBox>(d, "cobCDDriver");
        cob->setCurrentIndex(0);
        static_cast<ImportDialog*>(d)->cobCDDriverChange();
        // A new name does not change the identity.
        child<QLineEdit>(d, "txtCDName")->setText(QStringLiteral("renamed"));
        child<QPushButton>(d, "btnOk")->click();
    }));
    m_prompts->answerDialog(runDialog);
    TRIGGER(testui::action(m_w, "InCD"));

    const QString question = QStringLiteral("导前光盘已经导入，在分类：电影 下。是否继续导入？");
    const QList<PromptCall> msgs = m_prompts->messages();
    QVERIFY(msgs.size() >= 2);
    QCOMPARE(msgs[1].text, question);
    QCOMPARE(msgs[1].icon, QMessageBox::Critical);
    QCOMPARE(msgs[1].buttons, QMessageBox::Yes | QMessageBox::No);
    if (!again) {
        QCOMPARE(messageTexts(), (QStringList{kConfirm, question}));
        QCOMPARE(discRows(), 1);
        QCOMPARE(music->childCount(), 0);
        return;
    }
    QCOMPARE(messageTexts().size(), 3);
    Query q(m_w->session().db(),
            QStringLiteral("select CDName, CDId, SourcePath, ClassId from qCD where CDName = ?"),
            {QStringLiteral("renamed")});
    QVERIFY(q.next());
    QCOMPARE(q.text(1), label);
    QCOMPARE(q.text(2), mount.path());
    QCOMPARE(q.text(3), nodes::idText(music));
    QCOMPARE(m_w->session().db().count(
                 QStringLiteral("select AutoId from qCDFiles where TreeName = 'track.mp3'")),
             1);
}

void TestImportDialog::discNodeSelectedImportsIntoItsCategory() {
    QTreeWidgetItem* cat = addCategoryNode(QStringLiteral("c"));
    QTreeWidgetItem* other = addCategoryNode(QStringLiteral("other"));
    auto* disc = new QTreeWidgetItem(cat, QStringList{QStringLiteral("old")});
    disc->setData(0, nodes::KindRole, nodes::Disc);
    nodes::setId(disc, 77);
    m_w->tvMain()->setCurrentItem(disc);
    m_prompts->answerFolder(m_dir->path(), QStringLiteral("d"));
    m_prompts->answer(QMessageBox::Yes);
    QString target;
    m_prompts->answerDialog(script([&](QDialog* d) {
        target = static_cast<ImportDialog*>(d)->categoryId();
        child<QToolButton>(d, "btnSelectPath")->click();
        child<QPushButton>(d, "btnOk")->click();
    }));
    m_prompts->answerDialog(runDialog);
    TRIGGER(testui::action(m_w, "InCD"));
    QCOMPARE(target, nodes::idText(cat));
    QCOMPARE(cat->childCount(), 2);
    QCOMPARE(other->childCount(), 0);
    QCOMPARE(m_w->tvMain()->currentItem(), cat->child(1));
}

void TestImportDialog::unsavedTreeThatCannotBeSavedStopsTheImport() {
    addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(m_w->tvMain()->topLevelItem(0));
    m_w->session().setModified(true);
    // A catalog that was never saved: the save in front of the import asks for a name,
    // the user cancels, and no import dialog follows.
    m_w->session().setCurrentFile(QString());
    m_w->importer()->btnInCDClick();
    QVERIFY(m_w->session().saveIncomplete());
    bool asked = false;
    for (const PromptCall& c : m_prompts->calls) {
        QVERIFY(c.kind != PromptCall::Exec);
        asked = asked || c.kind == PromptCall::SaveFile;
    }
    QVERIFY(asked);
    QCOMPARE(discRows(), 0);
}

void TestImportDialog::detectedTypesLimitTheImport() {
    TestDir tree;
    tree.createFile(QStringLiteral("a.TXT"), 1);
    tree.createFile(QStringLiteral("sub/b.txt"), 1);
    tree.createFile(QStringLiteral("sub/c.jpg"), 1);
    tree.createFile(QStringLiteral("README"), 1);
    QTreeWidgetItem* cat = addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(cat);
    m_prompts->answerFolder(tree.path(), QStringLiteral("t"));
    m_prompts->answer(QMessageBox::Yes);
    QStringList afterFirst, afterDelete, afterSecond;
    QString counts;
    m_prompts->answerDialog(script([&](QDialog* d) {
        auto* dlg = static_cast<ImportDialog*>(d);
        child<QToolButton>(d, "btnSelectPath")->click();
        m_prompts->answerDialog(runDialog);
        child<QPushButton>(d, "btnCheckFile")->click();
        afterFirst = dlg->types();
        auto* list = child<QListWidget>(d, "ListBox1");
        list->findItems(QStringLiteral(".jpg"), Qt::MatchExactly).first()->setSelected(true);
        child<QToolButton>(d, "SpeedButton2")->click();
        afterDelete = dlg->types();
        m_prompts->answerDialog(runDialog);
        child<QPushButton>(d, "btnCheckFile")->click();
        afterSecond = dlg->types();
        list->findItems(QStringLiteral(".jpg"), Qt::MatchExactly).first()->setSelected(true);
        child<QToolButton>(d, "SpeedButton2")->click();
        child<QSpinBox>(d, "spSearchDeeper")->setValue(0);
        // Files without an extension are listed by name and kept.
        QCOMPARE(list->findItems(QStringLiteral("（无扩展名）"), Qt::MatchExactly).size(), 1);
        m_prompts->answerDialog([&](QDialog* progress) {
            const int result = progress->exec();
            counts = child<QLabel>(progress, "lbCounts")->text();
            return result;
        });
        child<QPushButton>(d, "btnOk")->click();
    }));
    TRIGGER(testui::action(m_w, "InCD"));
    QCOMPARE(afterFirst.size(), 3);
    QVERIFY(afterFirst.contains(".jpg"));
    QVERIFY(afterFirst.contains(QString()));
    QVERIFY(afterFirst.contains(".txt", Qt::CaseInsensitive));
    QCOMPARE(afterDelete.size(), 2);
    QCOMPARE(afterSecond.size(), 3);
    QCOMPARE(m_prompts->lastMessage().text,
             QStringLiteral("数据导入完毕！\r\n\r\n文件：4，目录：1"));
    // The progress window ends on what the scan met.
    QVERIFY2(counts.startsWith(QStringLiteral("目录：1，文件：4")), qPrintable(counts));
    QStringList names;
    for (const Row& r : readRows(m_w->session().db(), nodes::id(cat->child(0))))
        names << r.name;
    names.sort();
    QCOMPARE(names, (QStringList{"README", "a.TXT", "b.txt", "sub"}));
}

void TestImportDialog::lookOpensTheRoot() {
    addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(m_w->tvMain()->topLevelItem(0));
    m_prompts->answerFolder(m_dir->path(), QStringLiteral("d"));
    m_prompts->answerDialog(script([&](QDialog* d) {
        child<QPushButton>(d, "btnLook")->click(); // no drive chosen yet
        child<QToolButton>(d, "btnSelectPath")->click();
        child<QPushButton>(d, "btnLook")->click();
    }));
    TRIGGER(testui::action(m_w, "InCD"));
    QCOMPARE(messageTexts(), QStringList{"请选择光盘！"});
    QCOMPARE(m_opener->paths, QStringList{m_dir->path()});
    QCOMPARE(discRows(), 0);
}

void TestImportDialog::failedDiscRowLeavesDialogOpen() {
    QTreeWidgetItem* cat = addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(cat);
    m_w->session().db().open(m_w->session().currentFile(), Database::Mode::ReadOnly);
    m_prompts->answerFolder(m_dir->path(), QStringLiteral("d"));
    m_prompts->answer(QMessageBox::Yes);
    bool done = true;
    m_prompts->answerDialog(script([&](QDialog* d) {
        child<QToolButton>(d, "btnSelectPath")->click();
        child<QPushButton>(d, "btnOk")->click();
        done = static_cast<ImportDialog*>(d)->importDone();
    }));
    TRIGGER(testui::action(m_w, "InCD"));
    QVERIFY(!done);
    QCOMPARE(messageTexts(), (QStringList{kConfirm, QStringLiteral("保存数据出错！")}));
    QCOMPARE(m_prompts->lastMessage().icon, QMessageBox::Critical);
    QCOMPARE(cat->childCount(), 0);
    QCOMPARE(m_w->session().discCount(), 0);
    QCOMPARE(m_w->session().nodeSerial(), 0);
}

void TestImportDialog::unfinishedScanSaysSoWithTheRowsKept_data() {
    QTest::addColumn<QString>("stopper"); // a trigger body that makes storing fail, or ""
    QTest::addColumn<QString>("line");    // the summary's last line, %1 = rows kept
    QTest::newRow("cancelled") << QString() << QStringLiteral("导入已取消，已保存 %1 条记录。");
    // The failing row alone is undone: the two before it stay.
    QTest::newRow("failed, row undone")
        << QStringLiteral("raise(fail, 'disk full')")
        << QStringLiteral("导入失败：disk full，已保存 %1 条记录。");
    // The whole open transaction is undone: what was stored in it is not kept.
    QTest::newRow("failed, transaction undone")
        << QStringLiteral("raise(rollback, 'disk full')")
        << QStringLiteral("导入失败：disk full，已保存 %1 条记录。");
}

void TestImportDialog::unfinishedScanSaysSoWithTheRowsKept() {
    QFETCH(QString, stopper);
    QFETCH(QString, line);
    TestDir tree;
    for (int i = 0; i < 6; ++i)
        tree.createFile(QStringLiteral("f%1.txt").arg(i), 1);
    if (!stopper.isEmpty()) {
        m_w->session().db().exec(
            QStringLiteral("create trigger stopper before insert on qCDFiles when "
                           "(select count(*) from qCDFiles) >= 2 begin select ") +
            stopper + QStringLiteral("; end"));
    }
    QTreeWidgetItem* cat = addCategoryNode(QStringLiteral("c"));
    m_w->tvMain()->setCurrentItem(cat);
    m_prompts->answerFolder(tree.path(), QStringLiteral("d"));
    m_prompts->answer(QMessageBox::Yes);
    m_prompts->answerDialog(script([&](QDialog* d) {
        child<QToolButton>(d, "btnSelectPath")->click();
        child<QPushButton>(d, "btnOk")->click();
    }));
    m_prompts->answerDialog([&](QDialog* d) {
        if (stopper.isEmpty())
            child<QPushButton>(d, "btnCancel")->click(); // before the scan has begun
        return d->exec();
    });
    TRIGGER(testui::action(m_w, "InCD"));
    const qint64 kept = m_w->session().db().count(QStringLiteral("select AutoId from qCDFiles"));
    const QString summary = m_prompts->lastMessage().text;
    QVERIFY2(summary.startsWith(QStringLiteral("数据导入完毕！\r\n\r\n文件：")),
             qPrintable(summary));
    QVERIFY2(summary.endsWith(QStringLiteral("\r\n") + line.arg(kept)), qPrintable(summary));
    QVERIFY(kept <= 2);
}

void TestImportDialog::rescanShowsTheChangesAndWritesOnlyWhenApplied() {
    TestDir tree;
    tree.createFile(QStringLiteral("a.txt"), 1);
    tree.createFile(QStringLiteral("gone.txt"), 2);
    Database& db = m_w->session().db();
    QTreeWidgetItem* cat = addCategoryNode(QStringLiteral("c"));
    const qint64 disc = testcat::addDisc(db, nodes::id(cat), QStringLiteral("d"), 0, tree.path());
    ScanParams params;
    params.root = tree.path();
    params.discId = disc;
    QVERIFY(scanDisc(db, params).error.isEmpty());
    const qint64 gone = db.scalar(QStringLiteral("select AutoId from qCDFiles where "
                                                 "TreeName='gone.txt'"))
                            .toLongLong();
    db.exec(QStringLiteral("update qCDFiles set TreeExp='important' where AutoId=?"), {gone});
    auto* node = new QTreeWidgetItem(cat, QStringList{QStringLiteral("d")});
    node->setData(0, nodes::KindRole, nodes::Disc);
    nodes::setId(node, disc);
    m_w->tvMain()->setCurrentItem(cat);
    m_w->categoryTree()->tvMainChange(cat);
    QVERIFY(!testui::action(m_w, "MRescan")->isEnabled());
    m_w->tvMain()->setCurrentItem(node);
    m_w->categoryTree()->tvMainChange(node);
    QVERIFY(testui::action(m_w, "MRescan")->isEnabled());

    QVERIFY(QFile::remove(tree.path(QStringLiteral("gone.txt"))));
    tree.createFile(QStringLiteral("new.txt"), 3);
    const auto rows = [&] { return db.count(QStringLiteral("select AutoId from qCDFiles")); };
    const auto review = [&](bool apply) {
        return script([&, apply](QDialog* d) {
            QCOMPARE(d->objectName(), QStringLiteral("RescanReportFrm"));
            QVERIFY(child<QLabel>(d, "lbCounts")
                        ->text()
                        .endsWith(QStringLiteral("新增：1，删除：1，修改：0，未变：1")));
            QVERIFY(child<QLabel>(d, "lbWarning")->text().contains(QStringLiteral("备注")));
            QCOMPARE(child<QPlainTextEdit>(d, "txtChanges")->toPlainText(),
                     QStringLiteral("- /gone.txt  （备注将一并删除：important）\n+ /new.txt"));
            child<QPushButton>(d, apply ? "btnApply" : "btnCancel")->click();
        });
    };
    const auto start = script([](QDialog* d) { child<QPushButton>(d, "btnStart")->click(); });
    // Cancelled at the review: nothing is written.
    m_prompts->answerDialog(start);
    m_prompts->answerDialog(runDialog);
    m_prompts->answerDialog(review(false));
    TRIGGER(testui::action(m_w, "MRescan"));
    QCOMPARE(rows(), 2);
    QVERIFY(db.scalar(QStringLiteral("select 1 from qCDFiles where AutoId=?"), {gone}).isValid());

    m_prompts->answerDialog(start);
    m_prompts->answerDialog(runDialog);
    m_prompts->answerDialog(review(true));
    m_prompts->answerDialog(runDialog);
    TRIGGER(testui::action(m_w, "MRescan"));
    QCOMPARE(m_prompts->pendingAnswers(), 0);
    QVERIFY(m_prompts->messages().isEmpty());
    QCOMPARE(rowsAsTree(readRows(db, disc)), walkTree(tree.path()));
}

QTEST_MAIN(TestImportDialog)
#include "tst_importdialog.moc"
