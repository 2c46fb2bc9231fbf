// The open catalog and what the program knows about it while it is open: the connection,
// the file's name, the access the passwords granted, whether the category tree has
// unsaved changes, how many categories and discs it shows, the disc being shown and
// whether the window handles its views' changes. Every change is signalled, so the
// window and the handlers follow it without asking each other.
#pragma once

#include "core/store/database.h"
#include "core/store/searchstore.h"

#include <QObject>
#include <QString>

namespace vorlane {

// What the passwords of the open catalog allow; Refused when a prompt was cancelled.
enum class AccessMode { ReadOnly = 0, Full = 1, Refused = 2 };

class CatalogSession : public QObject {
    Q_OBJECT

public:
    explicit CatalogSession(QObject* parent = nullptr);

    // The connection to the open catalog (closed when none is open).
    Database& db() { return m_db; }

    // The catalog file's absolute name; empty for a catalog never saved, or none.
    QString currentFile() const { return m_file; }
    void setCurrentFile(const QString& file);

    AccessMode accessMode() const { return m_accessMode; }
    void setAccessMode(AccessMode mode);
    bool fullAccess() const { return m_accessMode == AccessMode::Full; }

    // The category tree differs from what the file holds.
    bool isModified() const { return m_modified; }
    void setModified(bool on);

    // The last save was cancelled or failed; whoever asked for it abandons its work.
    bool saveIncomplete() const { return m_saveIncomplete; }
    void setSaveIncomplete(bool on) { m_saveIncomplete = on; }

    // Category and disc nodes in the category tree, as the tree last counted them.
    int categoryCount() const { return m_categoryCount; }
    int discCount() const { return m_discCount; }
    void setCounts(int categories, int discs);

    // The disc whose contents and note are shown; 0 when none is.
    qint64 shownDisc() const { return m_shownDisc; }
    void setShownDisc(qint64 discId);

    // The window's change handling: while off, the selection handlers of the trees and
    // the list do nothing (the program itself is changing them). See HandlingOff.
    bool changeHandling() const { return m_changeHandling; }
    void setChangeHandling(bool on) { m_changeHandling = on; }

    // Node ids handed out in the category tree since it was last emptied (loaded, imported
    // or saved nodes); a new disc's OrderId follows it.
    int nodeSerial() const { return m_nodeSerial; }
    int takeNodeSerial() { return ++m_nodeSerial; }
    void setNodeSerial(int n) { m_nodeSerial = n; }

    // Called by every writer of this program once its change is stored, so that the views
    // and the search index follow without the writer knowing them. Each also emits
    // written().
    // The categories and discs were written behind the tree's back (a merge): it reloads.
    void notifyTreeChanged();
    // A disc row was added below `categoryId` (an import starting): the tree shows it.
    void notifyDiscAdded(qint64 categoryId, qint64 discId, const QString& name);
    // A disc's entries were written anew and whole (an import or a rescan).
    void notifyEntriesChanged(qint64 discId);
    // A note was stored: a disc's (`entryId` 0) or an entry's.
    void notifyNoteChanged(qint64 discId, qint64 entryId, const QString& text);
    // A job wrote through a connection of its own; `report` says what, so that the search
    // index can follow. Emits jobWrote() only: the job's handler then tells the views.
    void notifyJobWrote(const searchstore::WriteReport& report) { emit jobWrote(report); }
    // Any other write whose views were updated by the writer itself: the tree saved, a
    // node or entries deleted, entries added by hand, the file compacted.
    void notifyWritten() { emit written(); }

signals:
    void fileChanged(const QString& file);
    void accessModeChanged(vorlane::AccessMode mode);
    void modifiedChanged(bool modified);
    void countsChanged(int categories, int discs);
    void shownDiscChanged(qint64 discId);
    void treeChanged();
    void discAdded(qint64 categoryId, qint64 discId, const QString& name);
    void entriesChanged(qint64 discId);
    void noteChanged(qint64 discId, qint64 entryId, const QString& text);
    void jobWrote(const vorlane::searchstore::WriteReport& report);
    // After every write of this program to the open catalog, following the specific signal.
    void written();

private:
    Database m_db;
    QString m_file;
    AccessMode m_accessMode = AccessMode::Full;
    bool m_modified = false;
    bool m_saveIncomplete = false;
    int m_categoryCount = 0;
    int m_discCount = 0;
    qint64 m_shownDisc = 0;
    bool m_changeHandling = true;
    int m_nodeSerial = 0;
};

} // namespace vorlane
