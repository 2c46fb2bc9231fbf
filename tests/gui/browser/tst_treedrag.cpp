// Moving nodes of the category tree with the mouse, the whole way: press, drag and release
// over the view, through the platform's drag loop and the view's drag and drop events.
#include "common/actions.h"
#include "gui/browser/categoryview.h"
#include "gui/browser/smalltree.h"

#include <QtTest>

using namespace vorlane;

class TestTreeDrag : public QObject {
    Q_OBJECT

private slots:
    void dragWithTheMouse_data();
    void dragWithTheMouse();
};

void TestTreeDrag::dragWithTheMouse_data() {
    QTest::addColumn<QString>("dragged");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("onItem");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("reopened");
    QTest::addColumn<CategoryView::DropMark>("mark"); // shown over the target before the drop
    using Mark = CategoryView::DropMark;
    QTest::newRow("disc into a category")
        << "c"
        << "A1" << true << false << QStringList{"A", "  A1", "    *c", "  *a", "  *b", "B", "  B1"}
        << Mark::Into;
    QTest::newRow("category before a category")
        << "B1"
        << "A1" << true << false << QStringList{"A", "  B1", "  A1", "  *a", "  *b", "B", "  *c"}
        << Mark::Before;
    QTest::newRow("into its own subtree") << "A"
                                          << "A1" << false << false << smallTree() << Mark::None;
    QTest::newRow("read-only catalog") << "c"
                                       << "A1" << true << true << smallTree() << Mark::None;
}

// The whole way a user moves a node: press, drag and release over the view, the drag and
// drop events reaching the view's filter and nothing else moving the node.
void TestTreeDrag::dragWithTheMouse() {
    QFETCH(QString, dragged);
    QFETCH(QString, target);
    QFETCH(bool, onItem);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, reopened);
    QFETCH(CategoryView::DropMark, mark);
    TestDir dir;
    const QString file = smallCatalog(dir);
    WindowFixture f;
    QVERIFY(showTree(f, file));
    if (readOnly)
        f.w().session().setAccessMode(AccessMode::ReadOnly);
    QWidget* view = f.tree()->viewport();
    const QPoint from = pointOn(f.tree(), findNode(f.tree(), dragged), true);
    const QPoint to = pointOn(f.tree(), findNode(f.tree(), target), onItem);

    auto* categoryView = qobject_cast<CategoryView*>(f.tree());
    QVERIFY(categoryView);
    const QRect targetRow = f.tree()->visualItemRect(findNode(f.tree(), target));
    CategoryView::DropMark markShown = CategoryView::DropMark::None;
    QRect markRect;
    bool dropped = false;
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    // The drag runs its own loop: the rest of the gesture happens inside it.
    QTimer::singleShot(0, view, [&] {
        QTest::mouseMove(view, to + QPoint(0, 1));
        QTest::mouseMove(view, to);
        markShown = categoryView->dropMark();
        markRect = categoryView->dropMarkRect();
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        dropped = true;
    });
    // Ends a drag that the release did not end, so that a failure cannot hang the test.
    QTimer::singleShot(5000, view, [view] { QTest::keyClick(view, Qt::Key_Escape); });
    QTest::mouseMove(view, from + QPoint(1, 0));
    QTest::mouseMove(view, from + QPoint(QApplication::startDragDistance() + 8, 0));

    QVERIFY2(dropped, "no drag started");
    QCoreApplication::processEvents();
    QCOMPARE(markShown, mark);
    if (mark != CategoryView::DropMark::None)
        QCOMPARE(markRect, targetRow);
    QCOMPARE(categoryView->dropMark(), CategoryView::DropMark::None); // gone with the drag

    QCOMPARE(dumpTree(f.tree()), reopened);
    QVERIFY(f.prompts.messages().isEmpty());
    QCOMPARE(reopenedTree(file), reopened);
    if (!readOnly)
        QCOMPARE(f.tree()->currentItem(), findNode(f.tree(), dragged));
}

// The offscreen platform ends every drag at once; the minimal one runs a drag loop that
// turns mouse events into drag and drop events, as a desktop does.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
    QApplication app(argc, argv);
    TestTreeDrag test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_treedrag.moc"
