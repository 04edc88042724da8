#include "extract/core/shown.h"

#include "extract/core/markers.h"
#include "extract/core/pagetext.h"
#include "platform/codepage.h"
#include "platform/text.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace pagrim::extract {

namespace {

constexpr char32_t Replacement = 0xFFFD;
constexpr char32_t NoBreakSpace = 0xA0;

bool isBlank(char32_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == NoBreakSpace;
}

bool isAsciiAlpha(char b)
{
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

bool isAsciiAlnum(char b)
{
    return isAsciiAlpha(b) || (b >= '0' && b <= '9');
}

// The Unicode of every double-byte GBK character, by lead and trail byte;
// made once from the code page's own conversion.
const std::vector<char16_t>& gbkTable()
{
    static const std::vector<char16_t> table = [] {
        constexpr int Trails = 0xFF - 0x40;
        std::vector<char16_t> t(size_t(0xFF - 0x81) * Trails, char16_t(Replacement));
        QByteArray pairs;
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                if (trail != 0x7F) {
                    // Byte by byte: QByteArray{a, b} would be b repeated a times.
                    pairs += char(lead);
                    pairs += char(trail);
                }
        const QString text = codepage::toUnicode(pairs, codepage::Gbk);
        if (text.size() != pairs.size() / 2)
            return t; // not one unit per character: every one stays unknown
        for (qsizetype i = 0; i < text.size(); ++i) {
            const auto lead = static_cast<unsigned char>(pairs[2 * i]);
            const auto trail = static_cast<unsigned char>(pairs[2 * i + 1]);
            t[size_t(lead - 0x81) * Trails + (trail - 0x40)] = text[i].unicode();
        }
        return t;
    }();
    return table;
}

// The character of length n at pos (n from codepage::charLength).
char32_t decode(const QByteArray& bytes, qsizetype pos, qsizetype n, int codePage)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[pos + i]); };
    if (n == 1)
        return byte(0) < 0x80 ? char32_t(byte(0)) : Replacement;
    if (codePage == codepage::Gbk)
        return gbkTable()[size_t(byte(0) - 0x81) * (0xFF - 0x40) + (byte(1) - 0x40)];
    char32_t c = byte(0) & (0x7F >> n);
    for (qsizetype i = 1; i < n; ++i)
        c = (c << 6) | (byte(i) & 0x3F);
    return c;
}

struct NamedReference
{
    const char* name;
    char32_t c;
};

// The named references pages use for text.
constexpr std::array<NamedReference, 44> NamedReferences{{
    {"AElig", 0xC6},    {"Eacute", 0xC9},   {"Uuml", 0xDC},    {"aacute", 0xE1},  {"amp", '&'},
    {"apos", '\''},     {"bull", 0x2022},   {"cent", 0xA2},    {"copy", 0xA9},    {"deg", 0xB0},
    {"divide", 0xF7},   {"eacute", 0xE9},   {"egrave", 0xE8},  {"euro", 0x20AC},  {"gt", '>'},
    {"hellip", 0x2026}, {"iexcl", 0xA1},    {"iquest", 0xBF},  {"laquo", 0xAB},   {"ldquo", 0x201C},
    {"lsaquo", 0x2039}, {"lsquo", 0x2018},  {"lt", '<'},       {"mdash", 0x2014}, {"middot", 0xB7},
    {"nbsp", 0xA0},     {"ndash", 0x2013},  {"ouml", 0xF6},    {"para", 0xB6},    {"plusmn", 0xB1},
    {"pound", 0xA3},    {"quot", '"'},      {"raquo", 0xBB},   {"rarr", 0x2192},  {"rdquo", 0x201D},
    {"reg", 0xAE},      {"rsaquo", 0x203A}, {"rsquo", 0x2019}, {"sect", 0xA7},    {"shy", 0xAD},
    {"times", 0xD7},    {"trade", 0x2122},  {"uuml", 0xFC},    {"yen", 0xA5},
}};

// Names a browser also takes without the closing ";".
bool takenWithoutSemicolon(const char* name)
{
    for (const char* legacy : {"amp", "lt", "gt", "quot", "nbsp", "copy", "reg"})
        if (!std::strcmp(name, legacy))
            return true;
    return false;
}

