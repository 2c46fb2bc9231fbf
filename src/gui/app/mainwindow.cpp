#include "gui/app/mainwindow.h"

#include "core/search/indexkeeper.h"
#include "core/settings/paths.h"
#include "core/settings/settings.h"
#include "gui/app/aboutdialog.h"
#include "gui/app/optionsdialog.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/browser/notes.h"
#include "gui/common/commands.h"
#include "gui/common/platform.h"
#include "gui/common/prompts.h"
#include "gui/dups/copieswindow.h"
#include "gui/dups/duplicatewindow.h"
#include "gui/import/importhandler.h"
#include "gui/import/rescanhandler.h"
#include "gui/import/verifyhandler.h"
#include "gui/interchange/interchangehandler.h"
#include "gui/search/searchbar.h"
#include "gui/search/searchresults.h"
#include "gui/search/searchwindow.h"
#include "gui/store/cataloghandler.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace vorlane {

MainWindow::MainWindow(const QString& startFile, QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Vorlane 光盘管理"));
    m_commands = new Commands(this);
    createActions();
    createMenus();
    createToolBar();
    createPanes();
    createStatusBar();

    m_searchIndex = new IndexKeeper(m_session.db(), this);
    // An index describes one file; another file, or none, makes it worthless.
    connect(&m_session, &CatalogSession::fileChanged, m_searchIndex, &IndexKeeper::reset);
    m_catalog = new CatalogHandler(m_session, *m_commands, m_views, m_options);
    m_categoryTree = new CategoryTree(m_session, *m_commands, m_views);
    m_contents = new ContentsController(m_session, *m_commands, m_views);
    m_notes = new NotesPanel(m_session, m_views);
    m_import = new ImportHandler(m_session, *m_commands, m_views);
    m_interchange = new InterchangeHandler(m_session, *m_commands, m_views);
    auto* verify = new VerifyHandler(m_session, *m_commands, m_views);
    connect(verify, &VerifyHandler::showEntryRequested, m_contents, &ContentsController::showEntry);
    auto* rescan = new RescanHandler(m_session, *m_commands, m_views);
    connect(rescan, &RescanHandler::showEntryRequested, m_contents, &ContentsController::showEntry);
    m_searchBar = new SearchBar(m_session, *m_commands, m_views, *m_searchIndex);
    wireHandlers();

    m_catalog->resetToEmpty();
    // A name relative to the folder the program was started in would lead elsewhere once it
    // is in the title and the recent files.
    m_session.setCurrentFile(startFile.isEmpty() ? QString()
                                                 : QFileInfo(startFile).absoluteFilePath());
    loadSettings();
    // The list as it was left at the last exit.
    m_lvMain->restoreView(Settings().listView());
    setListStyle(m_lvMain->style());
    m_commands->MPreview->setChecked(Settings().previewPane());
    m_search = new SearchWindow(this, m_session, m_searchIndex);
    m_search->results()->setSizesInKb(m_sizesInKb);
    connect(m_commands->MFind, &QAction::triggered, m_search, &SearchWindow::tbFindClick);
    connect(m_search, &SearchWindow::showEntryRequested, m_contents,
            &ContentsController::showEntry);
    connect(m_search, &SearchWindow::exportRequested, m_interchange,
            &InterchangeHandler::exportItems);
    m_dups = new DuplicateWindow(this, m_session);
    connect(m_commands->MDuplicates, &QAction::triggered, m_dups, &DuplicateWindow::showWindow);
    connect(m_dups, &DuplicateWindow::showEntryRequested, m_contents,
            &ContentsController::showEntry);
    m_copies = new CopiesWindow(this, m_session);
    connect(m_commands->MCopies, &QAction::triggered, m_copies, &CopiesWindow::showWindow);
    connect(m_copies, &CopiesWindow::showEntryRequested, m_contents,
            &ContentsController::showEntry);

    if (const QScreen* screen = QApplication::primaryScreen())
        resize(screen->availableSize() * 0.85);
}

