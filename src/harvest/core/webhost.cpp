#include "harvest/core/webhost.h"

#include "platform/text.h"

#include <QList>
#include <QUrl>
#include <cstring>

namespace pagrim::harvest::web {

bool among(char32_t c, const char* set)
{
    return c != 0 && c < 0x80 && std::strchr(set, int(c)) != nullptr;
}

bool isAscii(QStringView text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

char32_t codePointAt(QStringView s, qsizetype i, qsizetype& units)
{
    const QChar c = s[i];
    units = 1;
    char32_t code = c.isSurrogate() ? char32_t(0xFFFD) : char32_t(c.unicode());
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
        units = 2;
        code = QChar::surrogateToUcs4(c, s[i + 1]);
    }
    return QChar::isNonCharacter(code) ? char32_t(0xFFFD) : code;
}

QByteArray utf8(char32_t c)
{
    return QString::fromUcs4(&c, 1).toUtf8();
}

void appendUtf8Escaped(QString& out, char32_t c)
{
    for (const char b : utf8(c))
        appendEscaped(out, uchar(b));
}

void appendEscaped(QString& out, uchar b)
{
    static const char Hex[] = "0123456789ABCDEF";
    out += QLatin1Char('%');
    out += QLatin1Char(Hex[b >> 4]);
    out += QLatin1Char(Hex[b & 15]);
}

namespace {

// The host written the way the browser writes one without an IP address:
// escapes undone, letters in lower case, characters a name does not hold
// escaped.
QString nameHost(QStringView host, bool& valid)
{
    QString out;
    for (qsizetype i = 0, units = 1; i < host.size(); i += units) {
        char32_t c = codePointAt(host, i, units);
        if (c == '%') {
            const int b = escapedByte(host, i);
            if (b < 0) {
                out += QStringLiteral("%25");
                valid = false;
                continue;
            }
            c = char32_t(b);
            units = 3;
        }
        // Controls and ";^~" make the host invalid, other characters a name
        // does not hold are only escaped.
        if (c < 0x20 || c == 0x7F || among(c, ";^~"))
            valid = false;
        if (c >= 0x80)
            appendUtf8Escaped(out, c);
        else if (isAlpha(c))
            out += QLatin1Char(char(c | 0x20));
        else if (isDigit(c) || among(c, "+-._:[]"))
            out += QLatin1Char(char(c));
        else
            appendEscaped(out, uchar(c));
    }
    return out;
}

enum class IpKind
{
    Name,   // not written like an IP address
    Broken, // written like one, but out of range
    Address,
};

// One number of an IPv4 address: decimal, octal with a leading 0, hex after 0x.
IpKind ipv4Number(QStringView s, quint64& value)
{
    int base = 10;
    qsizetype at = 0;
    if (s.size() > 1 && s[0] == u'0') {
        const bool hex = s[1] == u'x' || s[1] == u'X';
        base = hex ? 16 : 8;
        at = hex ? 2 : 1;
    }
    value = 0;
    bool brokenOctal = false;
    for (; at < s.size(); ++at) {
        const int digit = hexDigitValue(s[at].unicode());
        if (digit < 0 || digit >= base) {
            if (!isDigit(s[at].unicode()))
                return IpKind::Name;
            brokenOctal = true;
        }
        value = qMin<quint64>(value * quint64(base) + quint64(qMax(digit, 0)), 1ull << 40);
    }
    return brokenOctal || value > 0xFFFFFFFFull ? IpKind::Broken : IpKind::Address;
}

// The 32 bits of an IPv4 address of one to four numbers, the last filling
// the bytes left.
IpKind ipv4Address(QStringView host, quint32& address)
{
    QList<QStringView> parts = host.split(u'.');
    if (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast();
    if (parts.size() > 4)
        return IpKind::Name;
    for (const QStringView part : parts) {
        if (part.isEmpty())
            return IpKind::Name;
        for (const QChar c : part)
            if (hexDigitValue(c.unicode()) < 0 && c != u'x' && c != u'X')
                return IpKind::Name;
    }
    quint64 numbers[4] = {};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const IpKind kind = ipv4Number(parts[i], numbers[i]);
        if (kind != IpKind::Address)
            return kind;
    }
    const qsizetype last = parts.size() - 1;
    quint64 value = numbers[last];
    if (value >> (8 * (4 - last)) != 0)
        return IpKind::Broken;
    for (qsizetype i = 0; i < last; ++i) {
        if (numbers[i] > 255)
            return IpKind::Broken;
        value |= numbers[i] << (8 * (3 - i));
    }
    address = quint32(value);
    return IpKind::Address;
}

QString ipv4Text(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 255)
        .arg((a >> 8) & 255)
        .arg(a & 255);
}

// The eight groups of an IPv6 address (without its brackets).
bool ipv6Address(QStringView s, quint16 (&groups)[8])
{
    quint16 parsed[8] = {};
    int n = 0, gap = -1;
    qsizetype i = 0;
    if (s.startsWith(QStringLiteral("::"))) {
        gap = 0;
        i = 2;
    } else if (s.startsWith(u':')) {
        return false;
    }
    while (i < s.size()) {
        if (n == 8)
            return false;
        if (s[i] == u':') {
            if (gap >= 0)
                return false;
            gap = n;
            ++i;
            continue;
        }
        qsizetype end = i;
        uint value = 0;
        while (end < s.size() && end - i < 4 && hexDigitValue(s[end].unicode()) >= 0)
            value = value * 16 + uint(hexDigitValue(s[end++].unicode()));
        if (end < s.size() && s[end] == u'.') {
            quint32 v4 = 0;
            if (n > 6 || s.mid(i).count(u'.') != 3 || ipv4Address(s.mid(i), v4) != IpKind::Address)
                return false;
            parsed[n++] = quint16(v4 >> 16);
            parsed[n++] = quint16(v4);
            break;
        }
        if (end == i || (end < s.size() && s[end] != u':') || end + 1 == s.size())
            return false;
        parsed[n++] = quint16(value);
        i = end + (end < s.size());
    }
    if (gap < 0 ? n != 8 : n == 8)
        return false;
    const int fill = 8 - n;
    for (int g = 0, k = 0; g < 8; ++g)
        groups[g] = gap >= 0 && g >= gap && g < gap + fill ? 0 : parsed[k++];
    return true;
}

// Groups in hex, the longest run of two or more zero groups as "::".
QString ipv6Text(const quint16 (&groups)[8])
{
    int best = -1, bestLength = 1;
    for (int g = 0; g < 8;) {
        int length = 0;
        while (g + length < 8 && groups[g + length] == 0)
            ++length;
        if (length > bestLength)
            best = g, bestLength = length;
        g += qMax(length, 1);
    }
    QString out = QStringLiteral("[");
    for (int g = 0; g < 8; ++g) {
        if (g == best) {
            out += g == 0 ? QStringLiteral("::") : QStringLiteral(":");
            g += bestLength - 1;
            continue;
        }
        out += QString::number(groups[g], 16);
        if (g < 7)
            out += QLatin1Char(':');
    }
    return out + QLatin1Char(']');
}

} // namespace