// Tags that begin a block or a line: what they stand for shows as a break.
bool startsBlock(QByteArrayView name)
{
    static constexpr const char* Blocks[] = {
        "address", "article", "aside",    "blockquote", "br",     "caption", "dd",      "div",
        "dl",      "dt",      "fieldset", "figcaption", "figure", "footer",  "form",    "h1",
        "h2",      "h3",      "h4",       "h5",         "h6",     "header",  "hr",      "li",
        "main",    "nav",     "ol",       "option",     "p",      "pre",     "section", "table",
        "tbody",   "td",      "tfoot",    "th",         "thead",  "title",   "tr",      "ul"};
    return std::any_of(std::begin(Blocks), std::end(Blocks),
                       [&](const char* b) { return name.compare(b, Qt::CaseInsensitive) == 0; });
}

// The end of the tag that starts at from ("<"), after its ">"; quoted
// attribute values may hold ">".
qsizetype tagEnd(QByteArrayView text, qsizetype from)
{
    char quote = 0;
    for (qsizetype i = from + 1; i < text.size(); ++i) {
        const char b = text[i];
        if (quote) {
            if (b == quote)
                quote = 0;
        } else if ((b == '"' || b == '\'') && text[i - 1] == '=') {
            quote = b;
        } else if (b == '>') {
            return i + 1;
        }
    }
    return text.size();
}

// The end of the first "</name" ... ">" at or after from, or of the text.
qsizetype closingEnd(QByteArrayView text, qsizetype from, QByteArrayView name)
{
    for (qsizetype i = from; (i = FindBytes(text, "</", i)) >= 0; i += 2) {
        const QByteArrayView next = text.sliced(i + 2, qMin(name.size(), text.size() - i - 2));
        if (next.compare(name, Qt::CaseInsensitive) == 0)
            return tagEnd(text, i);
    }
    return text.size();
}

} // namespace

ShownWalker::ShownWalker(QByteArrayView text, int codePage)
    : m_text(text), m_bytes(QByteArray::fromRawData(text.data(), text.size())), m_codePage(codePage)
{
}

bool ShownWalker::skipMarkup()
{
    const qsizetype start = m_pos;
    const QByteArrayView rest = m_text.sliced(start);
    if (rest.startsWith("<!--")) {
        const qsizetype close = FindBytes(m_text, "-->", start + 4);
        m_pos = close < 0 ? m_text.size() : close + 3;
        return false;
    }
    const qsizetype nameAt = start + (rest.size() > 1 && rest[1] == '/' ? 2 : 1);
    qsizetype nameEnd = nameAt;
    while (nameEnd < m_text.size() && isAsciiAlnum(m_text[nameEnd]))
        ++nameEnd;
    const QByteArrayView name = m_text.sliced(nameAt, nameEnd - nameAt);
    m_pos = tagEnd(m_text, start);
    if (name.isEmpty())
        return false;
    const bool opening = nameAt == start + 1;
    for (const char* raw : {"script", "style"})
        if (opening && name.compare(raw, Qt::CaseInsensitive) == 0)
            m_pos = closingEnd(m_text, m_pos, raw);
    return startsBlock(name);
}

char32_t ShownWalker::reference(qsizetype& length) const
{
    const qsizetype at = m_pos + 1;
    const qsizetype n = m_text.size();
    if (at < n && m_text[at] == '#') {
        const bool hex = at + 1 < n && (m_text[at + 1] == 'x' || m_text[at + 1] == 'X');
        qsizetype i = at + (hex ? 2 : 1);
        char32_t c = 0;
        const qsizetype digits = i;
        for (; i < n && i - digits < 8; ++i) {
            const char b = m_text[i];
            const int d = b >= '0' && b <= '9'          ? b - '0'
                          : hex && b >= 'a' && b <= 'f' ? b - 'a' + 10
                          : hex && b >= 'A' && b <= 'F' ? b - 'A' + 10
                                                        : -1;
            if (d < 0)
                break;
            c = c * (hex ? 16 : 10) + char32_t(d);
        }
        if (i == digits)
            return 0;
        length = i + (i < n && m_text[i] == ';' ? 1 : 0) - m_pos;
        return c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? Replacement : c;
    }
    qsizetype i = at;
    while (i < n && i - at < 8 && isAsciiAlnum(m_text[i]))
        ++i;
    const std::string name(m_text.data() + at, size_t(i - at));
    const auto found = std::find_if(NamedReferences.begin(), NamedReferences.end(),
                                    [&](const NamedReference& r) { return name == r.name; });
    const bool semicolon = i < n && m_text[i] == ';';
    if (found == NamedReferences.end() || (!semicolon && !takenWithoutSemicolon(found->name)))
        return 0;
    length = i + (semicolon ? 1 : 0) - m_pos;
    return found->c;
}

