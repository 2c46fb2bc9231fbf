#include "search/searchwindow.h"

#include "app/mainwindow.h"
#include "app/prompts.h"

namespace vorlane {

SearchWindow::SearchWindow(MainWindow* window) : QDialog(window), w(window) {
    setObjectName(QStringLiteral("FindFrm"));
    setWindowTitle(QStringLiteral("查找.........."));
}

void SearchWindow::tbFindClick() { prompts().exec(this); }

} // namespace vorlane
