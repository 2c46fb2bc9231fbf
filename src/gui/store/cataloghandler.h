// The life of the catalog file in the main window: start-up choice, new, open, the
// preparation after an open, passwords, reset, save, save as, compaction and the close
// prompt.
#pragma once

#include "gui/common/views.h"
#include <QObject>
#include <QString>
#include <functional>

namespace vorlane {

class BackupJob;
class CompactJob;
enum class CompactResult;
class DbError;
class CatalogSession;
class Commands;
class WaitCursor;

class CatalogHandler : public QObject {
    Q_OBJECT

public:
    CatalogHandler(CatalogSession& session, Commands& commands, const Views& views,
                   const WindowOptions& options);

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
    // Asked before the open catalog goes: stores or drops edited notes, as the user says;
    // false keeps the catalog. Handed over by whoever wires the window.
    void setNotesSettler(std::function<bool()> settle) { m_settleNotes = std::move(settle); }
    // The backup after opening the current catalog has not yet reported.
    bool isBackingUp() const { return m_backup != nullptr; }

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
    // The window's title: no file, a new catalog, or the open file.
    void titleNoFile();
    void titleNewFile();
    void titleFile(const QString& file);
    // The options and the recent files are to be read again, or the open file added to
    // them.
    void settingsReloadRequested();
    void historySaveRequested();
    // A new catalog starts with one category being named.
    void firstCategoryRequested();
    // The category tree is to be loaded from the open catalog, of about `total` rows.
    void treeLoadTotal(qint64 total);
    void treeLoadRequested();
    // The search index is to be dropped, or built for the catalog as it is now.
    void indexResetRequested();
    void indexRefreshRequested();
    // The backup started after opening the current catalog has ended and, when it failed,
    // the catalog was switched to read-only. Not sent for the backup of a catalog that was
    // closed meanwhile: its result is dropped.
    void backupFinished();

private:
    bool createFromTemplate();
    bool writeTree(WaitCursor& wait);
    void showDbError(const DbError& e);
    // The messages after a compaction.
    void compactionDone(CompactResult result);
    // The password prompts, then the preparation of the opened catalog; false when a
    // prompt was cancelled and a new catalog took its place.
    bool admitOpenedCatalog(const QString& path);
    // The backup after an open runs beside the window; a failure arrives later.
    void startBackup();
    void backupDone(BackupJob* job);

    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
    const WindowOptions& m_options;
    QString m_templateFile;
    QString m_installedExample;
    CompactJob* m_compaction = nullptr; // while one runs
    BackupJob* m_backup = nullptr;      // the current catalog's, while it runs
    std::function<bool()> m_settleNotes;
};

} // namespace vorlane
