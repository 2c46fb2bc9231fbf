#include "import/importhandler.h"

#include "app/mainwindow.h"

#include <QAction>

namespace vorlane {

ImportHandler::ImportHandler(MainWindow* window) : QObject(window), w(window) {
    setObjectName(QStringLiteral("ImportHandler"));
}

void ImportHandler::btnInCDClick() {
    // The import dialog is added with the disc scan.
}

} // namespace vorlane
