// Prompts for the window benchmarks: every question gets its default and every chooser is
// cancelled, so the window never waits for a user.
#pragma once

#include "gui/common/prompts.h"

namespace bench {

class SilentPrompts : public vorlane::Prompts {
public:
    QMessageBox::StandardButton message(QWidget*, const QString&, const QString&, QMessageBox::Icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton def) override {
        if (def != QMessageBox::NoButton)
            return def;
        return buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    }
    QString openFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    vorlane::FolderChoice chooseFolder(QWidget*, const QString&, const QString&) override {
        return {};
    }
    int exec(QDialog*) override { return 0; }
};

} // namespace bench
