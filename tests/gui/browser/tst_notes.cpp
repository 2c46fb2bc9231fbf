// Notes on discs and entries: the disc notes panel with its save and import, and the file
// notes editor that follows the list and steps through it.
#include "common/actions.h"
#include "gui/browser/contentsfixture.h"

#include "core/settings/text.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/filenotes.h"
#include "gui/store/cataloghandler.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace vorlane;

class TestNotes : public QObject {
    Q_OBJECT

private slots:
    void discNoteEditSaveAndDrop();
    void discNoteSaveFailureKeepsTheEdit();
    void unsavedDiscNoteIsAsked_data();
    void unsavedDiscNoteIsAsked();
    void readOnlyNeverEnablesSaving();
    void importReplacesTheNote_data();
    void importReplacesTheNote();
    void editorShowsAndFollowsTheList();
    void editorStepsSavingFirst();
    void editorSaveUpdatesTheRightRowAfterResort();
    void typedFileNoteIsAsked_data();
    void typedFileNoteIsAsked();
    void editorCommandsWhileOpen();
    void renamedDiscRenamesTheHeader();

private:
    static FileNotesEditor* openEditor(DiscFixture& f, qint64 id) {
        f.selectRows({id});
        if (!testui::trigger(testui::action(f.w, "mitFileExp"), __FILE__, __LINE__))
            return nullptr;
        return f.w->contents()->fileNotes();
    }
    static QString noteOf(DiscFixture& f, qint64 id) {
        return f.db()
            .scalar(QStringLiteral("select TreeExp from qCDFiles where AutoId=?"), {id})
            .toString();
    }
};

void TestNotes::discNoteEditSaveAndDrop() {
    DiscFixture f;
    f.show();
    QToolButton* save = testui::button(f.w, "btnExpSave");
    QVERIFY(!save->isEnabled()); // loading the memo is not an edit
    f.w->txtCDExp()->setPlainText(QStringLiteral("改过的 'note'; --"));
    QVERIFY(save->isEnabled());
    save->click();
    QVERIFY(!save->isEnabled());
    QCOMPARE(
        f.db().scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {f.disc}).toString(),
        QStringLiteral("改过的 'note'; --"));

    // An edit left unsaved is dropped by showing another disc.
    f.w->txtCDExp()->setPlainText(QStringLiteral("丢掉"));
    f.w->contents()->showDisc(f.disc2, QStringLiteral("光盘二"));
    QVERIFY(f.w->txtCDExp()->toPlainText().isEmpty());
    QVERIFY(!save->isEnabled());
    f.show();
    QCOMPARE(f.w->txtCDExp()->toPlainText(), QStringLiteral("改过的 'note'; --"));
    QVERIFY(f.prompts.calls.isEmpty());
}

void TestNotes::discNoteSaveFailureKeepsTheEdit() {
    DiscFixture f;
    f.db().close();
    f.db().open(f.file, Database::Mode::ReadOnly); // writes fail underneath full access
    f.show();
    f.w->txtCDExp()->setPlainText(QStringLiteral("写不进去"));
    testui::button(f.w, "btnExpSave")->click();
    const PromptCall m = f.prompts.lastMessage();
    QCOMPARE(m.text, QStringLiteral("保存备注失败，数据太长或非法！"));
    QCOMPARE(m.caption, QStringLiteral("提示"));
    QCOMPARE(m.icon, QMessageBox::Critical);
    QVERIFY(testui::button(f.w, "btnExpSave")->isEnabled());
    QCOMPARE(f.w->txtCDExp()->toPlainText(), QStringLiteral("写不进去"));
}

void TestNotes::unsavedDiscNoteIsAsked_data() {
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::newRow("yes stores") << QMessageBox::Yes;
    QTest::newRow("no drops") << QMessageBox::No;
    QTest::newRow("cancel stays") << QMessageBox::Cancel;
}

