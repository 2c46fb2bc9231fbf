#include "gui/common/icons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QHash>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
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

QIcon plainThemeIcon(const QString& name) {
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    return qApp->style()->standardIcon(fallbackFor(name));
}

// Grey and faint: a disabled command must not pass for an enabled one, which the styles'
// own lightening of already grey theme icons hardly shows.
QPixmap disabledPixmap(const QPixmap& pm) {
    QImage image = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = line[x];
            const int grey = 128 + qGray(c) / 3;
            line[x] = qRgba(grey, grey, grey, qAlpha(c) * 35 / 100);
        }
    }
    return QPixmap::fromImage(image);
}

// On a tinted square: a switch that is on shows it whatever the style draws around it.
QPixmap checkedPixmap(const QPixmap& pm) {
    QPixmap out(pm.size());
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    QColor tint = QApplication::palette().color(QPalette::Highlight);
    p.setPen(QPen(tint, 1.0));
    tint.setAlpha(80);
    p.setBrush(tint);
    p.drawRoundedRect(QRectF(out.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.drawPixmap(0, 0, pm);
    p.end();
    return out;
}

} // namespace

QIcon withClearStates(const QIcon& base) {
    QIcon icon;
    for (const int size : {16, 20, 22, 24, 32}) {
        QPixmap pm = base.pixmap(QSize(size, size), 1.0);
        if (pm.isNull())
            continue;
        if (pm.size() != QSize(size, size)) {
            QPixmap square(size, size);
            square.fill(Qt::transparent);
            QPainter p(&square);
            p.drawPixmap((size - pm.width()) / 2, (size - pm.height()) / 2, pm);
            p.end();
            pm = square;
        }
        const QPixmap disabled = disabledPixmap(pm);
        const QPixmap checked = checkedPixmap(pm);
        icon.addPixmap(pm, QIcon::Normal, QIcon::Off);
        icon.addPixmap(disabled, QIcon::Disabled, QIcon::Off);
        icon.addPixmap(checked, QIcon::Normal, QIcon::On);
        icon.addPixmap(checked, QIcon::Active, QIcon::On);
        icon.addPixmap(disabledPixmap(checked), QIcon::Disabled, QIcon::On);
    }
    return icon.isNull() ? base : icon;
}

QIcon themeIcon(const QString& name) {
    return withClearStates(plainThemeIcon(name));
}

QIcon nodeIcon(NodeIcon which) {
    switch (which) {
    case NodeIcon::Category:
        return plainThemeIcon(QStringLiteral("drive-optical"));
    case NodeIcon::Disc:
        return plainThemeIcon(QStringLiteral("media-optical"));
    case NodeIcon::FolderClosed:
        return plainThemeIcon(QStringLiteral("folder"));
    case NodeIcon::FolderOpen:
        return plainThemeIcon(QStringLiteral("folder-open"));
    }
    return {};
}

QIcon captionIcon(CaptionIcon which) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor green(0x2a, 0x9d, 0x3f);
    const QColor blue(0x1d, 0x5f, 0xa8);
    const QColor red(0xc6, 0x28, 0x28);
    auto plus = [&p](int cx, int cy, int r, const QColor& c) {
        p.setPen(QPen(c, 2.4, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(cx - r, cy), QPointF(cx + r, cy));
        p.drawLine(QPointF(cx, cy - r), QPointF(cx, cy + r));
    };
    auto arrow = [&p](int x, int y0, int y1, const QColor& c) {
        p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(x, y0), QPointF(x, y1));
        const int d = y1 > y0 ? -3 : 3;
        p.drawLine(QPointF(x - 3, y1 + d), QPointF(x, y1));
        p.drawLine(QPointF(x + 3, y1 + d), QPointF(x, y1));
    };
    switch (which) {
    case CaptionIcon::AddChild:
        plus(8, 8, 6, green);
        break;
    case CaptionIcon::AddAbove:
        plus(5, 11, 4, green);
        arrow(12, 14, 2, blue);
        break;
    case CaptionIcon::AddBelow:
        plus(5, 5, 4, green);
        arrow(12, 2, 14, blue);
        break;
    case CaptionIcon::Import:
        p.setPen(QPen(blue, 1.6));
        p.setBrush(QColor(0xe8, 0xf0, 0xfa));
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setBrush(blue);
        p.drawEllipse(QPointF(8, 8), 1.8, 1.8);
        plus(13, 13, 3, green);
        break;
    case CaptionIcon::Delete:
        p.setPen(QPen(red, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    }
    p.end();
    return withClearStates(QIcon(pm));
}

QIcon listStyleIcon(int style) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor ink(0x1d, 0x35, 0x57);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    switch (style) {
    case 0: // large icons: a 2x2 grid
        for (int y : {2, 11})
            for (int x : {2, 11})
                p.drawRect(x, y, 7, 7);
        break;
    case 1: // small icons: a 3x3 grid
        for (int y : {2, 8, 14})
            for (int x : {2, 8, 14})
                p.drawRect(x, y, 4, 4);
        break;
    case 2: // list: two columns of rows
        for (int y : {3, 8, 13}) {
            p.drawRect(2, y, 3, 3);
            p.drawRect(6, y + 1, 4, 1);
            p.drawRect(11, y, 3, 3);
            p.drawRect(15, y + 1, 4, 1);
        }
        break;
    default: // details: rows with columns
        for (int y : {3, 8, 13}) {
            p.drawRect(2, y, 3, 3);
            p.drawRect(7, y + 1, 6, 1);
            p.drawRect(15, y + 1, 3, 1);
        }
        break;
    }
    p.end();
    return withClearStates(QIcon(pm));
}

QIcon upIcon() {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x1d, 0x35, 0x57);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    // A solid arrow: the head, then the shaft.
    p.drawPolygon(QPolygonF{QPointF(10, 2), QPointF(18, 10.5), QPointF(2, 10.5)});
    p.drawRect(QRectF(7, 10, 6, 8));
    p.end();
    return withClearStates(QIcon(pm));
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

// The link arrow is drawn onto each size the list uses, in the lower left corner as file
// managers mark links, so it shows whatever the theme holds.
QIcon linkIcon(const QIcon& base) {
    static QHash<qint64, QIcon> cache;
    auto it = cache.constFind(base.cacheKey());
    if (it != cache.constEnd())
        return *it;
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pm = base.pixmap(size, size);
        if (pm.isNull()) {
            pm = QPixmap(size, size);
            pm.fill(Qt::transparent);
        }
        pm.setDevicePixelRatio(1.0);
        pm = pm.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal e = qMax<qreal>(7.0, size * 0.5); // the emblem's side
        const QRectF box(0.5, size - e - 0.5, e, e);
        p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.0));
        p.setBrush(Qt::white);
        p.drawRect(box);
        // A bent arrow pointing up and to the right.
        const qreal m = e * 0.22;
        const QPointF from(box.left() + m, box.bottom() - m);
        const QPointF bend(box.left() + m, box.top() + e * 0.55);
        const QPointF tip(box.right() - m, box.top() + m);
        p.setPen(
            QPen(Qt::black, qMax<qreal>(1.2, e / 7.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath path(from);
        path.quadTo(bend, tip);
        p.drawPath(path);
        const qreal h = e * 0.32;
        p.drawLine(tip, tip - QPointF(h, 0));
        p.drawLine(tip, tip + QPointF(0, h));
        p.end();
        icon.addPixmap(pm);
    }
    cache.insert(base.cacheKey(), icon);
    return icon;
}

} // namespace vorlane
