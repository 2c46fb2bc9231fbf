#include "gui/browser/contentscontroller.h"
#include "gui/common/commands.h"

#include "core/settings/text.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "core/store/searchstore.h"
#include "core/throttle.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/filenotes.h"
#include "gui/browser/listmedia.h"
#include "gui/browser/menukeys.h"
#include "gui/browser/nodes.h"
#include "gui/browser/notes.h"
#include "gui/browser/pathbar.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/icons.h"
#include "gui/common/prompts.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>

namespace vorlane {

namespace {

const QIcon& folderNodeIcon() {
    static const QIcon icon = [] {
        QIcon i;
        for (const QSize& size : {QSize(16, 16), QSize(32, 32)}) {
            i.addPixmap(nodeIcon(NodeIcon::FolderClosed).pixmap(size), QIcon::Normal);
            i.addPixmap(nodeIcon(NodeIcon::FolderOpen).pixmap(size), QIcon::Selected);
        }
        return i;
    }();
    return icon;
}

} // namespace

// Hands a fill's rows to the views in batches of about 30 ms each, from the event loop, so
// the window repaints and answers between them. A newer fill (or a clear) replaces it.
class ContentsController::Filler {
public:
    Filler(ContentsController* view, quint64 serial, bool withTree, std::vector<Entry> rows)
        : m_view(view), m_serial(serial), m_withTree(withTree), m_rows(std::move(rows)) {
        m_view->m_views.lvMain->model()->reserve(m_rows.size());
    }
    ~Filler() { qDeleteAll(m_nodes); }
    Filler(const Filler&) = delete;
    Filler& operator=(const Filler&) = delete;

    quint64 serial() const { return m_serial; }

    // Adds the next batch; true once every row is in the views.
    bool step() {
        Throttle batch(30);
        std::vector<Entry> rows;
        while (m_next < m_rows.size() && !batch.due()) {
            Entry& e = m_rows[m_next++];
            if (m_withTree && e.isDir)
                m_nodes << makeFolderNode(e.id, e.name, true);
            rows.push_back(std::move(e));
            ++m_view->m_loadCounter;
        }
        m_view->m_views.lvMain->model()->append(std::move(rows));
        if (m_next < m_rows.size()) {
            if (m_view->m_loadTotal > 0)
                m_view->m_views.status.progress->setValue(percent());
            return false;
        }
        finish();
        return true;
    }

private:
    void finish() {
        // The folders go into the tree at once, in name order, whatever order the rows
        // came in; the list keeps the order the user last chose.
        if (!m_nodes.isEmpty()) {
            QStringList names;
            names.reserve(m_nodes.size());
            for (const QTreeWidgetItem* node : std::as_const(m_nodes))
                names << node->text(0);
            QList<QTreeWidgetItem*> sorted;
            sorted.reserve(m_nodes.size());
            for (int i : nameOrder(names))
                sorted << m_nodes[i];
            m_nodes.clear();
            m_view->m_views.tvCDRom->addTopLevelItems(sorted);
        }
        m_view->m_views.lvMain->model()->resort();
        if (m_view->m_loadTotal > 0)
            m_view->m_views.status.progress->setValue(percent());
    }

    int percent() const {
        return int(qMin<qint64>(100, m_view->m_loadCounter * 100 / m_view->m_loadTotal));
    }

