// The main window's import command: opens the import dialog for the selected category and
// shows the new disc afterwards.
#pragma once

#include "gui/common/views.h"

#include <QObject>

class QTreeWidgetItem;

namespace vorlane {

class CatalogSession;
class Commands;

class ImportHandler : public QObject {
    Q_OBJECT

public:
    ImportHandler(CatalogSession& session, Commands& commands, const Views& views);
    // Whether the last import dialog ended with a disc imported.
    bool importDone() const { return m_importDone; }

signals:
    // The import dialog stored a disc and selected its node in the category tree.
    void discImported(QTreeWidgetItem* node);
    // The catalog has unsaved changes to be saved before a disc is added; the session
    // says whether that failed.
    void saveRequested();

public slots:
    void btnInCDClick();

private:
    CatalogSession& m_session;
    Commands& m_commands;
    const Views m_views;
    bool m_importDone = false;
};

} // namespace vorlane
