#include "gui/import/verifyhandler.h"
#include "gui/common/commands.h"

#include "core/store/catalogsession.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "gui/browser/nodes.h"
#include "gui/common/progresswindow.h"
#include "gui/common/prompts.h"
#include "gui/import/verifydialog.h"

#include <QAction>
#include <QTreeWidget>

namespace vorlane {

VerifyHandler::VerifyHandler(CatalogSession& session, Commands& commands, const Views& views)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views) {
    setObjectName(QStringLiteral("VerifyHandler"));
    QAction* verify = m_commands.MVerify;
    verify->setEnabled(false);
    connect(verify, &QAction::triggered, this, &VerifyHandler::MVerifyClick);
    // Only a stored disc has rows to read back.
    connect(m_views.tvMain, &QTreeWidget::currentItemChanged, verify,
            [verify](QTreeWidgetItem* node) {
                verify->setEnabled(nodes::isDisc(node) && nodes::hasId(node));
            });
}

void VerifyHandler::MVerifyClick() {
    QTreeWidgetItem* node = m_views.tvMain->currentItem();
    if (!nodes::isDisc(node) || !nodes::hasId(node) || !m_session.db().isOpen())
        return;
    const QString name = node->text(0);
    VerifyJob job(m_session.db().path(), VerifyParams{nodes::id(node), {}});
    ProgressWindow::run(job, QStringLiteral("正在校验光盘 - ") + name, m_views.window);
    if (!job.isOver())
        return;
    // The report once the reading is over and its window has closed.
    VerifyDialog report(job.result(), name, m_views.window);
    const qint64 disc = nodes::id(node);
    connect(&report, &VerifyDialog::entryChosen, this, [this, disc](qint64 entryId) {
        try {
            if (const auto link = contentstore::entryLink(m_session.db(), entryId))
                emit showEntryRequested(disc, link->fatherId, entryId);
        } catch (const DbError& e) {
            prompts().error(m_views.window, e.text(), QStringLiteral("提示"));
        }
    });
    prompts().exec(&report);
}

} // namespace vorlane
