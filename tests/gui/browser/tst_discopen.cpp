// Opening a catalogued file from its disc through the opener seam, and pointing the disc
// at a new location when the file is not where it was.
#include "common/actions.h"
#include "core/import/scanner.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/contentsfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QPlainTextEdit>
#include <QProcess>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorlane;

namespace {

QString makeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return path;
}

QString question(const QString& path, const QString& location) {
    return QStringLiteral("不能打开：") + path +
           QStringLiteral("，原因可能为以下之一：\n\n1、光盘中没有原始盘！\n2、光盘位置改变！\n"
                          "3、文件不能直接打开！\n4、其他未知原因！\n\n如果是光盘位置：") +
           location + QStringLiteral(" 改变，可以重新指向光盘位置，修改光盘位置吗？");
}

QString storedLocation(DiscFixture& f) {
    return f.db()
        .scalar(QStringLiteral("select SourcePath from qCD where AutoId=?"), {f.disc})
        .toString();
}

} // namespace

class TestDiscOpen : public QObject {
    Q_OBJECT

private slots:
    void opensTheFullPath_data();
    void opensTheFullPath();
    void opensByTheNamesOwnBytes();
    void failureAskedAndDeclinedChangesNothing();
    void repointingIsStoredAndUsed_data();
    void repointingIsStoredAndUsed();
    void repointingThatCannotBeStored();
    void readOnlyRefusesRepointing();
    void archiveBrowsesLikeAFolderAndOpensAMember();
    void aPlantedMemberNameStaysInItsFolder_data();
    void aPlantedMemberNameStaysInItsFolder();
};

void TestDiscOpen::opensTheFullPath_data() {
    QTest::addColumn<QString>("folder"); // folder to list first, empty for the top level
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("relative");
    QTest::newRow("top level") << ""
                               << "readme"
                               << "/readme";
    QTest::newRow("in a folder") << "Docs"
                                 << "x.txt"
                                 << "/Docs/x.txt";
    QTest::newRow("two levels down") << "Old"
                                     << "y.txt"
                                     << "/Docs/Old/y.txt";
}

void TestDiscOpen::opensTheFullPath() {
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, relative);
    DiscFixture f;
    makeFile(f.dir.path() + relative);
    f.show();
    if (!folder.isEmpty()) {
        f.selectFolder(f.docs);
        if (folder == QStringLiteral("Old"))
            f.selectFolder(f.old);
    }
    const int row = f.listNames().indexOf(name);
    QVERIFY(row >= 0);
    f.list()->selectRow(row);
    emit f.list()->doubleClicked(row);
    QCOMPARE(f.opener.paths, QStringList{f.dir.path() + relative});
    QVERIFY(f.prompts.calls.isEmpty());
}

// A disc burned with GBK names: the catalog shows them decoded, while the file is opened
// by the bytes the file system knows.
void TestDiscOpen::opensByTheNamesOwnBytes() {
    DiscFixture f;
    const QByteArray folder("\xd5\xd5\xc6\xac");   // 照片 in GBK
    const QByteArray name("\xd5\xd5\xc6\xac.jpg"); // 照片.jpg in GBK
    const QByteArray source = QFile::encodeName(f.dir.path()) + "/src";
    QCOMPARE(::mkdir(source.constData(), 0755), 0);
    QCOMPARE(::mkdir((source + '/' + folder).constData(), 0755), 0);
    const QByteArray file = source + '/' + folder + '/' + name;
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    const QString location = QFile::decodeName(source);
    const qint64 disc = testcat::addDisc(f.db(), f.category, QStringLiteral("光盘三"), 2, location);
    ScanParams params;
    params.root = location;
    params.discId = disc;
    QVERIFY(scanTree(f.db(), params).error.isEmpty());
    f.w->contents()->showDisc(disc, QStringLiteral("光盘三"));
    QCOMPARE(f.listNames(), QStringList{"照片"});
    f.list()->selectRow(0);
    emit f.list()->doubleClicked(0); // into the folder
    QCOMPARE(f.listNames(), QStringList{"照片.jpg"});
    f.list()->selectRow(0);
    emit f.list()->doubleClicked(0);
    QCOMPARE(f.opener.rawPaths, QList<QByteArray>{file});
    QVERIFY(f.prompts.calls.isEmpty());
}

void TestDiscOpen::failureAskedAndDeclinedChangesNothing() {
    DiscFixture f;
    f.show();
    f.list()->selectRow(f.rowOf(f.bTxt));
    f.prompts.answer(QMessageBox::No);
    TRIGGER(testui::action(f.w, "MOpen"));
    const QString path = f.dir.path() + QStringLiteral("/b.txt");
    QCOMPARE(f.opener.paths, QStringList{path});
    const PromptCall m = f.prompts.lastMessage();
    QCOMPARE(m.text, question(path, f.dir.path()));
    QCOMPARE(m.caption, QStringLiteral("提示"));
    QCOMPARE(m.icon, QMessageBox::Question);
    QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(f.prompts.calls.size(), 1); // no folder chooser
    QCOMPARE(storedLocation(f), f.dir.path());
}

