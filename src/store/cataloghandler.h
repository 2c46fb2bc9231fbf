// The life of the catalog file in the main window: start-up choice, new, open, the
// preparation after an open, reset, save, and the close prompt.
#pragma once

#include <QObject>
#include <QString>

namespace vorlane {

class MainWindow;

class CatalogHandler : public QObject {
    Q_OBJECT

public:
    explicit CatalogHandler(MainWindow* window);

    // The first activation of the main window: chooses the start-up catalog and opens it.
    void startUp();
    // Opens the connection on `path`; on failure shows the connection-failed message and
    // clears CurrentFile. Returns whether it opened.
    bool openConnection(const QString& path);
    // The unsaved-changes prompt; false when the caller must abandon its operation.
    bool askSaveChanges();
    void openCatalogFile(const QString& path);
    void prepareOpenedCatalog();
    void resetToEmpty();
    void saveCatalog();
    // A new, never-saved catalog with one category being named.
    void startNewCatalog();
    // The closing steps; false keeps the window open.
    bool closing();

public slots:
    void FileNewClick();
    void FileOpenClick();
    void tbSaveClick();

private:
    MainWindow* w;
};

} // namespace vorlane
