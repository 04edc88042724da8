// The separator split of a result line: the first byte gives the separator's
// length (0 to 3), then the separator, then the line.
#include "extract/core/separator.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype n = qMin(qsizetype(data[0] % 4), qsizetype(size - 1));
    const QByteArray separator(reinterpret_cast<const char*>(data + 1), n);
    const QByteArray line(reinterpret_cast<const char*>(data + 1 + n), qsizetype(size) - 1 - n);
    const QList<QByteArray> parts = pagrim::extract::SplitBySeparator(line, separator);
    // The parts joined by the separator give the line back; an empty separator
    // gives the line as its one part.
    if (parts.isEmpty() || parts.join(separator) != line)
        __builtin_trap();
    if (separator.isEmpty() && parts.size() != 1)
        __builtin_trap();
    return 0;
}