MainWindow::~MainWindow() {
    // The handlers go first: they watch the widgets' events, and tearing the widgets down
    // (removing actions, hiding, focus changes) sends events while this object is already
    // no longer a MainWindow.
    Settings().saveListView(m_lvMain->viewSettings());
    delete m_copies;
    delete m_dups;
    delete m_search;
    delete m_searchBar;
    delete m_import;
    delete m_notes;
    delete m_contents;
    delete m_categoryTree;
    delete m_catalog;
    m_copies = nullptr;
    m_dups = nullptr;
    m_search = nullptr;
    m_searchBar = nullptr;
    m_import = nullptr;
    m_notes = nullptr;
    m_contents = nullptr;
    m_categoryTree = nullptr;
    m_catalog = nullptr;
}

void MainWindow::wireHandlers() {
    // Save is one command: the tool button follows the action.
    connect(&m_session, &CatalogSession::modifiedChanged, m_commands->MSave, &QAction::setEnabled);
    m_commands->MSave->setEnabled(m_session.isModified());
    // A reset leaves no disc shown anywhere.
    connect(m_catalog, &CatalogHandler::catalogReset, m_categoryTree, &CategoryTree::clear);
    connect(m_catalog, &CatalogHandler::catalogReset, m_contents, &ContentsController::clear);
    connect(m_catalog, &CatalogHandler::catalogReset, m_notes, &NotesPanel::closeDisc);
    connect(m_categoryTree, &CategoryTree::discSelected, m_contents, &ContentsController::showDisc);
    // The counts follow the tree, whoever changed it; a loaded tree shows them even when
    // they stayed the same, and the bar that followed the load goes back to empty.
    auto showCounts = [this] {
        setCountText(QStringLiteral("分类：") + QString::number(m_session.categoryCount()) +
                     QStringLiteral("，光盘：") + QString::number(m_session.discCount()));
    };
    connect(&m_session, &CatalogSession::countsChanged, m_panel1, showCounts);
    connect(m_categoryTree, &CategoryTree::loadProgress, this, &MainWindow::showProgress);
    connect(m_categoryTree, &CategoryTree::loaded, this, [this, showCounts] {
        showCounts();
        showProgress(0);
    });
    connect(m_tvMain->model(), &QAbstractItemModel::rowsInserted, m_categoryTree,
            &CategoryTree::publishCounts);
    connect(m_tvMain->model(), &QAbstractItemModel::rowsRemoved, m_categoryTree,
            &CategoryTree::publishCounts);
    connect(m_tvMain->model(), &QAbstractItemModel::modelReset, m_categoryTree,
            &CategoryTree::publishCounts);
    // What a writer changed behind the views' backs, they show anew.
    connect(&m_session, &CatalogSession::treeChanged, m_categoryTree, &CategoryTree::reload);
    connect(&m_session, &CatalogSession::discAdded, m_categoryTree, &CategoryTree::discAdded);
    connect(&m_session, &CatalogSession::entriesChanged, m_categoryTree,
            &CategoryTree::discRewritten);
    // Every write makes the search index stale: it follows at once by a patch, or is built
    // anew beside the window.
    connect(&m_session, &CatalogSession::written, m_searchIndex, &IndexKeeper::refresh);
    connect(&m_session, &CatalogSession::jobWrote, m_searchIndex, &IndexKeeper::jobWrote);
    m_categoryTree->setNoteSettler([this] { return m_notes->settleNote(); });
    connect(m_categoryTree, &CategoryTree::discClosing, m_notes, &NotesPanel::closeDisc);
    connect(m_categoryTree, &CategoryTree::discRenamed, m_notes, &NotesPanel::discRenamed);
    connect(m_categoryTree, &CategoryTree::contentsClearing, m_contents,
            &ContentsController::clear);
    connect(m_categoryTree, &CategoryTree::saveRequested, m_catalog, &CatalogHandler::saveCatalog);
    connect(m_contents, &ContentsController::discShowing, m_notes, &NotesPanel::showDisc);
    connect(m_contents, &ContentsController::reshowRequested, m_categoryTree,
            &CategoryTree::tvMainChange);
    m_contents->setSourcePathStore([this](const QString& path) {
        try {
            m_notes->storeSourcePath(path);
            return true;
        } catch (const DbError&) {
            return false;
        }
    });
    connect(m_catalog, &CatalogHandler::titleNoFile, this, &MainWindow::setTitleNoFile);
    connect(m_catalog, &CatalogHandler::titleNewFile, this, &MainWindow::setTitleNewFile);
    connect(m_catalog, &CatalogHandler::titleFile, this, &MainWindow::setTitleFile);
    connect(m_catalog, &CatalogHandler::settingsReloadRequested, this, &MainWindow::loadSettings);
    connect(m_catalog, &CatalogHandler::historySaveRequested, this, &MainWindow::saveOpenHistory);
    connect(m_catalog, &CatalogHandler::firstCategoryRequested, m_categoryTree,
            &CategoryTree::btnAddChildClick);
    connect(m_catalog, &CatalogHandler::treeLoadTotal, m_categoryTree, &CategoryTree::setLoadTotal);
    connect(m_catalog, &CatalogHandler::treeLoadRequested, m_categoryTree, &CategoryTree::load);
    m_catalog->setNotesSettler(
        [this] { return m_contents->settleFileNotes() && m_notes->settleNote(); });
    connect(m_catalog, &CatalogHandler::indexResetRequested, m_searchIndex, &IndexKeeper::reset);
    connect(m_catalog, &CatalogHandler::indexRefreshRequested, m_searchIndex,
            &IndexKeeper::refresh);
    connect(m_searchBar, &SearchBar::showEntryRequested, m_contents,
            &ContentsController::showEntry);
    connect(m_searchBar, &SearchBar::listingRestored, m_contents,
            &ContentsController::updateListStatus);
    connect(m_searchBar, &SearchBar::listingRestored, m_contents,
            &ContentsController::lvMainChange);
    connect(m_import, &ImportHandler::saveRequested, m_catalog, &CatalogHandler::saveCatalog);
    connect(m_import, &ImportHandler::discImported, m_categoryTree, &CategoryTree::tvMainChange);
    // A catalog that may only be read says so in the status bar.
    connect(&m_session, &CatalogSession::accessModeChanged, m_readOnly,
            [this](AccessMode mode) { m_readOnly->setVisible(mode == AccessMode::ReadOnly); });
    m_readOnly->setVisible(m_session.accessMode() == AccessMode::ReadOnly);
}

