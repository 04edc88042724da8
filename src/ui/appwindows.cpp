#include "ui/appwindows.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>

namespace pagrim::ui {

void minimizeApplication()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !w->isMinimized())
            w->setWindowState(w->windowState() | Qt::WindowMinimized);
    }
}

void RestoreApplication()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isMinimized())
            w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    }
}

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        window->move(screen->availableGeometry().center() - window->rect().center());
}

} // namespace pagrim::ui
