#include "cli/terminal.h"

#include "platform/text.h"

#include <QByteArray>
#include <QList>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pagrim::cli {

QString elideLeft(const QString& text, int width)
{
    if (textColumns(text) <= width)
        return text;
    const QString dots = QStringLiteral("...");
    int used = int(dots.size());
    qsizetype start = text.size();
    while (start > 0) {
        // A surrogate pair is one character.
        const qsizetype at = start >= 2 && text[start - 1].isLowSurrogate() ? start - 2 : start - 1;
        const int w = textColumns(QStringView(text).mid(at, start - at));
        if (used + w > width)
            break;
        used += w;
        start = at;
    }
    return width >= int(dots.size()) ? dots + text.mid(start) : QString();
}

QString padded(const QString& text, int width)
{
    return text + QString(qMax(0, width - textColumns(text)), QLatin1Char(' '));
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
