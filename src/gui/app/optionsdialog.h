// The options dialog: open the last file at start-up, back up after an open.
#pragma once

#include <QDialog>

class QCheckBox;

namespace vorlane {

class MainWindow;

class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    explicit OptionsDialog(MainWindow* window);

public slots:
    void btnOkClick();

private:
    MainWindow* w;
    QCheckBox* m_openRecent;
    QCheckBox* m_backup;
};

} // namespace vorlane
