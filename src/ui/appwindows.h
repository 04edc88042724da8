#pragma once

namespace pagrim::ui {

// Every top-level window of the program minimised together, and brought back.
void minimizeApplication();
void RestoreApplication();

} // namespace pagrim::ui