// --- State ------------------------------------------------------------------------------

void MainWindow::setSizesInKb(bool on) {
    m_sizesInKb = on;
    m_lvMain->model()->setSizesInKb(on);
    if (m_searchBar)
        m_searchBar->setSizesInKb(on);
    if (m_search)
        m_search->results()->setSizesInKb(on);
    if (m_contents)
        m_contents->updateListStatus();
}

// --- Status bar -------------------------------------------------------------------------

void MainWindow::setStatusText(const QString& text) {
    m_panel0->setText(text);
}
QString MainWindow::statusText() const {
    return m_panel0->text();
}
void MainWindow::setCountText(const QString& text) {
    m_panel1->setText(text);
}
QString MainWindow::countText() const {
    return m_panel1->text();
}
void MainWindow::setListText(const QString& text) {
    m_panel3->setText(text);
}
QString MainWindow::listText() const {
    return m_panel3->text();
}

void MainWindow::showProgress(int percent) {
    // The bar paints itself at once when the change shows, without running the event loop
    // (which could start any command in the middle of a load).
    m_progress->setValue(qBound(0, percent, 100));
}

void MainWindow::setTitleNoFile() {
    setWindowTitle(QStringLiteral("Vorlane 光盘管理"));
}
void MainWindow::setTitleNewFile() {
    setWindowTitle(QStringLiteral("Vorlane 光盘管理--新文件"));
}
void MainWindow::setTitleFile(const QString& file) {
    setWindowTitle(QStringLiteral("Vorlane 光盘管理--") + file);
}

