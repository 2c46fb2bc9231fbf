// The start-up picture: mySlate.jpg beside the program when present, else the built-in
// one, faded in.
#pragma once

#include <QSplashScreen>

namespace vorlane {

class Splash : public QSplashScreen {
    Q_OBJECT

public:
    Splash();
    static QPixmap picture();
};

} // namespace vorlane
