#include "harvest/core/bodytext.h"

#include <QList>
#include <QStringDecoder>

namespace pagrim::harvest {

namespace {

// The labels browsers know for the encodings of the pages we meet, by the
// encoding they stand for.
struct Labels
{
    const char* encoding;
    const char* labels; // separated by blanks
};

constexpr Labels KnownLabels[] = {
    {"UTF-8", "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    {"GBK", "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk"},
    {"gb18030", "gb18030"},
    {"Big5", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    {"Shift_JIS", "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    {"EUC-KR", "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 "
               "ksc5601 ksc_5601 windows-949"},
    {"windows-1252", "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 "
                     "iso8859-1 iso88591 iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii "
                     "windows-1252 x-cp1252"},
    {"UTF-16LE", "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
    {"UTF-16BE", "unicodefffe utf-16be"},
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool isUtf16(const QByteArray& encoding)
{
    return encoding.startsWith("UTF-16");
}

// The encoding a label names; the label itself for one the converter knows
// that is not in the table, empty for none.
QByteArray encodingOfLabel(const QByteArray& label)
{
    const QByteArray key = label.trimmed().toLower();
    if (key.isEmpty())
        return {};
    for (const Labels& entry : KnownLabels)
        if (QByteArray(entry.labels).split(' ').contains(key))
            return entry.encoding;
    return QStringDecoder(key.constData()).isValid() ? key : QByteArray();
}

QByteArray byteOrderMark(const QByteArray& body)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    if (body.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (body.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    return {};
}

QByteArray headerCharset(const QByteArray& contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray parameter = parts[i].trimmed();
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0 || parameter.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = parameter.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

// The charset a meta content attribute names ("text/html; charset=gbk").
QByteArray contentCharset(const QByteArray& content)
{
    const QByteArray lower = content.toLower();
    qsizetype at = 0;
    for (;;) {
        at = lower.indexOf("charset", at);
        if (at < 0)
            return {};
        at += 7;
        while (at < content.size() && isBlank(content[at]))
            ++at;
        if (at < content.size() && content[at] == '=')
            break;
    }
    ++at;
    while (at < content.size() && isBlank(content[at]))
        ++at;
    if (at >= content.size())
        return {};
    const char quote = content[at];
    if (quote == '"' || quote == '\'') {
        const qsizetype end = content.indexOf(quote, at + 1);
        return end < 0 ? QByteArray() : content.mid(at + 1, end - at - 1);
    }
    qsizetype end = at;
    while (end < content.size() && !isBlank(content[end]) && content[end] != ';')
        ++end;
    return content.mid(at, end - at);
}

// Reads the tags at the start of a document for a <meta> that names its
// encoding, as a browser does before it decodes: comments are passed over, so
// is the text of script, style and the like, and the search ends after 1,024
// bytes once a tag that has no place in <head> has been seen.
class MetaScan
{
public:
    explicit MetaScan(const QByteArray& body) : m_b(body), m_lower(body.toLower()) {}

    QByteArray encoding()
    {
        constexpr qsizetype Unconditional = 1024;
        while (m_at < m_b.size() && (m_inHead || m_at < Unconditional)) {
            if (m_b[m_at] != '<') {
                ++m_at;
                continue;
            }
            const QByteArray found = tag();
            if (!found.isEmpty())
                return found;
        }
        return {};
    }

private:
    char at(qsizetype i) const { return i < m_b.size() ? m_b[i] : '\0'; }
    static bool isLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
    void skipPast(const char* end, qsizetype from)
    {
        const qsizetype i = m_b.indexOf(end, from);
        m_at = i < 0 ? m_b.size() : i + qsizetype(qstrlen(end));
    }

    // The tag, comment or other markup at '<'; the encoding a meta names.
    QByteArray tag()
    {
        const char next = at(m_at + 1);
        if (m_b.mid(m_at, 4) == "<!--") {
            skipPast("-->", m_at + 2);
        } else if (next == '!' || next == '?' || (next == '/' && !isLetter(at(m_at + 2)))) {
            skipPast(">", m_at + 1);
        } else if (isLetter(next) || (next == '/' && isLetter(at(m_at + 2)))) {
            const bool end = next == '/';
            m_at += end ? 2 : 1;
            const QByteArray name = word();
            QByteArray charset, content;
            bool pragma = false, hasCharset = false;
            while (attribute()) {
                if (m_name == "http-equiv") {
                    pragma = pragma || m_value.toLower() == "content-type";
                } else if (m_name == "charset" && !hasCharset) {
                    charset = m_value;
                    hasCharset = true;
                } else if (m_name == "content" && content.isNull()) {
                    content = m_value;
                }
            }
            if (!end && name == "meta") {
                if (!hasCharset && pragma)
                    charset = contentCharset(content);
                QByteArray encoding = encodingOfLabel(charset);
                if (isUtf16(encoding))
                    encoding = "UTF-8";
                if (!encoding.isEmpty())
                    return encoding;
            }
            static const QList<QByteArray> headTags{"script", "noscript", "style", "link",
                                                    "meta",   "object",   "title", "base"};
            if (!headTags.contains(name) && (end || (name != "html" && name != "head")))
                m_inHead = false;
            if (!end)
                skipText(name);
        } else {
            ++m_at;
        }
        return {};
    }

    // A tag name or attribute name, in lower case.
    QByteArray word()
    {
        QByteArray w;
        while (m_at < m_b.size() && !isBlank(m_b[m_at]) && m_b[m_at] != '/' && m_b[m_at] != '>' &&
               !(m_b[m_at] == '=' && !w.isEmpty()))
            w += char(QChar::toLower(uint(uchar(m_b[m_at++]))));
        return w;
    }
    void skipBlanks()
    {
        while (m_at < m_b.size() && isBlank(m_b[m_at]))
            ++m_at;
    }

    // The next attribute of the tag into m_name and m_value; false at its end.
    bool attribute()
    {
        while (m_at < m_b.size() && (isBlank(m_b[m_at]) || m_b[m_at] == '/'))
            ++m_at;
        if (m_at >= m_b.size() || m_b[m_at] == '>') {
            ++m_at;
            return false;
        }
        m_name = word();
        m_value.clear();
        skipBlanks();
        if (at(m_at) != '=')
            return true;
        ++m_at;
        skipBlanks();
        const char quote = at(m_at);
        if (quote == '"' || quote == '\'') {
            const qsizetype end = m_b.indexOf(quote, m_at + 1);
            const qsizetype stop = end < 0 ? m_b.size() : end;
            m_value = m_b.mid(m_at + 1, stop - m_at - 1);
            m_at = stop + 1;
            return true;
        }
        const qsizetype start = m_at;
        while (m_at < m_b.size() && !isBlank(m_b[m_at]) && m_b[m_at] != '>')
            ++m_at;
        m_value = m_b.mid(start, m_at - start);
        return true;
    }

    // Passes over the text of an element whose content holds no tags.
    void skipText(const QByteArray& name)
    {
        static const QList<QByteArray> textOnly{"script", "style",  "title",   "textarea",
                                                "xmp",    "iframe", "noembed", "noframes"};
        if (name == "plaintext") {
            m_at = m_b.size();
            return;
        }
        if (!textOnly.contains(name))
            return;
        const QByteArray close = "</" + name;
        for (qsizetype i = m_at;; ++i) {
            i = m_lower.indexOf(close, i);
            if (i < 0) {
                m_at = m_b.size();
                return;
            }
            const char after = at(i + close.size());
            if (isBlank(after) || after == '/' || after == '>') {
                m_at = i;
                return;
            }
        }
    }

    const QByteArray& m_b;
    const QByteArray m_lower;
    qsizetype m_at = 0;
    bool m_inHead = true;
    QByteArray m_name, m_value;
};

} // namespace

bool isHtmlType(const QByteArray& contentType)
{
    const QByteArray essence = contentType.split(';').first().trimmed().toLower();
    return essence == "text/html" || essence == "application/xhtml+xml";
}

QByteArray bodyEncoding(const QByteArray& body, const QByteArray& contentType)
{
    QByteArray encoding = byteOrderMark(body);
    if (encoding.isEmpty())
        encoding = encodingOfLabel(headerCharset(contentType));
    if (encoding.isEmpty())
        encoding = MetaScan(body).encoding();
    return encoding.isEmpty() ? QByteArray("UTF-8") : encoding;
}

QString decodeBody(const QByteArray& body, const QByteArray& contentType)
{
    const QByteArray encoding = bodyEncoding(body, contentType);
    const QByteArray bom = byteOrderMark(body);
    const qsizetype skip = bom != encoding ? 0 : bom == "UTF-8" ? 3 : 2;
    // GBK pages may hold GB18030's four-byte characters: browsers read both alike.
    const QByteArray decoder = encoding == "GBK" ? QByteArray("gb18030") : encoding;
    QStringDecoder decode(decoder.constData(), QStringDecoder::Flag::ConvertInitialBom);
    return decode(QByteArrayView(body).sliced(skip));
}

} // namespace pagrim::harvest
