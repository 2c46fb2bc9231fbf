// The category tree tvMain: categories with their discs, loaded from the catalog and
// edited in place until the next save.
#pragma once

#include "gui/common/views.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

class QDropEvent;
class QTreeWidgetItem;

namespace vorlane {

class CategoryDelegate;
class CatalogSession;
class Commands;

class CategoryTree : public QObject {
    Q_OBJECT

public:
    CategoryTree(CatalogSession& session, Commands& commands, const Views& views);

    // Fills the tree from the open catalog (top level down): each category's
    // sub-categories, then its discs, each group by OrderId. Shows its progress against
    // the load total and adds the discs to the session's disc count.
    void load();
    // Empties the tree and loads it again from the catalog, for a write that added nodes
    // (a merge).
    void reload();
    // The number of rows load() will add, for its progress bar.
    void setLoadTotal(qint64 rows) { m_loadTotal = rows; }
    // Empties the tree; node ids are counted from 0 again.
    void clear();
    // Asked before the shown disc changes: stores or drops an edited note, as the user
    // says; false keeps the disc. Handed over by whoever wires the window.
    void setNoteSettler(std::function<bool()> settle) { m_settleNote = std::move(settle); }
    // Counts the categories and discs in the tree into the session.
    void publishCounts();
    // A disc's entries were written anew and whole: its mark follows what the catalog
    // recorded of the scan, and it is shown anew when it is the one selected.
    void discRewritten(qint64 discId);
    // Adds a disc node as the last child of `category`; its id holder counts in the node
    // id serial. The disc count is left to the caller.
    QTreeWidgetItem* addDiscNode(QTreeWidgetItem* category, qint64 id, const QString& name);
    // A disc row was stored below the category `categoryId`: its node joins that category
    // and is selected, without running the selection handling.
    void discAdded(qint64 categoryId, qint64 discId, const QString& name);
    // Marks a disc node whose import was cancelled or failed (an emblem on its icon), or
    // clears the mark.
    void setDiscIncomplete(QTreeWidgetItem* node, bool incomplete);
    // The disc node's tool tip: its import and what it holds, read from the catalog now.
    QString discToolTip(const QTreeWidgetItem* node) const;
    // The first disc node, in tree order, whose id is `idText`.
    QTreeWidgetItem* findDiscNode(const QString& idText) const;
    // Selects `node` without running the selection handling.
    void selectNodeSilently(QTreeWidgetItem* node);

    // Where a drop at `pos` (viewport coordinates) lands: the node there, and whether the
    // point lies on its icon or label rather than beside them.
    QTreeWidgetItem* dropTarget(const QPoint& pos, bool* onItem) const;
    // True while a node's label editor is open.
    bool isEditing() const;

signals:
    // A disc node was selected (or double-clicked): its contents are wanted.
    void discSelected(qint64 discId, const QString& name);
    // How far load() has come, in percent.
    void loadProgress(int percent);
    // load() has filled the tree and set the disc count.
    void loaded();
    // The shown disc was deleted: its note and contents go.
    void discClosing();
    // A node is deleted: the contents of whatever it held go.
    void contentsClearing();
    // The tree was rearranged by a drop and is to be saved.
    void saveRequested();
    // A disc node's label was edited in place.
    void discRenamed(qint64 discId, const QString& name);

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
    // Advances the load counter and shows counter * 100 / total.
    void stepLoad();
    // The selection goes back to the disc shown now (its note's edit was kept).
    void keepShownDisc();
    void setupEditing();
    // What a drop of `dragged` at `pos` does, by the drop table.
    struct DropPlan {
        enum Move { None, Before, LastChild };
        QTreeWidgetItem* target = nullptr;
        Move move = None;
    };
    DropPlan dropPlan(QTreeWidgetItem* dragged, const QPoint& pos) const;
    bool dragEvent(QDropEvent* event);
    QTreeWidgetItem* newCategoryNode();
    void placeNewCategory(QTreeWidgetItem* node);
    void moveNode(QTreeWidgetItem* node, QTreeWidgetItem* parent, int index);

    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
    CategoryDelegate* m_delegate = nullptr;
    std::function<bool()> m_settleNote;
    qint64 m_loadTotal = 0;
    qint64 m_loadCounter = 0;
};

} // namespace vorlane
