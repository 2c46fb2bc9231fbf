// Editing the category tree: new categories, renaming in place, deleting, and moving by
// drag and drop.
#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/categoryview.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/nodes.h"
#include "gui/browser/notes.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/icons.h"
#include "gui/common/prompts.h"
#include "gui/store/cataloghandler.h"

#include <QDropEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>

namespace vorlane {

// Opens label editors only with full access, reports every accepted edit, and knows
// whether an editor is open.
class CategoryDelegate : public QStyledItemDelegate {
public:
    CategoryDelegate(QTreeWidget* view, CatalogSession& session, CategoryTree* tree)
        : QStyledItemDelegate(view), m_view(view), m_session(session), m_tree(tree) {}

    bool editing() const { return m_open > 0; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (!m_session.fullAccess())
            return nullptr;
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor)
            ++m_open;
        return editor;
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        m_open = qMax(0, m_open - 1);
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        QStyledItemDelegate::setModelData(editor, model, index);
        if (QTreeWidgetItem* node = m_view->itemFromIndex(index))
            m_tree->tvMainEdited(node);
    }

private:
    QTreeWidget* m_view;
    CatalogSession& m_session;
    CategoryTree* m_tree;
    mutable int m_open = 0;
};

namespace {

bool isInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor) {
    for (const QTreeWidgetItem* p = node; p; p = p->parent()) {
        if (p == ancestor)
            return true;
    }
    return false;
}

int indexOf(QTreeWidgetItem* node) {
    return node->parent() ? node->parent()->indexOfChild(node)
                          : node->treeWidget()->indexOfTopLevelItem(node);
}

// Takes a node (with everything below it) out of the tree; nothing when it is out already.
void detach(QTreeWidgetItem* node) {
    if (QTreeWidgetItem* parent = node->parent())
        parent->removeChild(node);
    else if (QTreeWidget* tree = node->treeWidget())
        tree->takeTopLevelItem(tree->indexOfTopLevelItem(node));
}

} // namespace

void CategoryTree::setupEditing() {
    QTreeWidget* tree = m_views.tvMain;
    m_delegate = new CategoryDelegate(m_views.tvMain, m_session, this);
    tree->setItemDelegate(m_delegate);
    // The moves are made by the drop handler; the view itself must never remove the
    // dragged node, which it would do after a drop accepted as a move.
    tree->setDragDropMode(QAbstractItemView::DragDrop);
    tree->setDefaultDropAction(Qt::CopyAction);
}

bool CategoryTree::isEditing() const {
    return m_delegate && m_delegate->editing();
}

void CategoryTree::tvMainEdited(QTreeWidgetItem* node) {
    m_session.setModified(true);
    if (nodes::isDisc(node) && nodes::hasId(node))
        emit discRenamed(nodes::id(node), node->text(0));
}

// --- New categories --------------------------------------------------------------------------

QTreeWidgetItem* CategoryTree::newCategoryNode() {
    auto* node = new QTreeWidgetItem(QStringList{QStringLiteral("新分类")});
    node->setIcon(0, nodeIcon(NodeIcon::Category));
    node->setData(0, nodes::KindRole, nodes::Category);
    node->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                   Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    return node;
}

// The new node is selected with its label editor open, so the name is typed at once.
void CategoryTree::placeNewCategory(QTreeWidgetItem* node) {
    QTreeWidget* tree = m_views.tvMain;
    if (node->parent())
        node->parent()->setExpanded(true);
    tree->setCurrentItem(node);
    tree->scrollToItem(node);
    tree->editItem(node, 0);
    m_session.setModified(true);
}

void CategoryTree::btnAddChildClick() {
    QTreeWidget* tree = m_views.tvMain;
    QTreeWidgetItem* parent = tree->currentItem();
    if (nodes::isDisc(parent))
        return;
    QTreeWidgetItem* node = newCategoryNode();
    if (parent)
        parent->addChild(node);
    else
        tree->addTopLevelItem(node);
    placeNewCategory(node);
}

void CategoryTree::btnAddUpClick() {
    QTreeWidgetItem* selected = m_views.tvMain->currentItem();
    if (!nodes::isCategory(selected))
        return;
    QTreeWidgetItem* node = newCategoryNode();
    const int at = indexOf(selected);
    if (selected->parent())
        selected->parent()->insertChild(at, node);
    else
        m_views.tvMain->insertTopLevelItem(at, node);
    placeNewCategory(node);
}

void CategoryTree::btnAddDownClick() {
    QTreeWidgetItem* selected = m_views.tvMain->currentItem();
    if (!nodes::isCategory(selected))
        return;
    QTreeWidgetItem* node = newCategoryNode();
    const int at = indexOf(selected) + 1;
    if (selected->parent())
        selected->parent()->insertChild(at, node);
    else
        m_views.tvMain->insertTopLevelItem(at, node);
    placeNewCategory(node);
}

void CategoryTree::MRenameNodeClick() {
    QTreeWidgetItem* node = m_views.tvMain->currentItem();
    if (node)
        m_views.tvMain->editItem(node, 0);
}

// --- Delete ------------------------------------------------------------------------------------

