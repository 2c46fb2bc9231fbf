// Before a rescan walks, the options it repeats are shown, and may be changed: a type list
// filled once must not narrow every later rescan unseen. What is changed is stored with
// the disc by the rescan.
#pragma once

#include "core/import/scanner.h"

#include <QDialog>

namespace vorlane {

class ScanOptionsBox;

class RescanOptionsDialog : public QDialog {
    Q_OBJECT

public:
    // `stored`: the options the disc was last read with, its folder as root.
    RescanOptionsDialog(const ScanParams& stored, QWidget* parent);

    // The stored options with the user's changes.
    ScanParams options() const;

private:
    const ScanParams m_stored;
    ScanOptionsBox* m_box = nullptr;
};

} // namespace vorlane
