// The start-up picture: mySlate.jpg beside the program when present, else the built-in
// one.
#pragma once

#include <QSplashScreen>

namespace vorlane {

class Splash : public QSplashScreen {
    Q_OBJECT

public:
    Splash();
    static QPixmap picture();
    // Shows the picture and lets the window system paint it, once: the splash is up only
    // while the main window is built, and nothing else may run meanwhile.
    void showNow();
};

} // namespace vorlane