void TestDiscOpen::repointingIsStoredAndUsed_data() {
    QTest::addColumn<QString>("chosen"); // relative to the temporary folder; "/" = the root
    QTest::addColumn<bool>("trailingSlash");
    QTest::newRow("directory") << "moved" << false;
    QTest::newRow("mount point with slash") << "mnt" << true;
    QTest::newRow("file-system root") << "/" << false;
}

void TestDiscOpen::repointingIsStoredAndUsed() {
    QFETCH(QString, chosen);
    QFETCH(bool, trailingSlash);
    DiscFixture f;
    const bool root = chosen == QStringLiteral("/");
    const QString location = root ? QString() : f.dir.filePath(chosen);
    if (!root)
        makeFile(location + QStringLiteral("/Docs/x.txt"));
    f.show();
    f.w->txtCDExp()->setPlainText(QStringLiteral("typed, not saved"));
    f.selectFolder(f.docs);
    f.list()->selectRow(f.rowOf(f.xTxt));
    f.prompts.answer(QMessageBox::Yes);
    f.prompts.answerFolder(root ? QStringLiteral("/") : location + (trailingSlash ? "/" : ""));
    TRIGGER(testui::action(f.w, "mitOpen"));

    QCOMPARE(f.prompts.calls.size(), 2);
    QCOMPARE(f.prompts.calls.at(1).kind, PromptCall::Folder);
    QCOMPARE(f.prompts.calls.at(1).caption, QStringLiteral("请选择目录"));
    QVERIFY(f.prompts.calls.at(1).text.isEmpty()); // not preset
    QCOMPARE(storedLocation(f), location);
    // The whole row is written, the typed note with it.
    QCOMPARE(
        f.db().scalar(QStringLiteral("select CDExp from qCD where AutoId=?"), {f.disc}).toString(),
        QStringLiteral("typed, not saved"));
    QVERIFY(!testui::button(f.w, "btnExpSave")->isEnabled());
    QCOMPARE(f.opener.paths, (QStringList{f.dir.path() + QStringLiteral("/Docs/x.txt"),
                                          location + QStringLiteral("/Docs/x.txt")}));
    QCOMPARE(f.prompts.messages().size(), 1); // a second failure is silent

    // From now on the file opens from the new place without a question.
    f.prompts.clear();
    f.opener.paths.clear();
    TRIGGER(testui::action(f.w, "mitOpen"));
    QCOMPARE(f.opener.paths, QStringList{location + QStringLiteral("/Docs/x.txt")});
    QCOMPARE(f.prompts.messages().size(), root ? 1 : 0);
}

void TestDiscOpen::repointingThatCannotBeStored() {
    DiscFixture f;
    f.db().close();
    f.db().open(f.file, Database::Mode::ReadOnly);
    f.show();
    f.list()->selectRow(f.rowOf(f.readme));
    f.prompts.answer(QMessageBox::Yes);
    f.prompts.answerFolder(f.dir.filePath(QStringLiteral("elsewhere")));
    TRIGGER(testui::action(f.w, "mitOpen"));
    const PromptCall m = f.prompts.lastMessage();
    QCOMPARE(m.text, QStringLiteral("修改光盘位置出错！"));
    QCOMPARE(m.icon, QMessageBox::Critical);
    QCOMPARE(f.opener.paths.size(), 1); // nothing opened after the failure
    QCOMPARE(storedLocation(f), f.dir.path());
    QCOMPARE(f.w->notes()->sourcePath(), f.dir.path());
}

void TestDiscOpen::readOnlyRefusesRepointing() {
    DiscFixture f;
    f.w->session().setAccessMode(AccessMode::ReadOnly);
    makeFile(f.dir.filePath(QStringLiteral("readme")));
    f.show();
    f.list()->selectRow(f.rowOf(f.readme));
    TRIGGER(testui::action(f.w, "mitOpen")); // opening itself works read-only
    QCOMPARE(f.opener.paths.size(), 1);
    QVERIFY(f.prompts.calls.isEmpty());

    f.list()->selectRow(f.rowOf(f.bTxt));
    f.prompts.answer(QMessageBox::Yes);
    f.prompts.answerFolder(f.dir.filePath(QStringLiteral("elsewhere")));
    TRIGGER(testui::action(f.w, "mitOpen"));
    QCOMPARE(f.prompts.calls.size(), 1);
    const PromptCall m = f.prompts.lastMessage();
    QVERIFY(m.text.contains(QStringLiteral("只读")));
    QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(storedLocation(f), f.dir.path());
}