void TestNotes::unsavedDiscNoteIsAsked() {
    QFETCH(QMessageBox::StandardButton, answer);
    DiscFixture f;
    f.w->categoryTree()->load();
    QTreeWidget* tree = f.w->tvMain();
    QTreeWidgetItem* one = f.w->categoryTree()->findDiscNode(QString::number(f.disc));
    QTreeWidgetItem* two = f.w->categoryTree()->findDiscNode(QString::number(f.disc2));
    tree->setCurrentItem(one);
    QCOMPARE(f.w->notes()->discId(), f.disc);
    auto storedNote = [&f] {
        return f.db()
            .scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {f.disc})
            .toString();
    };

    // Another category keeps the disc and its memo on screen: nothing to ask.
    tree->setCurrentItem(one->parent());
    f.w->txtCDExp()->setPlainText(QStringLiteral("新写的"));
    QVERIFY(f.prompts.calls.isEmpty());

    f.prompts.answer(answer);
    tree->setCurrentItem(two);
    QCOMPARE(f.prompts.messages().size(), 1);
    const PromptCall m = f.prompts.lastMessage();
    QCOMPARE(m.text, QStringLiteral("保存对光盘注释的修改吗？"));
    QCOMPARE(m.icon, QMessageBox::Question);
    QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(storedNote(),
             answer == QMessageBox::Yes ? QStringLiteral("新写的") : QStringLiteral("第一张"));
    if (answer == QMessageBox::Cancel) {
        QCOMPARE(f.w->notes()->discId(), f.disc);
        QCOMPARE(tree->currentItem(), one);
        QTRY_COMPARE(tree->selectedItems(), QList<QTreeWidgetItem*>{one});
        QCOMPARE(f.w->txtCDExp()->toPlainText(), QStringLiteral("新写的"));
        QVERIFY(testui::button(f.w, "btnExpSave")->isEnabled());
        // Closing the catalog asks as well; cancelling keeps it open.
        f.prompts.answer(QMessageBox::Cancel);
        QVERIFY(!f.w->catalog()->closing());
        QCOMPARE(f.prompts.lastMessage().text, QStringLiteral("保存对光盘注释的修改吗？"));
        f.prompts.answer(QMessageBox::Yes);
        QVERIFY(f.w->catalog()->closing());
        QCOMPARE(storedNote(), QStringLiteral("新写的"));
    } else {
        QCOMPARE(f.w->notes()->discId(), f.disc2);
        f.prompts.clear();
        tree->setCurrentItem(one);
        QCOMPARE(f.w->txtCDExp()->toPlainText(), storedNote());
        QVERIFY(f.prompts.calls.isEmpty());
    }
}

void TestNotes::readOnlyNeverEnablesSaving() {
    DiscFixture f;
    f.w->session().setAccessMode(AccessMode::ReadOnly);
    f.show();
    QVERIFY(testui::button(f.w, "btnInExp")->isEnabled());
    f.w->txtCDExp()->setPlainText(QStringLiteral("typed"));
    QVERIFY(!testui::button(f.w, "btnExpSave")->isEnabled());
    QVERIFY(f.w->txtCDExp()->isReadOnly());
    f.w->notes()->btnExpSaveClick();
    QCOMPARE(
        f.db().scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {f.disc}).toString(),
        QStringLiteral("第一张"));

    FileNotesEditor* editor = openEditor(f, f.readme);
    QVERIFY(editor);
    QVERIFY(editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"))->isReadOnly());
    editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"))->setPlainText(QStringLiteral("x"));
    QVERIFY(!editor->findChild<QPushButton*>(QStringLiteral("btnSave"))->isEnabled());
    QVERIFY(!editor->save());
    QCOMPARE(noteOf(f, f.readme), QStringLiteral("说明"));

    // Full access again makes both editable.
    f.w->session().setAccessMode(AccessMode::Full);
    QVERIFY(!f.w->txtCDExp()->isReadOnly());
    QVERIFY(!editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"))->isReadOnly());
}

void TestNotes::importReplacesTheNote_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const QString text = QStringLiteral("第一行\n第二行 ü\n");
    QTest::newRow("UTF-8") << text.toUtf8() << text;
    QTest::newRow("GB18030, CR LF") << toGb18030(QStringLiteral("光盘备注\r\n第二行\r\n"))
                                    << QStringLiteral("光盘备注\n第二行\n");
}

void TestNotes::importReplacesTheNote() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    DiscFixture f;
    const QString path = f.dir.filePath(QStringLiteral("note.txt"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    f.show();
    testui::button(f.w, "btnInExp")->click(); // cancelled: nothing changes
    QCOMPARE(f.w->txtCDExp()->toPlainText(), QStringLiteral("第一张"));
    f.prompts.answerFile(path);
    testui::button(f.w, "btnInExp")->click();
    QCOMPARE(f.w->txtCDExp()->toPlainText(), expected);
    QVERIFY(testui::button(f.w, "btnExpSave")->isEnabled());
    // Stored only once saved.
    QCOMPARE(
        f.db().scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {f.disc}).toString(),
        QStringLiteral("第一张"));
    testui::button(f.w, "btnExpSave")->click();
    QCOMPARE(
        f.db().scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {f.disc}).toString(),
        expected);

    // An unreadable file says so and keeps the memo.
    f.prompts.answerFile(f.dir.filePath(QStringLiteral("missing.txt")));
    testui::button(f.w, "btnInExp")->click();
    QCOMPARE(f.prompts.lastMessage().icon, QMessageBox::Critical);
    QCOMPARE(f.w->txtCDExp()->toPlainText(), expected);
}

