#include "common/actions.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace testui {

namespace {

bool reachable(const QAction* a, int depth);

// A holder of an action is reachable when a user can see it and open it.
bool holderReachable(const QObject* holder, int depth) {
    if (auto* menu = qobject_cast<const QMenu*>(holder)) {
        const QList<QObject*> parents = menu->menuAction()->associatedObjects();
        // A menu held by no other menu or button is a pop-up (context) menu of its own.
        if (parents.isEmpty())
            return true;
        return reachable(menu->menuAction(), depth + 1);
    }
    if (auto* bar = qobject_cast<const QMenuBar*>(holder))
        return bar->isVisibleTo(bar->window());
    if (auto* bar = qobject_cast<const QToolBar*>(holder))
        return bar->isVisibleTo(bar->window());
    if (auto* button = qobject_cast<const QToolButton*>(holder))
        return button->isEnabled() && button->isVisibleTo(button->window());
    return false; // a widget that only holds the action's shortcut
}

bool reachable(const QAction* a, int depth) {
    if (depth > 8 || !a->isEnabled() || !a->isVisible())
        return false;
    const QList<QObject*> holders = a->associatedObjects();
    return std::any_of(holders.begin(), holders.end(),
                       [depth](const QObject* h) { return holderReachable(h, depth); });
}

bool placedAt(const QAction* a, int depth) {
    if (depth > 8)
        return false;
    const QList<QObject*> holders = a->associatedObjects();
    return std::any_of(holders.begin(), holders.end(), [depth](const QObject* h) {
        if (auto* menu = qobject_cast<const QMenu*>(h)) {
            const QAction* entry = menu->menuAction();
            return entry->associatedObjects().isEmpty() || placedAt(entry, depth + 1);
        }
        return qobject_cast<const QMenuBar*>(h) || qobject_cast<const QToolBar*>(h) ||
               qobject_cast<const QToolButton*>(h);
    });
}

} // namespace

bool placed(const QAction* a) {
    return placedAt(a, 0);
}

QString unreachable(const QAction* a) {
    if (!a)
        return QStringLiteral("no such action");
    const QString name = a->objectName() + QLatin1Char(' ') + a->text();
    if (!a->isEnabled())
        return name + QStringLiteral(" is disabled");
    if (!a->isVisible())
        return name + QStringLiteral(" is hidden");
    if (!reachable(a, 0))
        return name + QStringLiteral(" is in no menu, tool bar or button a user can reach");
    return {};
}

bool trigger(QAction* a, const char* file, int line) {
    const QString why = unreachable(a);
    if (!why.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("cannot trigger: ") + why), file, line);
        return false;
    }
    a->trigger();
    return true;
}

QAction* action(const QObject* window, const char* name) {
    if (auto* a = window->findChild<QAction*>(QLatin1String(name)))
        return a;
    auto* b = window->findChild<QToolButton*>(QLatin1String(name));
    return b ? b->defaultAction() : nullptr;
}

QToolButton* button(const QObject* window, const char* name) {
    return window->findChild<QToolButton*>(QLatin1String(name));
}

} // namespace testui
