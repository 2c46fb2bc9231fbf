#include "gui/app/splash.h"

#include "core/settings/paths.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPropertyAnimation>

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
    // Only real window systems can fade a window.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return;
    setWindowOpacity(0.0);
    auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(350);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start();
}

} // namespace vorlane
