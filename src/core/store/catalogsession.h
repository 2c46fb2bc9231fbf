// The open catalog and what the program knows about it while it is open: the connection,
// the file's name, the access the passwords granted, whether the category tree has
// unsaved changes and how many discs it shows. Every change is signalled, so the window
// and the handlers follow it without asking each other.
#pragma once

#include "core/store/database.h"

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

    // Disc nodes in the category tree.
    int discCount() const { return m_discCount; }
    void setDiscCount(int n);

signals:
    void fileChanged(const QString& file);
    void accessModeChanged(vorlane::AccessMode mode);
    void modifiedChanged(bool modified);
    void discCountChanged(int count);

private:
    Database m_db;
    QString m_file;
    AccessMode m_accessMode = AccessMode::Full;
    bool m_modified = false;
    bool m_saveIncomplete = false;
    int m_discCount = 0;
};

} // namespace vorlane
