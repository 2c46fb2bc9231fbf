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
    const QString beside = QDir(exeDir()).filePath(name);
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = QDir(QStringLiteral(VORLANE_DATADIR)).filePath(name);
    if (QFileInfo::exists(installed))
        return installed;
    return beside;
}

QString programDir() {
    return QFileInfo(dataFile(QStringLiteral("qCD.s_y"))).absolutePath();
}

} // namespace vorlane
