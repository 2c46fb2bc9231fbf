#include "gui/import/importhandler.h"
#include "gui/common/commands.h"

#include "gui/app/guards.h"
#include "gui/app/mainwindow.h"
#include "gui/app/prompts.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/import/importdialog.h"
#include "gui/store/cataloghandler.h"

#include <QAction>
#include <QTreeWidget>

namespace vorlane {

ImportHandler::ImportHandler(MainWindow* window, CatalogSession& session)
    : QObject(window), w(window), m_session(session) {
    setObjectName(QStringLiteral("ImportHandler"));
    // The button btnInCD triggers InCD, so it needs no connection of its own.
    connect(w->commands().InCD, &QAction::triggered, this, &ImportHandler::btnInCDClick);
    connect(w->commands().MInCD, &QAction::triggered, this, &ImportHandler::btnInCDClick);
}

void ImportHandler::btnInCDClick() {
    if (m_session.isModified()) {
        w->catalog()->saveCatalog();
        if (m_session.saveIncomplete())
            return;
    }
    QTreeWidget* tree = w->tvMain();
    QTreeWidgetItem* category = tree->currentItem();
    if (category && !nodes::isCategory(category))
        category = category->parent();
    // A category without a stored row cannot own a disc.
    if (!category || !nodes::hasId(category) || !m_session.db().isOpen())
        return;

    m_importDone = false;
    {
        HandlingOff off(m_session);
        tree->setFocus();
        ImportDialog dialog(w, category);
        prompts().exec(&dialog);
        m_importDone = dialog.importDone();
    }
    if (m_importDone) {
        QTreeWidgetItem* node = tree->currentItem();
        if (nodes::isDisc(node))
            emit discImported(node);
    }
}

} // namespace vorlane
