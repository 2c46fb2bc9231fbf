// The copies window and the facts line driven as a user would: 工具 ▸ 副本统计 lists the
// files held on one disc only, largest first, a row takes the main window to its file, and
// the line above a disc's note says what that disc alone holds.
#include "common/actions.h"
#include "common/catalogs.h"
#include "common/testdir.h"
#include "core/store/catalogsession.h"
#include "core/store/database.h"
#include "core/store/foreignhash.h"
#include "gui/dups/copieswindow.h"
#include "gui/store/windowfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

using namespace vorlane;
using testui::child;

class TestCopiesWindow : public QObject {
    Q_OBJECT

private slots:
    void listsFilesOnOneDiscAndTheirDiscsSayHowMuch();
};

void TestCopiesWindow::listsFilesOnOneDiscAndTheirDiscsSayHowMuch() {
    TestDir dir;
    const QString catalog = dir.path(QStringLiteral("copies.vlr"));
    testcat::create(catalog);
    {
        Database db;
        db.open(catalog);
        const qint64 cat = testcat::addCategory(db, QStringLiteral("cat"));
        const qint64 a = testcat::addDisc(db, cat, QStringLiteral("A"));
        const qint64 b = testcat::addDisc(db, cat, QStringLiteral("B"));
        // Kept on both discs under other names, known the same by a hash brought in.
        for (const auto& [disc, name] : {std::pair{a, "movie.mkv"}, std::pair{b, "film.mkv"}})
            foreignhash::store(db, testcat::addEntry(db, disc, 0, QLatin1String(name), false, 7000),
                               {HashAlgorithm::Sha1, QByteArray(20, 'f')});
        const qint64 folder = testcat::addEntry(db, a, 0, QStringLiteral("photos"), true);
        testcat::addEntry(db, a, folder, QStringLiteral("海边.jpg"), false, 5000);
        testcat::addEntry(db, b, 0, QStringLiteral("other.txt"), false, 12);
    }
    WindowFixture f;
    QVERIFY(f.open(catalog));
    auto* copies = f.w().findChild<CopiesWindow*>();
    QVERIFY(copies);
    QSignalSpy ended(copies, &CopiesWindow::searchFinished);
    TRIGGER(testui::action(&f.w(), "MCopies"));
    QVERIFY(copies->isVisible());
    QVERIFY(ended.wait(10000));
    QStringList rows;
    for (int i = 0; i < copies->tree()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = copies->tree()->topLevelItem(i);
        rows << QStringList{item->text(0), item->text(1), item->text(3)}.join(QLatin1Char(' '));
    }
    QCOMPARE(rows, (QStringList{"/photos/海边.jpg A 1", "/other.txt B 1"}));
    QVERIFY2(child<QLabel>(copies, "lblCount")->text().startsWith(QStringLiteral("共 2 个文件")),
             qPrintable(child<QLabel>(copies, "lblCount")->text()));

    // Two discs at most: the film kept twice comes first, being the largest.
    child<QSpinBox>(copies, "sbMaxDiscs")->setValue(2);
    child<QPushButton>(copies, "btnFind")->click();
    QVERIFY(ended.wait(10000));
    QCOMPARE(copies->tree()->topLevelItemCount(), 4);
    QCOMPARE(copies->tree()->topLevelItem(0)->text(3), QStringLiteral("2"));

    // A row leads to its file.
    QTreeWidgetItem* photo =
        copies->tree()->findItems(QStringLiteral("/photos/海边.jpg"), Qt::MatchExactly).value(0);
    QVERIFY(photo);
    copies->lookAt(photo);
    QTRY_COMPARE(f.w().session().shownDisc(), qint64(1));

    // The facts line of disc A: the photo alone is on no other disc.
    QTRY_VERIFY2(f.w()
                     .findChild<QLabel*>("lbDiscFacts")
                     ->text()
                     .contains(QStringLiteral("仅在此光盘：1 个文件，")),
                 qPrintable(f.w().findChild<QLabel*>("lbDiscFacts")->text()));
}

QTEST_MAIN(TestCopiesWindow)
#include "tst_copieswindow.moc"
