#include "harvest/core/webaddress.h"

#include "harvest/core/webhost.h"
#include "platform/text.h"

#include <QStringEncoder>

namespace pagrim::harvest {

namespace {

using namespace web;

bool isSlash(QChar c)
{
    return c == u'/' || c == u'\\';
}

qsizetype slashesAt(QStringView s, qsizetype from)
{
    qsizetype n = 0;
    while (from + n < s.size() && isSlash(s[from + n]))
        ++n;
    return n;
}

// The ASCII characters each part of an address writes escaped; every other
// character is written as its UTF-8 bytes, escaped.
using Escapes = bool (*)(char32_t);

bool pathEscapes(char32_t c)
{
    return c <= 0x20 || c == 0x7F || among(c, "\"<>^`{|}");
}

bool fragmentEscapes(char32_t c)
{
    return c <= 0x20 || c == 0x7F || among(c, "\"<>`");
}

bool userEscapes(char32_t c)
{
    return c <= 0x20 || c == 0x7F || among(c, "\"';:<=>@[]^`{|}");
}

bool mailtoEscapes(char32_t c)
{
    return c <= 0x20 || c == 0x7F || among(c, "\"<>`{|}");
}

bool opaqueEscapes(char32_t c)
{
    return c < 0x20 || c == 0x7F;
}

bool queryEscapes(uchar b)
{
    return b <= 0x20 || b >= 0x7F || among(b, "\"#'<>");
}

void appendPart(QString& out, QStringView text, Escapes escapes)
{
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char32_t c = codePointAt(text, i, units);
        if (c >= 0x80)
            appendUtf8Escaped(out, c);
        else if (escapes(c))
            appendEscaped(out, uchar(c));
        else
            out += QChar(char16_t(c));
    }
}

QString escaped(QStringView text, Escapes escapes)
{
    QString out;
    appendPart(out, text, escapes);
    return out;
}

// The query in the document's encoding; "&#N;" (escaped) for a character the
// encoding cannot hold.
QByteArray queryBytes(QStringView query, const QByteArray& encoding)
{
    const bool unicode = encoding.isEmpty() || encoding == "UTF-8" ||
                         encoding.startsWith("UTF-16") ||
                         !QStringEncoder(encoding.constData()).isValid();
    if (!unicode) {
        QStringEncoder encoder(encoding.constData(), QStringEncoder::Flag::Stateless);
        const QByteArray whole = encoder.encode(query);
        if (!encoder.hasError())
            return whole;
    }
    QByteArray out;
    for (qsizetype i = 0, units = 1; i < query.size(); i += units) {
        const char32_t c = codePointAt(query, i, units);
        if (unicode) {
            out += utf8(c);
            continue;
        }
        QStringEncoder one(encoding.constData(), QStringEncoder::Flag::Stateless);
        const QByteArray bytes = one.encode(query.mid(i, units));
        out += one.hasError() ? "%26%23" + QByteArray::number(uint(c)) + "%3B" : bytes;
    }
    return out;
}

QString canonicalQuery(QStringView query, const QByteArray& encoding)
{
    QString out;
    for (const char b : queryBytes(query, encoding)) {
        if (queryEscapes(uchar(b)))
            appendEscaped(out, uchar(b));
        else
            out += QLatin1Char(b);
    }
    return out;
}

// 1 for a "." segment, 2 for "..", in any of their escaped spellings; else 0.
int dots(QStringView segment)
{
    if (segment.size() > 6)
        return 0;
    const QString s =
        segment.toString().toLower().replace(QStringLiteral("%2e"), QStringLiteral("."));
    return s == QStringLiteral(".") ? 1 : s == QStringLiteral("..") ? 2 : 0;
}

// A path segment: escapes of the characters a path need not escape are undone.
void appendSegment(QString& out, QStringView segment)
{
    for (qsizetype i = 0, units = 1; i < segment.size(); i += units) {
        if (segment[i] != u'%') {
            codePointAt(segment, i, units);
            appendPart(out, segment.mid(i, units), pathEscapes);
            continue;
        }
        units = 1;
        const int b = escapedByte(segment, i);
        if (b < 0) {
            out += QLatin1Char('%');
        } else if (isAlpha(uint(b)) || isDigit(uint(b)) || among(uint(b), "-._~")) {
            out += QLatin1Char(char(b));
            units = 3;
        } else {
            out += segment.mid(i, 3);
            units = 3;
        }
    }
}

// The path with its dot segments worked out, after root (a drive of a file
// address), which ".." does not go above.
QString canonicalPath(QStringView path, QString root = {})
{
    QString out = std::move(root);
    out += QLatin1Char('/');
    const qsizetype top = out.size();
    for (qsizetype i = !path.isEmpty() && isSlash(path[0]); i < path.size();) {
        qsizetype end = i;
        while (end < path.size() && !isSlash(path[end]))
            ++end;
        const QStringView segment = path.mid(i, end - i);
        const bool last = end >= path.size();
        const int kind = dots(segment);
        if (kind == 2 && out.size() > top)
            out.truncate(qMax(out.lastIndexOf(QLatin1Char('/'), out.size() - 2) + 1, top));
        if (kind == 0) {
            appendSegment(out, segment);
            if (!last)
                out += QLatin1Char('/');
        }
        if (last)
            break;
        i = end + 1;
    }
    return out;
}

// ":port", or nothing for none or the scheme's own; a port that is no number
// up to 65535 is kept as written, and makes the address invalid.
QString canonicalPort(QStringView port, int defaultPort, bool& valid)
{
    if (port.isEmpty())
        return {};
    qsizetype start = 0;
    while (start < port.size() - 1 && port[start] == u'0')
        ++start;
    bool digits = port.size() - start <= 5;
    for (const QChar c : port)
        digits = digits && isDigit(c.unicode());
    const int number = digits ? port.mid(start).toInt() : -1;
    if (number < 0 || number > 65535) {
        valid = false;
        return QLatin1Char(':') + escaped(port, opaqueEscapes);
    }
    return number == defaultPort ? QString() : QLatin1Char(':') + QString::number(number);
}

int defaultPort(const QString& scheme)
{
    if (scheme == QStringLiteral("http") || scheme == QStringLiteral("ws"))
        return 80;
    if (scheme == QStringLiteral("https") || scheme == QStringLiteral("wss"))
        return 443;
    return scheme == QStringLiteral("ftp") ? 21 : -1;
}

bool isStandardScheme(const QString& scheme)
{
    return defaultPort(scheme) >= 0;
}

bool isValidScheme(QStringView scheme)
{
    if (scheme.isEmpty() || !isAlpha(scheme[0].unicode()))
        return false;
    for (const QChar c : scheme)
        if (!isAlpha(c.unicode()) && !isDigit(c.unicode()) && !among(c.unicode(), "+-."))
            return false;
    return true;
}

QString withoutBreaks(QString text)
{
    text.remove(QLatin1Char('\t'));
    text.remove(QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    return text;
}

// What follows the host, or the scheme of an address without one: the path,
// then the query after the first "?", then the fragment after the first "#".
struct Tail
{
    QStringView path;
    std::optional<QStringView> query, fragment;
};

Tail split(QStringView tail)
{
    Tail parts;
    const qsizetype hash = tail.indexOf(u'#');
    if (hash >= 0) {
        parts.fragment = tail.mid(hash + 1);
        tail = tail.left(hash);
    }
    const qsizetype question = tail.indexOf(u'?');
    if (question >= 0) {
        parts.query = tail.mid(question + 1);
        tail = tail.left(question);
    }
    parts.path = tail;
    return parts;
}

// Whether the text starts with a drive letter ("C:", "c|"), ending it or a segment.
bool startsWithDrive(QStringView s)
{
    return s.size() >= 2 && isAlpha(s[0].unicode()) && (s[1] == u':' || s[1] == u'|') &&
           (s.size() == 2 || isSlash(s[2]));
}

} // namespace

WebAddress::WebAddress(const QString& text) : WebAddress(text, WebAddress()) {}

WebAddress::WebAddress(const QString& text, const WebAddress& base, const QByteArray& encoding)
{
    const QString whole = trimBlanks(text);
    const QString input = withoutBreaks(whole);
    const qsizetype colon = input.indexOf(QLatin1Char(':'));
    const QStringView scheme = QStringView(input).left(qMax(colon, qsizetype(0)));
    if (!isValidScheme(scheme)) {
        resolve(base, input, encoding);
        return;
    }
    const QString lower = scheme.toString().toLower();
    // A data: address keeps its tabs and line breaks, escaped.
    const QStringView rest = lower == QStringLiteral("data")
                                 ? QStringView(whole).mid(whole.indexOf(QLatin1Char(':')) + 1)
                                 : QStringView(input).mid(colon + 1);
    // "http:page.htm" and "http:/page.htm" are relative to an http base.
    if (base.hierarchical() && lower == base.m_scheme && slashesAt(rest, 0) < 2)
        resolve(base, rest.toString(), encoding);
    else
        parse(lower, rest, encoding);
}

QString WebAddress::toString() const
{
    if (m_kind == Kind::None)
        return {};
    QString out = m_scheme + QLatin1Char(':') + m_authority + m_path;
    if (m_query)
        out += QLatin1Char('?') + *m_query;
    if (m_fragment)
        out += QLatin1Char('#') + *m_fragment;
    return out;
}

void WebAddress::resolve(const WebAddress& base, const QString& reference,
                         const QByteArray& encoding)
{
    if (base.m_kind == Kind::None || !base.m_valid)
        return;
    if (reference.isEmpty() || (!base.hierarchical() && reference.startsWith(u'#'))) {
        *this = base;
        m_fragment.reset();
        if (!reference.isEmpty())
            m_fragment = escaped(QStringView(reference).mid(1), fragmentEscapes);
        return;
    }
    if (!base.hierarchical())
        return;
    // The reference written out in full, then read as an absolute address.
    QString full = base.m_authority;
    if (slashesAt(reference, 0) >= 2) {
        full = reference;
    } else if (isSlash(reference[0])) {
        full += reference;
    } else if (reference[0] == u'?') {
        full += base.m_path + reference;
    } else if (reference[0] == u'#') {
        full += base.m_path;
        if (base.m_query)
            full += QLatin1Char('?') + *base.m_query;
        full += reference;
    } else {
        full += base.m_path.left(base.m_path.lastIndexOf(QLatin1Char('/')) + 1) + reference;
    }
    parse(base.m_scheme, full, encoding);
}

void WebAddress::parse(const QString& scheme, QStringView rest, const QByteArray& encoding)
{
    m_scheme = scheme;
    m_valid = true;
    if (isStandardScheme(scheme)) {
        parseStandard(rest, encoding);
    } else if (scheme == QStringLiteral("file")) {
        parseFile(rest, encoding);
    } else if (scheme == QStringLiteral("mailto")) {
        // All after the "?" is the query, "#" included.
        m_kind = Kind::Mailto;
        const qsizetype question = rest.indexOf(u'?');
        m_path = escaped(question < 0 ? rest : rest.left(question), mailtoEscapes);
        if (question >= 0)
            m_query = canonicalQuery(rest.mid(question + 1), {});
    } else {
        m_kind = Kind::Opaque;
        const Tail parts = split(rest);
        m_path = escaped(parts.path, opaqueEscapes);
        if (parts.query)
            m_query = canonicalQuery(*parts.query, {});
        if (parts.fragment)
            m_fragment = escaped(*parts.fragment, fragmentEscapes);
    }
}

void WebAddress::parseStandard(QStringView rest, const QByteArray& encoding)
{
    m_kind = Kind::Standard;
    // The authority: whatever stands between the slashes, however many, and
    // the next slash, "?" or "#"; its user part ends at its last "@".
    const qsizetype start = slashesAt(rest, 0);
    qsizetype end = start;
    while (end < rest.size() && !isSlash(rest[end]) && rest[end] != u'?' && rest[end] != u'#')
        ++end;
    const QStringView authority = rest.mid(start, end - start);
    const qsizetype at = authority.lastIndexOf(u'@');
    const QStringView user = authority.left(qMax(at, qsizetype(0)));
    const QStringView server = authority.mid(at + 1);
    // The port follows the last ":" that is not inside an IPv6 address.
    qsizetype bracket = server.startsWith(u'[') ? server.size() : -1, colon = -1;
    for (qsizetype i = 0; i < server.size(); ++i) {
        if (server[i] == u']')
            bracket = i;
        else if (server[i] == u':')
            colon = i;
    }
    const bool hasPort = colon > bracket;
    const QStringView host = hasPort ? server.left(colon) : server;
    if (at >= 0 || !host.isEmpty() || hasPort) {
        m_authority = QStringLiteral("//");
        const qsizetype split = user.indexOf(u':');
        const QStringView name = split < 0 ? user : user.left(split);
        const QStringView password = split < 0 ? QStringView() : user.mid(split + 1);
        if (!name.isEmpty() || !password.isEmpty()) {
            appendPart(m_authority, name, userEscapes);
            if (!password.isEmpty())
                appendPart(m_authority += QLatin1Char(':'), password, userEscapes);
            m_authority += QLatin1Char('@');
        }
        m_authority += canonicalHost(host, m_valid);
        m_valid = m_valid && !host.isEmpty();
        if (hasPort)
            m_authority += canonicalPort(server.mid(colon + 1), defaultPort(m_scheme), m_valid);
    } else {
        m_valid = false;
    }
    parseTail(rest.mid(end), encoding);
    if (m_path.isEmpty() && (!m_authority.isEmpty() || m_query || m_fragment))
        m_path = QStringLiteral("/");
}

void WebAddress::parseFile(QStringView rest, const QByteArray& encoding)
{
    m_kind = Kind::File;
    m_authority = QStringLiteral("//");
    const qsizetype slashes = slashesAt(rest, 0);
    QStringView tail = rest.mid(qMax(slashes - 1, qsizetype(0)));
    if (slashes == 2 && !startsWithDrive(rest.mid(2))) {
        qsizetype end = 2;
        while (end < rest.size() && !isSlash(rest[end]))
            ++end;
        m_authority += canonicalHost(rest.mid(2, end - 2), m_valid);
        tail = rest.mid(end);
    }
    // A drive ("/C:") stays on top of the path, in upper case.
    QString drive;
    const qsizetype lead = slashesAt(tail, 0) > 0 ? 1 : 0;
    if (startsWithDrive(tail.mid(lead))) {
        drive = QLatin1Char('/') + tail[lead].toUpper() + QLatin1Char(':');
        tail = tail.mid(lead + 2);
    }
    parseTail(tail, encoding, drive);
    if (m_path.isEmpty())
        m_path = drive.isEmpty() ? QStringLiteral("/") : drive + QLatin1Char('/');
}

void WebAddress::parseTail(QStringView tail, const QByteArray& encoding, const QString& pathRoot)
{
    const Tail parts = split(tail);
    if (!parts.path.isEmpty())
        m_path = canonicalPath(parts.path, pathRoot);
    if (parts.query)
        m_query = canonicalQuery(*parts.query, encoding);
    if (parts.fragment)
        m_fragment = escaped(*parts.fragment, fragmentEscapes);
}

} // namespace pagrim::harvest