// --- Settings ---------------------------------------------------------------------------

void MainWindow::loadSettings() {
    Settings settings;
    m_options.lastOpenedFile = settings.lastOpenedFile();
    const QStringList recent = settings.recentFiles();
    bool any = false;
    for (int n = 1; n <= Settings::RecentCount; ++n) {
        const QString f = recent.value(n - 1);
        const bool show = !f.isEmpty() && f != m_session.currentFile();
        for (QAction* a : {m_commands->MFile[n - 1], m_commands->DMFile[n - 1]}) {
            a->setText(show ? f : QString());
            a->setVisible(show);
        }
        any = any || show;
    }
    m_recentMenu->setEnabled(any);
    m_options.firstRun = settings.takeFirstRun();
    m_options.backupOnOpen = settings.backupOnOpen();
    m_options.openRecentOnStart = settings.openRecentOnStart();
    setSizesInKb(settings.sizesInKb());
}

void MainWindow::saveOpenHistory() {
    Settings().saveOpenHistory(m_session.currentFile());
}

void MainWindow::recentFileClick() {
    auto* a = qobject_cast<QAction*>(sender());
    if (a && !a->text().isEmpty())
        m_catalog->openCatalogFile(a->text());
}

void MainWindow::MOptionsClick() {
    OptionsDialog dialog(this, m_options, m_sizesInKb);
    connect(&dialog, &OptionsDialog::sizesInKbChosen, this, &MainWindow::setSizesInKb);
    prompts().exec(&dialog);
}

// --- Views ------------------------------------------------------------------------------

void MainWindow::setClassHeight(int height) {
    m_initialSplit = false;
    const int total = m_splitter2->height();
    if (total > 0)
        height = qMin(height, total);
    const QSignalBlocker quiet(m_splitter2);
    // A pane shown just now gets its handle back only on the next layout pass; the sizes
    // must count it now.
    m_splitter2->refresh();
    m_splitter2->setSizes({height, qMax(1, total - height - m_splitter2->handleWidth())});
}

void MainWindow::classSplitterMoved() {
    // Dragging the category view open or shut is the same as its switch.
    m_initialSplit = false;
    m_commands->MViewClass->setChecked(m_splitter2->sizes().value(0) > 0);
}

void MainWindow::expSplitterMoved() {
    if (m_rightSplitter->sizes().value(1) > 0 || !m_commands->MViewExp->isChecked())
        return;
    m_commands->MViewExp->setChecked(false);
    viewExpSwitched();
}

void MainWindow::viewClassSwitched() {
    const bool on = m_commands->MViewClass->isChecked();
    const bool cdRomOn = m_commands->MViewCDRom->isChecked();
    // The category view is hidden by its height, so its splitter stays where it was.
    m_pnlClass->setVisible(true);
    if (cdRomOn)
        setClassHeight(on ? m_splitter2->height() / 2 : 0);
    else
        m_pnlClass->setVisible(on);
    m_pnlLeft->setVisible(on || cdRomOn);
}

void MainWindow::viewCDRomSwitched() {
    const bool on = m_commands->MViewCDRom->isChecked();
    if (!on && !m_pnlCDRom->isHidden() && m_splitter2->sizes().value(1) > 0)
        m_cdRomHeight = m_splitter2->sizes().value(1);
    const bool classOn = m_commands->MViewClass->isChecked();
    m_pnlLeft->setVisible(on || classOn);
    m_pnlCDRom->setVisible(on);
    // Alone, the category view fills the pane; beside the contents it goes back on top,
    // leaving the contents the height they had. A released category view stays hidden
    // either way.
    m_pnlClass->setVisible(true);
    m_splitter2->setStretchFactor(0, on ? 0 : 1);
    if (on) {
        // The contents get back the height they had; the first time the categories get
        // their form height.
        const int classHeight =
            m_cdRomHeight > 0
                ? qMax(1, m_splitter2->height() - m_cdRomHeight - m_splitter2->handleWidth())
                : 244;
        setClassHeight(classOn ? classHeight : 0);
    } else {
        m_pnlClass->setVisible(classOn);
        m_splitter2->setSizes({m_splitter2->height(), 0});
    }
}

