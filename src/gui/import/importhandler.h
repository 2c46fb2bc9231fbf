// The main window's import command: opens the import dialog for the selected category and
// shows the new disc afterwards.
#pragma once

#include <QObject>

namespace vorlane {

class MainWindow;

class ImportHandler : public QObject {
    Q_OBJECT

public:
    explicit ImportHandler(MainWindow* window);
    // Whether the last import dialog ended with a disc imported.
    bool importDone() const { return m_importDone; }

public slots:
    void btnInCDClick();

private:
    MainWindow* w;
    bool m_importDone = false;
};

} // namespace vorlane
