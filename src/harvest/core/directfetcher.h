#pragma once

#include "harvest/core/browser.h"
#include "harvest/core/pagefetcher.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

namespace pagrim::harvest {

// The cookies a fetch without the browser sends and keeps, each as a line of
// a Netscape cookie file: domain (a leading dot where subdomains share it,
// "#HttpOnly_" before it for an HttpOnly cookie), subdomains TRUE or FALSE,
// path, secure TRUE or FALSE, expiry (seconds since 1970, 0 for the session),
// name and value, separated by TAB.
class CookieJar
{
public:
    virtual ~CookieJar() = default;
    // Every cookie the jar holds now.
    virtual QList<QByteArray> cookieLines() = 0;
    // A cookie a response set, or changed.
    virtual void storeCookieLine(const QByteArray& line) = 0;
};

// A page the direct fetch took: the response after redirects, its body
// decoded by its charset into the program code page as the browser's pages
// are written.
struct DirectPage
{
    PageLoad load;
    QString text;        // the decoded body of an HTML answer
    QByteArray encoding; // the encoding it was decoded from
};

// Pages fetched with plain HTTP requests (libcurl), without a browser: no
// script runs. Slots load side by side, with at most as many connections to
// one host; redirects are followed (up to 20), compressed bodies decoded,
// HTTP/2 used where the site offers it, and the proxy of the environment
// honoured. Cookies come from the jar and those that answers set go back to
// it. An answer that is not HTML is refused (not saved); an HTTP error
// status is an HttpError, no answer at all Unreachable.
class DirectFetcher : public QObject, public PageFetcher
{
public:
    DirectFetcher(int slots, CookieJar* jar, QByteArray userAgent, QObject* parent = nullptr);
    ~DirectFetcher() override;

    int slotCount() const override;
    void start(int slot, const QString& address, Done done, Sent sent) override;
    void stop(int slot) override;

    // The page of slot's last load, whole: for a caller that wants its
    // address and text rather than its file.
    const DirectPage& lastPage(int slot) const;

    struct Transfer;
    struct Socket;

private:
    void socketAction(int socket, int events);
    void finished();
    void end(int slot, int curlCode);
    // Hands the slot's load to its done from the event loop.
    void deliver(int slot);
    void takeCookies(void* easy);

    void* m_multi = nullptr;
    void* m_share = nullptr;
    CookieJar* m_jar;
    QByteArray m_userAgent;
    std::vector<std::unique_ptr<Transfer>> m_slots;
    QHash<QByteArray, QByteArray> m_cookies; // line by domain, path and name
    QTimer m_timer;

    friend int onSocket(void*, int, int, void*, void*);
    friend int onTimer(void*, long, void*);
};

// The browser of a run without one, for the list pages: a page is fetched as
// DirectFetcher does, its links read from its HTML. No script runs.
class DirectBrowser : public Browser
{
public:
    using StatusSink = std::function<void(const QString&)>;
    using RunningTest = std::function<bool()>;

    DirectBrowser(CookieJar* jar, QByteArray userAgent, StatusSink showStatus, RunningTest running);

    void OpenPage(const QString& address) override;
    bool PageLoaded() const override { return m_loaded; }
    QByteArray TakeDocument() override;
    QStringList Links() override;
    PageLoad LastLoad() const override { return m_fetcher.lastPage(0).load; }

private:
    DirectFetcher m_fetcher;
    StatusSink m_showStatus;
    RunningTest m_running;
    bool m_loaded = false;
};

} // namespace pagrim::harvest
