#include "gui/browser/categorytree.h"
#include "gui/common/commands.h"

#include "core/store/catalogsession.h"
#include "core/store/catalogstore.h"
#include "core/store/database.h"
#include "gui/browser/categoryview.h"
#include "gui/browser/discfacts.h"
#include "gui/browser/entrylook.h"
#include "gui/browser/menukeys.h"
#include "gui/browser/nodes.h"
#include "gui/browser/notes.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/icons.h"

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace vorlane {

namespace {

// The disc icon with a red exclamation mark in its lower right corner.
QIcon incompleteDiscIcon() {
    static const QIcon icon = [] {
        QPixmap pm = nodeIcon(NodeIcon::Disc).pixmap(16, 16);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc6, 0x28, 0x28));
        p.drawEllipse(QRectF(8, 8, 8, 8));
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(12, 9.5), QPointF(12, 12.8));
        p.drawPoint(QPointF(12, 14.4));
        return QIcon(pm);
    }();
    return icon;
}

} // namespace

CategoryTree::CategoryTree(CatalogSession& session, Commands& commands, const Views& views)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views) {
    setObjectName(QStringLiteral("CategoryTree"));
    QTreeWidget* tree = m_views.tvMain;
    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { tvMainChange(current); });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &CategoryTree::tvMainDblClick);
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);
    tree->setContextMenuPolicy(Qt::NoContextMenu);
    tree->setDragEnabled(true);
    tree->setAcceptDrops(true);
    tree->viewport()->setAcceptDrops(true);
    tree->setDropIndicatorShown(false);

    for (QAction* a : {m_commands.RenameNode, m_commands.MRenameNode})
        connect(a, &QAction::triggered, this, &CategoryTree::MRenameNodeClick);
    connect(m_commands.MFullOpen, &QAction::triggered, this, &CategoryTree::MFullOpenClick);
    connect(m_commands.MFullClose, &QAction::triggered, this, &CategoryTree::MFullCloseClick);
    for (QAction* a : {m_commands.NewChildClass, m_commands.MAddChildNode})
        connect(a, &QAction::triggered, this, &CategoryTree::btnAddChildClick);
    for (QAction* a : {m_commands.NewBrotherUp, m_commands.MAddUpNode})
        connect(a, &QAction::triggered, this, &CategoryTree::btnAddUpClick);
    for (QAction* a : {m_commands.NewBrotherDown, m_commands.MAddDownNode})
        connect(a, &QAction::triggered, this, &CategoryTree::btnAddDownClick);
    connect(m_views.btnClassDelete, &QAbstractButton::clicked, this,
            &CategoryTree::btnClassDeleteClick);
    connect(m_commands.MClassDelete, &QAction::triggered, this, &CategoryTree::btnClassDeleteClick);
    entrylook::onAltEnter(tree, m_commands.MDiscProperties);
    connect(m_commands.MDiscProperties, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem* node = m_views.tvMain->currentItem(); nodes::isDisc(node))
            entrylook::showProperties(m_views.window, m_session, {nodes::id(node), 0});
    });
    setupEditing();
}

// --- Loading -------------------------------------------------------------------------------

void CategoryTree::newClassIdHolder(QTreeWidgetItem* node, qint64 id) {
    m_session.takeNodeSerial();
    nodes::setId(node, id);
}

void CategoryTree::stepLoad() {
    ++m_loadCounter;
    if (m_loadTotal > 0)
        emit loadProgress(int(m_loadCounter * 100 / m_loadTotal));
}

