#pragma once

#include "platform/errors.h"

#include <QString>
#include <QStringList>

namespace pagrim::harvest {

// An address the browser will not show as a page: empty or malformed, of a
// scheme it does not handle, or one that turns into a download. Page saving
// goes on past such a page; list generation ends with it.
class AddressRefused : public Error
{
public:
    using Error::Error;
};

// What a harvesting run needs of the browser. The window's browser driver is
// the real one; tests put a stand-in in its place.
class Browser
{
public:
    virtual ~Browser() = default;

    // Navigates to address and waits, letting events run, until the page's
    // top-level document has completed or the run is stopped. Raises
    // AddressRefused for an address the browser refuses; the browser then holds
    // no document of that page.
    virtual void OpenPage(const QString& address) = 0;
    // Whether the page of the last OpenPage has completed.
    virtual bool PageLoaded() const = 0;
    // Writes the loaded document to path, whole. When the browser has no
    // document to hand out it writes nothing, reports "保存 HTML 文件失败    "
    // and returns; a file that cannot be made raises pagrim::Error.
    virtual void SavePage(const QString& path) = 0;
    // The absolute addresses of the loaded document's links, in document order.
    virtual QStringList Links() = 0;
};

} // namespace pagrim::harvest
