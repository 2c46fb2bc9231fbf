// The import dialog made quicker to repeat: a folder typed in and checked on confirmation,
// the last choices and the default exclusions it starts from, the exclusions counted.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "common/testdir.h"
#include "core/import/drives.h"
#include "core/import/scanfixture.h"
#include "core/import/scanjob.h"
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"
#include "gui/app/optionsdialog.h"
#include "gui/browser/nodes.h"
#include "gui/common/commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

using namespace vorlane;

namespace {

class NoDrives : public Drives {
public:
    QList<DriveInfo> list() override { return {}; }
    QString label(const QString&) override { return {}; }
};

template <class T> T* child(QDialog* d, const char* name) {
    T* w = d->findChild<T*>(QLatin1String(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

ScriptedPrompts::DialogScript script(std::function<void(QDialog*)> body) {
    return [body](QDialog* d) {
        body(d);
        return d->result();
    };
}

int runDialog(QDialog* d) {
    return d->exec();
}

} // namespace

class TestImportChoices : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void typedFolderIsCheckedOnConfirm_data();
    void typedFolderIsCheckedOnConfirm();
    void typedFolderImportsAndTheChoicesAreRemembered();

private:
    void openWindow();
    qint64 discRows() {
        return m_w->session().db().count(QStringLiteral("select AutoId from qCD"));
    }

    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<MainWindow> m_w;
    NoDrives m_drives;
};

void TestImportChoices::init() {
    testcat::isolateSettings();
    m_dir = std::make_unique<TestDir>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    setDrives(&m_drives);
    openWindow();
}

void TestImportChoices::openWindow() {
    m_w = std::make_unique<MainWindow>();
    const QString file = m_dir->path(QStringLiteral("cat.vlr"));
    testcat::create(file);
    m_w->session().db().open(file);
    m_w->session().setCurrentFile(file);
    m_w->commands().InCD->setEnabled(true);
    // The disc goes into the selected category.
    const qint64 id = testcat::addCategory(m_w->session().db(), QStringLiteral("c"));
    auto* node = new QTreeWidgetItem(m_w->tvMain(), QStringList{QStringLiteral("c")});
    node->setData(0, nodes::KindRole, nodes::Category);
    nodes::setId(node, id);
    m_w->tvMain()->setCurrentItem(node);
}

void TestImportChoices::cleanup() {
    m_w.reset();
    m_prompts.reset();
    setDrives(nullptr);
    m_dir.reset();
}

void TestImportChoices::typedFolderIsCheckedOnConfirm_data() {
    QTest::addColumn<QString>("typed"); // below the test folder
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "no/such"
                             << "目录不存在：";
    QTest::newRow("a file") << "f.txt"
                            << "不是目录：";
}

void TestImportChoices::typedFolderIsCheckedOnConfirm() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    m_dir->createFile(QStringLiteral("f.txt"), 1);
    const QString path = m_dir->path(typed);
    bool stayedOpen = false;
    m_prompts->answerDialog(script([&](QDialog* d) {
        QTest::keyClicks(child<QLineEdit>(d, "txtCDPath"), path);
        QVERIFY(child<QRadioButton>(d, "rdo2")->isChecked());
        // The name follows the typed path.
        QCOMPARE(child<QLineEdit>(d, "txtCDName")->text(), QFileInfo(path).fileName());
        child<QPushButton>(d, "btnOk")->click();
        stayedOpen = d->result() != QDialog::Accepted;
        d->reject();
    }));
    TRIGGER(testui::action(m_w, "InCD"));

    QVERIFY(stayedOpen);
    QCOMPARE(m_prompts->messages().size(), 1);
    const PromptCall refusal = m_prompts->lastMessage();
    QCOMPARE(refusal.text, message + path);
    QCOMPARE(refusal.caption, QStringLiteral("提示"));
    QCOMPARE(refusal.icon, QMessageBox::Critical);
    QCOMPARE(discRows(), 0);
}

void TestImportChoices::typedFolderImportsAndTheChoicesAreRemembered() {
    TestDir tree;
    tree.createFile(QStringLiteral("keep.txt"), 3);
    tree.createFile(QStringLiteral("a.tmp"), 3);
    tree.createFile(QStringLiteral("node_modules/x.js"), 3);
    const QStringList patterns{"*.tmp", "node_modules"};

    // A pasted path with a trailing "/", the options changed from their defaults.
    m_prompts->answer(QMessageBox::Yes);
    m_prompts->answerDialog(script([&](QDialog* d) {
        QVERIFY(child<QRadioButton>(d, "rdo1")->isChecked());
        QVERIFY(child<QLineEdit>(d, "txtExclude")->text().isEmpty());
        // Reading media is slow on a big disc: off until the user asks for it.
        QVERIFY(!child<QCheckBox>(d, "cbMedia")->isChecked());
        QVERIFY(!child<QCheckBox>(d, "cbThumbnails")->isChecked());
        child<QLineEdit>(d, "txtCDPath")->setFocus();
        QApplication::clipboard()->setText(tree.path() + QLatin1Char('/'));
        QTest::keyClick(child<QLineEdit>(d, "txtCDPath"), Qt::Key_V, Qt::ControlModifier);
        child<QCheckBox>(d, "cbChecksums")->setChecked(true);
        child<QCheckBox>(d, "cbArchives")->setChecked(true);
        child<QCheckBox>(d, "cbMedia")->setChecked(true);
        child<QCheckBox>(d, "cbThumbnails")->setChecked(true);
        child<QLineEdit>(d, "txtExclude")->setText(QStringLiteral(" *.tmp ；node_modules;"));
        child<QPushButton>(d, "btnOk")->click();
    }));
    m_prompts->answerDialog(runDialog);
    TRIGGER(testui::action(m_w, "InCD"));
    QCOMPARE(m_prompts->lastMessage().text,
             QStringLiteral("数据导入完毕！\r\n\r\n文件：1，目录：0，排除：2"));
    Query q(m_w->session().db(), QStringLiteral("select AutoId, SourcePath, ScanOptions from qCD"));
    QVERIFY(q.next());
    QCOMPARE(q.text(1), tree.path());
    // The scan was asked for both, and the disc keeps them for its rescans.
    ScanParams stored;
    readScanOptions(q.text(2), stored);
    QVERIFY(stored.media);
    QVERIFY(stored.thumbnails);
    QMap<QString, ::Entry> expected = walkTree(tree.path());
    for (const char* gone : {"/a.tmp", "/node_modules", "/node_modules/x.js"})
        QVERIFY(expected.remove(gone) == 1);
    QCOMPARE(rowsAsTree(readRows(m_w->session().db(), q.integer(0))), expected);

    // The next import starts where this one ended, also after a restart.
    m_w.reset();
    openWindow();
    const auto startsFrom = [&](const QString& exclude) {
        m_prompts->answerDialog(script([&](QDialog* d) {
            QVERIFY(child<QRadioButton>(d, "rdo2")->isChecked());
            QCOMPARE(child<QLineEdit>(d, "txtCDPath")->text(), tree.path());
            QCOMPARE(child<QLineEdit>(d, "txtCDName")->text(), QFileInfo(tree.path()).fileName());
            QVERIFY(child<QCheckBox>(d, "cbChecksums")->isChecked());
            QVERIFY(child<QCheckBox>(d, "cbArchives")->isChecked());
            QVERIFY(child<QCheckBox>(d, "cbMedia")->isChecked());
            QVERIFY(child<QCheckBox>(d, "cbThumbnails")->isChecked());
            QCOMPARE(child<QLineEdit>(d, "txtExclude")->text(), exclude);
            d->reject();
        }));
        TRIGGER(testui::action(m_w, "InCD"));
    };
    startsFrom(QStringLiteral("*.tmp; node_modules"));

    // A new default list in the options is where the next import starts.
    WindowOptions options;
    OptionsDialog dialog(m_w.get(), options, true);
    auto* exclude = dialog.findChild<QLineEdit*>(QStringLiteral("txtExclude"));
    QVERIFY(exclude);
    QVERIFY(exclude->text().isEmpty());
    exclude->setText(QStringLiteral("Thumbs.db; $RECYCLE.BIN"));
    dialog.btnOkClick();
    QCOMPARE(Settings().defaultExclusions(), (QStringList{"Thumbs.db", "$RECYCLE.BIN"}));
    startsFrom(QStringLiteral("Thumbs.db; $RECYCLE.BIN"));
}

QTEST_MAIN(TestImportChoices)
#include "tst_importchoices.moc"
