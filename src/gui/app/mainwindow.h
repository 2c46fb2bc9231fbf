// The main window: the widgets, menus and tool bar, the status bar and the title, and the
// wiring between them, the catalog session and the handlers. The open catalog's state
// lives in the session; each subsystem's commands live in their own handler (catalog
// lifecycle, category tree, contents, notes, import, search).
#pragma once

#include "core/store/catalogsession.h"
#include "gui/common/views.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace vorlane {

class CatalogHandler;
class Commands;
class CategoryTree;
class ContentsController;
class FileListView;
class NotesPanel;
class ImportHandler;
class InterchangeHandler;
class IndexKeeper;
class SearchBar;
class SearchWindow;
class CopiesWindow;
class DuplicateWindow;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // `startFile` is the catalog named on the command line (may be empty).
    explicit MainWindow(const QString& startFile = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The open catalog and its state; its modified state drives tbSave and MSave.
    CatalogSession& session() { return m_session; }

    // Options and history read by loadSettings().
    QString lastOpenedFile() const { return m_options.lastOpenedFile; }
    bool firstRun() const { return m_options.firstRun; }
    bool backupOnOpen() const { return m_options.backupOnOpen; }
    bool openRecentOnStart() const { return m_options.openRecentOnStart; }
    // Sizes in KB (the default) or by their magnitude, in the list and the status bar.
    bool sizesInKb() const { return m_sizesInKb; }
    void setSizesInKb(bool on);

    // --- Widgets and actions -------------------------------------------------------
    QTreeWidget* tvMain() const { return m_tvMain; }
    QTreeWidget* tvCDRom() const { return m_tvCDRom; }
    FileListView* lvMain() const { return m_lvMain; }
    QPlainTextEdit* txtCDExp() const { return m_txtCDExp; }
    QLabel* lbCDName() const { return m_lbCDName; }
    QProgressBar* progressBar() const { return m_progress; }
    QToolBar* toolBar() const { return m_toolBar; }
    QMenu* treePopupMenu() const { return m_tvPopMenu; }
    QMenu* listPopupMenu() const { return m_lvPopMenu; }
    QMenu* contentsPopupMenu() const { return m_cdPopMenu; }
    Commands& commands() const { return *m_commands; }
    const Views& views() const { return m_views; }

    // --- Status bar ------------------------------------------------------------------
    void setStatusText(const QString& text); // panel 0
    QString statusText() const;
    void setCountText(const QString& text); // panel 1
    QString countText() const;
    // Panel 3: the list's items and its selection.
    void setListText(const QString& text);
    QString listText() const;
    // Sets the progress bar and lets pending events run (throttled).
    void showProgress(int percent);

    // Title bar: no file, a new catalog, or the open file.
    void setTitleNoFile();
    void setTitleNewFile();
    void setTitleFile(const QString& file);

    // --- Settings (qnote.ini) --------------------------------------------------------
    void loadSettings();
    void saveOpenHistory();

    // --- Subsystem handlers ----------------------------------------------------------
    CatalogHandler* catalog() const { return m_catalog; }
    CategoryTree* categoryTree() const { return m_categoryTree; }
    ContentsController* contents() const { return m_contents; }
    NotesPanel* notes() const { return m_notes; }
    ImportHandler* importer() const { return m_import; }
    InterchangeHandler* interchange() const { return m_interchange; }
    SearchWindow* searchWindow() const { return m_search; }
    SearchBar* searchBar() const { return m_searchBar; }
    DuplicateWindow* duplicateWindow() const { return m_dups; }
    CopiesWindow* copiesWindow() const { return m_copies; }
    // The open catalog's search index.
    IndexKeeper* searchIndex() const { return m_searchIndex; }

public slots:
    // Views, list styles and the tool bar switch.
    // A view's switch was flipped (QAction flips its own tick before `triggered`).
    void viewClassSwitched();
    void viewCDRomSwitched();
    void viewExpSwitched();
    void btnClassCloseClick();
    void btnCDRomCloseClick();
    void btnExpCloseClick();
    // The file list's style, in FileListView's order.
    void setListStyle(int style);
    void ToolVisibleClick();
    // Help menu.
    void HelpClick();
    void MAboutClick();
    void MExampleClick();
    void MHomepageClick();
    void MMailtoAuthorClick();
    // Tools menu.
    void MOptionsClick();
    void recentFileClick();
    // The first activation: chooses and opens the start-up catalog. Runs once.
    void FormActivate();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createPanes();
    void createStatusBar();
    // Connects the handlers' notifications to each other and the session to the widgets.
    void wireHandlers();
    // The category view's height beside the contents; 0 hides it.
    void setClassHeight(int height);
    void classSplitterMoved();
    // The notes view dragged shut is the same as its switches.
    void expSplitterMoved();
    QToolButton* makeButton(QWidget* parent, const char* name, const QString& text,
                            const QString& hint, const QString& icon = {});

    CatalogSession m_session;
    WindowOptions m_options;
    bool m_sizesInKb = true;
    bool m_activated = false;
    bool m_startedUp = false;
    // Until the user sizes the left pane, the category view keeps half of it.
    bool m_initialSplit = true;
    // The heights the contents and the notes views had when last shown, given back when
    // they are shown again; 0 = the form's.
    int m_cdRomHeight = 0;
    int m_expHeight = 0;

    Commands* m_commands = nullptr;
    Views m_views;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_tvPopMenu = nullptr;
    QMenu* m_lvPopMenu = nullptr;
    QMenu* m_cdPopMenu = nullptr;
    QMenu* m_recentMenu = nullptr;
    QMenu* m_recentDropDown = nullptr;
    QSplitter* m_splitter1 = nullptr;
    QSplitter* m_splitter2 = nullptr;
    QSplitter* m_rightSplitter = nullptr;
    QWidget* m_pnlLeft = nullptr;
    QWidget* m_pnlClass = nullptr;
    QWidget* m_pnlCDRom = nullptr;
    QWidget* m_pnlExp = nullptr;
    QTreeWidget* m_tvMain = nullptr;
    QTreeWidget* m_tvCDRom = nullptr;
    FileListView* m_lvMain = nullptr;
    QPlainTextEdit* m_txtCDExp = nullptr;
    QLabel* m_lbCDName = nullptr;
    QLabel* m_panel0 = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel3 = nullptr;
    QLabel* m_readOnly = nullptr;
    QProgressBar* m_progress = nullptr;

    CatalogHandler* m_catalog = nullptr;
    CategoryTree* m_categoryTree = nullptr;
    ContentsController* m_contents = nullptr;
    NotesPanel* m_notes = nullptr;
    ImportHandler* m_import = nullptr;
    InterchangeHandler* m_interchange = nullptr;
    SearchWindow* m_search = nullptr;
    SearchBar* m_searchBar = nullptr;
    DuplicateWindow* m_dups = nullptr;
    CopiesWindow* m_copies = nullptr;
    IndexKeeper* m_searchIndex = nullptr;
};

} // namespace vorlane
