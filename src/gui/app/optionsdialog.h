// The options dialog: open the last file at start-up, back up after an open, sizes in KB,
// the encoding that file names which are not UTF-8 are read in, and the patterns a new
// import leaves out.
#pragma once

#include "gui/common/views.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vorlane {

class OptionsDialog : public QDialog {
    Q_OBJECT

public:
    // Shows `options` and the size display; OK stores them in the settings and in
    // `options`.
    OptionsDialog(QWidget* parent, WindowOptions& options, bool sizesInKb);

signals:
    // OK was pressed: sizes are shown in KB, or by their magnitude.
    void sizesInKbChosen(bool on);

public slots:
    void btnOkClick();

private:
    WindowOptions& m_options;
    QCheckBox* m_openRecent;
    QCheckBox* m_backup;
    QCheckBox* m_sizesInKb;
    QComboBox* m_encoding;
    QLineEdit* m_exclude;
};

} // namespace vorlane
