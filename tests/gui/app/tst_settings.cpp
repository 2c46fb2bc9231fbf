// The settings file: first run, options, and the recent-files history as the menus show it.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

using namespace vorlane;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init() { testcat::isolateSettings(); }
    void firstRunIsReadOnce();
    void optionsDefaultOnAndPersist();
    void historyKeepsNewestFourInOrderOfEntry_data();
    void historyKeepsNewestFourInOrderOfEntry();
    void menusHideTheOpenFileAndEmptyEntries();
    void keywordHistoryMovesToTopAndKeepsTwenty();
    void optionsDialogConfirms_data();
    void optionsDialogConfirms();
};

void TestSettings::firstRunIsReadOnce() {
    Settings s;
    QVERIFY(!QFile::exists(Settings::filePath()));
    QVERIFY(s.takeFirstRun());
    QSettings file(Settings::filePath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Options/First")).toString(), QStringLiteral("0"));
    QVERIFY(!s.takeFirstRun());
}

void TestSettings::optionsDefaultOnAndPersist() {
    Settings s;
    QVERIFY(s.backupOnOpen());
    QVERIFY(s.openRecentOnStart());
    QVERIFY(s.saveOptions(false, true));
    QVERIFY(!s.backupOnOpen());
    QVERIFY(s.openRecentOnStart());
    // Any non-zero number reads as true.
    QSettings(Settings::filePath(), QSettings::IniFormat)
        .setValue(QStringLiteral("Options/Backup"), 7);
    QVERIFY(s.backupOnOpen());
}

void TestSettings::historyKeepsNewestFourInOrderOfEntry_data() {
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("five files drop the first")
        << QStringList{"/a.vlr", "/b.vlr", "/c.vlr", "/d.vlr", "/e.vlr"}
        << QStringList{"/e.vlr", "/d.vlr", "/c.vlr", "/b.vlr"};
    QTest::newRow("reopening keeps the order")
        << QStringList{"/a.vlr", "/b.vlr", "/c.vlr", "/a.vlr", "/b.vlr"}
        << QStringList{"/c.vlr", "/b.vlr", "/a.vlr", ""};
    QTest::newRow("letter case makes a new entry")
        << QStringList{"/a.vlr", "/A.vlr"} << QStringList{"/A.vlr", "/a.vlr", "", ""};
    QTest::newRow("empty path records nothing")
        << QStringList{"", "/x.vlr", ""} << QStringList{"/x.vlr", "", "", ""};
}

void TestSettings::historyKeepsNewestFourInOrderOfEntry() {
    QFETCH(QStringList, opened);
    QFETCH(QStringList, expected);
    Settings s;
    for (const QString& f : opened)
        s.saveOpenHistory(f);
    QCOMPARE(s.recentFiles(), expected);
    QString last;
    for (const QString& f : opened)
        if (!f.isEmpty())
            last = f;
    QCOMPARE(s.lastOpenedFile(), last);
}

void TestSettings::menusHideTheOpenFileAndEmptyEntries() {
    ScriptedPrompts prompts;
    Settings s;
    s.saveOpenHistory(QStringLiteral("/one.vlr"));
    s.saveOpenHistory(QStringLiteral("/two.vlr"));
    MainWindow w(QStringLiteral("/two.vlr"));
    auto visible = [&](const char* prefix) {
        QStringList out;
        for (int n = 1; n <= 4; ++n) {
            QAction* a =
                testui::action(&w, (QByteArray(prefix) + QByteArray::number(n)).constData());
            if (a->isVisible())
                out << a->text();
        }
        return out;
    };
    // The open file (/two.vlr) is hidden from both menus.
    QCOMPARE(visible("MFile"), QStringList{QStringLiteral("/one.vlr")});
    QCOMPARE(visible("DMFile"), QStringList{QStringLiteral("/one.vlr")});
    w.session().setCurrentFile({});
    w.loadSettings();
    QCOMPARE(visible("MFile"),
             (QStringList{QStringLiteral("/two.vlr"), QStringLiteral("/one.vlr")}));

    testcat::isolateSettings();
    w.loadSettings();
    QVERIFY(visible("MFile").isEmpty());
    QVERIFY(visible("DMFile").isEmpty());
}

void TestSettings::keywordHistoryMovesToTopAndKeepsTwenty() {
    Settings s;
    for (int i = 1; i <= 21; ++i)
        s.rememberKeyword(QStringLiteral("k%1").arg(i));
    QStringList words = s.findWords();
    QCOMPARE(words.size(), 20);
    QCOMPARE(words.first(), QStringLiteral("k21"));
    QCOMPARE(words.last(), QStringLiteral("k2"));
    s.rememberKeyword(QStringLiteral("k10"));
    words = s.findWords();
    QCOMPARE(words.size(), 20);
    QCOMPARE(words.first(), QStringLiteral("k10"));
    QCOMPARE(words.count(QStringLiteral("k10")), 1);
    s.rememberKeyword(QStringLiteral("K10")); // case-sensitive: a new keyword
    QCOMPARE(s.findWords().first(), QStringLiteral("K10"));
    QCOMPARE(s.findWords().at(1), QStringLiteral("k10"));
}

void TestSettings::optionsDialogConfirms_data() {
    QTest::addColumn<bool>("writable");
    QTest::newRow("written and closed") << true;
    QTest::newRow("unwritable file keeps the dialog open") << false;
}

void TestSettings::optionsDialogConfirms() {
    QFETCH(bool, writable);
    QTemporaryDir blocked;
    ScriptedPrompts prompts;
    MainWindow w;
    if (!writable) {
        // The configuration folder lies below a regular file, so it cannot be made.
        QFile plain(blocked.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(plain.fileName() + QStringLiteral("/cfg")));
    }
    bool closed = false;
    QStringList texts;
    prompts.answerDialog([&](QDialog* dialog) {
        auto* recent = dialog->findChild<QCheckBox*>(QStringLiteral("ckOpenRecent"));
        auto* backup = dialog->findChild<QCheckBox*>(QStringLiteral("ckBackup"));
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
            texts << b->text();
        auto* inKb = dialog->findChild<QCheckBox*>(QStringLiteral("ckSizeInKb"));
        // The options start as the window holds them: on.
        if (!recent->isChecked() || !backup->isChecked() || !inKb->isChecked())
            return -1;
        backup->setChecked(false);
        inKb->setChecked(false);
        dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        closed = dialog->result() == QDialog::Accepted;
        return dialog->result();
    });
    TRIGGER(testui::action(&w, "MOptions"));
    QCOMPARE(prompts.calls.last().text, QStringLiteral("OptionFrm"));
    QCOMPARE(prompts.calls.last().caption, QStringLiteral("选项设置"));
    QCOMPARE(texts, (QStringList{"启动时开启最近成功打开的文件", "文件成功开启后生成备份文件",
                                 "大小以 KB 显示", "确认(&O)"}));
    QCOMPARE(closed, writable);
    QCOMPARE(w.backupOnOpen(), !writable);
    QCOMPARE(w.sizesInKb(), !writable);
    QVERIFY(w.openRecentOnStart());
    // Nothing half-written lingers for later reads.
    QCOMPARE(Settings().backupOnOpen(), !writable);
    QCOMPARE(Settings().sizesInKb(), !writable);
    QCOMPARE(QFile::exists(Settings::filePath()), writable);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
