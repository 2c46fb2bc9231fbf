// 复制路径 and 属性: the paths a user pastes elsewhere, from the file list and from search
// hits, and every stored fact of an entry in its properties.
#include "gui/browser/contentsfixture.h"
#include "gui/browser/propertiesdialog.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>

using namespace vorlane;

class TestEntryLook : public QObject {
    Q_OBJECT

private slots:
    void copyPathFromTheList_data();
    void copyPathFromTheList();
    void copyPathFromASearchHit_data();
    void copyPathFromASearchHit();
    void propertiesShowEveryFact_data();
    void propertiesShowEveryFact();
};

void TestEntryLook::copyPathFromTheList_data() {
    QTest::addColumn<QStringList>("folders"); // selected in turn before the entries are chosen
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("below"); // each chosen entry below the disc's source path
    QTest::newRow("a file at the top")
        << QStringList{} << QStringList{"readme"} << QStringList{"/readme"};
    QTest::newRow("a file two levels down")
        << QStringList{"Docs", "Old"} << QStringList{"y.txt"} << QStringList{"/Docs/Old/y.txt"};
    // A folder's stored path names the folder itself: its name must not come twice.
    QTest::newRow("a folder and a file, one a line")
        << QStringList{"Docs"} << QStringList{"Old", "x.txt"}
        << QStringList{"/Docs/Old", "/Docs/x.txt"};
}

void TestEntryLook::copyPathFromTheList() {
    QFETCH(QStringList, folders);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, below);
    DiscFixture f;
    const QHash<QString, qint64> ids{{"Docs", f.docs},
                                     {"Old", f.old},
                                     {"readme", f.readme},
                                     {"x.txt", f.xTxt},
                                     {"y.txt", f.yTxt}};
    f.show();
    for (const QString& folder : folders)
        f.selectFolder(ids.value(folder));
    f.list()->clearSelection();
    for (const QString& name : chosen)
        f.list()->selectRow(f.rowOf(ids.value(name)), false);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    TRIGGER(testui::action(f.w, "mitCopyPath"));
    QStringList expected;
    for (const QString& b : below)
        expected << f.dir.path() + b;
    QCOMPARE(QGuiApplication::clipboard()->text(), expected.join(QLatin1Char('\n')));
    QVERIFY(f.prompts.calls.isEmpty());
}

void TestEntryLook::copyPathFromASearchHit_data() {
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("below");
    QTest::addColumn<QString>("heading"); // where 属性 shows the same path
    QTest::newRow("a file") << "song"
                            << "/Music/song.mp3"
                            << "完整路径";
    QTest::newRow("a folder") << "Deep"
                              << "/Docs/Old/Deep"
                              << "完整路径";
    QTest::newRow("a disc") << "光盘一"
                            << ""
                            << "光盘位置";
}

// The search window's list has a pop-up of its own; its hit names a file by its folder and
// id, a folder by its own id, a disc by nothing else.
void TestEntryLook::copyPathFromASearchHit() {
    QFETCH(QString, keyword);
    QFETCH(QString, below);
    QFETCH(QString, heading);
    DiscFixture f;
    SearchWindow* win = f.w->searchWindow();
    win->findChild<QComboBox*>(QStringLiteral("cobFind"))->setEditText(keyword);
    QSignalSpy ended(win, &SearchWindow::searchFinished);
    win->btnBeginFindClick();
    if (win->isSearching())
        QVERIFY(ended.wait(20000));
    QCOMPARE(win->results()->rowCount(), 1);
    auto* hits = testui::child<QTableView>(win, "ListView1");
    hits->selectRow(0);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    TRIGGER(testui::child<QAction>(win, "ListView1CopyPath"));
    QCOMPARE(QGuiApplication::clipboard()->text(), f.dir.path() + below);
    // Alt+Enter shows the properties; Enter alone would jump to the hit.
    QSignalSpy jumps(win, &SearchWindow::showEntryRequested);
    QTest::keyClick(hits, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(jumps.count(), 0);
    auto* dialog = win->findChild<PropertiesDialog*>(QStringLiteral("PropertiesDialog"));
    QVERIFY(dialog);
    QCOMPARE(dialog->value(heading), f.dir.path() + below);
}

void TestEntryLook::propertiesShowEveryFact_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("raw");    // FName; empty: none
    QTest::addColumn<QString>("link");      // Link
    QTest::addColumn<QByteArray>("hash");   // FHash
    QTest::addColumn<QString>("note");      // TreeExp
    QTest::addColumn<bool>("member");       // inside x.zip in /Music, not in /Music itself
    QTest::addColumn<QStringList>("facts"); // heading, shown text; in pairs
    const QByteArray hash = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QTest::newRow("a file with a hash and a note")
        << "a.iso" << QByteArray() << "" << hash << "第二行\n<b>不是标记</b>" << false
        << QStringList{"类型",     "文件",
                       "校验值",   "XXH3-128 00112233445566778899aabbccddeeff",
                       "注释",     "第二行\n<b>不是标记</b>",
                       "原始名称", ""};
    QTest::newRow("a link") << "latest" << QByteArray() << "../v2/a.iso" << QByteArray() << ""
                            << false << QStringList{"类型",        "符号链接", "链接目标",
                                                    "../v2/a.iso", "校验值",   ""};
    // GBK bytes of 照片.jpg, shown decoded; the bytes themselves are what the disc holds.
    QTest::newRow("a name that is not UTF-8")
        << "照片.jpg" << QByteArray("\xd5\xd5\xc6\xac.jpg") << "" << QByteArray() << "" << false
        << QStringList{"原始名称", "d5 d5 c6 ac 2e 6a 70 67", "校验值", "未计算"};
    QTest::newRow("an archive's member")
        << "inner.txt" << QByteArray() << "" << QByteArray() << "" << true
        << QStringList{"类型", "压缩包中的文件", "所在压缩包", "/Music/x.zip", "校验值", ""};
}

