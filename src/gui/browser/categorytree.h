// The category tree tvMain: categories with their discs, loaded from the catalog and
// edited in place until the next save.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class QDropEvent;
class QTreeWidgetItem;

namespace vorlane {

class CategoryDelegate;
class MainWindow;

class CategoryTree : public QObject {
    Q_OBJECT

public:
    explicit CategoryTree(MainWindow* window);

    // Fills the tree from the open catalog (top level down): each category's
    // sub-categories, then its discs, each group by OrderId. Advances the load counter
    // and counts the discs in DiscCount.
    void load();
    void clear();
    // Number of nodes in the whole tree.
    int nodeCount() const;
    // Adds a disc node as the last child of `category`; its id holder counts in
    // NodeIdSerial. DiscCount is left to the caller.
    QTreeWidgetItem* addDiscNode(QTreeWidgetItem* category, qint64 id, const QString& name);
    // The first disc node, in tree order, whose id is `idText`.
    QTreeWidgetItem* findDiscNode(const QString& idText) const;
    // Selects `node` without running the selection handling.
    void selectNodeSilently(QTreeWidgetItem* node);

    // Where a drop at `pos` (viewport coordinates) lands: the node there, and whether the
    // point lies on its icon or label rather than beside them.
    QTreeWidgetItem* dropTarget(const QPoint& pos, bool* onItem) const;
    // True while a node's label editor is open.
    bool isEditing() const;

public slots:
    void tvMainChange(QTreeWidgetItem* node);
    void tvMainDblClick();
    // A right click at `pos` (viewport coordinates): selects the node there and opens the
    // pop-up menu; nothing on empty space.
    void tvMainMouseDown(const QPoint& pos);
    void MRenameNodeClick();
    void MFullOpenClick();
    void MFullCloseClick();
    void btnAddChildClick();
    void btnAddUpClick();
    void btnAddDownClick();
    void btnClassDeleteClick();
    // Moves the selected node as the drop table says and saves at once.
    void tvMainDragDrop(const QPoint& pos);
    // An accepted label edit.
    void tvMainEdited(QTreeWidgetItem* node);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void newClassIdHolder(QTreeWidgetItem* node, qint64 id);
    void setupEditing();
    bool dragEvent(QDropEvent* event);
    QTreeWidgetItem* newCategoryNode();
    void placeNewCategory(QTreeWidgetItem* node);
    void moveNode(QTreeWidgetItem* node, QTreeWidgetItem* parent, int index);

    MainWindow* w;
    CategoryDelegate* m_delegate = nullptr;
};

} // namespace vorlane
