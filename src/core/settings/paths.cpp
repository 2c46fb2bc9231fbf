#include "core/settings/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

QString userDataDir() {
    // Named by hand rather than AppDataLocation, which would depend on the organisation
    // and application names of whatever process asks.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base.isEmpty() ? QString() : QDir(base).filePath(QStringLiteral("vorlane"));
}

} // namespace vorlane
