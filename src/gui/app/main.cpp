#include "gui/app/mainwindow.h"
#include "gui/app/splash.h"
#include "gui/common/platform.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <exception>

namespace {

// Shows any error that escaped its handler with its own text; the program goes on.
class Application : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), QStringLiteral("Vorlane"),
                                  QString::fromUtf8(e.what()));
        } catch (...) {
            QMessageBox::critical(activeWindow(), QStringLiteral("Vorlane"),
                                  QStringLiteral("未知错误"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    vorlane::tuneAllocator();
    Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vorlane"));
    QApplication::setApplicationVersion(QStringLiteral(VORLANE_VERSION));
    // Outside a desktop session no icon theme is set; Adwaita ships with the program's
    // dependencies and has the file-type icons the list needs.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/vorlane.png")));
    QApplication::setDesktopFileName(QStringLiteral("vorlane"));

    // The interface is Chinese, so are the standard buttons of Qt's own dialogs.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    vorlane::Splash splash;
    splash.showNow();

    const QStringList args = QApplication::arguments();
    vorlane::MainWindow window(args.size() > 1 ? args.at(1) : QString());

    // The window opens the start-up catalog from the event loop once shown; the splash
    // goes now rather than waiting for it (QSplashScreen::finish would run events).
    window.showMaximized();
    splash.close();
    return QApplication::exec();
}
