// Scope guards shared by the window's handlers.
#pragma once

#include <QApplication>

namespace vorlane {

// The hour-glass cursor for the length of a scope; paused while a message is shown.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() {
        if (m_on)
            QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    // Back to the normal cursor for good (before a message box).
    void pause() {
        if (m_on)
            QApplication::restoreOverrideCursor();
        m_on = false;
    }

private:
    bool m_on = true;
};

// Switches the window's change handling off for a scope (also when the work throws) and
// then puts back what was there before, so that nested guards do not switch it on early.
// `Window` is the main window; a template only to keep this header free of it.
template <typename Window> class HandlingOff {
public:
    explicit HandlingOff(Window* w) : m_w(w), m_was(w->changeHandling()) {
        w->setChangeHandling(false);
    }
    ~HandlingOff() { m_w->setChangeHandling(m_was); }
    HandlingOff(const HandlingOff&) = delete;
    HandlingOff& operator=(const HandlingOff&) = delete;

private:
    Window* m_w;
    bool m_was;
};

} // namespace vorlane
