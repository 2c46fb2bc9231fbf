#include "browser/contents.h"

#include "app/mainwindow.h"
#include "browser/entrymodel.h"
#include "browser/filelistview.h"

#include <QTreeWidget>

namespace vorlane {

ContentsView::ContentsView(MainWindow* window) : QObject(window), w(window) {
    setObjectName(QStringLiteral("ContentsView"));
}

void ContentsView::showDisc(qint64 /*discId*/, const QString& /*name*/) {}

void ContentsView::fillCDRoot(qint64 /*discId*/) {
    // Filled by the contents browser.
}

void ContentsView::fillFolder(qint64 /*folderId*/) {}

void ContentsView::clear() {
    const bool handling = w->changeHandling();
    w->setChangeHandling(false);
    w->tvCDRom()->clear();
    w->lvMain()->model()->clear();
    w->setChangeHandling(handling);
}

bool ContentsView::selectFolderById(const QString& /*idText*/) { return false; }

bool ContentsView::selectFileById(const QString& /*idText*/) { return false; }

} // namespace vorlane
