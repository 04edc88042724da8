// The page list reader: the lines of any bytes, and the file read back.
#include "harvest/core/pagelist.h"
#include "platform/codepage.h"
#include "platform/text.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> lines = pagrim::splitLines(input);
    // No line holds a line end, and the lines joined again give the input with
    // every line end made CR LF.
    QByteArray joined;
    for (const QByteArray& line : lines) {
        if (line.contains('\r') || line.contains('\n'))
            __builtin_trap();
        joined += line + "\r\n";
    }
    QByteArray normal = input;
    normal.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
    if (!normal.isEmpty() && !normal.endsWith("\r\n"))
        normal += "\r\n";
    if (joined != normal)
        __builtin_trap();
    // The earlier count of duplicates read from a summary line is never negative.
    pagrim::codepage::setCurrentForTesting(pagrim::codepage::Gbk);
    if (!lines.isEmpty() &&
        pagrim::harvest::summaryDuplicates(pagrim::codepage::toUnicode(lines.last())) < 0)
        __builtin_trap();
    const auto gauge = pagrim::harvest::pageListGauge(int(lines.size()), int(size) - 100);
    if (gauge.position < 0 || gauge.position > gauge.maximum)
        __builtin_trap();
    return 0;
}
