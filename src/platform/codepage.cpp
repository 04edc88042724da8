#include "platform/codepage.h"

#include <QList>
#include <QRegularExpression>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <iconv.h>

namespace pagrim::codepage {

namespace {

std::atomic<int> pinned{0};

// One iconv conversion descriptor, owned.
class Iconv
{
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as it can; returns false at a character it cannot convert,
    // leaving in/inLeft at that character.
    bool convert(char*& in, size_t& inLeft, QByteArray& out)
    {
        char buffer[4096];
        while (inLeft > 0) {
            char* o = buffer;
            size_t oLeft = sizeof buffer;
            size_t r = iconv(m_cd, &in, &inLeft, &o, &oLeft);
            out.append(buffer, qsizetype(sizeof buffer - oLeft));
            if (r == size_t(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

const char* iconvName(int codePage)
{
    return codePage == Gbk ? "CP936" : "UTF-8";
}

// Length of the UTF-8 sequence that starts with byte b (1 for a broken lead byte).
qsizetype utf8Length(unsigned char b)
{
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    if (b >= 0xE0)
        return b <= 0xEF ? 3 : 1;
    if (b >= 0xC2)
        return 2;
    return 1;
}

QByteArray encode(const QString& text, int codePage, bool references)
{
    if (codePage != Gbk)
        return text.toUtf8();
    QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    Iconv cd(iconvName(codePage), "UTF-8");
    if (!cd.valid())
        return utf8;
    char* in = utf8.data();
    size_t left = size_t(utf8.size());
    while (!cd.convert(in, left, out)) {
        // The character at `in` has no place in the code page.
        qsizetype n = qMin(utf8Length(static_cast<unsigned char>(*in)), qsizetype(left));
        if (references) {
            const uint cp = QString::fromUtf8(in, n).toUcs4().value(0, 0xFFFD);
            out += "&#" + QByteArray::number(cp) + ';';
        } else {
            out += '?';
        }
        in += n;
        left -= size_t(n);
        cd.reset();
    }
    return out;
}

QString charsetOfLocale()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (value.isEmpty())
            continue;
        QByteArray charset = value.mid(value.indexOf('.') + 1);
        if (value.indexOf('.') < 0)
            charset.clear();
        charset = charset.left(charset.indexOf('@') < 0 ? charset.size() : charset.indexOf('@'));
        return QString::fromLatin1(charset).toLower().remove(QLatin1Char('-'));
    }
    return {};
}

} // namespace

int systemCodePage()
{
    const QString cs = charsetOfLocale();
    for (const char* gbk : {"gbk", "gb2312", "gb18030", "cp936"})
        if (cs == QLatin1String(gbk))
            return Gbk;
    return Utf8;
}

int current()
{
    const int p = pinned.load();
    if (p != 0)
        return p;
    static const int system = systemCodePage();
    return system;
}

void setCurrentForTesting(int codePage)
{
    pinned.store(codePage);
}

QByteArray fromUnicode(const QString& text, int codePage)
{
    return encode(text, codePage, false);
}

QByteArray fromUnicodeWithReferences(const QString& text, int codePage)
{
    return encode(text, codePage, true);
}

QString toUnicode(const QByteArray& bytes, int codePage)
{
    if (codePage != Gbk)
        return QString::fromUtf8(bytes);
    Iconv cd("UTF-8", iconvName(codePage));
    if (!cd.valid())
        return QString::fromLatin1(bytes);
    QByteArray copy = bytes;
    QByteArray out;
    char* in = copy.data();
    size_t left = size_t(copy.size());
    while (!cd.convert(in, left, out)) {
        const qsizetype n =
            qMin(charLength(bytes, bytes.size() - qsizetype(left), codePage), qsizetype(left));
        out += "\xEF\xBF\xBD";
        in += n;
        left -= size_t(n);
        cd.reset();
    }
    return QString::fromUtf8(out);
}

QString toUnicodeWithReferences(const QByteArray& bytes, int codePage)
{
    QString text = toUnicode(bytes, codePage);
    // Every character has a place in UTF-8: no reference stands for one there.
    if (codePage != Gbk || !bytes.contains("&#"))
        return text;
    static const QRegularExpression reference(QStringLiteral("&#([0-9]{1,7});"));
    QString out;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& m : reference.globalMatch(text)) {
        const char32_t c = m.capturedView(1).toUInt();
        const QString character = QString::fromUcs4(&c, 1);
        // A reference of a character the code page holds was in the text itself.
        const bool made = c > 0x7F && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF) &&
                          encode(character, codePage, false) == "?";
        out += QStringView(text).sliced(from, m.capturedStart() - from);
        out += made ? character : m.captured();
        from = m.capturedEnd();
    }
    out += QStringView(text).sliced(from);
    return out;
}

qsizetype charLength(const QByteArray& bytes, qsizetype pos, int codePage)
{
    if (pos < 0 || pos >= bytes.size())
        return 0;
    const auto b = static_cast<unsigned char>(bytes.at(pos));
    if (codePage == Gbk) {
        // A lead byte 0x81..0xFE followed by a trail byte 0x40..0xFE (not 0x7F).
        if (b >= 0x81 && b <= 0xFE && pos + 1 < bytes.size()) {
            const auto t = static_cast<unsigned char>(bytes.at(pos + 1));
            if (t >= 0x40 && t <= 0xFE && t != 0x7F)
                return 2;
        }
        return 1;
    }
    const qsizetype n = utf8Length(b);
    if (pos + n > bytes.size())
        return 1;
    for (qsizetype i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(bytes.at(pos + i)) & 0xC0) != 0x80)
            return 1;
    return n;
}

bool isCharStart(const QByteArray& bytes, qsizetype pos, int codePage)
{
    if (pos < 0 || pos > bytes.size())
        return false;
    if (codePage != Gbk && pos < bytes.size())
        return (static_cast<unsigned char>(bytes.at(pos)) & 0xC0) != 0x80;
    qsizetype i = 0;
    while (i < pos)
        i += charLength(bytes, i, codePage);
    return i == pos;
}

} // namespace pagrim::codepage
