// The widgets the handlers work on, built and placed by the main window. A handler is
// given the views it needs; it never reaches the window itself.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QWidget;

namespace vorlane {

class FileListView;
class PathBar;
class PreviewPane;

// The status bar's panels.
struct StatusPanels {
    QLabel* state = nullptr;  // what the program is doing
    QLabel* counts = nullptr; // categories and discs
    QLabel* list = nullptr;   // the list's items and its selection
    QProgressBar* progress = nullptr;
};

// The window's options and history, as read from the settings and the options dialog.
struct WindowOptions {
    QString lastOpenedFile;
    bool firstRun = true;
    bool backupOnOpen = true;
    bool openRecentOnStart = true;
};

struct Views {
    // The parent of the handlers' dialogs and messages.
    QWidget* window = nullptr;
    QTreeWidget* tvMain = nullptr;
    QTreeWidget* tvCDRom = nullptr;
    FileListView* lvMain = nullptr;
    PathBar* pathBar = nullptr;     // where the list is, above it
    PreviewPane* preview = nullptr; // the selected entry's picture and facts, beside it
    // The search bar in the tool bar, and the hit list that takes the file list's place in
    // `listStack` while the bar holds a query.
    QLineEdit* searchBar = nullptr;
    QTreeView* lvHits = nullptr;
    QStackedWidget* listStack = nullptr;
    QPlainTextEdit* txtCDExp = nullptr;
    QLabel* lbCDName = nullptr;
    QLabel* lbDiscFacts = nullptr;
    QMenu* treePopup = nullptr;
    QMenu* listPopup = nullptr;
    QMenu* contentsPopup = nullptr;
    // The caption bars' buttons.
    QToolButton* btnAddChild = nullptr;
    QToolButton* btnAddUp = nullptr;
    QToolButton* btnAddDown = nullptr;
    QToolButton* btnInCD = nullptr;
    QToolButton* btnClassDelete = nullptr;
    QToolButton* btnCDRomDelete = nullptr;
    QToolButton* btnExpSave = nullptr;
    QToolButton* btnInExp = nullptr;
    StatusPanels status;
};

} // namespace vorlane
