#pragma once

class QWidget;

namespace pagrim::ui {

// Enter on a focused push or tool button of the window presses that button;
// Enter anywhere else goes on to the window, where a dialog presses its default
// button, if it has one. The default button stays the one the window names:
// focusing another button does not make that one the default. Apply once to
// each window after its controls are made.
void enterPressesFocusedButton(QWidget* window);

} // namespace pagrim::ui
