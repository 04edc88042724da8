#pragma once

#include "harvest/core/contentwait.h"
#include "harvest/core/pagefetcher.h"
#include "platform/errors.h"

#include <QByteArray>
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

// An address as an address bar takes it (addressUrl). Raises AddressRefused
// for an empty or malformed one.
QUrl checkedAddress(const QString& address);

// The status text while a page opens: " 正在打开网页 - <address> 请稍候... ".
QString openingStatus(const QString& address);

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
    // The loaded document, whole, as a page file holds it; empty, after
    // "保存 HTML 文件失败    " has been reported, when the browser has none to
    // hand out.
    virtual QByteArray TakeDocument() = 0;
    // The loaded document as TakeDocument gives it, for a run that reads the
    // page rather than saves it: no status text, and no box when there is none.
    virtual QByteArray ReadDocument() { return TakeDocument(); }
    // The absolute addresses of the loaded document's links, in document order.
    virtual QStringList Links() = 0;

    // OpenPage in two steps, so that a run can write and count one page while
    // the browser fetches the next: StartPage navigates without waiting (it
    // may raise AddressRefused at once), WaitPage waits as OpenPage does, and
    // DropPage gives up a started page that will not be waited for. A browser
    // that fetches nothing in the background opens the page in WaitPage.
    virtual void StartPage(const QString& address) { m_started = address; }
    virtual void WaitPage() { OpenPage(m_started); }
    virtual void DropPage() {}

    // How the page of the last wait ended and its HTTP status (0 where the
    // browser cannot tell), without its document; for the page log.
    virtual PageLoad LastLoad() const { return {}; }

    // What the pages waited for from now on must hold before their wait ends.
    // A browser that runs no script takes every page as its load ends.
    void SetContentRule(ContentRule rule) { m_content = std::move(rule); }
    const ContentRule& contentRule() const { return m_content; }

private:
    QString m_started;
    ContentRule m_content;
};

} // namespace pagrim::harvest
