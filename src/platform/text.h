#pragma once

#include <QString>

namespace pagrim {

// The text without its leading and trailing blanks and control characters
// (everything at or below the blank).
QString trimBlanks(const QString& text);

} // namespace pagrim
