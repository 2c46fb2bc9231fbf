// Correcting a disc's listing by hand: deleting from the content tree and the list,
// adding folder and file entries. Every change is written at once.
#include "core/store/catalogsession.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"

#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/nodes.h"
#include "gui/browser/notes.h"
#include "gui/common/commands.h"
#include "gui/common/prompts.h"
#include <QProgressBar>

#include <QFileInfo>
#include <QProgressBar>
#include <QSet>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace vorlane {

namespace {

// Removes entries with everything below them, all or nothing; the progress bar moves, but
// no events run while the transaction is open.
bool removeWithMessage(CatalogSession& session, const Views& views, const QList<qint64>& ids) {
    QProgressBar* bar = views.status.progress;
    try {
        contentstore::removeTrees(session.db(), ids, [bar](qint64 done, qint64 total) {
            bar->setValue(total > 0 ? int(done * 100 / total) : 0);
        });
    } catch (const DbError& e) {
        bar->setValue(0);
        prompts().error(views.window, e.text(), QStringLiteral("提示"));
        return false;
    }
    bar->setValue(0);
    return true;
}

} // namespace

void ContentsController::btnCDRomDeleteClick() {
    QTreeWidget* tree = m_views.tvCDRom;
    QTreeWidgetItem* node = tree->currentItem();
    if (!node || !m_session.fullAccess() || !m_views.btnCDRomDelete->isEnabled())
        return;
    if (!prompts().askYesNo(m_views.window,
                            QStringLiteral("是否确认删除光盘内容中当前选中的分支？"),
                            QStringLiteral("提示")))
        return;
    if (!removeWithMessage(m_session, m_views, {nodes::id(node)}))
        return;
    QTreeWidgetItem* next = nullptr;
    {
        // The neighbour is listed once the node is gone, not from inside its removal.
        HandlingOff off(m_session);
        delete node;
        next = tree->currentItem();
        if (next)
            next->setSelected(true);
    }
    m_session.notifyWritten();
    tvCDRomChange(next);
}

void ContentsController::mitDeleteClick() {
    FileListView* list = m_views.lvMain;
    const QList<int> rows = list->selectedRows();
    if (rows.isEmpty() || !m_session.fullAccess())
        return;
    if (!prompts().askYesNo(m_views.window, QStringLiteral("是否确认删除当前选中的内容？"),
                            QStringLiteral("提示")))
        return;
    EntryModel* model = list->model();
    QList<qint64> ids;
    for (int row : rows)
        ids << model->entry(row).id;
    if (!removeWithMessage(m_session, m_views, ids))
        return; // nothing was removed
    {
        HandlingOff off(m_session);
        // The list's rows are siblings, so no node below is deleted twice.
        QSet<QString> folders;
        for (int row : rows) {
            if (model->entry(row).isDir)
                folders.insert(QString::number(model->entry(row).id));
        }
        QList<QTreeWidgetItem*> gone;
        for (QTreeWidgetItemIterator it(m_views.tvCDRom); *it && !folders.isEmpty(); ++it) {
            if (folders.remove(nodes::idText(*it)))
                gone << *it;
        }
        qDeleteAll(gone);
        model->removeRowsById(ids);
    }
    m_session.notifyWritten();
    updateListCommands();
}

bool ContentsController::addEntryAndView(qint64 parentId, QTreeWidgetItem* parentNode,
                                         const QString& name, bool isDir) {
    Entry e;
    try {
        e.path = contentstore::pathForNewEntry(m_session.db(), parentId, name, isDir);
        e.id = contentstore::addEntry(m_session.db(), m_session.shownDisc(), parentId, name, e.path,
                                      isDir);
    } catch (const DbError& err) {
        prompts().error(m_views.window, err.text(), QStringLiteral("提示"));
        return false;
    }
    e.name = name;
    e.isDir = isDir;
    m_views.lvMain->model()->append(e);
    if (isDir) {
        QTreeWidgetItem* node = makeFolderNode(e.id, name, false);
        if (parentId != 0 && parentNode) {
            parentNode->addChild(node);
            parentNode->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        } else {
            m_views.tvCDRom->addTopLevelItem(node);
        }
    }
    m_session.notifyWritten();
    return true;
}

void ContentsController::mitAddDirClick() {
    if (m_session.shownDisc() == 0 || !m_session.fullAccess())
        return;
    const FolderChoice choice =
        prompts().chooseFolder(m_views.window, QStringLiteral("请选择目录"), shownSourcePath());
    if (choice.path.isEmpty())
        return;
    QString name =
        choice.displayName.isEmpty() ? folderDisplayName(choice.path) : choice.displayName;
    // A name with a slash could never be opened as a path part.
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return;
    QTreeWidgetItem* parent = m_views.tvCDRom->currentItem();
    addEntryAndView(parent ? nodes::id(parent) : 0, parent, name, true);
}

void ContentsController::mitAddFileClick() {
    if (m_session.shownDisc() == 0 || !m_session.fullAccess())
        return;
    // All files first: a hand-made entry is rarely a text file.
    const QString file = prompts().openFile(m_views.window, QStringLiteral("打开"),
                                            QStringLiteral("所有文件 (*);;文本文件 (*.txt)"));
    if (file.isEmpty())
        return;
    const QString name = QFileInfo(file).fileName();
    if (name.isEmpty())
        return;
    QTreeWidgetItem* parent = m_views.tvCDRom->currentItem();
    addEntryAndView(parent ? nodes::id(parent) : 0, parent, name, false);
}

} // namespace vorlane
