// Scope guards shared by the window's handlers.
#pragma once

#include "core/store/catalogsession.h"

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

// Switches the session's change handling off for a scope (also when the work throws) and
// then puts back what was there before, so that nested guards do not switch it on early.
class HandlingOff {
public:
    explicit HandlingOff(CatalogSession& session)
        : m_session(session), m_was(session.changeHandling()) {
        session.setChangeHandling(false);
    }
    ~HandlingOff() { m_session.setChangeHandling(m_was); }
    HandlingOff(const HandlingOff&) = delete;
    HandlingOff& operator=(const HandlingOff&) = delete;

private:
    CatalogSession& m_session;
    bool m_was;
};

} // namespace vorlane
