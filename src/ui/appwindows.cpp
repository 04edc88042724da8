#include "ui/appwindows.h"

#include <QApplication>
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

} // namespace pagrim::ui