void CategoryTree::btnClassDeleteClick() {
    QTreeWidget* tree = m_views.tvMain;
    QTreeWidgetItem* node = tree->currentItem();
    if (!m_views.btnClassDelete->isEnabled() || !node)
        return;
    if (!prompts().askYesNo(m_views.window,
                            QStringLiteral("是否确认删除光盘分类中当前选中的分支？"),
                            QStringLiteral("提示")))
        return;
    const bool disc = nodes::isDisc(node);
    // A category added since the last save has no row yet.
    const bool stored = nodes::hasId(node);
    if (stored) {
        try {
            if (disc)
                catalogstore::removeDisc(m_session.db(), nodes::id(node));
            else
                catalogstore::removeCategory(m_session.db(), nodes::id(node));
        } catch (const DbError& e) {
            prompts().error(m_views.window, e.text(), QStringLiteral("Vorlane"));
            return;
        }
    }
    if (disc) {
        emit discClosing();
        enableAll({}, {m_views.btnExpSave}, false);
    }
    {
        HandlingOff off(m_session);
        emit contentsClearing();
        // The view selects a neighbour while the node is still there; its selection
        // handling runs once the node is gone, so a parent left without children can be
        // deleted next.
        delete node;
    }
    if (stored)
        m_session.notifyWritten();
    tvMainChange(m_views.tvMain->currentItem());
}

// --- Drag and drop -------------------------------------------------------------------------------

bool CategoryTree::dragEvent(QDropEvent* event) {
    auto* view = qobject_cast<CategoryView*>(m_views.tvMain);
    const auto mark = [view](CategoryView::DropMark m, const QRect& row = {}) {
        if (view)
            view->setDropMark(m, row);
    };
    // Only the tree's own nodes move, and only with full access.
    if (event->source() != m_views.tvMain || !m_session.fullAccess()) {
        mark(CategoryView::DropMark::None);
        event->ignore();
        return true;
    }
    const QPoint pos = event->position().toPoint();
    if (event->type() == QEvent::Drop) {
        mark(CategoryView::DropMark::None);
        tvMainDragDrop(pos);
    } else {
        // The mark shows what a drop here would do; where it would do nothing, the
        // pointer says so. The event stays accepted: an ignored enter would end the drag
        // over the whole view.
        const DropPlan plan = dropPlan(m_views.tvMain->currentItem(), pos);
        if (plan.move == DropPlan::None) {
            mark(CategoryView::DropMark::None);
            event->setDropAction(Qt::IgnoreAction);
            event->accept();
            return true;
        }
        mark(plan.move == DropPlan::LastChild ? CategoryView::DropMark::Into
                                              : CategoryView::DropMark::Before,
             m_views.tvMain->visualItemRect(plan.target));
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

QTreeWidgetItem* CategoryTree::dropTarget(const QPoint& pos, bool* onItem) const {
    QTreeWidget* tree = m_views.tvMain;
    QTreeWidgetItem* target = tree->itemAt(pos);
    if (onItem)
        *onItem = false;
    if (!target)
        return nullptr;
    // The icon and the label, as the item delegate lays them out; the indent, the
    // expand button and the space right of the label are beside the item.
    const QRect cell = tree->visualItemRect(target);
    const QStyle* style = tree->style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
    const int icon = tree->iconSize().isValid()
                         ? tree->iconSize().width()
                         : style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tree);
    const int width =
        icon + 2 * margin + tree->fontMetrics().horizontalAdvance(target->text(0)) + 2 * margin;
    if (onItem)
        *onItem = pos.x() >= cell.left() && pos.x() < cell.left() + width;
    return target;
}

void CategoryTree::moveNode(QTreeWidgetItem* node, QTreeWidgetItem* parent, int index) {
    QTreeWidget* tree = m_views.tvMain;
    HandlingOff off(m_session);
    detach(node);
    if (parent) {
        parent->insertChild(index < 0 ? parent->childCount() : index, node);
        parent->setExpanded(true);
    } else {
        tree->insertTopLevelItem(index < 0 ? tree->topLevelItemCount() : index, node);
    }
    tree->setCurrentItem(node);
}

CategoryTree::DropPlan CategoryTree::dropPlan(QTreeWidgetItem* dragged, const QPoint& pos) const {
    bool onItem = false;
    QTreeWidgetItem* target = dropTarget(pos, &onItem);
    if (!dragged || !target)
        return {};
    const bool targetIsCategory = nodes::isCategory(target);
    const bool draggedIsCategory = nodes::isCategory(dragged);
    if (isInside(target, dragged))
        return {target, DropPlan::None}; // onto itself or into its own subtree
    if (onItem && targetIsCategory)
        return {target, draggedIsCategory ? DropPlan::Before : DropPlan::LastChild};
    if (targetIsCategory)
        return {target, DropPlan::LastChild};
    if (!draggedIsCategory)
        return {target, DropPlan::Before};
    return {target, DropPlan::None};
}

void CategoryTree::tvMainDragDrop(const QPoint& pos) {
    if (!m_session.fullAccess())
        return;
    QTreeWidgetItem* dragged = m_views.tvMain->currentItem();
    const DropPlan plan = dropPlan(dragged, pos);
    // A drop on a node saves even when it moves nothing, as every drop does.
    if (!dragged || !plan.target)
        return;
    if (plan.move == DropPlan::LastChild) {
        moveNode(dragged, plan.target, -1);
    } else if (plan.move == DropPlan::Before) {
        // Take the node out first: the target's place may shift when they are siblings.
        {
            HandlingOff off(m_session);
            detach(dragged);
        }
        moveNode(dragged, plan.target->parent(), indexOf(plan.target));
    }
    emit saveRequested();
}

} // namespace vorlane
