#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The host of an address as the browser writes it, and the rules for
// characters and escapes that all parts of an address share (see WebAddress).
namespace pagrim::harvest::web {

inline bool isAlpha(char32_t c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

inline bool isDigit(char32_t c)
{
    return c >= '0' && c <= '9';
}

// Whether c is one of the ASCII characters of set.
bool among(char32_t c, const char* set);
bool isAscii(QStringView text);

// The character at i and the UTF-16 units it takes; U+FFFD for a lone
// surrogate or a noncharacter, as the browser writes them.
char32_t codePointAt(QStringView s, qsizetype i, qsizetype& units);
QByteArray utf8(char32_t c);
// "%XX", in upper case.
void appendEscaped(QString& out, uchar b);
// The UTF-8 bytes of c, each escaped.
void appendUtf8Escaped(QString& out, char32_t c);

// The host as the browser writes it: escapes undone, a name in lower case
// and ASCII (IDNA with the transitional mapping), characters no name holds
// escaped, an IPv4 address in any of its forms as four decimal numbers, an
// IPv6 address shortened. valid is set false for a host the browser could
// not go to (it still writes it out).
QString canonicalHost(QStringView host, bool& valid);

} // namespace pagrim::harvest::web
