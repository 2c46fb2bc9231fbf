// The options dialog: open the last file at start-up, back up after an open, sizes in KB,
// and the encoding that file names which are not UTF-8 are read in.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;

namespace vorlane {

class MainWindow;

class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    explicit OptionsDialog(MainWindow* window);

public slots:
    void btnOkClick();

private:
    MainWindow* m_window;
    QCheckBox* m_openRecent;
    QCheckBox* m_backup;
    QCheckBox* m_sizesInKb;
    QComboBox* m_encoding;
};

} // namespace vorlane
