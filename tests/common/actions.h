// Triggering commands as a user would: QAction::trigger() on a disabled action does nothing
// and returns nothing, so a test that triggers a command it could not reach passes on
// nothing. TRIGGER fails the test unless the action is enabled and shown where a user finds
// it: a menu reachable from the menu bar or a pop-up menu, a tool bar, or a tool button.
#pragma once

#include <QObject>
#include <QString>

class QAction;
class QObject;
class QToolButton;

namespace testui {

// The child of `parent` named `name`; the test ends at once when there is none.
template <class T> T* child(const QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

// Whether `a` has a home a user can open, whatever its state now: a menu of the menu bar,
// a pop-up menu, a tool bar or a tool button.
bool placed(const QAction* a);
// Why a user could not run `a` now; empty when it is enabled and reachable.
QString unreachable(const QAction* a);
// Triggers `a` when it is reachable; otherwise records a failure at file:line and returns
// false without triggering.
bool trigger(QAction* a, const char* file, int line);
// A command of `window` by its objectName: an action, or the tool bar button of one; null
// when there is none.
QAction* action(const QObject* window, const char* name);
// A tool button of `window` by its objectName; null when there is none.
QToolButton* button(const QObject* window, const char* name);
// The same for a window held by a smart pointer.
template <typename Holder> QAction* action(const Holder& window, const char* name) {
    return action(static_cast<const QObject*>(&*window), name);
}
template <typename Holder> QToolButton* button(const Holder& window, const char* name) {
    return button(static_cast<const QObject*>(&*window), name);
}

} // namespace testui

// Triggers an action after checking that a user could; on failure the test function returns.
#define TRIGGER(action)                                                                            \
    do {                                                                                           \
        if (!testui::trigger((action), __FILE__, __LINE__))                                        \
            return;                                                                                \
    } while (false)

// For a command that must be out of reach now (a test that checks that nothing happens).
#define VERIFY_UNREACHABLE(action)                                                                 \
    QVERIFY2(!testui::unreachable(action).isEmpty(), "the command can still be triggered")