void CategoryTree::load() {
    m_loadCounter = 0;
    const CatalogTree rows = catalogstore::loadTree(m_session.db());
    const auto& categories = rows.categories;
    const auto& discs = rows.discs;

    const QIcon categoryIcon = nodeIcon(NodeIcon::Category);
    const QIcon discIcon = nodeIcon(NodeIcon::Disc);
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                                Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    // Built detached and handed to the view once: adding nodes one by one to a shown tree
    // costs a model update each. Depth first: a category's whole sub-tree, then its discs,
    // then its next sibling. Only rows reachable from the top level are shown.
    auto addLevel = [&](auto& self, QTreeWidgetItem* parent, qint64 parentId,
                        QList<QTreeWidgetItem*>* top) -> void {
        for (const TreeNodeRow& row : categories.value(parentId)) {
            stepLoad();
            auto* node = new QTreeWidgetItem(QStringList{row.name});
            node->setIcon(0, categoryIcon);
            node->setData(0, nodes::KindRole, nodes::Category);
            node->setFlags(flags);
            newClassIdHolder(node, row.id);
            if (parent)
                parent->addChild(node);
            else
                top->append(node);
            self(self, node, row.id, top);
            for (const TreeNodeRow& disc : discs.value(row.id)) {
                stepLoad();
                auto* d = new QTreeWidgetItem(node, QStringList{disc.name});
                d->setIcon(0, discIcon);
                d->setData(0, nodes::KindRole, nodes::Disc);
                d->setFlags(flags);
                if (disc.incomplete)
                    setDiscIncomplete(d, true);
                newClassIdHolder(d, disc.id);
            }
        }
    };
    QList<QTreeWidgetItem*> top;
    addLevel(addLevel, nullptr, 0, &top);
    m_views.tvMain->addTopLevelItems(top);
    emit loaded();
}

void CategoryTree::reload() {
    clear();
    setLoadTotal(catalogstore::treeRowCount(m_session.db()));
    load();
}

void CategoryTree::clear() {
    m_session.setNodeSerial(0);
    m_views.tvMain->clear();
}

void CategoryTree::discRewritten(qint64 discId) {
    QTreeWidgetItem* node = nodes::findDisc(m_views.tvMain, discId);
    if (!node)
        return;
    std::optional<DiscFacts> facts;
    try {
        facts = catalogstore::discFacts(m_session.db(), discId, false);
    } catch (const DbError&) {
    }
    setDiscIncomplete(node, facts && facts->state && *facts->state != ScanState::Complete);
    if (node == m_views.tvMain->currentItem())
        tvMainChange(node);
}

void CategoryTree::discAdded(qint64 categoryId, qint64 discId, const QString& name) {
    for (QTreeWidgetItemIterator it(m_views.tvMain); *it; ++it) {
        if (nodes::isCategory(*it) && nodes::hasId(*it) && nodes::id(*it) == categoryId) {
            selectNodeSilently(addDiscNode(*it, discId, name));
            return;
        }
    }
}

void CategoryTree::publishCounts() {
    int categories = 0;
    int discs = 0;
    for (QTreeWidgetItemIterator it(m_views.tvMain); *it; ++it)
        ++(nodes::isDisc(*it) ? discs : categories);
    m_session.setCounts(categories, discs);
}

QTreeWidgetItem* CategoryTree::addDiscNode(QTreeWidgetItem* category, qint64 id,
                                           const QString& name) {
    // Made whole before it joins the tree, which counts it as a disc on arrival.
    auto* node = new QTreeWidgetItem(QStringList{name});
    node->setIcon(0, nodeIcon(NodeIcon::Disc));
    node->setData(0, nodes::KindRole, nodes::Disc);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    newClassIdHolder(node, id);
    category->addChild(node);
    return node;
}

void CategoryTree::setDiscIncomplete(QTreeWidgetItem* node, bool incomplete) {
    node->setData(0, nodes::IncompleteRole, incomplete);
    node->setIcon(0, incomplete ? incompleteDiscIcon() : nodeIcon(NodeIcon::Disc));
}

QString CategoryTree::discToolTip(const QTreeWidgetItem* node) const {
    if (!nodes::isDisc(node) || !m_session.db().isOpen())
        return {};
    std::optional<DiscFacts> facts;
    try {
        facts = catalogstore::discFacts(m_session.db(), nodes::id(node));
    } catch (const DbError&) {
        return {};
    }
    if (!facts)
        return {};
    return discFactsToolTip(*facts);
}

QTreeWidgetItem* CategoryTree::findDiscNode(const QString& idText) const {
    for (QTreeWidgetItemIterator it(m_views.tvMain); *it; ++it) {
        if (nodes::isDisc(*it) && nodes::idText(*it) == idText)
            return *it;
    }
    return nullptr;
}

QTreeWidgetItem* nodes::findDisc(QTreeWidget* tree, qint64 discId) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (isDisc(*it) && id(*it) == discId)
            return *it;
    }
    return nullptr;
}

void CategoryTree::selectNodeSilently(QTreeWidgetItem* node) {
    HandlingOff off(m_session);
    m_views.tvMain->setCurrentItem(node);
}

// --- Selection -----------------------------------------------------------------------------

