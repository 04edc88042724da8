#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace pagrim {

// The text without its leading and trailing blanks and control characters
// (everything at or below the blank).
QString trimBlanks(const QString& text);

// The value of a hex digit in either case, or -1.
int hexDigitValue(char32_t c);
// The byte the escape "%XX" at pos of text stands for, or -1.
int escapedByte(QStringView text, qsizetype pos);

// The lines of bytes: a line ends at CR LF, at a lone CR or at a lone LF; a last
// line without an end is still a line, and a final line end adds no empty line.
QList<QByteArray> splitLines(const QByteArray& bytes);

// The columns a character takes on screen: two for a wide one (East Asian Wide
// and Fullwidth), none for a combining mark, one else.
int charColumns(char32_t c);
// The columns the text takes on screen: those of its widest line.
int textColumns(QStringView text);

// Whether a byte is white space in a page: blank, tab, CR, LF or form feed.
bool isBlankByte(char b);

} // namespace pagrim
