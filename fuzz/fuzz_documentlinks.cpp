// Pages fetched without the browser: any bytes read as a page, its text in
// the encoding found for it, and its links.
#include "harvest/core/bodytext.h"
#include "harvest/core/documentlinks.h"

#include <QByteArray>
#include <QUrl>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A first line of up to 64 bytes stands for the Content-Type header.
    QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));
    QByteArray contentType;
    const qsizetype lineEnd = page.indexOf('\n');
    if (lineEnd >= 0 && lineEnd <= 64) {
        contentType = page.left(lineEnd);
        page.remove(0, lineEnd + 1);
    }
    const QByteArray encoding = pagrim::harvest::bodyEncoding(page, contentType);
    const QStringList links =
        pagrim::harvest::documentLinks(pagrim::harvest::decodeBody(page, contentType),
                                       QUrl(QStringLiteral("http://h/d/p.htm")), encoding);
    // No link is empty or a script.
    for (const QString& link : links)
        if (link.isEmpty() || link.startsWith(QStringLiteral("javascript:")))
            __builtin_trap();
    return 0;
}
