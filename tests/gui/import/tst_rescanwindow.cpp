// The rescan driven through the main window: the options it repeats are shown before it
// walks, and what the user changes there is walked with and stored.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "common/testdir.h"
#include "core/import/scanfixture.h"
#include "core/import/scanjob.h"
#include "core/store/catalogstore.h"
#include "gui/app/mainwindow.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"

#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

using namespace vorlane;
using testui::child;

namespace {

QStringList listed(QDialog* d) {
    QStringList out;
    const auto* list = child<QListWidget>(d, "ListBox1");
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// A dialog script whose body may use QVERIFY/QCOMPARE; the dialog's own result is returned.
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

class TestRescanWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void storedTypesAreShownAndAClearedListIsWalkedAndStored();

private:
    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<MainWindow> m_w;
};

void TestRescanWindow::init() {
    testcat::isolateSettings();
    m_dir = std::make_unique<TestDir>();
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_w = std::make_unique<MainWindow>();
    const QString file = m_dir->path(QStringLiteral("cat.vlr"));
    testcat::create(file);
    m_w->session().db().open(file);
    m_w->session().setCurrentFile(file);
}

void TestRescanWindow::cleanup() {
    m_w.reset();
    m_prompts.reset();
    m_dir.reset();
}

// A type list filled once must not hide a new kind of file from every later rescan.
void TestRescanWindow::storedTypesAreShownAndAClearedListIsWalkedAndStored() {
    TestDir tree;
    tree.createFile(QStringLiteral("film.mp4"), 1);
    tree.createFile(QStringLiteral("photo.jpg"), 2);
    Database& db = m_w->session().db();
    const qint64 category = testcat::addCategory(db, QStringLiteral("c"));
    const qint64 disc = testcat::addDisc(db, category, QStringLiteral("d"), 0, tree.path());
    ScanParams params;
    params.root = tree.path();
    params.discId = disc;
    params.types = {QStringLiteral(".mp4"), QStringLiteral(".jpg")};
    params.media = true;
    QVERIFY(scanDisc(db, params).error.isEmpty());
    auto* cat = new QTreeWidgetItem(m_w->tvMain(), QStringList{QStringLiteral("c")});
    cat->setData(0, nodes::KindRole, nodes::Category);
    nodes::setId(cat, category);
    auto* node = new QTreeWidgetItem(cat, QStringList{QStringLiteral("d")});
    node->setData(0, nodes::KindRole, nodes::Disc);
    nodes::setId(node, disc);
    m_w->tvMain()->setCurrentItem(node);
    m_w->categoryTree()->tvMainChange(node);
    tree.createFile(QStringLiteral("new.mkv"), 3);

    QStringList shown;
    m_prompts->answerDialog(script([&](QDialog* d) {
        QCOMPARE(d->objectName(), QStringLiteral("RescanOptionsFrm"));
        shown = listed(d);
        // The media options are shown as stored, and kept.
        QVERIFY(child<QCheckBox>(d, "cbMedia")->isChecked());
        QVERIFY(!child<QCheckBox>(d, "cbThumbnails")->isChecked());
        child<QPushButton>(d, "btnAllTypes")->click();
        QVERIFY(listed(d).isEmpty());
        child<QPushButton>(d, "btnStart")->click();
    }));
    m_prompts->answerDialog(runDialog);
    m_prompts->answerDialog(script([](QDialog* d) {
        QCOMPARE(d->objectName(), QStringLiteral("RescanReportFrm"));
        QCOMPARE(child<QPlainTextEdit>(d, "txtChanges")->toPlainText(),
                 QStringLiteral("+ /new.mkv"));
        child<QPushButton>(d, "btnApply")->click();
    }));
    m_prompts->answerDialog(runDialog);
    TRIGGER(testui::action(m_w, "MRescan"));
    QCOMPARE(shown, QStringList({QStringLiteral(".mp4"), QStringLiteral(".jpg")}));
    QCOMPARE(m_prompts->pendingAnswers(), 0);
    QVERIFY(m_prompts->messages().isEmpty());
    QCOMPARE(rowsAsTree(readRows(db, disc)), walkTree(tree.path()));

    // The next rescan starts from every type; cancelled there, it walks nothing.
    m_prompts->clear();
    QStringList again{QStringLiteral("not shown")};
    m_prompts->answerDialog(script([&](QDialog* d) {
        again = listed(d);
        child<QPushButton>(d, "btnCancel")->click();
    }));
    TRIGGER(testui::action(m_w, "MRescan"));
    QVERIFY2(again.isEmpty(), qPrintable(again.join(QLatin1Char(' '))));
    QCOMPARE(m_prompts->calls.size(), 1);
    const std::optional<DiscFacts> facts = catalogstore::discFacts(db, disc, false);
    QVERIFY(facts);
    ScanParams stored;
    stored.types = {QStringLiteral("unread")};
    readScanOptions(facts->options, stored);
    QVERIFY(stored.types.isEmpty());
    QVERIFY(stored.media);
    QVERIFY(!stored.thumbnails);
}

QTEST_MAIN(TestRescanWindow)
#include "tst_rescanwindow.moc"
