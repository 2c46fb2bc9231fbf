#include "app/icons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace vorlane {

namespace {

QStyle::StandardPixmap fallbackFor(const QString& name) {
    static const QHash<QString, QStyle::StandardPixmap> map = {
        {QStringLiteral("document-new"), QStyle::SP_FileIcon},
        {QStringLiteral("document-open"), QStyle::SP_DialogOpenButton},
        {QStringLiteral("document-save"), QStyle::SP_DialogSaveButton},
        {QStringLiteral("edit-find"), QStyle::SP_FileDialogContentsView},
        {QStringLiteral("go-up"), QStyle::SP_ArrowUp},
        {QStringLiteral("application-exit"), QStyle::SP_DialogCloseButton},
        {QStringLiteral("view-list-icons"), QStyle::SP_FileDialogInfoView},
        {QStringLiteral("view-list-details"), QStyle::SP_FileDialogDetailedView},
        {QStringLiteral("view-list-text"), QStyle::SP_FileDialogListView},
        {QStringLiteral("folder"), QStyle::SP_DirClosedIcon},
        {QStringLiteral("folder-open"), QStyle::SP_DirOpenIcon},
        {QStringLiteral("drive-optical"), QStyle::SP_DriveCDIcon},
        {QStringLiteral("media-optical"), QStyle::SP_DriveDVDIcon},
        {QStringLiteral("list-add"), QStyle::SP_FileDialogNewFolder},
        {QStringLiteral("edit-delete"), QStyle::SP_TrashIcon},
        {QStringLiteral("window-close"), QStyle::SP_TitleBarCloseButton},
        {QStringLiteral("document-import"), QStyle::SP_DriveCDIcon},
        {QStringLiteral("view-refresh"), QStyle::SP_BrowserReload},
        {QStringLiteral("go-previous"), QStyle::SP_ArrowLeft},
        {QStringLiteral("go-next"), QStyle::SP_ArrowRight},
        {QStringLiteral("sidebar-show"), QStyle::SP_FileDialogListView},
        {QStringLiteral("text-x-generic"), QStyle::SP_FileIcon},
        {QStringLiteral("arrow-up"), QStyle::SP_ArrowUp},
        {QStringLiteral("arrow-down"), QStyle::SP_ArrowDown},
    };
    return map.value(name, QStyle::SP_FileIcon);
}

} // namespace

QIcon themeIcon(const QString& name) {
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return qApp->style()->standardIcon(fallbackFor(name));
}

QIcon nodeIcon(NodeIcon which) {
    switch (which) {
    case NodeIcon::Category:
        return themeIcon(QStringLiteral("drive-optical"));
    case NodeIcon::Disc:
        return themeIcon(QStringLiteral("media-optical"));
    case NodeIcon::FolderClosed:
        return themeIcon(QStringLiteral("folder"));
    case NodeIcon::FolderOpen:
        return themeIcon(QStringLiteral("folder-open"));
    }
    return {};
}

QIcon folderIcon() {
    return nodeIcon(NodeIcon::FolderClosed);
}

QIcon fileIcon(const QString& fileName) {
    static QHash<QString, QIcon> cache;
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot > 0 ? fileName.mid(dot).toLower() : QString();
    auto it = cache.constFind(ext);
    if (it != cache.constEnd())
        return *it;
    static QMimeDatabase mime;
    const QMimeType type = mime.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull()) {
        static QFileIconProvider provider;
        icon = provider.icon(QFileIconProvider::File);
    }
    cache.insert(ext, icon);
    return icon;
}

} // namespace vorlane
