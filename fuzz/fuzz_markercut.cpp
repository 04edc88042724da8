// The marker cut on the page text of any page file, and the shown text of what
// it cuts: the input holds the start marker, the end marker and the page bytes,
// split at the first two NUL bytes.
#include "extract/core/pagetext.h"
#include "extract/core/shown.h"
#include "platform/codepage.h"

#include <QByteArray>
#include <QList>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> parts = input.split('\0');
    const QByteArray start = parts.value(0);
    const QByteArray end = parts.value(1);
    const QByteArray page = parts.size() > 2 ? input.mid(start.size() + end.size() + 2) : input;

    const QByteArray text = pagrim::extract::PageText(page);
    // The page text ends with CR LF unless empty, and the text kept in storage
    // used again is the same.
    if (!text.isEmpty() && !text.endsWith("\r\n"))
        __builtin_trap();
    QByteArray again = "left over from an earlier page";
    pagrim::extract::PageText(page, again);
    if (again != text)
        __builtin_trap();
    const pagrim::extract::Cut cut = pagrim::extract::CutBetweenMarkers(text, start, end);
    if (cut.found) {
        // A value lies inside the page text, right after the first start marker,
        // is not empty, and is followed by the first end marker.
        const qsizetype at = cut.value.data() - text.constData();
        if (start.isEmpty() || end.isEmpty() || cut.value.isEmpty() || at < 0 ||
            at + cut.value.size() > text.size() || text.indexOf(start) + start.size() != at ||
            text.indexOf(end) != at + cut.value.size())
            __builtin_trap();
        // Its shown text, in either code page: one blank between words, none
        // at the ends, no line break or TAB.
        for (const int codePage : {pagrim::codepage::Gbk, pagrim::codepage::Utf8}) {
            const QByteArray shown = pagrim::extract::ShownValue(cut.value, codePage);
            if (shown.startsWith(' ') || shown.endsWith(' ') || shown.contains("  ") ||
                shown.contains('\r') || shown.contains('\n') || shown.contains('\t'))
                __builtin_trap();
        }
    }
    return 0;
}