void TestNotes::editorShowsAndFollowsTheList() {
    DiscFixture f;
    f.show();
    FileNotesEditor* editor = openEditor(f, f.readme);
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->windowTitle(), QStringLiteral("光盘文件注释"));
    QVERIFY(editor->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!editor->isModal());
    auto* name = editor->findChild<QLabel*>(QStringLiteral("lbFileName"));
    auto* text = editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"));
    auto* pre = editor->findChild<QPushButton*>(QStringLiteral("btnPre"));
    auto* next = editor->findChild<QPushButton*>(QStringLiteral("btnNext"));
    QCOMPARE(name->text(), QStringLiteral("readme"));
    QCOMPARE(name->toolTip(), QString::number(f.readme));
    QCOMPARE(text->toPlainText(), QStringLiteral("说明"));
    QVERIFY(pre->isEnabled());
    QVERIFY(!next->isEnabled()); // the last item
    QCOMPARE(pre->toolTip(), QString::number(f.rowOf(f.readme)));

    f.selectRows({f.docs}); // the first item
    QCOMPARE(name->text(), QStringLiteral("Docs"));
    QVERIFY(!pre->isEnabled());
    QVERIFY(next->isEnabled());

    // A list of one item disables both.
    f.selectFolder(f.music);
    f.selectRows({f.song});
    QCOMPARE(name->text(), QStringLiteral("song.mp3"));
    QVERIFY(!pre->isEnabled());
    QVERIFY(!next->isEnabled());
}

void TestNotes::editorStepsSavingFirst() {
    DiscFixture f;
    f.show();
    FileNotesEditor* editor = openEditor(f, f.bTxt);
    auto* text = editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"));
    auto* save = editor->findChild<QPushButton*>(QStringLiteral("btnSave"));
    QVERIFY(!save->isEnabled());
    text->setPlainText(QStringLiteral("b 的注释"));
    QVERIFY(save->isEnabled());
    editor->findChild<QPushButton*>(QStringLiteral("btnNext"))->click();
    QCOMPARE(noteOf(f, f.bTxt), QStringLiteral("b 的注释"));
    QCOMPARE(f.model()->index(f.rowOf(f.bTxt), EntryModel::Note).data().toString(),
             QStringLiteral("b 的注释"));
    QCOMPARE(editor->entryId(), f.aBin);
    QCOMPARE(f.list()->selectedRows(), QList<int>{f.rowOf(f.aBin)});
    QVERIFY(!save->isEnabled());

    text->setPlainText(QStringLiteral("a"));
    editor->findChild<QPushButton*>(QStringLiteral("btnPre"))->click();
    QCOMPARE(noteOf(f, f.aBin), QStringLiteral("a"));
    QCOMPARE(editor->entryId(), f.bTxt);
    QCOMPARE(text->toPlainText(), QStringLiteral("b 的注释"));

    // The entry's row is gone: nothing written, the button goes off all the same.
    text->setPlainText(QStringLiteral("lost"));
    f.db().exec(QStringLiteral("delete from qCDFiles where AutoId=?"), {f.bTxt});
    save->click();
    QVERIFY(!save->isEnabled());
    QVERIFY(f.db()
                .scalar(QStringLiteral("select count(*) from qCDFiles where TreeExp='lost'"))
                .toInt() == 0);
}

void TestNotes::editorSaveUpdatesTheRightRowAfterResort() {
    DiscFixture f;
    f.show();
    FileNotesEditor* editor = openEditor(f, f.bTxt);
    auto* text = editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"));
    text->setPlainText(QStringLiteral("for b"));
    f.w->contents()->lvMainColumnClick(); // rows move; the selection follows b.txt
    f.w->session().setChangeHandling(false);
    f.list()->selectRow(f.rowOf(f.aBin)); // selected without telling the editor
    f.w->session().setChangeHandling(true);
    editor->findChild<QPushButton*>(QStringLiteral("btnSave"))->click();
    QCOMPARE(noteOf(f, f.bTxt), QStringLiteral("for b"));
    QCOMPARE(f.model()->entry(f.rowOf(f.bTxt)).note, QStringLiteral("for b"));
    QVERIFY(f.model()->entry(f.rowOf(f.aBin)).note.isEmpty());
}

void TestNotes::typedFileNoteIsAsked_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    for (const char* how : {"escape", "exit", "close box", "another file"}) {
        QTest::addRow("%s, yes", how) << QString::fromLatin1(how) << QMessageBox::Yes;
        QTest::addRow("%s, no", how) << QString::fromLatin1(how) << QMessageBox::No;
        QTest::addRow("%s, cancel", how) << QString::fromLatin1(how) << QMessageBox::Cancel;
    }
}

