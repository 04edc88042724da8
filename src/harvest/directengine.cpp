#include "harvest/directengine.h"

#include "harvest/browserpool.h"
#include "harvest/browserprofile.h"
#include "store/dataset.h"
#include "store/taskoptions.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QNetworkCookie>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace pagrim::harvest {

namespace {

// How long the profile's cookies may take to come in from its store, and the
// quiet after the last one that says they are all in.
constexpr int CookieLoadMostMs = 3000;
constexpr int CookieLoadQuietMs = 150;

const QByteArray HttpOnlyMark = "#HttpOnly_";

QByteArray cookieLine(const QNetworkCookie& cookie)
{
    const QByteArray domain = cookie.domain().toUtf8();
    const QByteArray path = cookie.path().isEmpty() ? QByteArray("/") : cookie.path().toUtf8();
    const qint64 expires =
        cookie.isSessionCookie() ? 0 : cookie.expirationDate().toSecsSinceEpoch();
    return (cookie.isHttpOnly() ? HttpOnlyMark : QByteArray()) + domain + '\t' +
           (domain.startsWith('.') ? "TRUE" : "FALSE") + '\t' + path + '\t' +
           (cookie.isSecure() ? "TRUE" : "FALSE") + '\t' + QByteArray::number(expires) + '\t' +
           cookie.name() + '\t' + cookie.value();
}

// The cookie of a line, with the address it belongs to; none for a line
// that does not read as one.
bool readCookieLine(QByteArray line, QNetworkCookie& cookie, QUrl& origin)
{
    const bool httpOnly = line.startsWith(HttpOnlyMark);
    if (httpOnly)
        line.remove(0, HttpOnlyMark.size());
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() < 7 || fields[0].isEmpty())
        return false;
    const bool subdomains = fields[1] == "TRUE";
    const QByteArray host = fields[0].startsWith('.') ? fields[0].mid(1) : fields[0];
    cookie = QNetworkCookie(fields[5], fields[6]);
    // A cookie of the host alone has no domain of its own: the origin names it.
    cookie.setDomain(subdomains ? QString::fromUtf8('.' + host) : QString());
    cookie.setPath(QString::fromUtf8(fields[2]));
    cookie.setSecure(fields[3] == "TRUE");
    cookie.setHttpOnly(httpOnly);
    const qint64 expires = fields[4].toLongLong();
    if (expires > 0)
        cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(expires));
    origin = QUrl(QStringLiteral("%1://%2/")
                      .arg(cookie.isSecure() ? QStringLiteral("https") : QStringLiteral("http"),
                           QString::fromUtf8(host)));
    return true;
}

class ProfileCookies : public QObject, public CookieJar
{
public:
    ProfileCookies() : QObject(retiredPages())
    {
        QWebEngineCookieStore* store = sharedBrowserProfile()->cookieStore();
        connect(store, &QWebEngineCookieStore::cookieAdded, this,
                [this](const QNetworkCookie& cookie) {
                    m_cookies.insert(key(cookie), cookie);
                    m_lastChange.start();
                });
        connect(store, &QWebEngineCookieStore::cookieRemoved, this,
                [this](const QNetworkCookie& cookie) { m_cookies.remove(key(cookie)); });
        m_loading.start();
        m_lastChange.start();
        // Only cookies the store has not told of yet are told again: the jar
        // is made with the profile, before any page sets one.
        store->loadAllCookies();
    }

    QList<QByteArray> cookieLines() override
    {
        // The store tells its cookies one by one and never that it is done.
        QEventLoop loop;
        QTimer tick;
        connect(&tick, &QTimer::timeout, &loop, [&] {
            if (m_loading.elapsed() >= CookieLoadMostMs ||
                m_lastChange.elapsed() >= CookieLoadQuietMs)
                loop.quit();
        });
        tick.start(10);
        if (m_loading.elapsed() < CookieLoadMostMs && m_lastChange.elapsed() < CookieLoadQuietMs)
            loop.exec();
        QList<QByteArray> lines;
        for (const QNetworkCookie& cookie : std::as_const(m_cookies))
            lines.append(cookieLine(cookie));
        return lines;
    }

    void storeCookieLine(const QByteArray& line) override
    {
        QNetworkCookie cookie;
        QUrl origin;
        if (readCookieLine(line, cookie, origin))
            sharedBrowserProfile()->cookieStore()->setCookie(cookie, origin);
    }

private:
    static QByteArray key(const QNetworkCookie& cookie)
    {
        return cookie.domain().toUtf8() + '\t' + cookie.path().toUtf8() + '\t' + cookie.name();
    }

    QHash<QByteArray, QNetworkCookie> m_cookies;
    QElapsedTimer m_loading;
    QElapsedTimer m_lastChange;
};

} // namespace

CookieJar& profileCookies()
{
    // Owned with the retired pages: it goes before the profile does.
    static QPointer<ProfileCookies> jar;
    if (!jar)
        jar = new ProfileCookies;
    return *jar;
}

QByteArray profileUserAgent()
{
    return sharedBrowserProfile()->httpUserAgent().toUtf8();
}

bool usesDirectEngine(store::DataSet& task)
{
    return store::readTaskOptions(task.connection(),
                                  task.field(QStringLiteral("TaskID")).asInteger())
        .direct();
}

std::unique_ptr<Browser> directBrowser(DirectBrowser::StatusSink showStatus,
                                       DirectBrowser::RunningTest running)
{
    return std::make_unique<DirectBrowser>(&profileCookies(), profileUserAgent(),
                                           std::move(showStatus), std::move(running));
}

void withListBrowser(store::DataSet& task, Browser& browser, DirectBrowser::StatusSink showStatus,
                     DirectBrowser::RunningTest running, const std::function<void(Browser&)>& work)
{
    if (!usesDirectEngine(task))
        return work(browser);
    const std::unique_ptr<Browser> direct =
        directBrowser(std::move(showStatus), std::move(running));
    work(*direct);
}

PageSaver::FetcherMaker pageFetchers(bool direct)
{
    if (direct)
        return [](int slots, bool) -> std::unique_ptr<PageFetcher> {
            return std::make_unique<DirectFetcher>(slots, &profileCookies(), profileUserAgent());
        };
    return [](int slots, bool sideBySide) -> std::unique_ptr<PageFetcher> {
        if (!sideBySide)
            return nullptr;
        return std::make_unique<BrowserPool>(slots);
    };
}

} // namespace pagrim::harvest
