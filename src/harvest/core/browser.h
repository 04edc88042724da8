#pragma once

#include <QString>
#include <QStringList>

namespace pagrim::harvest {

// What a harvesting run needs of the browser. The window's browser driver is
// the real one; tests put a stand-in in its place.
class Browser
{
public:
    virtual ~Browser() = default;

    // Navigates to address and waits, letting events run, until the page's
    // top-level document has completed or the run is stopped. Raises
    // pagrim::Error for an address the browser refuses.
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
