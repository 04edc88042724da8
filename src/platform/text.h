#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pagrim {

// The text without its leading and trailing blanks and control characters
// (everything at or below the blank).
QString trimBlanks(const QString& text);

// The lines of bytes: a line ends at CR LF, at a lone CR or at a lone LF; a last
// line without an end is still a line, and a final line end adds no empty line.
QList<QByteArray> splitLines(const QByteArray& bytes);

// The columns a character takes on screen: two for a wide one (East Asian Wide
// and Fullwidth), none for a combining mark, one else.
int charColumns(char32_t c);

} // namespace pagrim