// An archive listed at the import opens like a folder; a member opens from a copy taken
// out of the archive, and the back button climbs out again.
void TestDiscOpen::archiveBrowsesLikeAFolderAndOpensAMember() {
    DiscFixture f;
    const QString location = f.dir.filePath(QStringLiteral("src"));
    QVERIFY(QDir().mkpath(location));
    QProcess python;
    python.setWorkingDirectory(location);
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import zipfile\n"
                                              "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                                              "    z.writestr('docs/说明.txt', b'member bytes')\n"
                                              "    z.writestr('top.txt', b'top')\n")});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    const qint64 disc = testcat::addDisc(f.db(), f.category, QStringLiteral("光盘三"), 2, location);
    ScanParams params;
    params.root = location;
    params.discId = disc;
    params.archives = true;
    QVERIFY(scanTree(f.db(), params).error.isEmpty());
    f.w->contents()->showDisc(disc, QStringLiteral("光盘三"));
    QCOMPARE(f.listNames(), QStringList{"pack.zip"});
    const auto open = [&](const QString& name) {
        const int row = f.listNames().indexOf(name);
        QVERIFY(row >= 0);
        f.list()->selectRow(row);
        emit f.list()->doubleClicked(row);
    };
    open(QStringLiteral("pack.zip"));
    QCOMPARE(f.listNames(), (QStringList{"docs", "top.txt"}));
    QVERIFY(f.enabled("tbBack"));
    QVERIFY(!f.enabled("mitAddDir")); // nothing is added inside an archive
    open(QStringLiteral("docs"));
    QCOMPARE(f.listNames(), QStringList{"说明.txt"});
    open(QStringLiteral("说明.txt"));
    QVERIFY(f.prompts.calls.isEmpty());
    QCOMPARE(f.opener.rawPaths.size(), 1);
    QVERIFY(!f.opener.rawPaths.first().startsWith(QFile::encodeName(location)));
    QFile copy(QFile::decodeName(f.opener.rawPaths.first()));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray("member bytes"));

    TRIGGER(testui::action(f.w, "tbBack"));
    QCOMPARE(f.listNames(), (QStringList{"docs", "top.txt"}));
    TRIGGER(testui::action(f.w, "tbBack"));
    QCOMPARE(f.listNames(), QStringList{"pack.zip"});
    QCOMPARE(f.list()->selectedRows(), QList<int>{0});

    // A search hit inside the archive is shown in its level, as any other.
    const qint64 docs =
        f.db()
            .scalar(QStringLiteral("select AutoId from qCDFiles where TreeName='docs'"))
            .toLongLong();
    const qint64 member = f.db()
                              .scalar(QStringLiteral("select AutoId from qCDFiles where "
                                                     "FatherId=?"),
                                      {docs})
                              .toLongLong();
    f.w->categoryTree()->load();
    f.w->contents()->showEntry(disc, docs, member);
    QCOMPARE(f.listNames(), QStringList{"说明.txt"});
    QCOMPARE(f.list()->selectedRows(), QList<int>{0});
}

// A member's name written straight into the catalog, as a hostile file could hold it: the
// copy is refused, and nothing is written beside the folder made for it.
void TestDiscOpen::aPlantedMemberNameStaysInItsFolder_data() {
    QTest::addColumn<QString>("planted");
    QTest::newRow("climbs out") << QStringLiteral("../../escaped");
    QTest::newRow("holds a slash") << QStringLiteral("a/b");
}

void TestDiscOpen::aPlantedMemberNameStaysInItsFolder() {
    QFETCH(QString, planted);
    DiscFixture f;
    const QString location = f.dir.filePath(QStringLiteral("src"));
    const QString temp = f.dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(location) && QDir().mkpath(temp));
    QProcess python;
    python.setWorkingDirectory(location);
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import zipfile\n"
                                              "with zipfile.ZipFile('pack.zip', 'w') as z:\n"
                                              "    z.writestr('escaped', b'planted')\n"
                                              "    z.writestr('a/b', b'planted')\n")});
    QVERIFY(python.waitForFinished(60000));
    QCOMPARE(python.exitCode(), 0);
    const qint64 disc = testcat::addDisc(f.db(), f.category, QStringLiteral("光盘三"), 2, location);
    ScanParams params;
    params.root = location;
    params.discId = disc;
    params.archives = true;
    QVERIFY(scanTree(f.db(), params).error.isEmpty());
    f.db().exec(QStringLiteral("update qCDFiles set TreeName=? where TreeName='escaped'"),
                {planted});

    // The copies' folder is made below `temp` (TMPDIR), two levels up from a copy.
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    f.w->contents()->showDisc(disc, QStringLiteral("光盘三"));
    const auto open = [&](const QString& name) {
        const int row = f.listNames().indexOf(name);
        QVERIFY(row >= 0);
        f.list()->selectRow(row);
        emit f.list()->doubleClicked(row);
    };
    open(QStringLiteral("pack.zip"));
    open(planted);
    qputenv("TMPDIR", oldTemp);
    QVERIFY(f.opener.rawPaths.isEmpty());
    QVERIFY2(f.prompts.lastMessage().text.endsWith(QStringLiteral("\n名称不能用作文件名")),
             qPrintable(f.prompts.lastMessage().text));
    const QStringList made = QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(made.size(), 1); // the copies' own folder, and nothing beside it
    QDirIterator it(temp + QLatin1Char('/') + made.first(), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    QVERIFY2(!it.hasNext(), qPrintable(it.hasNext() ? it.next() : QString()));
}

QTEST_MAIN(TestDiscOpen)
#include "tst_discopen.moc"
