// The life of the catalog file in the main window: start-up choice, new, open, the
// preparation after an open, passwords, reset, save, save as, compaction and the close
// prompt.
#pragma once

#include <QObject>
#include <QString>

namespace vorlane {

class CompactJob;
enum class CompactResult;
class DbError;
class CatalogSession;
class MainWindow;
class WaitCursor;

class CatalogHandler : public QObject {
    Q_OBJECT

public:
    CatalogHandler(MainWindow* window, CatalogSession& session);

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
    // Writes the category tree; for a never-saved catalog first creates the file from the
    // template. Leaves SaveIncomplete set when it was cancelled or failed.
    void saveCatalog();
    // Asks the open and write passwords of the catalog just opened and sets AccessMode.
    void checkCatalogPasswords();
    // A new, never-saved catalog with one category being named.
    void startNewCatalog();
    // The closing steps; false keeps the window open.
    bool closing();

    // The empty catalog that new files are copied from: qCD.s_y in the program's folder.
    QString templateFile() const;
    void setTemplateFile(const QString& path) { m_templateFile = path; }
    // The example catalog to open: the user's own copy of the installed one, made on first
    // use.
    QString exampleFile() const;
    void setInstalledExample(const QString& path) { m_installedExample = path; }

    // A name chosen in the save dialog, with ".vlr" appended unless it ends in a
    // three-letter extension.
    static QString withExtension(const QString& chosen);

signals:
    // The catalog was dropped for an empty one: nothing it showed may stay on screen.
    // Sent with change handling off.
    void catalogReset();

public slots:
    void FileNewClick();
    void FileOpenClick();
    void tbSaveClick();
    void FileSaveAsClick();
    void MCompactFileClick();
    void FilePwdClick();

signals:
    // A compaction started by MCompactFileClick has ended and its messages were shown.
    void compactionFinished();

private:
    bool createFromTemplate();
    bool writeTree(WaitCursor& wait);
    void showDbError(const DbError& e);
    // The messages after a compaction.
    void compactionDone(CompactResult result);
    // The password prompts, then the preparation of the opened catalog; false when a
    // prompt was cancelled and a new catalog took its place.
    bool admitOpenedCatalog(const QString& path);

    MainWindow* w; // widgets and actions
    CatalogSession& m_session;
    QString m_templateFile;
    QString m_installedExample;
    CompactJob* m_compaction = nullptr; // while one runs
};

} // namespace vorlane
