// Opening a catalogued entry: a folder item moves into the folder; a file item is opened
// from where its disc was imported, offering to point the disc at a new location.
#include "core/import/archivelist.h"
#include "core/store/catalogsession.h"
#include "core/store/catalogstore.h"
#include "core/store/contentstore.h"
#include "core/store/database.h"
#include "gui/browser/contentscontroller.h"
#include "gui/browser/entrymodel.h"
#include "gui/browser/filelistview.h"
#include "gui/common/platform.h"
#include "gui/common/prompts.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorlane {

namespace {

QString fullPath(const QString& location, const Entry& e) {
    return location + e.path + QLatin1Char('/') + e.name;
}

// The real path as the file system names it, also below folders whose names are not UTF-8;
// the shown path stands in when the catalog cannot tell.
QByteArray rawFullPath(Database& db, const QString& location, const Entry& e) {
    std::optional<QByteArray> below;
    try {
        below = contentstore::rawEntryPath(db, e.id);
    } catch (const DbError&) {
    }
    if (!below)
        return QFile::encodeName(fullPath(location, e));
    return QFile::encodeName(location) + *below;
}

QString reasonsText(const QString& path) {
    return QStringLiteral("不能打开：") + path +
           QStringLiteral("，原因可能为以下之一：\n\n1、光盘中没有原始盘！\n2、光盘位置改变！\n"
                          "3、文件不能直接打开！\n4、其他未知原因！\n\n");
}

} // namespace

void ContentsController::mitOpenClick() {
    const QList<int> rows = m_views.lvMain->selectedRows();
    if (rows.isEmpty())
        return;
    const Entry e = m_views.lvMain->model()->entry(rows.first());
    if (e.archive == ArchiveMark::Archive || (e.isDir && e.archive == ArchiveMark::Member)) {
        showArchiveLevel(e.id);
        return;
    }
    if (e.archive == ArchiveMark::Member) {
        openMember(e);
        return;
    }
    if (e.isDir) {
        selectFolderById(QString::number(e.id));
        return;
    }
    openFile(e);
}

QString ContentsController::shownSourcePath() const {
    const std::optional<DiscRow> row = catalogstore::discRow(m_session.db(), m_session.shownDisc());
    return row ? row->sourcePath : QString();
}

void ContentsController::openFile(const Entry& e) {
    if (m_session.shownDisc() == 0)
        return;
    const QString location = shownSourcePath();
    const QString path = fullPath(location, e);
    if (opener().openLocal(rawFullPath(m_session.db(), location, e)))
        return;
    if (!m_session.fullAccess()) {
        // A read-only catalog keeps the disc's stored location.
        prompts().message(m_views.window,
                          reasonsText(path) + QStringLiteral("光盘位置：") + location +
                              QStringLiteral("\n当前文件以只读方式打开，不能修改光盘位置！"),
                          QStringLiteral("提示"), QMessageBox::Information);
        return;
    }
    if (!prompts().askYesNo(m_views.window,
                            reasonsText(path) + QStringLiteral("如果是光盘位置：") + location +
                                QStringLiteral(" 改变，可以重新指向光盘位置，修改光盘位置吗？"),
                            QStringLiteral("提示")))
        return;
    const FolderChoice choice =
        prompts().chooseFolder(m_views.window, QStringLiteral("请选择目录"));
    if (choice.path.isEmpty())
        return;
    QString newLocation = choice.path;
    // Stored without a trailing slash; the root itself becomes empty.
    if (newLocation.endsWith(QLatin1Char('/')))
        newLocation.chop(1);
    if (!m_storeSourcePath || !m_storeSourcePath(newLocation)) {
        prompts().error(m_views.window, QStringLiteral("修改光盘位置出错！"),
                        QStringLiteral("提示"));
        return;
    }
    // A second failure says nothing: the new location stays stored.
    opener().openLocal(rawFullPath(m_session.db(), newLocation, e));
}

void ContentsController::openMember(const Entry& e) {
    if (m_session.shownDisc() == 0)
        return;
    const QString location = shownSourcePath();
    QByteArray archivePath, inner;
    try {
        Database& db = m_session.db();
        const qint64 archive = contentstore::archiveOf(db, e.id);
        const std::optional<QByteArray> archiveBelow = contentstore::rawEntryPath(db, archive);
        const std::optional<QByteArray> memberBelow = contentstore::rawEntryPath(db, e.id);
        if (archive != 0 && archiveBelow && memberBelow &&
            memberBelow->startsWith(*archiveBelow + '/')) {
            archivePath = QFile::encodeName(location) + *archiveBelow;
            inner = memberBelow->mid(archiveBelow->size() + 1);
        }
    } catch (const DbError& error) {
        prompts().error(m_views.window, error.text(), QStringLiteral("提示"));
        return;
    }
    QString why = QStringLiteral("目录中找不到它所在的压缩包");
    if (!archivePath.isEmpty()) {
        if (!m_extracted)
            m_extracted = std::make_unique<QTemporaryDir>();
        // A folder of its own for every copy, so that copies of the same name never meet.
        // The copy takes the name as shown, which the folder's removal at the exit can always
        // name; it is made inside that folder or not at all.
        const QByteArray folder =
            QFile::encodeName(m_extracted->path()) + '/' + QByteArray::number(++m_copies);
        const int dir =
            m_extracted->isValid() && ::mkdir(folder.constData(), 0700) == 0
                ? ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                : -1;
        if (dir < 0) {
            why = QStringLiteral("不能建立临时文件夹");
        } else {
            const QByteArray name = QFile::encodeName(e.name);
            const bool copied =
                archivelist::extractMember(archivePath, inner, e.size, dir, name, why);
            ::close(dir);
            if (copied) {
                if (opener().openLocal(folder + '/' + name))
                    return;
                why = QStringLiteral("没有能打开它的程序");
            }
        }
    }
    prompts().message(m_views.window,
                      QStringLiteral("不能打开压缩包中的文件：") + fullPath(location, e) +
                          QStringLiteral("\n") + why,
                      QStringLiteral("提示"), QMessageBox::Information);
}

} // namespace vorlane
