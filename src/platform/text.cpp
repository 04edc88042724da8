#include "platform/text.h"

#include <QChar>

namespace pagrim {

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

int hexDigitValue(char32_t c)
{
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return int((c | 0x20) - 'a' + 10);
    return -1;
}

int escapedByte(QStringView text, qsizetype pos)
{
    if (pos + 2 >= text.size() || text[pos] != u'%')
        return -1;
    const int high = hexDigitValue(text[pos + 1].unicode());
    const int low = hexDigitValue(text[pos + 2].unicode());
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

QList<QByteArray> splitLines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(bytes.mid(start, i - start));
        if (c == '\r' && i + 1 < n && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(bytes.mid(start));
    return lines;
}

int charColumns(char32_t c)
{
    static constexpr char32_t Wide[][2] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
        {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
    };
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing)
        return 0;
    for (const auto& range : Wide)
        if (c >= range[0] && c <= range[1])
            return 2;
    return 1;
}

int textColumns(QStringView text)
{
    int widest = 0, width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c == U'\n') {
            widest = qMax(widest, width);
            width = 0;
        } else {
            width += charColumns(c);
        }
    }
    return qMax(widest, width);
}

bool isBlankByte(char b)
{
    return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\f';
}

} // namespace pagrim
