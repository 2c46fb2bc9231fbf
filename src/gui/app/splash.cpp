#include "gui/app/splash.h"

#include "core/settings/paths.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace vorlane {

QPixmap Splash::picture() {
    const QString custom = dataFile(QStringLiteral("mySlate.jpg"));
    if (QFileInfo::exists(custom)) {
        QPixmap p(custom);
        if (!p.isNull())
            return p;
    }
    return QPixmap(QStringLiteral(":/images/splash.png"));
}

Splash::Splash() : QSplashScreen(picture()) {
    setObjectName(QStringLiteral("SplashFrm"));
}

void Splash::showNow() {
    show();
    repaint();
    // The only events run outside the event loop: the splash's own mapping and paint,
    // before any command exists that they could start.
    QCoreApplication::processEvents();
}

} // namespace vorlane
