#include "gui/import/importhandler.h"
#include "gui/common/commands.h"

#include "gui/browser/nodes.h"
#include "gui/common/guards.h"
#include "gui/common/prompts.h"
#include "gui/import/importdialog.h"

#include <QAction>
#include <QTreeWidget>

namespace vorlane {

ImportHandler::ImportHandler(CatalogSession& session, Commands& commands, const Views& views)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views) {
    setObjectName(QStringLiteral("ImportHandler"));
    // The button btnInCD triggers InCD, so it needs no connection of its own.
    connect(m_commands.InCD, &QAction::triggered, this, &ImportHandler::btnInCDClick);
    connect(m_commands.MInCD, &QAction::triggered, this, &ImportHandler::btnInCDClick);
}

void ImportHandler::btnInCDClick() {
    if (m_session.isModified()) {
        emit saveRequested();
        if (m_session.saveIncomplete())
            return;
    }
    QTreeWidget* tree = m_views.tvMain;
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
        ImportDialog dialog(m_views.window, m_session, nodes::id(category));
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
