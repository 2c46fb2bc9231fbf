// A catalog opened read-only, by the write password's 只读 or after a failed backup: every
// editing control of every subsystem stays off and every edit is refused, while browsing,
// searching and opening files still work.
#include "common/actions.h"
#include "common/clirunner.h"
#include "common/recordingopener.h"
#include "flow.h"
#include "gui/browser/filenotes.h"
#include "gui/common/platform.h"
#include "gui/import/verifydialog.h"

#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>

using namespace vorlane;
using namespace flow;

namespace {

bool enabledNamed(MainWindow& w, const char* name) {
    if (auto* a = w.findChild<QAction*>(QLatin1String(name)))
        return a->isEnabled();
    return child<QToolButton>(&w, name)->isEnabled();
}

// Every control that edits the catalog, whatever is selected.
const char* const kEditing[] = {
    "btnAddChild",   "btnAddUp",     "btnAddDown",     "btnInCD",   "btnClassDelete",
    "NewChildClass", "NewBrotherUp", "NewBrotherDown", "InCD",      "RenameNode",
    "MAddChildNode", "MAddUpNode",   "MAddDownNode",   "MInCD",     "MClassDelete",
    "MRenameNode",   "btnExpSave",   "btnCDRomDelete", "mitDelete", "mitAddDir",
    "mitAddFile",    "MAddDir",      "MAddFile",       "MRescan"};

QStringList enabledEditing(MainWindow& w) {
    QStringList out;
    for (const char* name : kEditing) {
        if (enabledNamed(w, name))
            out << QLatin1String(name);
    }
    return out;
}

qint64 rows(Database& db, const QString& table) {
    return db.count(QStringLiteral("select AutoId from ") + table);
}

} // namespace

class TestReadOnly : public QObject {
    Q_OBJECT

private slots:
    void everyEditRefused_data();
    void everyEditRefused();
};

void TestReadOnly::everyEditRefused_data() {
    QTest::addColumn<bool>("byPassword");
    QTest::newRow("write password answered 只读") << true;
    QTest::newRow("backup failed") << false;
}