// Every way of leaving a typed file note asks first, and Cancel keeps both the text and
// what is on screen.
void TestNotes::typedFileNoteIsAsked() {
    QFETCH(QString, how);
    QFETCH(QMessageBox::StandardButton, answer);
    DiscFixture f;
    f.show();
    QPointer<FileNotesEditor> editor = openEditor(f, f.bTxt);
    QVERIFY(editor);
    auto* text = editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp"));
    text->setPlainText(QStringLiteral("打好的字"));

    f.prompts.answer(answer);
    if (how == QLatin1String("escape"))
        QTest::keyClick(text, Qt::Key_Escape);
    else if (how == QLatin1String("exit"))
        editor->findChild<QPushButton*>(QStringLiteral("btnExit"))->click();
    else if (how == QLatin1String("close box"))
        editor->close();
    else
        f.selectRows({f.readme});

    QCOMPARE(f.prompts.messages().size(), 1);
    const PromptCall m = f.prompts.lastMessage();
    QCOMPARE(m.text, QStringLiteral("保存对文件注释的修改吗？"));
    QCOMPARE(m.caption, QStringLiteral("提示"));
    QCOMPARE(m.icon, QMessageBox::Question);
    QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(noteOf(f, f.bTxt),
             answer == QMessageBox::Yes ? QStringLiteral("打好的字") : QString());
    if (answer == QMessageBox::Cancel) {
        QVERIFY(editor && editor->isVisible());
        QCOMPARE(editor->entryId(), f.bTxt);
        QCOMPARE(text->toPlainText(), QStringLiteral("打好的字"));
        QVERIFY(editor->findChild<QPushButton*>(QStringLiteral("btnSave"))->isEnabled());
        QCOMPARE(f.w->lvMain()->selectedCount(), 1);
        QVERIFY(f.list()->selectionModel()->isRowSelected(f.rowOf(f.bTxt), {}));
    } else if (how == QLatin1String("another file")) {
        QCOMPARE(editor->entryId(), f.readme);
        QCOMPARE(text->toPlainText(), QStringLiteral("说明"));
    } else {
        QVERIFY(!f.w->contents()->isFileNotesOpen());
    }
}

void TestNotes::editorCommandsWhileOpen() {
    DiscFixture f;
    f.show();
    QPointer<FileNotesEditor> editor = openEditor(f, f.bTxt);
    QVERIFY(!f.enabled("mitFileExp"));
    QVERIFY(!f.enabled("MFileExp"));
    f.w->contents()->mitFileExpClick(); // one at a time
    QCOMPARE(f.w->findChildren<FileNotesEditor*>().size(), 1);

    // A double click closes it before opening the item.
    f.selectRows({f.music});
    emit f.list()->doubleClicked(f.rowOf(f.music));
    QVERIFY(!f.w->contents()->isFileNotesOpen());
    QVERIFY(!editor || !editor->isVisible());
    QCOMPARE(f.listNames(), QStringList{"song.mp3"});

    editor = openEditor(f, f.song);
    QVERIFY(editor);
    editor->findChild<QPushButton*>(QStringLiteral("btnExit"))->click();
    QVERIFY(!f.w->contents()->isFileNotesOpen());
    QVERIFY(f.enabled("mitFileExp"));

    // Escape ends it without a close event; the commands come back all the same.
    editor = openEditor(f, f.song);
    QVERIFY(editor);
    QTest::keyClick(editor->findChild<QPlainTextEdit*>(QStringLiteral("txtExp")), Qt::Key_Escape);
    QVERIFY(!f.w->contents()->isFileNotesOpen());
    QVERIFY(f.enabled("mitFileExp"));
    QVERIFY(f.enabled("MFileExp"));
}

void TestNotes::renamedDiscRenamesTheHeader() {
    DiscFixture f;
    auto* category = new QTreeWidgetItem(QStringList{QStringLiteral("分类")});
    f.w->tvMain()->addTopLevelItem(category);
    QTreeWidgetItem* node =
        f.w->categoryTree()->addDiscNode(category, f.disc, QStringLiteral("光盘一"));
    QTreeWidgetItem* other =
        f.w->categoryTree()->addDiscNode(category, f.disc2, QStringLiteral("光盘二"));
    f.show();
    QCOMPARE(f.w->lbCDName()->text(), QStringLiteral("光盘一"));
    // Renamed in place, as the tree's label editor does: the header follows at once.
    node->setText(0, QStringLiteral("新名字"));
    f.w->categoryTree()->tvMainEdited(node);
    QCOMPARE(f.w->lbCDName()->text(), QStringLiteral("新名字"));
    // Another disc's new name leaves the header alone.
    other->setText(0, QStringLiteral("别的"));
    f.w->categoryTree()->tvMainEdited(other);
    QCOMPARE(f.w->lbCDName()->text(), QStringLiteral("新名字"));
}

QTEST_MAIN(TestNotes)
#include "tst_notes.moc"
