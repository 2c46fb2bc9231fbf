// 复制路径 and 属性 for any list of catalogued entries: the file list, search hits and
// duplicate files alike.
#pragma once

#include <QList>
#include <QString>
#include <functional>

class QAbstractItemView;
class QAction;
class QMenu;
class QWidget;

namespace vorlane {

class CatalogSession;

// An entry of a disc, or with `entryId` 0 the disc itself.
struct EntryTarget {
    qint64 discId = 0;
    qint64 entryId = 0;
};

namespace entrylook {

// The target of a search hit or a jump: its file, else its folder, else its disc.
inline EntryTarget targetOf(qint64 discId, qint64 folderId, qint64 fileId) {
    return {discId, fileId != 0 ? fileId : folderId};
}

// Puts the targets' full paths on the clipboard, one a line; a database failure is shown
// above `parent`. Targets that are gone are left out.
void copyPaths(QWidget* parent, CatalogSession& session, const QList<EntryTarget>& targets);

// Opens the target's properties above `parent`; says so when it is gone.
void showProperties(QWidget* parent, CatalogSession& session, const EntryTarget& target);

// The two commands for a view of entries, named `<prefix>CopyPath` and `<prefix>Properties`,
// acting on what `targets` gives, and the view's pop-up menu (`<prefix>Menu`) holding them;
// 属性 answers Alt+Enter while the view has the focus.
struct Actions {
    QAction* copyPath = nullptr;
    QAction* properties = nullptr;
    QMenu* menu = nullptr;
};
Actions attach(QAbstractItemView* view, const QString& prefix, CatalogSession& session,
               std::function<QList<EntryTarget>()> targets);

// Alt+Enter on `view` runs `action`, which shows the key in menus.
void onAltEnter(QWidget* view, QAction* action);

} // namespace entrylook
} // namespace vorlane
