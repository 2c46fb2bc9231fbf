#include "gui/import/verifyhandler.h"

#include "gui/app/mainwindow.h"
#include "gui/app/prompts.h"
#include "gui/browser/nodes.h"
#include "gui/import/verifydialog.h"

#include <QAction>
#include <QTreeWidget>

namespace vorlane {

VerifyHandler::VerifyHandler(MainWindow* window, CatalogSession& session)
    : QObject(window), w(window), m_session(session) {
    setObjectName(QStringLiteral("VerifyHandler"));
    QAction* verify = w->action("MVerify");
    verify->setEnabled(false);
    connect(verify, &QAction::triggered, this, &VerifyHandler::MVerifyClick);
    // Only a stored disc has rows to read back.
    connect(w->tvMain(), &QTreeWidget::currentItemChanged, verify, [verify](QTreeWidgetItem* node) {
        verify->setEnabled(nodes::isDisc(node) && nodes::hasId(node));
    });
}

void VerifyHandler::MVerifyClick() {
    QTreeWidgetItem* node = w->tvMain()->currentItem();
    if (!nodes::isDisc(node) || !nodes::hasId(node) || !m_session.db().isOpen())
        return;
    VerifyDialog dialog(m_session.db().path(), nodes::id(node), node->text(0), w);
    prompts().exec(&dialog);
}

} // namespace vorlane
