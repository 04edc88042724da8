#pragma once

#include <QByteArray>
#include <QString>
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
    };
    Ending ending = Ending::Loaded;
    // The HTTP status; 0 where the browser cannot tell one.
    int status = 0;
    // The document as a page file holds it, when the page loaded.
    QByteArray document;
};

// Browser pages of the one browser profile that load pages side by side, for
// a saving run that keeps several pages in flight.
class PageFetcher
{
public:
    using Done = std::function<void(const PageLoad&)>;

    virtual ~PageFetcher() = default;

    // How many pages can load at once; slots are numbered from 0.
    virtual int slotCount() const = 0;
    // Starts loading address in a free slot and returns at once. done is called
    // once, from the event loop and never from within start, when the load has
    // ended and its document has been taken; unless stop(slot) comes first.
    virtual void start(int slot, const QString& address, Done done) = 0;
    // Ends the load in slot at once; its done is never called afterwards. A
    // free slot is left as it is.
    virtual void stop(int slot) = 0;
};

} // namespace pagrim::harvest
