#include "cli/terminal.h"

#include <QByteArray>
#include <QList>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pagrim::cli {

namespace {

// The blocks of wide characters (East Asian Wide and Fullwidth).
constexpr char32_t WideRanges[][2] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};

int charWidth(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing)
        return 0;
    for (const auto& range : WideRanges)
        if (c >= range[0] && c <= range[1])
            return 2;
    return 1;
}

} // namespace

int displayWidth(QStringView text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4())
        width += charWidth(c);
    return width;
}

QString elideLeft(const QString& text, int width)
{
    if (displayWidth(text) <= width)
        return text;
    const QString dots = QStringLiteral("...");
    int used = int(dots.size());
    qsizetype start = text.size();
    while (start > 0) {
        // A surrogate pair is one character.
        const qsizetype at = start >= 2 && text[start - 1].isLowSurrogate() ? start - 2 : start - 1;
        const int w = displayWidth(QStringView(text).mid(at, start - at));
        if (used + w > width)
            break;
        used += w;
        start = at;
    }
    return width >= int(dots.size()) ? dots + text.mid(start) : QString();
}

QString padded(const QString& text, int width)
{
    return text + QString(qMax(0, width - displayWidth(text)), QLatin1Char(' '));
}

bool isTerminal(FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

int terminalColumns(FILE* stream)
{
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void write(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace pagrim::cli
