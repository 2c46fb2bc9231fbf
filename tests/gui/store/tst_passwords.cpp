// The open and write password prompts after a catalog opens, and the password settings
// dialog with its confirmation, driven by typing into the dialogs.
#include "common/actions.h"
#include "common/testdir.h"
#include "core/store/passwords.h"
#include "gui/store/windowfixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace vorlane;

namespace {

// One try at a prompt: the text typed and the button pressed.
struct Try {
    QString typed;
    const char* button;
};

// Types any text, one key event per character (keyClicks takes only Latin-1).
void typeText(QWidget* box, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
    }
}

// Types into the dialog's password box and presses the buttons in turn, until it closes.
ScriptedPrompts::DialogScript typeAndPress(QList<Try> tries) {
    return [tries](QDialog* d) {
        for (const Try& t : tries) {
            auto* box = d->findChild<QLineEdit*>(QStringLiteral("txtPwd"));
            box->clear();
            typeText(box, t.typed);
            d->findChild<QPushButton*>(QLatin1String(t.button))->click();
            if (d->isHidden() && d->result() == QDialog::Accepted)
                break;
        }
        return d->result();
    };
}

void retype(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    typeText(box, text);
}

QString catalogWith(TestDir& dir, const QVariant& read, const QVariant& write) {
    const QString file = dir.path("p.vlr");
    testcat::create(file);
    Database db;
    db.open(file);
    testcat::addCategory(db, QStringLiteral("分类"));
    if (read.isValid() || write.isValid())
        db.exec(QStringLiteral("insert into sys (ReadPwd, WritePwd) values (?, ?)"),
                {read.isValid() ? read : QVariant(), write.isValid() ? write : QVariant()});
    return file;
}

} // namespace

class TestPasswords : public QObject {
    Q_OBJECT

private slots:
    void prompts_data();
    void prompts();
    void readOnlyDisablesEditing();
    void settingsDialog_data();
    void settingsDialog();
    void settingsDialogCancelAndFailure();
};

void TestPasswords::prompts_data() {
    QTest::addColumn<QVariant>("read");
    QTest::addColumn<QVariant>("write");
    QTest::addColumn<QList<Try>>("readTries");
    QTest::addColumn<QList<Try>>("writeTries");
    QTest::addColumn<int>("wrong");
    QTest::addColumn<int>("mode");

    const QList<Try> none;
    QTest::newRow("no row") << QVariant() << QVariant() << none << none << 0
                            << int(AccessMode::Full);
    QTest::newRow("empty values") << QVariant("") << QVariant("") << none << none << 0
                                  << int(AccessMode::Full);
    QTest::newRow("open password right")
        << QVariant("Secret") << QVariant() << QList<Try>{{"Secret", "btnOk"}} << none << 0
        << int(AccessMode::Full);
    QTest::newRow("open password wrong, then right")
        << QVariant("Secret") << QVariant()
        << QList<Try>{{"secret", "btnOk"}, {"", "btnOk"}, {"Secret", "btnOk"}} << none << 2
        << int(AccessMode::Full);
    QTest::newRow("open password cancelled")
        << QVariant("Secret") << QVariant("w") << QList<Try>{{"x", "btnOk"}, {"", "btnCancel"}}
        << none << 1 << int(AccessMode::Refused);
    QTest::newRow("write password right")
        << QVariant() << QVariant("写密码") << none << QList<Try>{{"写密码", "btnOk"}} << 0
        << int(AccessMode::Full);
    QTest::newRow("write password, read only")
        << QVariant() << QVariant("W") << none << QList<Try>{{"w", "btnOk"}, {"", "btnReadOnly"}}
        << 1 << int(AccessMode::ReadOnly);
    QTest::newRow("write password cancelled")
        << QVariant() << QVariant("W") << none << QList<Try>{{"", "btnCancel"}} << 0
        << int(AccessMode::Refused);
    QTest::newRow("both, write read only")
        << QVariant("r") << QVariant("w") << QList<Try>{{"r", "btnOk"}}
        << QList<Try>{{"", "btnReadOnly"}} << 0 << int(AccessMode::ReadOnly);
    QTest::newRow("both right") << QVariant("r") << QVariant("w") << QList<Try>{{"r", "btnOk"}}
                                << QList<Try>{{"w", "btnOk"}} << 0 << int(AccessMode::Full);
}