bool ShownWalker::raw(ShownChar& out, bool& blank)
{
    const QByteArray& bytes = m_bytes;
    while (m_pos < m_text.size()) {
        const qsizetype at = m_pos;
        const char b = m_text[at];
        if (b == '<' && at + 1 < m_text.size() &&
            (isAsciiAlpha(m_text[at + 1]) || m_text[at + 1] == '/' || m_text[at + 1] == '!' ||
             m_text[at + 1] == '?')) {
            m_markup = true;
            if (skipMarkup()) {
                out = {' ', at, m_pos};
                blank = true;
                return true;
            }
            continue;
        }
        qsizetype length = 0;
        const char32_t c = b == '&' ? reference(length) : 0;
        if (c) {
            m_pos += length;
            m_markup = true;
        } else {
            length = qMax<qsizetype>(1, codepage::charLength(bytes, at, m_codePage));
            m_pos += length;
        }
        out = {c ? c : decode(bytes, at, length, m_codePage), at, m_pos};
        blank = c ? isBlank(c) : isBlankByte(b) || out.c == NoBreakSpace;
        return true;
    }
    return false;
}

bool ShownWalker::next(ShownChar& out)
{
    if (m_held) {
        m_held = false;
        out = m_hold;
        return true;
    }
    ShownChar c;
    bool blank = false;
    while (raw(c, blank)) {
        if (blank) {
            if (m_started && !m_blank)
                m_blankBegin = c.begin;
            m_blank = m_started;
            m_blankEnd = c.end;
            continue;
        }
        m_started = true;
        if (!m_blank) {
            out = c;
            return true;
        }
        m_blank = false;
        m_held = true;
        m_hold = c;
        out = {' ', m_blankBegin, m_blankEnd};
        return true;
    }
    return false;
}

std::u32string FoldedShown(const QString& shown)
{
    std::u32string folded;
    bool blank = false;
    for (const char32_t c : shown.toUcs4()) {
        if (isBlank(c)) {
            blank = !folded.empty();
            continue;
        }
        if (blank)
            folded += U' ';
        blank = false;
        folded += c;
    }
    return folded;
}

bool ShowsExactly(QByteArrayView text, const std::u32string& expected, int codePage)
{
    ShownWalker walker(text, codePage);
    ShownChar c;
    for (const char32_t e : expected)
        if (!walker.next(c) || c.c != e)
            return false;
    return !walker.next(c);
}

ShownPlace LocateFolded(QByteArrayView text, const std::u32string& expected, int occurrence,
                        int codePage)
{
    if (expected.empty() || occurrence < 1)
        return {};
    std::u32string shown;
    std::vector<qsizetype> begins, ends;
    ShownWalker walker(text, codePage);
    for (ShownChar c; walker.next(c);) {
        shown += c.c;
        begins.push_back(c.begin);
        ends.push_back(c.end);
    }
    size_t at = shown.find(expected);
    for (int n = 1; n < occurrence && at != std::u32string::npos; ++n)
        at = shown.find(expected, at + 1);
    if (at == std::u32string::npos)
        return {};
    const size_t last = at + expected.size() - 1;
    // What stands around it: the blank beside it shows nothing of its own.
    size_t ahead = at;
    if (ahead > 0 && shown[ahead - 1] == U' ')
        --ahead;
    size_t behind = last + 1;
    if (behind < shown.size() && shown[behind] == U' ')
        ++behind;
    return {ahead > 0 ? ends[ahead - 1] : 0, begins[at], ends[last],
            behind < shown.size() ? begins[behind] : text.size()};
}

QString ShownText(QByteArrayView value, int codePage)
{
    std::u32string shown;
    ShownWalker walker(value, codePage);
    for (ShownChar c; walker.next(c);)
        shown += c.c;
    return QString::fromStdU32String(shown);
}

QByteArray ShownValue(QByteArrayView value, int codePage)
{
    return codepage::fromUnicodeWithReferences(ShownText(value, codePage), codePage);
}

bool HoldsMarkup(QByteArrayView value, int codePage)
{
    ShownWalker walker(value, codePage);
    for (ShownChar c; walker.next(c);) {
    }
    return walker.readMarkup();
}

Located LocateShown(QByteArrayView pageText, const QString& shown, int occurrence, int codePage)
{
    const ShownPlace place = LocateFolded(pageText, FoldedShown(shown), occurrence, codePage);
    return {place.begin, place.end};
}

} // namespace pagrim::extract