void CategoryTree::tvMainChange(QTreeWidgetItem* node) {
    if (!m_session.changeHandling())
        return;
    // Another disc replaces the shown one's note: an unsaved edit is asked about first.
    if (nodes::isDisc(node) && m_settleNote && !m_settleNote()) {
        keepShownDisc();
        return;
    }
    enableAll({m_commands.NewChildClass, m_commands.NewBrotherUp, m_commands.NewBrotherDown,
               m_commands.InCD, m_commands.RenameNode, m_commands.MAddChildNode,
               m_commands.MAddUpNode, m_commands.MAddDownNode, m_commands.MInCD,
               m_commands.MClassDelete, m_commands.MRenameNode, m_commands.MRescan,
               m_commands.MDiscProperties},
              {m_views.btnAddChild, m_views.btnAddUp, m_views.btnAddDown, m_views.btnInCD,
               m_views.btnClassDelete},
              false);
    if (!node)
        return;
    const bool full = m_session.fullAccess();
    const bool category = nodes::isCategory(node);
    enableAll({m_commands.NewChildClass, m_commands.MAddChildNode, m_commands.NewBrotherUp,
               m_commands.MAddUpNode, m_commands.NewBrotherDown, m_commands.MAddDownNode},
              {m_views.btnAddChild, m_views.btnAddUp, m_views.btnAddDown}, full && category);
    enableAll({m_commands.InCD, m_commands.MInCD, m_commands.RenameNode, m_commands.MRenameNode},
              {m_views.btnInCD}, full);
    enableAll({m_commands.MClassDelete}, {m_views.btnClassDelete},
              full && (!category || node->childCount() == 0));
    enableAll({m_commands.MRescan}, {}, full && !category);
    m_commands.MDiscProperties->setEnabled(!category);
    // A category keeps the disc shown before on screen.
    if (category)
        return;
    emit discSelected(nodes::id(node), node->text(0));
}

void CategoryTree::keepShownDisc() {
    const QString shown =
        m_session.shownDisc() ? QString::number(m_session.shownDisc()) : QString();
    auto reselect = [this, shown] {
        QTreeWidgetItem* node = findDiscNode(shown);
        if (node && (m_views.tvMain->currentItem() != node || !node->isSelected()))
            selectNodeSilently(node);
    };
    reselect();
    // A mouse press selects the clicked row after the current-item change it started has
    // been handled; select the shown disc again once it is through.
    QTimer::singleShot(0, this, reselect);
}

void CategoryTree::tvMainDblClick() {
    QTreeWidgetItem* node = m_views.tvMain->currentItem();
    if (nodes::isDisc(node))
        tvMainChange(node);
}

void CategoryTree::tvMainMouseDown(const QPoint& pos) {
    QTreeWidget* tree = m_views.tvMain;
    QTreeWidgetItem* node = tree->itemAt(pos);
    if (!node)
        return;
    tree->setCurrentItem(node);
    m_views.treePopup->popup(tree->viewport()->mapToGlobal(pos));
}

void CategoryTree::MFullOpenClick() {
    m_views.tvMain->expandAll();
}

void CategoryTree::MFullCloseClick() {
    m_views.tvMain->collapseAll();
}

bool CategoryTree::eventFilter(QObject* watched, QEvent* event) {
    QTreeWidget* tree = m_views.tvMain;
    if (watched == tree && isKeyboardMenuRequest(event)) {
        m_views.treePopup->popup(keyboardMenuPoint(tree));
        return true;
    }
    if (watched == tree && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // While a label is edited the key belongs to the editor.
        if (key->key() == Qt::Key_Delete && !isEditing()) {
            btnClassDeleteClick();
            return true;
        }
        return false;
    }
    if (watched != tree->viewport())
        return false;
    switch (event->type()) {
    case QEvent::ToolTip: {
        // Read when asked for: the counts cost a pass over the disc's rows.
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = discToolTip(tree->itemAt(help->pos()));
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, tree->viewport());
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        tvMainMouseDown(mouse->position().toPoint());
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return dragEvent(static_cast<QDropEvent*>(event));
    case QEvent::DragLeave:
        if (auto* view = qobject_cast<CategoryView*>(tree))
            view->setDropMark(CategoryView::DropMark::None);
        return false; // the view ends its own drag state
    default:
        return false;
    }
}

} // namespace vorlane
