// The Help menu: the help page, the maker's addresses, the example catalog and the about box.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/recordingopener.h"
#include "common/scriptedprompts.h"
#include "core/settings/paths.h"
#include "gui/app/mainwindow.h"
#include "gui/common/platform.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QTreeWidget>
#include <QtTest>
#include <sqlite3.h>

using namespace vorlane;

class TestHelpMenu : public QObject {
    Q_OBJECT

private slots:
    void init() { testcat::isolateSettings(); }
    void menuItems();
    void f1OpensTheHelpPage();
    void addressesComeFromTheHints_data();
    void addressesComeFromTheHints();
    void exampleOpensAsACatalog();
    void aboutNamesVersionAndLibraries();
};

void TestHelpMenu::menuItems() {
    ScriptedPrompts prompts;
    MainWindow w;
    QMenu* help = w.menuBar()->actions().last()->menu();
    QStringList texts;
    for (QAction* a : help->actions())
        if (!a->isSeparator())
            texts << a->text();
    QCOMPARE(texts, (QStringList{"帮助", "文件示例", "软件升级", "技术支持", "关于..."}));
}

void TestHelpMenu::f1OpensTheHelpPage() {
    ScriptedPrompts prompts;
    RecordingOpener opener(RecordingOpener::Always);
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    opener.paths.clear(); // the start-up may have opened things of its own
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(opener.paths.size(), 1);
    const QString page = opener.paths.first();
    QVERIFY(page.endsWith(QStringLiteral("help/index.html")));
    // The page is a real file in Chinese, beside the program.
    QFile f(page);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(f.readAll()).contains(QStringLiteral("光盘")));
}

void TestHelpMenu::addressesComeFromTheHints_data() {
    QTest::addColumn<QByteArray>("item");
    QTest::addColumn<QString>("scheme");
    QTest::newRow("homepage") << QByteArray("MHomepage") << QStringLiteral("https");
    QTest::newRow("mail") << QByteArray("MMailtoAuthor") << QStringLiteral("mailto");
}

void TestHelpMenu::addressesComeFromTheHints() {
    QFETCH(QByteArray, item);
    QFETCH(QString, scheme);
    ScriptedPrompts prompts;
    RecordingOpener opener(RecordingOpener::Always);
    MainWindow w;
    QAction* a = testui::action(&w, item.constData());
    TRIGGER(a);
    QCOMPARE(opener.paths, QStringList{a->toolTip()});
    QCOMPARE(QUrl(a->toolTip()).scheme(), scheme);
    if (scheme == QLatin1String("mailto"))
        QVERIFY(a->toolTip().contains(QStringLiteral("subject=")));
}

void TestHelpMenu::exampleOpensAsACatalog() {
    ScriptedPrompts prompts;
    MainWindow w;
    TRIGGER(testui::action(&w, "MExample"));
    // The user's own copy of the installed example.
    const QString example = userDataDir() + QStringLiteral("/example.vlr");
    QVERIFY(QFileInfo::exists(example));
    QCOMPARE(w.session().currentFile(), example);
    QCOMPARE(w.windowTitle(), QStringLiteral("Vorlane 光盘管理--") + example);
    QVERIFY(w.session().db().isOpen());
    QVERIFY(w.tvMain()->topLevelItemCount() > 1);
    QVERIFY(!w.session().isModified());
}

void TestHelpMenu::aboutNamesVersionAndLibraries() {
    ScriptedPrompts prompts;
    MainWindow w;
    QString text;
    prompts.answerDialog([&](QDialog* dialog) {
        for (QLabel* l : dialog->findChildren<QLabel*>())
            text += l->text();
        return int(QDialog::Accepted);
    });
    TRIGGER(testui::action(&w, "MAbout"));
    QCOMPARE(prompts.calls.size(), 1);
    QCOMPARE(prompts.calls.first().kind, PromptCall::Exec);
    QVERIFY(text.contains(QStringLiteral("Vorlane")));
    QVERIFY(text.contains(QStringLiteral(VORLANE_VERSION)));
    QVERIFY(text.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    QVERIFY(text.contains(QStringLiteral("SQLite ") + QString::fromLatin1(sqlite3_libversion())));
}

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
