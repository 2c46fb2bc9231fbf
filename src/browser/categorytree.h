// The category tree tvMain: categories with their discs, loaded from the catalog and
// edited in place until the next save.
#pragma once

#include <QObject>
#include <QString>

class QTreeWidgetItem;

namespace vorlane {

class MainWindow;

class CategoryTree : public QObject {
    Q_OBJECT

public:
    explicit CategoryTree(MainWindow* window);

    // Fills the tree from the open catalog (top level down).
    void load();
    void clear();
    // Number of nodes in the whole tree.
    int nodeCount() const;
    // Adds a disc node as the last child of `category`.
    QTreeWidgetItem* addDiscNode(QTreeWidgetItem* category, qint64 id, const QString& name);
    // The first disc node, in tree order, whose id is `idText`.
    QTreeWidgetItem* findDiscNode(const QString& idText) const;

public slots:
    void tvMainChange(QTreeWidgetItem* node);
    void btnAddChildClick();

private:
    MainWindow* w;
};

} // namespace vorlane
