#include "app/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vorlane {

namespace {
QString exeDir() {
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                        : QDir::currentPath();
}
} // namespace

QString dataFile(const QString& name) {
    // Beside the executable (the build tree), then the installed data folder relative to
    // it (so a relocated prefix works), then the folder the build was configured for.
    const QString candidates[] = {
        QDir(exeDir()).filePath(name),
        QDir(exeDir()).filePath(QStringLiteral("../share/vorlane/") + name),
        QDir(QStringLiteral(VORLANE_DATADIR)).filePath(name),
    };
    for (const QString& c : candidates) {
        if (QFileInfo::exists(c))
            return QDir::cleanPath(c);
    }
    return candidates[0];
}

QString programDir() {
    return QFileInfo(dataFile(QStringLiteral("qCD.s_y"))).absolutePath();
}

} // namespace vorlane
