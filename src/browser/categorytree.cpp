#include "browser/categorytree.h"

#include "app/icons.h"
#include "app/mainwindow.h"
#include "browser/nodes.h"

#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace vorlane {

CategoryTree::CategoryTree(MainWindow* window) : QObject(window), w(window) {
    setObjectName(QStringLiteral("CategoryTree"));
    connect(w->tvMain(), &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { tvMainChange(current); });
}

void CategoryTree::load() {
    // Loading the tree from the catalog is completed with the category tree's editing.
}

void CategoryTree::clear() { w->tvMain()->clear(); }

int CategoryTree::nodeCount() const {
    int n = 0;
    for (QTreeWidgetItemIterator it(w->tvMain()); *it; ++it)
        ++n;
    return n;
}

QTreeWidgetItem* CategoryTree::addDiscNode(QTreeWidgetItem* category, qint64 id,
                                           const QString& name) {
    auto* node = new QTreeWidgetItem(category, QStringList{name});
    node->setIcon(0, nodeIcon(NodeIcon::Disc));
    node->setData(0, nodes::KindRole, nodes::Disc);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    nodes::setId(node, id);
    return node;
}

QTreeWidgetItem* CategoryTree::findDiscNode(const QString& idText) const {
    for (QTreeWidgetItemIterator it(w->tvMain()); *it; ++it) {
        if (nodes::isDisc(*it) && nodes::idText(*it) == idText)
            return *it;
    }
    return nullptr;
}

void CategoryTree::tvMainChange(QTreeWidgetItem* /*node*/) {
    if (!w->changeHandling())
        return;
}

void CategoryTree::btnAddChildClick() {
    QTreeWidget* tree = w->tvMain();
    QTreeWidgetItem* parent = tree->currentItem();
    auto* node = parent ? new QTreeWidgetItem(parent, QStringList{QStringLiteral("新分类")})
                        : new QTreeWidgetItem(tree, QStringList{QStringLiteral("新分类")});
    node->setIcon(0, nodeIcon(NodeIcon::Category));
    node->setData(0, nodes::KindRole, nodes::Category);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    tree->setCurrentItem(node);
    tree->scrollToItem(node);
    tree->editItem(node, 0);
    w->setModified(true);
}

} // namespace vorlane
