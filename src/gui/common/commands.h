// Every command of the main window as one action, created once and named as the user
// interface knows it. The window places each action in its menus, pop-up menus and tool
// bar; handlers connect to and enable the actions through these typed members, so a
// misspelt command is a compile error, not a silent no-op.
#pragma once

#include <QObject>

#include <initializer_list>

class QAction;
class QActionGroup;
class QToolButton;

namespace vorlane {

class Commands : public QObject {
    Q_OBJECT

public:
    explicit Commands(QObject* parent = nullptr);

    // File
    QAction* FileNew;
    QAction* FileOpen;
    // The recent files, in the menu and in the open button's drop-down.
    QAction* MFile[4];
    QAction* DMFile[4];
    QAction* MSave;
    QAction* FileSaveAs;
    QAction* FilePwd;
    QAction* MExport;
    QAction* MMerge;
    QAction* FileExit;

    // Edit
    QAction* NewChildClass;
    QAction* NewBrotherUp;
    QAction* NewBrotherDown;
    QAction* InCD;
    QAction* MOpen;
    QAction* MFileExp;
    QAction* MAddDir;
    QAction* MAddFile;
    QAction* RenameNode;

    // Tools
    QAction* MCompactFile;
    QAction* MFind;
    QAction* MSearchBar; // into the main window's search bar
    QAction* MDuplicates;
    QAction* MCopies;
    QAction* MOptions;

    // View: switches shared by the menu and the tool bar.
    QAction* ToolVisible;
    QAction* MViewClass;
    QAction* MViewCDRom;
    QAction* MViewExp;
    QAction* MPreview; // the preview pane beside the file list
    // The file list's styles, one exclusive group, in FileListView's order.
    QAction* MIcon;
    QAction* MSmallIcon;
    QAction* MList;
    QAction* MReport;
    QActionGroup* listStyles;
    QAction* tbBack;

    // Help
    QAction* Help;
    QAction* MAbout;
    QAction* MExample;
    QAction* MHomepage;
    QAction* MMailtoAuthor;

    // Pop-up menu of the category tree.
    QAction* MAddChildNode;
    QAction* MAddUpNode;
    QAction* MAddDownNode;
    QAction* MInCD;
    QAction* MRescan;
    QAction* MClassDelete;
    QAction* MRenameNode;
    QAction* MFullOpen;
    QAction* MFullClose;
    QAction* MVerify;
    QAction* MDiscProperties;
    // Pop-up menu of the disc contents.
    QAction* mitCDRomDelete;
    // Pop-up menu of the file list.
    QAction* mitOpen;
    QAction* mitDelete;
    QAction* mitFileExp;
    QAction* mitAddDir;
    QAction* mitAddFile;
    QAction* mitSelAll;
    QAction* mitCopyPath;
    QAction* mitProperties;

private:
    QAction* make(const char* name, const QString& text, const QString& hint = {});
};

// Enables or disables commands and the buttons that go with them together.
void enableAll(std::initializer_list<QAction*> actions, std::initializer_list<QToolButton*> buttons,
               bool on);

} // namespace vorlane
