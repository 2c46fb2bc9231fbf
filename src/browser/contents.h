// A disc's contents: the folder tree tvCDRom and the file list lvMain.
#pragma once

#include <QObject>
#include <QString>

class QTreeWidgetItem;

namespace vorlane {

class MainWindow;

class ContentsView : public QObject {
    Q_OBJECT

public:
    explicit ContentsView(MainWindow* window);

    // Shows a disc selected in the category tree: opens its row for the notes panel,
    // counts its top level, fills both views and sets the command states.
    void showDisc(qint64 discId, const QString& name);
    // The disc's top level into both views.
    void fillCDRoot(qint64 discId);
    // One folder's entries into the list.
    void fillFolder(qint64 folderId);
    // Empties both views.
    void clear();
    // Selects the first loaded folder node with this id; false when none.
    bool selectFolderById(const QString& idText);
    // Selects the list item with this id; false when none.
    bool selectFileById(const QString& idText);

private:
    MainWindow* w;
};

} // namespace vorlane
