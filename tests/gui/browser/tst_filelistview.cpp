#include "core/store/contentstore.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"

#include <QListView>
#include <QTest>

using namespace vorlane;

class TestFileListView : public QObject {
    Q_OBJECT
private slots:
    void namesAreNotCutShort_data();
    void namesAreNotCutShort();
    void smallIconsStayInsideTheirCells();
};

void TestFileListView::namesAreNotCutShort_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("style");
    QTest::newRow("small icons") << int(FileListView::Report) << int(FileListView::SmallIcon);
    QTest::newRow("list") << int(FileListView::Report) << int(FileListView::List);
    QTest::newRow("list after large icons")
        << int(FileListView::LargeIcon) << int(FileListView::List);
    QTest::newRow("small after large icons")
        << int(FileListView::LargeIcon) << int(FileListView::SmallIcon);
}

// A short last name must not set the width every other name is cut to.
void TestFileListView::namesAreNotCutShort() {
    QFETCH(int, before);
    QFETCH(int, style);
    FileListView view;
    view.resize(800, 400);
    std::vector<Entry> entries;
    for (const char* name : {"Roman Holiday", "Casablanca", "a.txt"}) {
        Entry e;
        e.id = qint64(entries.size() + 1);
        e.name = QString::fromUtf8(name);
        entries.push_back(e);
    }
    view.model()->setEntries(std::move(entries));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setStyle(FileListView::Style(before));
    QCoreApplication::processEvents();
    view.setStyle(FileListView::Style(style));
    QListView* list = view.iconView();
    list->doItemsLayout();
    QCoreApplication::processEvents();
    const QModelIndex first = list->model()->index(0, EntryModel::Name);
    const int textWidth = list->fontMetrics().horizontalAdvance(QStringLiteral("Roman Holiday"));
    QVERIFY2(list->visualRect(first).width() >= textWidth + list->iconSize().width(),
             qPrintable(QString::number(list->visualRect(first).width())));
}

// A name wider than the grid is cut at its cell, not drawn over the next one.
void TestFileListView::smallIconsStayInsideTheirCells() {
    FileListView view;
    view.resize(800, 400);
    std::vector<Entry> entries;
    for (const QString& name : {QString(60, QLatin1Char('w')), QStringLiteral("b")}) {
        Entry e;
        e.id = qint64(entries.size() + 1);
        e.name = name;
        entries.push_back(e);
    }
    view.model()->setEntries(std::move(entries));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setStyle(FileListView::SmallIcon);
    QListView* list = view.iconView();
    list->doItemsLayout();
    QCoreApplication::processEvents();
    const QRect longName = list->visualRect(list->model()->index(0, EntryModel::Name));
    const QRect next = list->visualRect(list->model()->index(1, EntryModel::Name));
    QVERIFY(longName.width() <= list->gridSize().width());
    QVERIFY(!longName.intersects(next));
}

QTEST_MAIN(TestFileListView)
#include "tst_filelistview.moc"
