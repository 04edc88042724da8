#pragma once

#include "harvest/core/contentwait.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>

namespace pagrim::harvest {

// How the load of a page ended, as the browser tells it.
struct PageLoad
{
    enum class Ending
    {
        Loaded,      // the page completed and its document was taken
        HttpError,   // the server answered with a 4xx or 5xx status
        Unreachable, // no answer: refused connection, unknown host, reset
        Refused,     // an address the browser will not show as a page
        NoDocument,  // completed, but the browser handed out no document
        TimedOut,    // not ended in time, or its end will never come
    };
    Ending ending = Ending::Loaded;
    // The HTTP status; 0 where the browser cannot tell one.
    int status = 0;
    // The document as a page file holds it, when the page loaded.
    QByteArray document;
    // Where the load ended, after redirects; empty where it went nowhere.
    QUrl address;
};

// The address an address bar makes of a text: one without a scheme
// ("www.site.com/list_1.htm", "127.0.0.1:80/a.htm") is an http address.
QUrl addressUrl(const QString& address);
// The host a request for address goes to, in lower case.
QString hostOf(const QString& address);

// Browser pages of the one browser profile that load pages side by side, for
// a saving run that keeps several pages in flight.
class PageFetcher
{
public:
    using Done = std::function<void(const PageLoad&)>;
    using Sent = std::function<void()>;

    virtual ~PageFetcher() = default;

    // How many pages can load at once; slots are numbered from 0.
    virtual int slotCount() const = 0;
    // Starts loading address in a free slot and returns at once. sent is
    // called at most once, from the event loop, when the page's request leaves
    // for the site; done once, from the event loop and never from within
    // start, when the load has ended and its document has been taken. Neither
    // comes after stop(slot).
    virtual void start(int slot, const QString& address, Done done, Sent sent) = 0;
    // Ends the load in slot at once; its done is never called afterwards. A
    // free slot is left as it is.
    virtual void stop(int slot) = 0;

    // What the pages started from now on must hold before their load counts
    // as ended; the wait is part of the load. A fetcher that runs no script
    // ends every load as its answer comes.
    void setContentRule(ContentRule rule) { m_content = std::move(rule); }
    const ContentRule& contentRule() const { return m_content; }

private:
    ContentRule m_content;
};

} // namespace pagrim::harvest
