// The main window's import command: opens the import dialog for the selected category.
#pragma once

#include <QObject>

namespace vorlane {

class MainWindow;

class ImportHandler : public QObject {
    Q_OBJECT

public:
    explicit ImportHandler(MainWindow* window);

public slots:
    void btnInCDClick();

private:
    MainWindow* w;
};

} // namespace vorlane
