#pragma once

class QWidget;

namespace pagrim::ui {

// Every top-level window of the program minimised together, and brought back.
void minimizeApplication();
void RestoreApplication();

// Places the window in the middle of its screen's work area.
void centreOnScreen(QWidget* window);

} // namespace pagrim::ui
