// Showing a given entry in the contents: the jump from a search or duplicates hit, with
// the folders on the way loaded as needed.
#include "core/store/catalogsession.h"
#include "core/store/contentstore.h"
#include "core/store/searchstore.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/browser/pathbar.h"

#include <QListView>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <optional>

namespace vorlane {

bool ContentsController::selectFolderById(const QString& idText) {
    completeFill();
    QTreeWidget* tree = m_views.tvCDRom;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (nodes::idText(*it) == idText) {
            tree->setCurrentItem(*it);
            tree->scrollToItem(*it);
            return true;
        }
    }
    return false;
}

bool ContentsController::selectFileById(const QString& idText) {
    completeFill();
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    const int row = ok ? m_views.lvMain->model()->rowOfId(id) : -1;
    if (row < 0)
        return false;
    m_views.lvMain->clearSelection();
    m_views.lvMain->selectRow(row);
    return true;
}

void ContentsController::showEntry(qint64 discId, qint64 folderId, qint64 fileId) {
    QTreeWidgetItem* node = nodes::findDisc(m_views.tvMain, discId);
    if (!node)
        return; // the main window stays as it is
    QTreeWidget* tree = m_views.tvMain;
    // Selecting the node shows the disc; an already selected one is not reloaded.
    const bool wasShown = tree->currentItem() == node;
    if (!wasShown)
        tree->setCurrentItem(node);
    tree->scrollToItem(node);
    const QString fileIdText = QString::number(fileId);
    std::optional<contentstore::EntryLink> link;
    qint64 archive = 0;
    if (folderId != 0) {
        guarded([&] {
            link = contentstore::entryLink(m_session.db(), folderId);
            if (link && link->archive != ArchiveMark::None)
                archive = link->archive == ArchiveMark::Archive
                              ? folderId
                              : contentstore::archiveOf(m_session.db(), folderId);
            if (archive != 0)
                link = contentstore::entryLink(m_session.db(), archive);
        });
    }
    if (archive != 0 && link) {
        // Inside an archive: the folder holding it, then the archive's level.
        if (link->fatherId != 0)
            openFolder(link->fatherId);
        else if (wasShown)
            emit reshowRequested(node);
        showArchiveLevel(folderId);
    } else if (folderId != 0) {
        openFolder(folderId);
    } else if (fileId != 0 && !selectFileById(fileIdText) && wasShown) {
        // The disc was shown with one of its folders open: a hit at its top level needs
        // the top level back in the list.
        emit reshowRequested(node);
    }
    if (fileId != 0)
        selectFileById(fileIdText);
}

void ContentsController::showLevel(qint64 levelId, qint64 fromId) {
    const qint64 disc = m_session.shownDisc();
    if (disc == 0)
        return;
    QTreeWidgetItem* current = m_views.tvCDRom->currentItem();
    if (levelId != 0 && m_archiveLevel != 0 && current && nodes::id(current) == levelId) {
        // The folder holding the archive: the tree has it selected already.
        tvCDRomChange(current);
        selectFileById(QString::number(fromId));
        return;
    }
    showEntry(disc, levelId, fromId);
}

void ContentsController::updatePath(qint64 levelId) {
    if (!m_views.pathBar)
        return;
    guarded([&] {
        m_views.pathBar->showLevel(m_session.db(), m_views.tvMain, m_session.shownDisc(), levelId);
    });
}

void ContentsController::scrollListToTop() {
    m_views.lvMain->reportView()->scrollToTop();
    m_views.lvMain->iconView()->scrollToTop();
}

void ContentsController::openFolder(qint64 folderId) {
    // The levels between the disc and the folder may never have been opened: each is
    // loaded on the way down.
    std::vector<qint64> chain;
    guarded([&] { chain = searchstore::folderChain(m_session.db(), folderId); });
    QTreeWidget* contents = m_views.tvCDRom;
    QTreeWidgetItem* at = nullptr;
    for (qint64 id : chain) {
        QTreeWidgetItem* next = nullptr;
        const int count = at ? at->childCount() : contents->topLevelItemCount();
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem* child = at ? at->child(i) : contents->topLevelItem(i);
            if (nodes::id(child) == id)
                next = child;
        }
        if (!next)
            break;
        if (id != folderId && next->childCount() == 0 &&
            next->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator)
            guarded([&] { addFolderNodes(id, next); });
        at = next;
    }
    if (!at || nodes::id(at) != folderId) {
        // Not below this disc's top level (a damaged chain): whatever node is loaded.
        selectFolderById(QString::number(folderId));
        return;
    }
    if (contents->currentItem() != at)
        contents->setCurrentItem(at); // lists the folder's entries
    contents->scrollToItem(at);
}

} // namespace vorlane