void TestPasswords::prompts() {
    QFETCH(QVariant, read);
    QFETCH(QVariant, write);
    QFETCH(QList<Try>, readTries);
    QFETCH(QList<Try>, writeTries);
    QFETCH(int, wrong);
    QFETCH(int, mode);
    TestDir dir;
    const QString file = catalogWith(dir, read, write);
    WindowFixture f;
    if (!readTries.isEmpty())
        f.prompts.answerDialog(typeAndPress(readTries));
    if (!writeTries.isEmpty())
        f.prompts.answerDialog(typeAndPress(writeTries));
    f.w().catalog()->openCatalogFile(file);

    QStringList shown;
    for (const PromptCall& c : f.prompts.calls) {
        if (c.kind == PromptCall::Exec) {
            shown << c.text;
            QCOMPARE(c.caption, QStringLiteral("密码：...") + file.right(29));
        }
    }
    QStringList expected;
    if (!readTries.isEmpty())
        expected << "PwdReadLogoFrm";
    if (!writeTries.isEmpty() &&
        !(readTries.value(readTries.size() - 1).button == QByteArrayLiteral("btnCancel")))
        expected << "PwdWriteLogoFrm";
    QCOMPARE(shown, expected);
    QCOMPARE(f.prompts.messages().size(), wrong);
    for (const PromptCall& m : f.prompts.messages()) {
        QCOMPARE(m.text, QStringLiteral("密码错误！"));
        QCOMPARE(m.caption, QStringLiteral("提示"));
        QCOMPARE(m.icon, QMessageBox::Critical);
    }
    if (mode == int(AccessMode::Refused)) {
        // The catalog is dropped for a new one.
        QVERIFY(f.w().session().currentFile().isEmpty());
        QVERIFY(!f.w().session().db().isOpen());
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Vorlane 光盘管理"));
        QCOMPARE(dumpTree(f.tree()), QStringList{"新分类"});
        QCOMPARE(f.w().session().accessMode(), AccessMode::Full);
    } else {
        QCOMPARE(f.w().session().currentFile(), file);
        QCOMPARE(int(f.w().session().accessMode()), mode);
        QCOMPARE(dumpTree(f.tree()), QStringList{"分类"});
        QCOMPARE(testui::action(&f.w(), "FilePwd")->isEnabled(), mode == int(AccessMode::Full));
    }
}

void TestPasswords::readOnlyDisablesEditing() {
    TestDir dir;
    const QString file = catalogWith(dir, QVariant(), QVariant("w"));
    {
        Database db;
        db.open(file);
        testcat::addDisc(db, 1, QStringLiteral("光盘"));
    }
    WindowFixture f;
    f.prompts.answerDialog(typeAndPress({{"", "btnReadOnly"}}));
    QVERIFY(f.open(file));
    QCOMPARE(f.w().session().accessMode(), AccessMode::ReadOnly);
    const char* editing[] = {"btnAddChild",    "btnAddUp",      "btnAddDown",    "btnInCD",
                             "btnClassDelete", "NewChildClass", "NewBrotherUp",  "NewBrotherDown",
                             "InCD",           "RenameNode",    "MAddChildNode", "MAddUpNode",
                             "MAddDownNode",   "MInCD",         "MClassDelete",  "MRenameNode",
                             "FilePwd",        "MRescan"};
    for (const char* nodeName : {"分类", "光盘"}) {
        f.tree()->setCurrentItem(findNode(f.tree(), nodeName));
        for (const char* name : editing) {
            QWidget* widget = f.w().findChild<QWidget*>(QLatin1String(name));
            const bool on =
                widget ? widget->isEnabled() : testui::action(&f.w(), name)->isEnabled();
            QVERIFY2(!on, name);
        }
    }
    // Nor can a label be edited in place.
    f.tree()->editItem(findNode(f.tree(), "光盘"), 0);
    QVERIFY(!f.w().categoryTree()->isEditing());
}

void TestPasswords::settingsDialog_data() {
    QTest::addColumn<QVariant>("oldRead");
    QTest::addColumn<QVariant>("oldWrite");
    QTest::addColumn<QString>("newRead");
    QTest::addColumn<QString>("newWrite");
    QTest::addColumn<QStringList>("confirmations"); // typed in turn into the confirmations
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QVariant>("storedRead");
    QTest::addColumn<QVariant>("storedWrite");

    QTest::newRow("set both on an empty sys table")
        << QVariant() << QVariant() << "Open1"
        << "Write2" << QStringList{"Open1", "Write2"} << QStringList() << QVariant("Open1")
        << QVariant("Write2");
    QTest::newRow("confirmation differs in case, then matches")
        << QVariant() << QVariant() << "Abc"
        << "" << QStringList{"abc", "Abc"} << QStringList{"确认密码不符！"} << QVariant("Abc")
        << QVariant();
    QTest::newRow("unchanged box kept without confirmation")
        << QVariant("keep") << QVariant("old") << "<same>"
        << "new" << QStringList{"new"} << QStringList() << QVariant("keep") << QVariant("new");
    QTest::newRow("emptied boxes remove both")
        << QVariant("r") << QVariant("w") << ""
        << "" << QStringList() << QStringList() << QVariant() << QVariant();
}

