#pragma once

#include <QByteArray>
#include <QString>

// The program code page: the 8-bit encoding of page text, markers, page list
// lines, result lines and settings values. It is the system's code page, 936
// (GBK) on a Chinese locale and UTF-8 otherwise.
namespace pagrim::codepage {

constexpr int Gbk = 936;
constexpr int Utf8 = 65001;

// The code page named by the locale's character set (LC_ALL, LC_CTYPE, LANG).
int systemCodePage();
// The code page in force: the system's, unless a test pinned another.
int current();
// Pins the code page (tests); 0 goes back to the system's.
void setCurrentForTesting(int codePage);

// Text to bytes; characters the code page cannot hold become "?".
QByteArray fromUnicode(const QString& text, int codePage = current());
// Text to bytes; characters the code page cannot hold become "&#N;".
QByteArray fromUnicodeWithReferences(const QString& text, int codePage = current());
// Bytes to text; bytes that do not form a character become U+FFFD.
QString toUnicode(const QByteArray& bytes, int codePage = current());
// Bytes to text, undoing fromUnicodeWithReferences: a "&#N;" whose character
// the code page cannot hold becomes that character.
QString toUnicodeWithReferences(const QByteArray& bytes, int codePage = current());

// Length in bytes of the character that starts at pos (1 at a broken byte,
// 0 at the end). Callers walk from a known character start.
qsizetype charLength(const QByteArray& bytes, qsizetype pos, int codePage = current());
// Whether pos is the start of a character, walking from the beginning.
bool isCharStart(const QByteArray& bytes, qsizetype pos, int codePage = current());

} // namespace pagrim::codepage
