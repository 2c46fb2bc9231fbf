// Writing the category tree back, creating a new file from the template, Save As,
// compaction and the password settings.
#include "core/settings/text.h"
#include "core/store/catalogstore.h"
#include "core/store/compactjob.h"
#include "core/store/filecopy.h"
#include "core/store/schema.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/nodes.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/progresswindow.h"
#include "gui/common/prompts.h"
#include "gui/store/cataloghandler.h"
#include "gui/store/passworddialogs.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <memory>

namespace vorlane {

namespace {

const QString saveFilter = QStringLiteral("Vorlane文件(*.vlr);;所有文件(*)");

// The save dialog asked before replacing the name that was typed; the extension rule may
// have made another one of it. Asks the dialog's own question for that name too; false
// when the user would keep the existing file.
bool mayReplace(QWidget* parent, const QString& caption, const QString& chosen,
                const QString& name) {
    if (name == chosen || !QFileInfo::exists(name))
        return true;
    const QString question =
        QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?")
            .arg(QFileInfo(name).fileName());
    return prompts().message(parent, question, caption, QMessageBox::Warning,
                             QMessageBox::Yes | QMessageBox::No,
                             QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

void CatalogHandler::saveCatalog() {
    WaitCursor wait;
    m_session.setSaveIncomplete(false);
    if (m_session.currentFile().isEmpty()) {
        wait.pause();
        if (!createFromTemplate()) {
            m_session.setSaveIncomplete(true);
            return;
        }
    }
    if (!writeTree(wait)) {
        m_session.setSaveIncomplete(true);
        return;
    }
    m_session.setModified(false);
}

bool CatalogHandler::createFromTemplate() {
    const QString caption = QStringLiteral("保存");
    const QString chosen =
        prompts().saveFile(m_views.window, caption, QStringLiteral("NewCDFile"), saveFilter);
    if (chosen.trimmed().isEmpty())
        return false;
    const QString name = withExtension(chosen);
    if (!mayReplace(m_views.window, caption, chosen, name))
        return false;
    const QString source = templateFile();
    if (!QFileInfo(source).isFile()) {
        prompts().error(m_views.window, QStringLiteral("系统文件qCD.s_y丢失，保存文件失败！"),
                        QStringLiteral("系统错误"));
        return false;
    }
    if (!copyFileReplacing(source, name)) {
        prompts().error(m_views.window, QStringLiteral("无法建立新文件，无写权限！"),
                        QStringLiteral("提示"));
        return false;
    }
    m_session.setCurrentFile(name);
    try {
        m_session.db().open(name);
        upgradeCatalog(m_session.db()); // a template left from an older version
    } catch (const DbError&) {
        prompts().error(
            m_views.window,
            QStringLiteral("文件：\r\n") + name + QStringLiteral("\r\n") +
                QStringLiteral("打开出错，文件格式不正确，系统文件qCD.s_y不正确或被损坏！"),
            QStringLiteral("连接失败"));
        m_session.setCurrentFile({});
        return false;
    }
    emit titleFile(name);
    enableAll({m_commands.FilePwd}, {}, true);
    return true;
}

// Every node in display order, parents before children, flattened into the rows the
// store writes; a row's position is its OrderId, so siblings read back "order by OrderId"
// keep their order.
bool CatalogHandler::writeTree(WaitCursor& wait) {
    std::vector<TreeSaveRow> rows;
    QList<QTreeWidgetItem*> nodeOfRow;
    QHash<const QTreeWidgetItem*, int> rowOfNode;
    for (QTreeWidgetItemIterator it(m_views.tvMain); *it; ++it) {
        QTreeWidgetItem* node = *it;
        if (!nodes::isDisc(node) && node->text(0).isEmpty())
            node->setText(0, QStringLiteral("新分类"));
        rowOfNode.insert(node, int(rows.size()));
        nodeOfRow << node;
        rows.push_back({nodes::isDisc(node), nodes::hasId(node) ? nodes::id(node) : 0,
                        node->text(0), rowOfNode.value(node->parent(), -1)});
    }
    qsizetype failedRow = -1;
    TreeSaveHooks hooks;
    hooks.rowFailed = [&](qsizetype row) { failedRow = row; };
    const TreeSaveResult result = catalogstore::saveCategoryTree(m_session.db(), rows, hooks);
    // New categories keep the ids that were committed; the others are appended again by
    // the next save.
    for (int i = 0; i < result.appended; ++i)
        m_session.takeNodeSerial();
    for (qsizetype i = 0; i < qsizetype(rows.size()); ++i) {
        if (rows[size_t(i)].isDisc || rows[size_t(i)].id != 0)
            continue;
        if (result.ids[size_t(i)] != 0)
            nodes::setId(nodeOfRow.at(i), result.ids[size_t(i)]);
        else
            nodeOfRow.at(i)->setData(0, nodes::IdRole, QVariant());
    }
    if (failedRow >= 0) {
        wait.pause();
        prompts().error(m_views.window,
                        QStringLiteral("保存数据出错,位置：") + nodeOfRow.at(failedRow)->text(0) +
                            QStringLiteral("，数据太长或文件不可写，请检查！"),
                        QStringLiteral("提示"));
        return false;
    }
    if (!result.saved) {
        wait.pause();
        prompts().error(m_views.window, result.error, QStringLiteral("Vorlane"));
        return false;
    }
    m_session.notifyWritten();
    return true;
}

void CatalogHandler::FileSaveAsClick() {
    if (m_session.currentFile().trimmed().isEmpty()) {
        saveCatalog();
        return;
    }
    if (m_session.isModified()) {
        saveCatalog();
        if (m_session.saveIncomplete())
            return;
    }
    const QString caption = QStringLiteral("另存为");
    const QString chosen =
        prompts().saveFile(m_views.window, caption, QStringLiteral("vlrFileCopy"), saveFilter);
    if (chosen.trimmed().isEmpty())
        return;
    const QString name = withExtension(chosen);
    if (!mayReplace(m_views.window, caption, chosen, name))
        return;
    // The copy is a snapshot through the engine, so a write another program makes
    // meanwhile is in it whole or not at all. The open file itself is never replaced.
    if (isSameFile(m_session.currentFile(), name))
        return;
    if (!backupCatalog(m_session.db(), name))
        prompts().error(m_views.window, QStringLiteral("保存文件出错！"), QStringLiteral("提示"));
}

void CatalogHandler::MCompactFileClick() {
    Database& db = m_session.db();
    if (!db.isOpen() || m_compaction)
        return;
    if (!prompts().askYesNo(m_views.window,
                            QStringLiteral("是否确认要对当前文件进行压缩整理操作？"),
                            QStringLiteral("提示")))
        return;
    // The window's connection stays open; the job compacts the file in place on its own
    // connection under the engine's locks, which the window's connection waits for.
    auto* job = new CompactJob(db.path(), this);
    m_compaction = job;
    connect(
        job, &Job::progressed, this,
        [this](const JobProgress& p) {
            m_views.status.state->setText(p.itemsDone == int(CompactStage::BackingUp)
                                              ? QStringLiteral("备份文件...")
                                              : QStringLiteral("开始压缩..."));
        },
        Qt::QueuedConnection);
    ProgressWindow::start(job, QStringLiteral("正在压缩整理…"), m_views.window, [this, job] {
        m_compaction = nullptr;
        job->deleteLater();
        compactionDone(job->result());
        emit compactionFinished();
    });
}

void CatalogHandler::compactionDone(CompactResult result) {
    if (result == CompactResult::BackupFailed) {
        prompts().error(m_views.window,
                        QStringLiteral("未能产生备份文件，无可写权限,不能进行该操作。"),
                        QStringLiteral("提示"));
        return;
    }
    // The file was rewritten under the window's connection (or restored from its backup).
    m_session.notifyWritten();
    if (result == CompactResult::Done)
        prompts().info(m_views.window, QStringLiteral("文件压缩修复成功！"),
                       QStringLiteral("提示"));
    else
        prompts().error(m_views.window,
                        QStringLiteral("压缩修复文件失败，文件已经打开或不可读写！"),
                        QStringLiteral("提示"));
    m_views.status.state->setText(QStringLiteral("就绪"));
}

void CatalogHandler::FilePwdClick() {
    if (!m_session.db().isOpen())
        return;
    PasswordSettingsDialog dialog(m_views.window, m_session);
    prompts().exec(&dialog);
}

} // namespace vorlane