    ContentsController* m_view;
    quint64 m_serial;
    bool m_withTree;
    std::vector<Entry> m_rows;
    size_t m_next = 0;
    QList<QTreeWidgetItem*> m_nodes;
};

ContentsController::ContentsController(CatalogSession& session, Commands& commands,
                                       const Views& views)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views),
      m_media(new ListMedia(session, views.lvMain, views.preview, this)) {
    setObjectName(QStringLiteral("ContentsView"));
    QTreeWidget* tree = m_views.tvCDRom;
    m_tree = tree;
    m_treePort = tree->viewport();
    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { tvCDRomChange(current); });
    // Expanding a folder that was never selected shows its sub-folders too.
    connect(tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        if (node->childCount() == 0 &&
            node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator)
            guarded([&] { addFolderNodes(nodes::id(node), node); });
    });
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);
    connect(m_commands.mitCDRomDelete, &QAction::triggered, this,
            &ContentsController::btnCDRomDeleteClick);

    FileListView* list = m_views.lvMain;
    connect(list, &FileListView::changed, this, &ContentsController::lvMainChange);
    connect(list, &FileListView::doubleClicked, this, &ContentsController::lvMainDblClick);
    connect(list, &FileListView::headerClicked, this, &ContentsController::lvMainColumnClick);
    connect(list, &FileListView::deletePressed, this, &ContentsController::lvMainKeyDown);
    connect(list, &FileListView::backPressed, this, &ContentsController::goUpByKey);
    // The status panel follows the list's rows and its selection.
    EntryModel* model = list->model();
    for (auto signal : {&EntryModel::rowsInserted, &EntryModel::rowsRemoved})
        connect(model, signal, this, &ContentsController::updateListStatus);
    connect(model, &EntryModel::modelReset, this, &ContentsController::updateListStatus);
    // A stored note shows in the entry's own row, wherever the list has moved it.
    connect(&m_session, &CatalogSession::noteChanged, model,
            [model](qint64, qint64 entryId, const QString& text) {
                if (entryId > 0)
                    model->setNote(model->rowOfId(entryId), text);
            });
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ContentsController::updateListStatus);
    connect(list, &FileListView::contextMenuRequested, m_views.listPopup,
            [this](const QPoint& pos) { m_views.listPopup->popup(pos); });

    auto on = [this](QAction* a, void (ContentsController::*slot)()) {
        connect(a, &QAction::triggered, this, slot);
    };
    on(m_commands.tbBack, &ContentsController::tbBackClick);
    on(m_commands.mitSelAll, &ContentsController::mitSelAllClick);
    on(m_commands.mitOpen, &ContentsController::mitOpenClick);
    on(m_commands.MOpen, &ContentsController::mitOpenClick);
    on(m_commands.mitDelete, &ContentsController::mitDeleteClick);
    on(m_commands.mitFileExp, &ContentsController::mitFileExpClick);
    on(m_commands.MFileExp, &ContentsController::mitFileExpClick);
    on(m_commands.mitAddDir, &ContentsController::mitAddDirClick);
    on(m_commands.MAddDir, &ContentsController::mitAddDirClick);
    on(m_commands.mitAddFile, &ContentsController::mitAddFileClick);
    on(m_commands.MAddFile, &ContentsController::mitAddFileClick);
    on(m_commands.mitCopyPath, &ContentsController::mitCopyPathClick);
    on(m_commands.mitProperties, &ContentsController::mitPropertiesClick);
    list->addAction(m_commands.mitProperties); // its key works while the list has the focus
    connect(m_views.btnCDRomDelete, &QToolButton::clicked, this,
            &ContentsController::btnCDRomDeleteClick);
    if (PathBar* bar = m_views.pathBar) {
        connect(bar, &PathBar::levelChosen, this, &ContentsController::showLevel);
        connect(bar, &PathBar::categoryChosen, this, [this](qint64 id) {
            for (QTreeWidgetItemIterator it(m_views.tvMain); *it; ++it) {
                if (nodes::isCategory(*it) && nodes::id(*it) == id) {
                    m_views.tvMain->setCurrentItem(*it);
                    m_views.tvMain->scrollToItem(*it);
                    return;
                }
            }
        });
    }
}

ContentsController::~ContentsController() = default;

void ContentsController::guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const DbError& e) {
        m_views.status.state->setText(QStringLiteral("就绪"));
        prompts().error(m_views.window, e.text(), QStringLiteral("提示"));
    }
}

QTreeWidgetItem* ContentsController::makeFolderNode(qint64 id, const QString& name,
                                                    bool markChildren) {
    auto* node = new QTreeWidgetItem(QStringList{name});
    node->setIcon(0, folderNodeIcon());
    node->setData(0, nodes::KindRole, nodes::Folder);
    nodes::setId(node, id);
    node->setChildIndicatorPolicy(markChildren ? QTreeWidgetItem::ShowIndicator
                                               : QTreeWidgetItem::DontShowIndicator);
    return node;
}

void ContentsController::disableListCommands() {
    enableAll({m_commands.mitOpen, m_commands.mitDelete, m_commands.mitFileExp,
               m_commands.mitAddDir, m_commands.mitAddFile, m_commands.MOpen, m_commands.MFileExp,
               m_commands.MAddDir, m_commands.MAddFile},
              {}, false);
}