void TestReadOnly::everyEditRefused() {
    QFETCH(bool, byPassword);
    TestDir dir;
    TestDir disc;
    disc.createFile(QStringLiteral("Docs/x.txt"), 10);
    disc.createFile(QStringLiteral("Docs/Old/y.txt"), 20);
    disc.createFile(QStringLiteral("a.txt"), 1);

    // The catalog is made with the command line, as a script would.
    const QString file = dir.path(QStringLiteral("ro.vlr"));
    QCOMPARE(runCli({"new", file}).code, 0);
    QCOMPARE(runCli({"mkcat", file, QStringLiteral("电影")}).code, 0);
    QCOMPARE(runCli({"mkcat", file, QStringLiteral("动作"), "--parent", "1"}).code, 0);
    const CliResult imported = runCli(
        {"import", file, disc.path(), "--category", "1", "--name", QStringLiteral("光盘一")});
    QVERIFY2(imported.code == 0, qPrintable(imported.err));
    if (byPassword) {
        Database db;
        db.open(file);
        db.exec(QStringLiteral("insert into sys (ReadPwd, WritePwd) values (null, ?)"),
                {QStringLiteral("pw")});
    } else {
        QDir().mkpath(file + QStringLiteral(".bak")); // the backup cannot replace a folder
    }

    RecordingOpener opener;
    WindowFixture f(!byPassword);
    MainWindow& w = f.w();
    if (byPassword) {
        f.prompts.answerDialog([](QDialog* d) {
            child<QPushButton>(d, "btnReadOnly")->click();
            return d->result();
        });
    }
    QVERIFY(f.open(file));
    QCOMPARE(f.prompts.pendingAnswers(), 0);
    // The backup reports after the open; the switch to read-only comes with it.
    QTRY_VERIFY(!w.catalog()->isBackingUp());
    if (!byPassword)
        QCOMPARE(f.prompts.lastMessage().text, QStringLiteral("未能产生备份文件，无可写权限。"));
    QCOMPARE(w.session().accessMode(), AccessMode::ReadOnly);
    w.show();
    Database& db = w.session().db();
    const qint64 entriesBefore = rows(db, QStringLiteral("qCDFiles"));

    // Category selected: no editing command.
    QTreeWidgetItem* action = findNode(f.tree(), QStringLiteral("动作"));
    f.tree()->setCurrentItem(action);
    QCOMPARE(enabledEditing(w), QStringList());
    f.tree()->editItem(action, 0);
    QVERIFY(!f.w().categoryTree()->isEditing());

    // Disc selected: its contents are browsed as usual.
    QTreeWidgetItem* discNode = findNode(f.tree(), QStringLiteral("光盘一"));
    f.tree()->setCurrentItem(discNode);
    QCOMPARE(listNames(w), (QStringList{"Docs", "a.txt"}));
    QCOMPARE(enabledEditing(w), QStringList());

    // A drop is refused and the tree stays as it is.
    const QStringList treeBefore = dumpTree(f.tree());
    const QRect target = f.tree()->visualItemRect(action);
    w.categoryTree()->tvMainDragDrop(target.center());
    QCOMPARE(dumpTree(f.tree()), treeBefore);
    QVERIFY(!w.session().isModified());

    // The disc note can be typed but not saved.
    w.txtCDExp()->setPlainText(QStringLiteral("新备注"));
    QVERIFY(!enabledNamed(w, "btnExpSave"));
    w.notes()->btnExpSaveClick();

    // The list: selecting allows opening and the notes editor, nothing that edits.
    w.lvMain()->selectRow(listRow(w, QStringLiteral("a.txt")));
    QCOMPARE(enabledEditing(w), QStringList());
    QVERIFY(enabledNamed(w, "mitOpen"));
    QVERIFY(enabledNamed(w, "mitFileExp"));
    TRIGGER(testui::action(&w, "mitOpen"));
    QCOMPARE(opener.paths, QStringList{disc.path(QStringLiteral("a.txt"))});
    w.contents()->mitDeleteClick();
    w.contents()->mitAddDirClick();
    w.contents()->mitAddFileClick();
    QCOMPARE(listNames(w), (QStringList{"Docs", "a.txt"}));

    TRIGGER(testui::action(&w, "mitFileExp"));
    FileNotesEditor* editor = w.contents()->fileNotes();
    QVERIFY(editor);
    child<QPlainTextEdit>(editor, "txtExp")->setPlainText(QStringLiteral("文件备注"));
    QVERIFY(!child<QPushButton>(editor, "btnSave")->isEnabled());
    editor->btnExitClick();

    // The content tree: a folder is browsed; Delete does nothing.
    QTreeWidgetItem* docs = contentNode(w, QStringLiteral("Docs"));
    w.tvCDRom()->setCurrentItem(docs);
    QCOMPARE(listNames(w), (QStringList{"Old", "x.txt"}));
    QVERIFY(!enabledNamed(w, "btnCDRomDelete"));
    QTest::keyClick(w.tvCDRom(), Qt::Key_Delete);
    w.contents()->btnCDRomDeleteClick();
    QVERIFY(contentNode(w, QStringLiteral("Docs")));

    // A file that cannot be opened: the disc is not re-pointed.
    f.prompts.clear();
    f.prompts.answer(QMessageBox::Yes);
    f.prompts.answerFolder(dir.path());
    QFile::remove(disc.path(QStringLiteral("Docs/x.txt")));
    w.lvMain()->selectRow(listRow(w, QStringLiteral("x.txt")));
    TRIGGER(testui::action(&w, "mitOpen"));
    QCOMPARE(f.prompts.messages().size(), 1);
    QVERIFY(f.prompts.lastMessage().text.contains(QStringLiteral("不能修改光盘位置")));
    QCOMPARE(w.notes()->sourcePath(), disc.path());

    // Reading the disc back only reads: it names the file that went, and says how it
    // compared the rest.
    QStringList report;
    QString summary;
    f.prompts.answerDialog([](QDialog* d) { return d->exec(); }); // the progress window
    f.prompts.answerDialog([&](QDialog* d) {
        if (qobject_cast<VerifyDialog*>(d)) {
            for (QTreeWidgetItemIterator it(child<QTreeWidget>(d, "tvVerifyReport")); *it; ++it)
                report << (*it)->text(0) + QLatin1Char(' ') + (*it)->text(1);
            summary = child<QLabel>(d, "lbSummary")->text();
        }
        return int(QDialog::Accepted);
    });
    f.tree()->setCurrentItem(discNode);
    TRIGGER(testui::action(&w, "MVerify"));
    QCOMPARE(report, QStringList{QStringLiteral("文件不存在 ") + disc.path("Docs/x.txt")});
    QVERIFY2(summary.contains(QStringLiteral("只按大小和时间校验")), qPrintable(summary));
    QVERIFY2(summary.contains(QStringLiteral("1 个文件不一致或无法读取")), qPrintable(summary));

    // Searching and jumping work.
    SearchWindow* win = w.searchWindow();
    QCOMPARE(search(win, QStringLiteral("y.txt")), QStringList{QStringLiteral("光盘一/y.txt")});
    f.tree()->setCurrentItem(action);
    QVERIFY(jumpTo(win, QStringLiteral("光盘一/y.txt")));
    QCOMPARE(f.tree()->currentItem(), discNode);

    // Nothing reached the file.
    QCOMPARE(rows(db, QStringLiteral("qCDFiles")), entriesBefore);
    if (byPassword) {
        f.prompts.answerDialog([](QDialog* d) {
            child<QPushButton>(d, "btnReadOnly")->click();
            return d->result();
        });
    }
    QCOMPARE(reopenedTree(file), treeBefore);
    Query note(db, QStringLiteral("select CDExp, SourcePath from qCD"));
    QVERIFY(note.next());
    QVERIFY(note.isNull(0) || note.text(0).isEmpty());
    QCOMPARE(note.text(1), disc.path());
    QCOMPARE(db.count(QStringLiteral("select AutoId from qCDFiles where TreeExp is not null")), 0);
}

QTEST_MAIN(TestReadOnly)
#include "tst_readonly.moc"
