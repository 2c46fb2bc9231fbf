#include "gui/app/platform.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace vorlane {

namespace {

class DesktopOpener final : public Opener {
public:
    bool open(const QString& pathOrUrl) override {
        const QUrl url(pathOrUrl);
        if (!url.scheme().isEmpty() && url.scheme().size() > 1 &&
            !pathOrUrl.startsWith(QLatin1Char('/')))
            return QDesktopServices::openUrl(url);
        // The launcher's answer does not tell whether the file was there.
        if (!QFileInfo::exists(pathOrUrl))
            return false;
        return QDesktopServices::openUrl(QUrl::fromLocalFile(pathOrUrl));
    }
};

Opener* g_opener = nullptr;

} // namespace

Opener& opener() {
    static DesktopOpener desktop;
    return g_opener ? *g_opener : desktop;
}

void setOpener(Opener* o) {
    g_opener = o;
}

} // namespace vorlane