void ContentsController::showDisc(qint64 discId, const QString& name) {
    guarded([&] {
        emit discShowing(discId, name);
        m_loadCounter = 0;
        m_loadTotal = contentstore::countTopLevel(m_session.db(), discId);
        m_views.btnInExp->setEnabled(true);
        m_commands.tbBack->setEnabled(false);
        fillCDRoot(discId);
        enableAll({m_commands.MAddDir, m_commands.MAddFile}, {}, false);
        m_views.status.progress->setValue(0);
    });
}

void ContentsController::fillCDRoot(qint64 discId) {
    fillLevel(discId, 0);
}

void ContentsController::fillFolder(qint64 folderId) {
    fillLevel(0, folderId);
}

void ContentsController::fillLevel(qint64 discId, qint64 folderId) {
    const bool root = folderId == 0;
    m_archiveLevel = 0;
    WaitCursor wait;
    const quint64 serial = ++m_fillSerial;
    m_views.status.state->setText(QStringLiteral("读取数据......"));
    m_filler.reset();
    {
        HandlingOff off(m_session);
        if (root) {
            m_views.tvCDRom->clear();
            // The view lays out lazily and would keep the last disc's scroll position.
            m_views.tvCDRom->scrollToTop();
        }
        m_views.lvMain->model()->clear();
        scrollListToTop();
    }
    updatePath(folderId);
    if (root)
        enableAll({}, {m_views.btnCDRomDelete}, false);
    disableListCommands();
    if (!root) {
        m_loadCounter = 0;
        m_loadTotal = contentstore::countChildren(m_session.db(), folderId);
    }
    std::vector<Entry> rows;
    contentstore::readLevel(m_session.db(), discId, folderId, [&](Entry&& e) {
        rows.push_back(std::move(e));
        return true;
    });
    m_media->levelShown(root ? discId : m_session.shownDisc(), folderId);
    m_filler = std::make_unique<Filler>(this, serial, root, std::move(rows));
    fillStep(serial);
}

void ContentsController::fillStep(quint64 serial) {
    if (!m_filler || m_filler->serial() != serial)
        return; // a newer fill or a clear came first
    if (!m_filler->step()) {
        QTimer::singleShot(0, this, [this, serial] { fillStep(serial); });
        return;
    }
    m_filler.reset();
    m_views.status.state->setText(QStringLiteral("就绪"));
    emit filled();
}

void ContentsController::completeFill() {
    while (m_filler && !m_filler->step()) {
    }
    if (m_filler) {
        m_filler.reset();
        m_views.status.state->setText(QStringLiteral("就绪"));
        emit filled();
    }
}

void ContentsController::addFolderNodes(qint64 folderId, QTreeWidgetItem* node) {
    WaitCursor wait;
    const std::vector<FolderRef> subs = contentstore::subFolders(m_session.db(), folderId);
    node->setChildIndicatorPolicy(subs.empty() ? QTreeWidgetItem::DontShowIndicator
                                               : QTreeWidgetItem::ShowIndicator);
    QStringList names;
    names.reserve(qsizetype(subs.size()));
    for (const FolderRef& f : subs)
        names << f.name;
    QList<QTreeWidgetItem*> children;
    children.reserve(qsizetype(subs.size()));
    for (int i : nameOrder(names))
        children << makeFolderNode(subs[size_t(i)].id, subs[size_t(i)].name, true);
    node->addChildren(children);
}

void ContentsController::clear() {
    ++m_fillSerial; // a fill still running stops
    m_filler.reset();
    if (m_fileNotes) {
        // The list goes, and the editor with it: a typed note is kept or dropped first.
        m_fileNotes->settle(false);
        m_fileNotes->close();
    }
    {
        HandlingOff off(m_session);
        m_views.tvCDRom->clear();
        m_views.lvMain->model()->clear();
    }
    m_media->clear();
    if (m_views.pathBar)
        m_views.pathBar->clear();
    m_views.status.list->setText({}); // no disc shown
    m_commands.tbBack->setEnabled(false);
}

