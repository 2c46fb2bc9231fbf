// The search window's 通配符 and 正则表达式: one at a time, what each finds, and a regular
// expression that does not compile named in a message with nothing searched.
#include "common/catalogs.h"
#include "common/scriptedprompts.h"
#include "core/settings/settings.h"
#include "gui/app/mainwindow.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vorlane;

class TestSearchWindowModes : public QObject {
    Q_OBJECT

private slots:
    void keywordModes_data();
    void keywordModes();
};

void TestSearchWindowModes::keywordModes_data() {
    QTest::addColumn<QString>("tick"); // the boxes ticked, in this order
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("names"); // found, in order
    QTest::addColumn<QString>("error");     // the message's words, when refused

    QTest::newRow("neither: question mark is plain") << ""
                                                     << "what?" << QStringList{"plain.txt"} << "";
    QTest::newRow("neither: a star finds only stars") << ""
                                                      << "*" << QStringList{"a*b"} << "";
    QTest::newRow("glob") << "g"
                          << "*.TXT" << QStringList{"plain.txt", "Is it?.txt"} << "";
    QTest::newRow("regex after glob: glob unticked")
        << "gr"
        << "^(a|i)" << QStringList{"Is it?.txt", "a*b"} << "";
    QTest::newRow("glob after regex: regex unticked")
        << "rg"
        << "?s it*" << QStringList{"Is it?.txt"} << "";
    QTest::newRow("invalid regex") << "r"
                                   << "a(b" << QStringList{} << "missing closing parenthesis";
}

void TestSearchWindowModes::keywordModes() {
    QFETCH(QString, tick);
    QFETCH(QString, keyword);
    QFETCH(QStringList, names);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.vlr"));
    testcat::create(path);
    {
        Database db;
        db.open(path);
        const qint64 disc = testcat::addDisc(db, testcat::addCategory(db, "c"), "disc");
        testcat::addEntry(db, disc, 0, "plain.txt", false, 1, {}, "so what? nothing");
        testcat::addEntry(db, disc, 0, "Is it?.txt", false, 1);
        testcat::addEntry(db, disc, 0, "a*b", false, 1);
    }
    testcat::isolateSettings();
    QSettings(Settings::filePath(), QSettings::IniFormat).clear();
    ScriptedPrompts prompts;
    MainWindow w;
    SearchWindow* win = w.searchWindow();
    w.session().db().open(path);
    auto* glob = win->findChild<QCheckBox*>(QStringLiteral("ckGlob"));
    auto* regex = win->findChild<QCheckBox*>(QStringLiteral("ckRegex"));
    QVERIFY(glob && regex);
    QCOMPARE(glob->text(), QStringLiteral("通配符"));
    QCOMPARE(regex->text(), QStringLiteral("正则表达式"));
    QVERIFY(!glob->isChecked() && !regex->isChecked());
    for (const QChar c : tick)
        (c == u'g' ? glob : regex)->setChecked(true);
    // The last one ticked is the only one.
    QCOMPARE(glob->isChecked(), tick.endsWith(u'g'));
    QCOMPARE(regex->isChecked(), tick.endsWith(u'r'));

    win->findChild<QComboBox*>(QStringLiteral("cobFind"))->setEditText(keyword);
    QSignalSpy ended(win, &SearchWindow::searchFinished);
    win->btnBeginFindClick();
    if (win->isSearching())
        QVERIFY(ended.wait(20000));
    QStringList found;
    for (int r = 0; r < win->results()->rowCount(); ++r)
        found << win->results()->index(r, 2).data().toString();
    QCOMPARE(found, names);
    if (error.isEmpty()) {
        QVERIFY(prompts.messages().isEmpty());
        return;
    }
    QCOMPARE(prompts.messages().size(), 1);
    QVERIFY2(prompts.lastMessage().text.contains(QStringLiteral("正则表达式")) &&
                 prompts.lastMessage().text.contains(error),
             qPrintable(prompts.lastMessage().text));
    QCOMPARE(ended.count(), 0); // no search ran
    QVERIFY(Settings().findWords().isEmpty());
}

QTEST_MAIN(TestSearchWindowModes)
#include "tst_searchwindowmodes.moc"
