// The main window's import command: opens the import dialog for the selected category and
// shows the new disc afterwards.
#pragma once

#include <QObject>

class QTreeWidgetItem;

namespace vorlane {

class CatalogSession;
class MainWindow;

class ImportHandler : public QObject {
    Q_OBJECT

public:
    ImportHandler(MainWindow* window, CatalogSession& session);
    // Whether the last import dialog ended with a disc imported.
    bool importDone() const { return m_importDone; }

signals:
    // The import dialog stored a disc and selected its node in the category tree.
    void discImported(QTreeWidgetItem* node);

public slots:
    void btnInCDClick();

private:
    MainWindow* w; // widgets and actions
    CatalogSession& m_session;
    bool m_importDone = false;
};

} // namespace vorlane