void ContentsController::tvCDRomChange(QTreeWidgetItem* node) {
    if (!m_session.changeHandling())
        return;
    if (!node) {
        ++m_fillSerial;
        m_filler.reset();
        HandlingOff off(m_session);
        m_views.lvMain->model()->clear();
        m_media->clear();
        return;
    }
    guarded([&] {
        // Read-only catalogs keep their contents: deleting needs full access.
        m_views.btnCDRomDelete->setEnabled(m_session.fullAccess());
        if (node->childCount() == 0 &&
            node->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator)
            addFolderNodes(nodes::id(node), node);
        m_commands.tbBack->setEnabled(true);
        fillFolder(nodes::id(node));
        enableAll({m_commands.MAddDir, m_commands.MAddFile}, {}, false);
        m_views.status.progress->setValue(0);
    });
}

void ContentsController::showArchiveLevel(qint64 id) {
    guarded([&] {
        fillFolder(id);
        m_archiveLevel = id;
        updatePath(id);
        m_commands.tbBack->setEnabled(true);
        enableAll({m_commands.MAddDir, m_commands.MAddFile}, {}, false);
        m_views.status.progress->setValue(0);
    });
}

void ContentsController::leaveArchiveLevel() {
    const qint64 from = m_archiveLevel;
    std::optional<contentstore::EntryLink> link;
    guarded([&] { link = contentstore::entryLink(m_session.db(), from); });
    if (link && link->archive == ArchiveMark::Member && link->fatherId != 0) {
        showArchiveLevel(link->fatherId);
    } else if (QTreeWidgetItem* node = m_views.tvCDRom->currentItem()) {
        // Out of the archive: the folder holding it, as the content tree still shows.
        tvCDRomChange(node);
    } else if (m_session.shownDisc() != 0) {
        guarded([&] { fillCDRoot(m_session.shownDisc()); });
        m_commands.tbBack->setEnabled(false);
    }
    selectFileById(QString::number(from));
}

void ContentsController::tbBackClick() {
    if (m_archiveLevel != 0) {
        leaveArchiveLevel();
        return;
    }
    QTreeWidget* tree = m_views.tvCDRom;
    QTreeWidgetItem* node = tree->currentItem();
    if (!node)
        return;
    // The folder left behind is selected in the level shown.
    const QString from = nodes::idText(node);
    if (QTreeWidgetItem* parent = node->parent()) {
        tree->setCurrentItem(parent);
        selectFileById(from);
        return;
    }
    if (m_session.shownDisc() == 0)
        return;
    QTreeWidgetItem* disc = nodes::findDisc(m_views.tvMain, m_session.shownDisc());
    if (!disc)
        return;
    {
        HandlingOff off(m_session);
        m_views.tvMain->setCurrentItem(disc);
    }
    emit reshowRequested(disc);
    selectFileById(from);
}

