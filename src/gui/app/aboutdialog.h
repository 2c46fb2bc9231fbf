// The about box: name, version and the libraries the program is built on.
#pragma once

#include <QDialog>

namespace vorlane {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    // The text shown, also used by the command line's --version.
    static QString aboutText();
};

} // namespace vorlane
