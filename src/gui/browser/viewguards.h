// Small scope guards shared by the contents handlers.
#pragma once

#include "gui/app/mainwindow.h"

#include <QApplication>

namespace vorlane {

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Switches the window's change handling off for a scope (also when the work throws).
class HandlingOff {
public:
    explicit HandlingOff(MainWindow* w) : m_w(w), m_was(w->changeHandling()) {
        w->setChangeHandling(false);
    }
    ~HandlingOff() { m_w->setChangeHandling(m_was); }
    HandlingOff(const HandlingOff&) = delete;
    HandlingOff& operator=(const HandlingOff&) = delete;

private:
    MainWindow* m_w;
    bool m_was;
};

} // namespace vorlane
