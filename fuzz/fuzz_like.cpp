// The LIKE matcher on any text and pattern (split at the first NUL byte).
#include "platform/errors.h"
#include "store/likematcher.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    const QString pattern = QString::fromUtf8(nul < 0 ? QByteArray("%") : input.mid(nul + 1));
    try {
        const bool matched = pagrim::store::likeMatch(text, pattern);
        // The empty pattern matches only the empty text.
        if (pattern.isEmpty() && matched != text.isEmpty())
            __builtin_trap();
    } catch (const pagrim::DatabaseError&) {
        // A malformed pattern is refused, never a crash.
    }
    return 0;
}
