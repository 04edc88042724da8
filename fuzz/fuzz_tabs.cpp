// The separator made TAB where a character begins, in code page 936: the first
// byte gives the separator's length (1 to 3), then the separator, then the text.
#include "extract/core/pagetext.h"
#include "platform/codepage.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace pagrim;
    if (size < 2)
        return 0;
    const qsizetype n = qMin(qsizetype(data[0] % 3 + 1), qsizetype(size - 1));
    const QByteArray sep(reinterpret_cast<const char*>(data + 1), n);
    const QByteArray text(reinterpret_cast<const char*>(data + 1 + n), qsizetype(size) - 1 - n);
    const QByteArray out = extract::ReplaceAtCharStarts(text, sep, "\t", codepage::Gbk);
    // Nothing grows but by the TABs, and with no occurrence at all nothing changes.
    if (out.size() > text.size() + text.count('\0') + text.size())
        __builtin_trap();
    if (!text.contains(sep) && out != text)
        __builtin_trap();
    // Putting the separator back where TABs were added gives the text again
    // when the text held no TAB of its own and the separator no TAB.
    if (!text.contains('\t') && !sep.contains('\t')) {
        QByteArray back = out;
        back.replace('\t', sep);
        if (back != text)
            __builtin_trap();
    }
    return 0;
}