void TestEntryLook::propertiesShowEveryFact() {
    QFETCH(QString, name);
    QFETCH(QByteArray, raw);
    QFETCH(QString, link);
    QFETCH(QByteArray, hash);
    QFETCH(QString, note);
    QFETCH(bool, member);
    QFETCH(QStringList, facts);
    DiscFixture f;
    // A shown window, so that its keys work; its first activation opens a catalog of its own.
    f.w->show();
    QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
    f.db().open(f.file);
    const qint64 mtime = 1700000000;
    qint64 archive = 0;
    if (member) {
        archive = testcat::addEntry(f.db(), f.disc, f.music, QStringLiteral("x.zip"), false, 9,
                                    QStringLiteral("/Music"));
        Query(f.db(), QStringLiteral("update qCDFiles set Archive=1 where AutoId=?"), {archive})
            .exec();
    }
    const QString folder = member ? QStringLiteral("/Music/x.zip") : QStringLiteral("/Music");
    const qint64 id = testcat::addEntry(f.db(), f.disc, member ? archive : f.music, name, false,
                                        3 * 1024 * 1024 + 5, folder, note);
    Query(f.db(),
          QStringLiteral("update qCDFiles set FTime=?,FName=?,Link=?,Archive=?,FHash=? where "
                         "AutoId=?"),
          {mtime, raw.isEmpty() ? QVariant() : QVariant(raw),
           link.isEmpty() ? QVariant() : QVariant(link), member ? QVariant(2) : QVariant(),
           hash.isEmpty() ? QVariant() : QVariant(hash), id})
        .exec();
    f.show();
    f.selectFolder(f.music);
    if (member) { // into the archive, as a double click goes
        f.list()->selectRow(f.rowOf(archive));
        emit f.list()->doubleClicked(f.rowOf(archive));
    }
    QVERIFY(f.rowOf(id) >= 0);
    f.list()->selectRow(f.rowOf(id));
    // Alt+Enter, as in a file manager, while the list has the focus.
    f.list()->activeView()->setFocus();
    QTest::keyClick(f.list()->activeView(), Qt::Key_Return, Qt::AltModifier);
    auto* dialog = f.w->findChild<PropertiesDialog*>(QStringLiteral("PropertiesDialog"));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->value(QStringLiteral("名称")), name);
    QCOMPARE(dialog->value(QStringLiteral("位置")), folder + QLatin1Char('/') + name);
    QCOMPARE(dialog->value(QStringLiteral("完整路径")),
             f.dir.path() + folder + QLatin1Char('/') + name);
    const QString bytes = QLocale().toString(3 * 1024 * 1024 + 5) + QStringLiteral(" 字节");
    QVERIFY2(dialog->value(QStringLiteral("大小")).contains(bytes),
             qPrintable(dialog->value(QStringLiteral("大小"))));
    QCOMPARE(dialog->value(QStringLiteral("修改时间")),
             QDateTime::fromSecsSinceEpoch(mtime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    QCOMPARE(dialog->value(QStringLiteral("光盘")), QStringLiteral("光盘一"));
    QCOMPARE(dialog->value(QStringLiteral("光盘位置")), f.dir.path());
    for (int i = 0; i + 1 < facts.size(); i += 2)
        QCOMPARE(dialog->value(facts[i]), facts[i + 1]);
    // Every text can be selected and copied; none is read as markup.
    for (const QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->accessibleName().isEmpty())
            continue;
        QVERIFY(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    dialog->close();
}

QTEST_MAIN(TestEntryLook)
#include "tst_entrylook.moc"
