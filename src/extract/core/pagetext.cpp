#include "extract/core/pagetext.h"

#include "platform/codepage.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pagrim::extract {

QByteArray PageText(QByteArrayView file)
{
    QByteArray text;
    PageText(file, text);
    return text;
}

void PageText(QByteArrayView file, QByteArray& out)
{
    const char* p = file.data();
    const char* const end = p + file.size();
    // At most every byte a line end made two bytes, one more line end, and
    // room for the last sixteen-byte store.
    out.resize(file.size() * 2 + 2 + 16);
    char* o = out.data();
    const auto lineEnd = [&] {
        *o++ = '\r';
        *o++ = '\n';
        p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
    };
#ifdef __SSE2__
    // Sixteen bytes are copied and searched for CR or LF at a time.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), v);
        const int hits =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (hits == 0) {
            p += 16;
            o += 16;
            continue;
        }
        const int k = __builtin_ctz(unsigned(hits));
        p += k;
        o += k;
        lineEnd();
    }
#endif
    while (p < end) {
        if (*p == '\r' || *p == '\n')
            lineEnd();
        else
            *o++ = *p++;
    }
    // The last line is a line too, ended like the others.
    if (!file.isEmpty() && file.back() != '\r' && file.back() != '\n') {
        *o++ = '\r';
        *o++ = '\n';
    }
    out.truncate(o - out.constData());
}

qsizetype FindBytes(QByteArrayView text, QByteArrayView what, qsizetype from)
{
    if (what.isEmpty() || from < 0 || from > text.size())
        return -1;
    const void* at =
        memmem(text.data() + from, size_t(text.size() - from), what.data(), size_t(what.size()));
    return at ? static_cast<const char*>(at) - text.data() : -1;
}

Cut CutBetweenMarkers(QByteArrayView pageText, QByteArrayView start, QByteArrayView end)
{
    const qsizetype at = FindBytes(pageText, start);
    if (at < 0)
        return {};
    const CutSpan span = CutBetweenPlaces(at, start.size(), FindBytes(pageText, end));
    if (span.begin < 0)
        return {};
    return {true, pageText.sliced(span.begin, span.size())};
}

CutSpan CutBetweenPlaces(qsizetype startAt, qsizetype startSize, qsizetype endAt)
{
    if (startAt < 0)
        return {};
    const qsizetype valueStart = startAt + startSize;
    return endAt > valueStart ? CutSpan{valueStart, endAt} : CutSpan{};
}

QByteArray ReplaceAtCharStarts(const QByteArray& text, QByteArrayView what, QByteArrayView with,
                               int codePage)
{
    if (what.isEmpty())
        return text;
    qsizetype at = FindBytes(text, what);
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
        at = FindBytes(text, what, ch);
    }
    out.append(text.constData() + copied, text.size() - copied);
    return out;
}

} // namespace pagrim::extract
