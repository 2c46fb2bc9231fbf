#include "gui/store/cataloghandler.h"
#include "gui/common/commands.h"

#include "core/search/indexkeeper.h"

#include "core/settings/paths.h"
#include "core/store/backupjob.h"
#include "core/store/catalogstore.h"
#include "core/store/compaction.h"
#include "core/store/example.h"
#include "core/store/filecopy.h"
#include "core/store/passwords.h"
#include "core/store/schema.h"
#include "gui/browser/categorytree.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/notes.h"
#include "gui/common/commands.h"
#include "gui/common/guards.h"
#include "gui/common/prompts.h"
#include "gui/store/passworddialogs.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>

namespace vorlane {

namespace {

QString connectionFailedText(const QString& path, const QString& reason) {
    return QStringLiteral("文件：\r\n") + path + QStringLiteral("\r\n") + reason;
}

} // namespace

CatalogHandler::CatalogHandler(CatalogSession& session, Commands& commands, const Views& views,
                               const WindowOptions& options)
    : QObject(views.window), m_session(session), m_commands(commands), m_views(views),
      m_options(options) {
    setObjectName(QStringLiteral("CatalogHandler"));
    connect(m_commands.FileNew, &QAction::triggered, this, &CatalogHandler::FileNewClick);
    connect(m_commands.FileOpen, &QAction::triggered, this, &CatalogHandler::FileOpenClick);
    connect(m_commands.MSave, &QAction::triggered, this, &CatalogHandler::tbSaveClick);
    connect(m_commands.FileSaveAs, &QAction::triggered, this, &CatalogHandler::FileSaveAsClick);
    connect(m_commands.MCompactFile, &QAction::triggered, this, &CatalogHandler::MCompactFileClick);
    connect(m_commands.FilePwd, &QAction::triggered, this, &CatalogHandler::FilePwdClick);
}

QString CatalogHandler::templateFile() const {
    if (!m_templateFile.isEmpty())
        return m_templateFile;
    return QDir(programDir()).filePath(QStringLiteral("qCD.s_y"));
}

QString CatalogHandler::withExtension(const QString& chosen) {
    QString name = chosen.trimmed();
    if (name.size() < 4 || name.at(name.size() - 4) != QLatin1Char('.'))
        name += QStringLiteral(".vlr");
    return name;
}

void CatalogHandler::showDbError(const DbError& e) {
    // What the application's general error handler would show: the engine's own text.
    prompts().error(m_views.window, e.text(), QStringLiteral("Vorlane"));
}

QString CatalogHandler::exampleFile() const {
    const QString installed =
        m_installedExample.isEmpty() ? dataFile(QStringLiteral("example.vlr")) : m_installedExample;
    return userExampleCatalog(installed, userDataDir());
}

bool CatalogHandler::openConnection(const QString& path) {
    WaitCursor wait;
    m_session.setCurrentFile(path);
    try {
        // The same file opened again may have changed meanwhile.
        emit indexResetRequested();
        m_session.db().open(path);
        return true;
    } catch (const DbError&) {
        wait.pause();
        prompts().error(
            m_views.window,
            connectionFailedText(path, QStringLiteral("打开出错，文件不存在或文件格式不正确！")),
            QStringLiteral("连接失败"));
        m_session.setCurrentFile({});
        return false;
    }
}

void CatalogHandler::startUp() {
    if (m_options.firstRun) {
        if (!m_session.currentFile().isEmpty()) {
            prompts().info(m_views.window, QStringLiteral("欢迎使用本系统！"),
                           QStringLiteral("提示"));
        } else {
            m_session.setCurrentFile(exampleFile());
            prompts().info(m_views.window,
                           QStringLiteral("您应该是第一次使用本系统，为让您很快熟悉操作方法，"
                                          "系统将为您打开示例文件！"),
                           QStringLiteral("提示"));
        }
    }
    if (m_session.currentFile().isEmpty() && !m_options.lastOpenedFile.isEmpty() &&
        m_options.openRecentOnStart)
        m_session.setCurrentFile(m_options.lastOpenedFile);

    if (m_session.currentFile().isEmpty() || !openConnection(m_session.currentFile())) {
        startNewCatalog();
        return;
    }
    try {
        if (!admitOpenedCatalog(m_session.currentFile()))
            return;
        m_session.setModified(false);
    } catch (const DbError& e) {
        showDbError(e);
    }
    emit settingsReloadRequested();
}

void CatalogHandler::startNewCatalog() {
    emit titleNewFile();
    emit firstCategoryRequested();
}

bool CatalogHandler::askSaveChanges() {
    // The disc note is stored apart from the tree; its question comes first.
    if (m_settleNotes && !m_settleNotes())
        return false;
    if (!m_session.isModified())
        return true;
    const auto answer = prompts().message(
        m_views.window, QStringLiteral("当前文件未保存！保存吗？"), QStringLiteral("提示"),
        QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Cancel);
    if (answer == QMessageBox::Yes) {
        saveCatalog();
        return !m_session.saveIncomplete();
    }
    return answer == QMessageBox::No;
}

void CatalogHandler::openCatalogFile(const QString& path) {
    // The file already open, under whatever name it is reached, needs nothing. Names
    // differing only in letter case are two files.
    if ((path.isEmpty() && m_session.currentFile().isEmpty()) ||
        isSameFile(path, m_session.currentFile()))
        return;
    if (!askSaveChanges())
        return;
    if (!QFileInfo(path).isFile()) {
        prompts().error(m_views.window, QStringLiteral("文件不存在！"), QStringLiteral("系统错误"));
        return;
    }
    emit historySaveRequested();
    resetToEmpty();
    if (!openConnection(path)) {
        emit titleNoFile();
        emit settingsReloadRequested();
        return;
    }
    try {
        if (!admitOpenedCatalog(path))
            return;
    } catch (const DbError& e) {
        showDbError(e);
    }
    m_views.tvMain->setFocus();
    m_session.setModified(false);
    emit settingsReloadRequested();
}

bool CatalogHandler::admitOpenedCatalog(const QString& path) {
    checkCatalogPasswords();
    if (m_session.accessMode() == AccessMode::Refused) {
        // A cancelled prompt drops the catalog for a new one.
        resetToEmpty();
        emit firstCategoryRequested();
        emit titleNoFile();
        return false;
    }
    emit titleFile(path);
    prepareOpenedCatalog();
    return true;
}

void CatalogHandler::checkCatalogPasswords() {
    m_session.setAccessMode(AccessMode::Full);
    const CatalogPasswords passwords = readPasswords(m_session.db());
    if (!passwords.hasRow)
        return;
    if (!passwords.read.isEmpty()) {
        OpenPasswordDialog prompt(m_views.window, m_session);
        prompts().exec(&prompt);
        m_session.setAccessMode(prompt.mode());
    }
    if (m_session.accessMode() == AccessMode::Refused)
        return;
    if (!passwords.write.isEmpty()) {
        WritePasswordDialog prompt(m_views.window, m_session);
        prompts().exec(&prompt);
        m_session.setAccessMode(prompt.mode());
    } else {
        m_session.setAccessMode(AccessMode::Full);
    }
}

void CatalogHandler::prepareOpenedCatalog() {
    Database& db = m_session.db();
    emit treeLoadTotal(catalogstore::treeRowCount(db));
    // A catalog from a later program may hold what this one cannot keep consistent: the
    // connection itself is made read-only, so nothing here can change the file.
    const bool newer = upgradeCatalog(db) == CatalogUpgrade::Newer;
    if (newer)
        db.open(db.path(), Database::Mode::ReadOnly);
    {
        WaitCursor wait;
        emit treeLoadRequested();
    }
    // Tree edits on a file that cannot be written could never be saved.
    if (db.isReadOnly() && m_session.accessMode() == AccessMode::Full)
        m_session.setAccessMode(AccessMode::ReadOnly);
    if (m_session.fullAccess())
        enableAll({m_commands.FilePwd}, {}, true);
    if (newer)
        prompts().info(m_views.window,
                       QStringLiteral("此文件由更新版本的程序建立，将以只读方式打开。"),
                       QStringLiteral("提示"));
    m_views.status.state->setText(QStringLiteral("就绪！"));
    m_views.status.progress->setValue(0);
    // Searches answer from memory once the index is built beside the window.
    emit indexRefreshRequested();
    if (m_options.backupOnOpen)
        startBackup();
}

void CatalogHandler::startBackup() {
    const QString file = m_session.currentFile();
    auto* job = new BackupJob(file, backupPath(file), this);
    m_backup = job;
    connect(
        job, &Job::finished, this, [this, job] { backupDone(job); }, Qt::QueuedConnection);
    job->start();
}

void CatalogHandler::backupDone(BackupJob* job) {
    job->deleteLater();
    // The backup of a catalog closed meanwhile says nothing about the one open now.
    if (job != m_backup)
        return;
    m_backup = nullptr;
    if (!job->succeeded()) {
        // Edits made meanwhile stay in the tree as unsaved changes; the save prompt on
        // closing still offers them.
        prompts().error(m_views.window, QStringLiteral("未能产生备份文件，无可写权限。"),
                        QStringLiteral("提示"));
        m_session.setAccessMode(AccessMode::ReadOnly);
        // The user may have selected something meanwhile, with editing commands enabled
        // for full access; they go off as a selection under read-only would leave them.
        enableAll({m_commands.NewChildClass, m_commands.NewBrotherUp, m_commands.NewBrotherDown,
                   m_commands.InCD, m_commands.RenameNode, m_commands.MAddChildNode,
                   m_commands.MAddUpNode, m_commands.MAddDownNode, m_commands.MInCD,
                   m_commands.MClassDelete, m_commands.MRenameNode, m_commands.mitDelete,
                   m_commands.mitAddDir, m_commands.mitAddFile, m_commands.MAddDir,
                   m_commands.MAddFile, m_commands.MRescan},
                  {m_views.btnAddChild, m_views.btnAddUp, m_views.btnAddDown, m_views.btnInCD,
                   m_views.btnClassDelete, m_views.btnExpSave, m_views.btnCDRomDelete},
                  false);
    }
    emit backupFinished();
}

void CatalogHandler::resetToEmpty() {
    // A backup still running ends at its next step, leaving no copy; its result no longer
    // concerns the window.
    if (m_backup) {
        m_backup->cancel();
        m_backup = nullptr;
    }
    m_session.setCurrentFile({});
    m_session.setAccessMode(AccessMode::Full);
    {
        HandlingOff off(m_session);
        emit catalogReset();
    }
    enableAll({m_commands.NewChildClass, m_commands.NewBrotherUp, m_commands.NewBrotherDown,
               m_commands.InCD, m_commands.MOpen, m_commands.MFileExp, m_commands.MAddDir,
               m_commands.MAddFile, m_commands.RenameNode, m_commands.FilePwd, m_commands.mitOpen,
               m_commands.mitDelete, m_commands.mitFileExp, m_commands.mitAddDir,
               m_commands.mitAddFile},
              {m_views.btnAddChild, m_views.btnAddUp, m_views.btnAddDown, m_views.btnInCD,
               m_views.btnClassDelete, m_views.btnCDRomDelete},
              false);
    m_session.db().close();
    emit indexResetRequested();
    m_views.status.state->setText({});
    m_views.status.counts->clear();
}

bool CatalogHandler::closing() {
    if (!askSaveChanges())
        return false;
    emit historySaveRequested();
    return true;
}

void CatalogHandler::FileNewClick() {
    if (!askSaveChanges())
        return;
    emit historySaveRequested();
    resetToEmpty();
    emit titleNewFile();
    emit firstCategoryRequested();
    emit settingsReloadRequested();
    m_session.setModified(true);
}

void CatalogHandler::FileOpenClick() {
    const QString path = prompts().openFile(m_views.window, QStringLiteral("打开"),
                                            QStringLiteral("Vorlane 文件(*.vlr);;所有文件(*)"));
    if (!path.isEmpty())
        openCatalogFile(path);
}

void CatalogHandler::tbSaveClick() {
    saveCatalog();
}

} // namespace vorlane