void MainWindow::viewExpSwitched() {
    const bool on = m_commands->MViewExp->isChecked();
    if (!on && !m_pnlExp->isHidden() && m_rightSplitter->sizes().value(1) > 0)
        m_expHeight = m_rightSplitter->sizes().value(1);
    m_pnlExp->setVisible(on);
    if (on) {
        // Shown again at its height, also after being dragged shut (0 high).
        const int height = m_expHeight > 0 ? m_expHeight : 122;
        const int total = m_rightSplitter->height();
        const QSignalBlocker quiet(m_rightSplitter);
        m_rightSplitter->refresh();
        if (total > height)
            m_rightSplitter->setSizes(
                {qMax(1, total - height - m_rightSplitter->handleWidth()), height});
    }
}

void MainWindow::btnClassCloseClick() {
    m_commands->MViewClass->setChecked(false);
    viewClassSwitched();
}

void MainWindow::btnCDRomCloseClick() {
    m_commands->MViewCDRom->setChecked(false);
    viewCDRomSwitched();
}

void MainWindow::btnExpCloseClick() {
    m_commands->MViewExp->setChecked(false);
    viewExpSwitched();
}

void MainWindow::setListStyle(int style) {
    m_lvMain->setStyle(FileListView::Style(style));
    m_commands->listStyles->actions().value(style)->setChecked(true);
}

void MainWindow::ToolVisibleClick() {
    m_toolBar->setVisible(m_commands->ToolVisible->isChecked());
}

// --- Help -------------------------------------------------------------------------------

void MainWindow::HelpClick() {
    opener().open(dataFile(QStringLiteral("help/index.html")));
}

void MainWindow::MAboutClick() {
    AboutDialog about(this);
    prompts().exec(&about);
}

void MainWindow::MExampleClick() {
    m_catalog->openCatalogFile(m_catalog->exampleFile());
}

void MainWindow::MHomepageClick() {
    opener().open(m_commands->MHomepage->toolTip());
}

void MainWindow::MMailtoAuthorClick() {
    opener().open(m_commands->MMailtoAuthor->toolTip());
}

// --- Lifecycle --------------------------------------------------------------------------

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    // A drag of the notes' splitter starts: the height to give back should it end shut.
    if (m_rightSplitter && watched == m_rightSplitter->handle(1) &&
        e->type() == QEvent::MouseButtonPress && m_rightSplitter->sizes().value(1) > 0)
        m_expHeight = m_rightSplitter->sizes().value(1);
    if (watched == m_splitter2 && e->type() == QEvent::Resize && m_initialSplit &&
        !m_pnlClass->isHidden() && !m_pnlCDRom->isHidden()) {
        const int total = m_splitter2->height();
        const QSignalBlocker quiet(m_splitter2);
        m_splitter2->setSizes({total / 2, total - total / 2 - m_splitter2->handleWidth()});
    }
    return QMainWindow::eventFilter(watched, e);
}

bool MainWindow::event(QEvent* e) {
    // The start-up catalog is opened once the window is up. Without a window manager a
    // window is never activated, so the first show counts as well.
    if ((e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) && !m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &MainWindow::FormActivate);
    }
    return QMainWindow::event(e);
}

void MainWindow::FormActivate() {
    if (m_startedUp)
        return;
    m_startedUp = true;
    m_catalog->startUp();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_catalog->closing()) {
        event->ignore();
        return;
    }
    m_search->hide();
    m_dups->hide();
    event->accept();
}

} // namespace vorlane