void TestPasswords::settingsDialog() {
    QFETCH(QVariant, oldRead);
    QFETCH(QVariant, oldWrite);
    QFETCH(QString, newRead);
    QFETCH(QString, newWrite);
    QFETCH(QStringList, confirmations);
    QFETCH(QStringList, messages);
    QFETCH(QVariant, storedRead);
    QFETCH(QVariant, storedWrite);
    TestDir dir;
    const QString file = catalogWith(dir, QVariant(), QVariant());
    WindowFixture f;
    QVERIFY(f.open(file));
    // Set while open, so no prompt asks for them.
    if (oldRead.isValid() || oldWrite.isValid())
        writePasswords(f.w().session().db(), oldRead.toString(), oldWrite.toString());

    QStringList titles;
    QStringList seen; // caption, filled boxes, limits
    f.prompts.answerDialog([&](QDialog* d) {
        auto* read = d->findChild<QLineEdit*>(QStringLiteral("txtReadPwd"));
        auto* write = d->findChild<QLineEdit*>(QStringLiteral("txtWritePwd"));
        seen << d->windowTitle() << read->text() << write->text()
             << QString::number(read->maxLength()) << QString::number(read->echoMode());
        if (newRead != QLatin1String("<same>"))
            retype(read, newRead);
        retype(write, newWrite);
        d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        return d->result();
    });
    // Each confirmation dialog gets its typed texts until it closes.
    const int dialogs =
        (!newRead.isEmpty() && newRead != QLatin1String("<same>")) + !newWrite.isEmpty();
    QStringList typed = confirmations;
    for (int i = 0; i < dialogs; ++i) {
        f.prompts.answerDialog([&](QDialog* d) {
            titles << d->findChild<QLabel*>(QStringLiteral("lbTitle"))->text();
            while (!typed.isEmpty() && d->result() != QDialog::Accepted) {
                auto* box = d->findChild<QLineEdit*>(QStringLiteral("txtPwd"));
                box->clear();
                typeText(box, typed.takeFirst());
                d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
            }
            return d->result();
        });
    }
    f.prompts.clear();
    TRIGGER(testui::action(&f.w(), "FilePwd"));
    QCOMPARE(f.prompts.pendingAnswers(), 0);
    QCOMPARE(seen, (QStringList{QStringLiteral("密码：...") + file.right(29), oldRead.toString(),
                                oldWrite.toString(), "40", QString::number(QLineEdit::Password)}));

    QStringList shown;
    for (const PromptCall& m : f.prompts.messages()) {
        shown << m.text;
        QCOMPARE(m.caption, QStringLiteral("提示"));
        QCOMPARE(m.icon, QMessageBox::Critical);
    }
    QCOMPARE(shown, messages);
    QStringList expectedTitles;
    if (!newRead.isEmpty() && newRead != QLatin1String("<same>"))
        expectedTitles << QStringLiteral("请再键入一次开启权限密码：");
    if (!newWrite.isEmpty())
        expectedTitles << QStringLiteral("请再键入一次修改权限密码：");
    QCOMPARE(titles, expectedTitles);
    QCOMPARE(f.w().session().db().scalar(QStringLiteral("select ReadPwd from sys")), storedRead);
    QCOMPARE(f.w().session().db().scalar(QStringLiteral("select WritePwd from sys")), storedWrite);
    QCOMPARE(f.w().session().db().count(QStringLiteral("select * from sys")), 1);
    // The new passwords take effect at the next open only.
    QCOMPARE(f.w().session().accessMode(), AccessMode::Full);
}

void TestPasswords::settingsDialogCancelAndFailure() {
    TestDir dir;
    const QString file = catalogWith(dir, QVariant(), QVariant());
    WindowFixture f;
    QVERIFY(f.open(file));

    // A cancelled confirmation (or one closed by its close box) leaves the settings dialog
    // open and writes nothing; its "取消" closes it.
    bool stillOpen = false;
    f.prompts.answerDialog([&](QDialog* d) {
        retype(d->findChild<QLineEdit*>(QStringLiteral("txtReadPwd")), QStringLiteral("abc"));
        d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        stillOpen = d->result() != QDialog::Accepted;
        d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click(); // closed by its box
        d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        return d->result();
    });
    f.prompts.answerDialog([](QDialog* d) {
        d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        return d->result();
    });
    TRIGGER(testui::action(&f.w(), "FilePwd"));
    QVERIFY(stillOpen);
    QCOMPARE(f.w().session().db().count(QStringLiteral("select * from sys")), 0);

    // The row cannot be written.
    f.prompts.clear();
    f.prompts.answerDialog([&](QDialog* d) {
        f.w().session().db().exec(QStringLiteral("drop table sys"));
        retype(d->findChild<QLineEdit*>(QStringLiteral("txtReadPwd")), QString());
        d->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        stillOpen = d->result() != QDialog::Accepted;
        return d->result();
    });
    TRIGGER(testui::action(&f.w(), "FilePwd"));
    QVERIFY(stillOpen);
    QCOMPARE(f.prompts.lastMessage().text, QStringLiteral("保存密码错误！"));
    QCOMPARE(f.prompts.lastMessage().caption, QStringLiteral("提示"));
    QCOMPARE(f.prompts.lastMessage().icon, QMessageBox::Critical);
}

QTEST_MAIN(TestPasswords)
#include "tst_passwords.moc"