QString canonicalHost(QStringView host, bool& valid)
{
    QString name;
    if (isAscii(host) && !host.contains(u'%')) {
        name = nameHost(host, valid);
    } else {
        // Escapes undone and the bytes read as UTF-8; a name with characters
        // beyond ASCII goes to its ASCII form (IDNA, with the transitional
        // mapping of this browser).
        QByteArray bytes;
        for (qsizetype i = 0, units = 1; i < host.size(); i += units) {
            const int b = escapedByte(host, i);
            if (b >= 0) {
                bytes += char(b);
                units = 3;
            } else {
                codePointAt(host, i, units);
                bytes += host.mid(i, units).toUtf8();
            }
        }
        const QString unescaped = QString::fromUtf8(bytes);
        QByteArray ace = isAscii(unescaped)
                             ? unescaped.toLatin1()
                             : QUrl::toAce(unescaped, QUrl::AceTransitionalProcessing);
        if (ace.isEmpty()) {
            // Qt refuses a name that maps to ASCII no name holds (U+00A0 to a
            // blank), which the browser takes, and escapes.
            const QString mapped =
                unescaped.normalized(QString::NormalizationForm_KC).toCaseFolded();
            if (isAscii(mapped))
                ace = mapped.toLatin1();
        }
        if (ace.isEmpty()) {
            valid = false;
            return nameHost(unescaped, valid);
        }
        name = nameHost(QString::fromLatin1(ace), valid);
    }
    if (!valid)
        return name;
    // ":", "[" and "]" belong to IPv6 addresses only.
    if (name.contains(u':') || name.contains(u'[') || name.contains(u']')) {
        quint16 groups[8];
        if (name.startsWith(u'[') && name.endsWith(u']') && name.size() >= 2 &&
            ipv6Address(QStringView(name).mid(1, name.size() - 2), groups))
            return ipv6Text(groups);
        valid = false;
        return name;
    }
    quint32 v4 = 0;
    const IpKind kind = ipv4Address(name, v4);
    valid = kind != IpKind::Broken;
    return kind == IpKind::Address ? ipv4Text(v4) : name;
}

} // namespace pagrim::harvest::web
