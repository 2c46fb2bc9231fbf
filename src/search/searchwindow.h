// The search window: created once beside the main window, hidden between uses.
#pragma once

#include <QDialog>

namespace vorlane {

class MainWindow;

class SearchWindow : public QDialog {
    Q_OBJECT

public:
    explicit SearchWindow(MainWindow* window);

public slots:
    // Shows the window modally over the main window.
    void tbFindClick();

private:
    MainWindow* w;
};

} // namespace vorlane
