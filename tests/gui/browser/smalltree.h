// A small catalog for the category tree tests, the tree a window shows of it, and where to
// point at a node.
#pragma once

#include "common/testdir.h"
#include "gui/store/windowfixture.h"

#include <QTest>
#include <QTreeWidget>

// A        (top, OrderId 0)
//   A1
//   *a
//   *b
// B
//   B1
//   *c
inline QString smallCatalog(TestDir& dir) {
    const QString file = dir.path("tree.vlr");
    testcat::create(file);
    vorlane::Database db;
    db.open(file);
    const qint64 a = testcat::addCategory(db, "A", 0, 0);
    const qint64 a1 = testcat::addCategory(db, "A1", a, 1);
    testcat::addDisc(db, a, "a", 2);
    testcat::addDisc(db, a, "b", 3);
    const qint64 b = testcat::addCategory(db, "B", 0, 4);
    testcat::addCategory(db, "B1", b, 5);
    const qint64 c = testcat::addDisc(db, b, "c", 6);
    testcat::addEntry(db, c, 0, "folder", true);
    testcat::addEntry(db, c, 1, "file.txt", false, 10, "/folder");
    Q_UNUSED(a1);
    return file;
}

inline QStringList smallTree() {
    return {"A", "  A1", "  *a", "  *b", "B", "  B1", "  *c"};
}

// Opens a catalog in a shown window with every node expanded, for tests that click or drag
// where a user would.
inline bool showTree(WindowFixture& f, const QString& file) {
    if (!f.open(file))
        return false;
    f.w().resize(800, 600);
    f.w().show();
    if (!QTest::qWaitForWindowExposed(&f.w()))
        return false;
    f.tree()->expandAll();
    return true;
}

// A point on the node's icon and label, or right of them in its row.
inline QPoint pointOn(QTreeWidget* tree, QTreeWidgetItem* node, bool onItem) {
    const QRect r = tree->visualItemRect(node);
    return QPoint(onItem ? r.left() + 4 : r.right() - 4, r.center().y());
}
