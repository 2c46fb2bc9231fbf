// The keyboard's way to a view's pop-up menu: the Menu key and Shift+F10, with the menu
// opening at the focused item rather than wherever the mouse pointer happens to rest.
#pragma once

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QKeyEvent>

namespace vorlane {

inline bool isMenuKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Menu ||
           (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
}

// A pop-up asked for from the keyboard: some platforms send a context-menu event for the
// Menu key themselves, others only the key.
inline bool isKeyboardMenuRequest(const QEvent* event) {
    if (event->type() == QEvent::KeyPress)
        return isMenuKey(static_cast<const QKeyEvent*>(event));
    return event->type() == QEvent::ContextMenu &&
           static_cast<const QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
}

// Below the start of the current item when it is in sight, else the view's top left corner.
inline QPoint keyboardMenuPoint(const QAbstractItemView* view) {
    const QWidget* port = view->viewport();
    const QRect item = view->visualRect(view->currentIndex());
    if (item.isValid() && port->rect().intersects(item))
        return port->mapToGlobal(QPoint(item.left() + item.height(), item.bottom()));
    return port->mapToGlobal(QPoint(0, 0));
}

} // namespace vorlane
