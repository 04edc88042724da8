#include "extract/core/pagetext.h"

#include "platform/codepage.h"

#include <cstring>

namespace pagrim::extract {

namespace {
const char* nextOf(const char* from, const char* end, char c)
{
    const void* at = std::memchr(from, c, size_t(end - from));
    return at ? static_cast<const char*>(at) : end;
}
} // namespace

QByteArray PageText(QByteArrayView file)
{
    const char* p = file.data();
    const char* const end = p + file.size();
    QByteArray out;
    out.reserve(file.size() + file.size() / 32 + 2);
    // The next CR and LF are looked up only when the walk has passed them.
    const char* cr = nextOf(p, end, '\r');
    const char* lf = nextOf(p, end, '\n');
    while (p < end) {
        const char* lineEnd = cr < lf ? cr : lf;
        out.append(p, lineEnd - p);
        out.append("\r\n", 2);
        if (lineEnd == end)
            break;
        p = lineEnd + (lineEnd == cr && lineEnd + 1 == lf ? 2 : 1);
        if (cr < p)
            cr = nextOf(p, end, '\r');
        if (lf < p)
            lf = nextOf(p, end, '\n');
    }
    return out;
}

Cut CutBetweenMarkers(QByteArrayView pageText, const Marker& start, const Marker& end)
{
    const qsizetype at = start.indexIn(pageText);
    if (at < 0)
        return {};
    const qsizetype valueStart = at + start.text().size();
    const qsizetype endAt = end.indexIn(pageText);
    if (endAt <= valueStart)
        return {};
    return {true, pageText.sliced(valueStart, endAt - valueStart)};
}

QByteArray ReplaceAtCharStarts(const QByteArray& text, QByteArrayView what, QByteArrayView with,
                               int codePage)
{
    if (what.isEmpty())
        return text;
    const QByteArrayMatcher matcher(what.data(), what.size());
    qsizetype at = matcher.indexIn(text.constData(), text.size(), 0);
    if (at < 0)
        return text;
    QByteArray out;
    out.reserve(text.size());
    qsizetype copied = 0;
    qsizetype ch = 0; // a character start, never beyond the next match
    while (at >= 0) {
        while (ch < at)
            ch += codepage::charLength(text, ch, codePage);
        if (ch == at) {
            out.append(text.constData() + copied, at - copied);
            out.append(with.data(), with.size());
            copied = ch = at + what.size();
        }
        at = matcher.indexIn(text.constData(), text.size(), ch);
    }
    out.append(text.constData() + copied, text.size() - copied);
    return out;
}

} // namespace pagrim::extract
