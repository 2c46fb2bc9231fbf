// Drives the views of a disc's contents: fills the folder tree tvCDRom and the file list
// lvMain from the catalog, runs the commands that work on them (browse, sort, delete, add,
// open), keeps the file notes editor in step, and takes the window to a single entry.
#pragma once

#include "gui/common/views.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QTemporaryDir;
class QTreeWidgetItem;

namespace vorlane {

class FileNotesEditor;
class CatalogSession;
class ListMedia;
class Commands;
struct Entry;
struct FolderRef;

class ContentsController : public QObject {
    Q_OBJECT

public:
    ContentsController(CatalogSession& session, Commands& commands, const Views& views);
    ~ContentsController() override;

    // Points the shown disc at a new location; false when it could not be stored. Handed
    // over by whoever wires the window.
    void setSourcePathStore(std::function<bool(const QString&)> store) {
        m_storeSourcePath = std::move(store);
    }

    // Shows a disc selected in the category tree: opens its row for the notes panel,
    // counts its top level, fills both views and sets the command states.
    void showDisc(qint64 discId, const QString& name);
    // The disc's top level into both views.
    void fillCDRoot(qint64 discId);
    // One folder's entries into the list.
    void fillFolder(qint64 folderId);
    // Loads a folder node's sub-folders below it.
    void addFolderNodes(qint64 folderId, QTreeWidgetItem* node);
    // Empties both views and closes the file notes editor.
    void clear();
    // Selects the first loaded folder node with this id; false when none.
    bool selectFolderById(const QString& idText);
    // Selects the list item with this id (and only it); false when none.
    bool selectFileById(const QString& idText);
    // Takes the window to an entry of a disc: selects the disc in the category tree, then
    // the folder (when not 0) and the file (when not 0). Nothing changes when the disc is
    // not in the tree.
    // Every folder between the disc and the hit is loaded on the way, and the hit is
    // scrolled into view.
    void showEntry(qint64 discId, qint64 folderId, qint64 fileId);
    // Lists a level of the shown disc (0: its top level; a folder, an archive or a folder
    // inside one) with entry `fromId` of it selected and scrolled to: the path bar's way.
    void showLevel(qint64 levelId, qint64 fromId);

    // A fill adds its rows in batches from the event loop; this adds the rest now, for
    // what needs the whole level (selecting a row by id).
    void completeFill();
    bool isFilling() const { return m_filler != nullptr; }

    // The rows the last fill expected (the level's size), for its progress bar.
    qint64 loadTotal() const { return m_loadTotal; }

    // The file notes editor, while it is open.
    FileNotesEditor* fileNotes() const;
    bool isFileNotesOpen() const { return fileNotes() != nullptr; }
    // Asks about a file note typed and not saved; false when the user chose to stay.
    bool settleFileNotes();

    // A folder node for the content tree (closed/open folder images, the row's id).
    static QTreeWidgetItem* makeFolderNode(qint64 id, const QString& name, bool markChildren);

public slots:
    void tvCDRomChange(QTreeWidgetItem* node);
    void tbBackClick();
    void lvMainChange();
    void lvMainDblClick();
    void lvMainColumnClick(int column = 0);
    void mitSelAllClick();
    void lvMainKeyDown();
    void tvCDRomKeyDown();
    // The fourth status panel: the list's items, and the selection's count and size.
    void updateListStatus();
    // Editing (contentedit.cpp).
    void btnCDRomDeleteClick();
    void mitDeleteClick();
    void mitAddDirClick();
    void mitAddFileClick();
    // Notes editor and opening (discopen.cpp).
    void mitFileExpClick();
    void mitOpenClick();
    // 复制路径 and 属性 of the selected entries (contentslook.cpp).
    void mitCopyPathClick();
    void mitPropertiesClick();

signals:
    // A disc is about to be shown: its note and facts are wanted.
    void discShowing(qint64 discId, const QString& caption);
    // The category tree is to show this disc node anew.
    void reshowRequested(QTreeWidgetItem* node);
    // A fill has put its last row in the views.
    void filled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void disableListCommands();
    // Loads the content tree's levels down to a folder of the disc shown, selects the
    // folder (its entries fill the list) and scrolls to it.
    void openFolder(qint64 folderId);
    // Fills the list (and, for a disc's root, the content tree) with one level: the disc's
    // top level when `folderId` is 0, else the folder's entries.
    void fillLevel(qint64 discId, qint64 folderId);
    void updateListCommands();
    // The path bar follows the level the list shows.
    void updatePath(qint64 levelId);
    // A level's rows are new: the list starts at its top.
    void scrollListToTop();
    // Lists the members of an archive, or of a folder inside one, which have no node in
    // the content tree: that keeps the folder holding the archive selected.
    void showArchiveLevel(qint64 id);
    // Back from an archive level: one level up, out of the archive at its top.
    void leaveArchiveLevel();
    // Runs a fill, showing a database failure with its own text instead of leaving the
    // views half-made without a word.
    void guarded(const std::function<void()>& fn);
    // Adds the fill's rows to the views in batches; stops early when another fill starts.
    class Filler;
    void fillStep(quint64 serial);
    bool addEntryAndView(qint64 parentId, QTreeWidgetItem* parentNode, const QString& name,
                         bool isDir);
    int selectedListRow() const;
    // Where the shown disc was read from; empty without one.
    QString shownSourcePath() const;
    void openFile(const Entry& e);
    // Extracts a member of an archive and opens the copy.
    void openMember(const Entry& e);
    // False when the user chose to keep editing a note.
    bool closeFileNotes();
    void goUpByKey();
    void popupContentsMenu(const QPoint& globalPos);

    CatalogSession& m_session;
    std::function<bool(const QString&)> m_storeSourcePath;
    Commands& m_commands;
    const Views m_views;
    QObject* m_tree = nullptr; // tvCDRom, whose keys and pop-up menu are watched
    QObject* m_treePort = nullptr;
    QPointer<FileNotesEditor> m_fileNotes;
    ListMedia* m_media; // the level's facts, thumbnails and preview
    quint64 m_fillSerial = 0;
    std::unique_ptr<Filler> m_filler; // while a fill runs
    qint64 m_loadTotal = 0;
    qint64 m_loadCounter = 0;
    qint64 m_archiveLevel = 0; // the archive or member folder the list shows; 0: none
    std::unique_ptr<QTemporaryDir> m_extracted; // members opened so far, until the exit
    qint64 m_copies = 0;                        // folders made in it, one for each copy
};

} // namespace vorlane
