// What a tree node carries: its kind (the image index) and its row's id as decimal text.
#pragma once

#include <QString>
#include <QTreeWidgetItem>

class QTreeWidget;

namespace vorlane::nodes {

enum Kind { Category = 0, Disc = 1, Folder = 2 };

constexpr int IdRole = Qt::UserRole;             // QString: the row's AutoId; null when unsaved
constexpr int KindRole = Qt::UserRole + 1;       // Kind
constexpr int IncompleteRole = Qt::UserRole + 2; // bool: a disc whose import did not finish

inline Kind kind(const QTreeWidgetItem* item) {
    return item ? Kind(item->data(0, KindRole).toInt()) : Category;
}
inline bool isDisc(const QTreeWidgetItem* item) {
    return item && kind(item) == Disc;
}
inline bool isCategory(const QTreeWidgetItem* item) {
    return item && kind(item) == Category;
}
inline bool hasId(const QTreeWidgetItem* item) {
    return item && !item->data(0, IdRole).toString().isEmpty();
}
inline QString idText(const QTreeWidgetItem* item) {
    return item ? item->data(0, IdRole).toString() : QString();
}
// The disc node of this id in `tree`; null when there is none.
QTreeWidgetItem* findDisc(QTreeWidget* tree, qint64 discId);
inline qint64 id(const QTreeWidgetItem* item) {
    return idText(item).toLongLong();
}
inline void setId(QTreeWidgetItem* item, qint64 id) {
    item->setData(0, IdRole, QString::number(id));
}

} // namespace vorlane::nodes