int ContentsController::selectedListRow() const {
    const FileListView* list = m_views.lvMain;
    const int current = list->currentRow();
    if (current >= 0 && list->selectionModel()->isRowSelected(current))
        return current;
    const QList<int> rows = list->selectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

void ContentsController::updateListCommands() {
    const int selected = m_views.lvMain->selectedCount();
    const bool full = m_session.fullAccess();
    enableAll({m_commands.mitOpen, m_commands.MOpen}, {}, selected == 1);
    enableAll({m_commands.mitDelete}, {}, full && selected > 0);
    enableAll({m_commands.mitFileExp, m_commands.MFileExp}, {},
              selected == 1 && !isFileNotesOpen());
    // Nothing is added inside an archive: its members are what the archive holds.
    enableAll(
        {m_commands.mitAddDir, m_commands.MAddDir, m_commands.mitAddFile, m_commands.MAddFile}, {},
        full && m_session.shownDisc() != 0 && m_archiveLevel == 0);
}

void ContentsController::lvMainChange() {
    if (!m_session.changeHandling())
        return;
    updateListCommands();
    if (FileNotesEditor* editor = fileNotes()) {
        const int row = selectedListRow();
        if (row >= 0 && !editor->showEntry(row)) {
            // The user stays on the note being typed, and the list on its entry.
            FileListView* list = m_views.lvMain;
            const int kept = list->model()->rowOfId(editor->entryId());
            if (kept >= 0) {
                HandlingOff off(m_session);
                list->clearSelection();
                list->selectRow(kept);
            }
            updateListCommands();
        }
    }
}

void ContentsController::lvMainDblClick() {
    if (selectedListRow() < 0 || !closeFileNotes())
        return;
    if (m_views.lvMain->model()->rowCount() > 0)
        mitOpenClick();
}

void ContentsController::lvMainColumnClick(int column) {
    m_views.lvMain->sortByColumn(column);
}

void ContentsController::updateListStatus() {
    const FileListView* list = m_views.lvMain;
    const EntryModel* model = list->model();
    const int rows = model->rowCount();
    if (rows == 0 && m_session.shownDisc() == 0) {
        m_views.status.list->setText({}); // nothing shown
        return;
    }
    QString text = QStringLiteral("%1 项").arg(rows);
    const QItemSelection selection = list->selectionModel()->selection();
    if (!selection.isEmpty()) {
        // Ranges may overlap after ctrl-clicks; each row counts once.
        std::vector<bool> seen(size_t(rows), false);
        int count = 0;
        qint64 bytes = 0;
        for (const QItemSelectionRange& range : selection) {
            for (int r = range.top(); r <= range.bottom() && r < rows; ++r) {
                if (seen[size_t(r)])
                    continue;
                seen[size_t(r)] = true;
                ++count;
                const Entry& e = model->entry(r);
                bytes += std::max<qint64>(e.size, 0); // a folder counts its total
            }
        }
        text += QStringLiteral("，已选 %1 项（%2）")
                    .arg(count)
                    .arg(sizeText(bytes, model->sizesInKb()));
    }
    m_views.status.list->setText(text);
}

void ContentsController::goUpByKey() {
    if (m_commands.tbBack->isEnabled())
        m_commands.tbBack->trigger();
}

void ContentsController::popupContentsMenu(const QPoint& globalPos) {
    m_commands.mitCDRomDelete->setEnabled(m_views.btnCDRomDelete->isEnabled());
    m_views.contentsPopup->popup(globalPos);
}

void ContentsController::mitSelAllClick() {
    m_views.lvMain->selectAll();
}

void ContentsController::lvMainKeyDown() {
    if (m_commands.mitDelete->isEnabled())
        mitDeleteClick();
}

void ContentsController::tvCDRomKeyDown() {
    btnCDRomDeleteClick();
}

bool ContentsController::eventFilter(QObject* watched, QEvent* event) {
    // Compared with the pointer kept at construction: events still arrive while the main
    // window is being torn down.
    if (watched != m_tree && watched != m_treePort)
        return QObject::eventFilter(watched, event);
    auto* tree = static_cast<QTreeWidget*>(m_tree);
    if (isKeyboardMenuRequest(event)) {
        popupContentsMenu(keyboardMenuPoint(tree));
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        // A right click acts on the folder under the pointer, as in the category tree.
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        const QPoint at = tree->viewport()->mapFromGlobal(menu->globalPos());
        if (QTreeWidgetItem* node = tree->itemAt(at))
            tree->setCurrentItem(node);
        popupContentsMenu(menu->globalPos());
        return true;
    }
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() != Qt::NoModifier)
            return false;
        if (key->key() == Qt::Key_Delete) {
            tvCDRomKeyDown();
            return true;
        }
        if (key->key() == Qt::Key_Backspace) {
            goUpByKey();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// --- File notes editor -----------------------------------------------------------------

FileNotesEditor* ContentsController::fileNotes() const {
    return m_fileNotes.data();
}

bool ContentsController::settleFileNotes() {
    return !m_fileNotes || m_fileNotes->settle();
}

bool ContentsController::closeFileNotes() {
    return !m_fileNotes || m_fileNotes->close();
}

void ContentsController::mitFileExpClick() {
    if (isFileNotesOpen())
        return;
    const int row = selectedListRow();
    if (row < 0)
        return;
    auto* editor = new FileNotesEditor(m_views.window, m_session, m_views.lvMain);
    m_fileNotes = editor;
    connect(editor, &FileNotesEditor::closed, this, [this, editor] {
        if (m_fileNotes == editor)
            m_fileNotes = nullptr;
        if (m_session.changeHandling())
            updateListCommands();
    });
    editor->showEntry(row);
    editor->show();
    updateListCommands();
}

} // namespace vorlane
