#include "harvest/browserdriver.h"

#include "harvest/browserprofile.h"
#include "harvest/hiddenpage.h"
#include "platform/errors.h"
#include "ui/guard.h"
#include "ui/messagebox.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <memory>
#include <optional>

namespace pagrim::harvest {

namespace {

const char LinksScript[] =
    "Array.prototype.map.call(document.links, function (a) { return a.href; })";

} // namespace

BrowserDriver::BrowserDriver(QWebEngineView* wbGet, StatusSink reportFailure, StatusSink showStatus,
                             RunningTest running, QObject* parent)
    : QObject(parent), m_view(wbGet), m_reportFailure(std::move(reportFailure)),
      m_showStatus(std::move(showStatus)), m_running(std::move(running))
{
    installPage();
}

BrowserDriver::~BrowserDriver() = default;

void BrowserDriver::installPage()
{
    if (!m_view)
        return;
    QWebEnginePage* old = m_page;
    auto* page = new HiddenPage(sharedBrowserProfile(), m_view);
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        ui::guarded([&] { loadingChanged(info); });
    });
    connect(page, &QWebEnginePage::urlChanged, this,
            [this](const QUrl& url) { ui::guarded([&] { urlChanged(url); }); });
    m_view->setPage(page);
    m_page = page;
    m_topFrame = false;
    m_awaitingStart = false;
    m_hasDocument = false;
    retirePage(old, this);
}

QWebEngineView* BrowserDriver::wbGet() const
{
    return m_view;
}

void BrowserDriver::loadingChanged(const QWebEngineLoadingInfo& info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
        wbGetNavigateComplete2();
    else
        wbGetDocumentComplete(info);
}

void BrowserDriver::wbGetNavigateComplete2()
{
    // Only the top-level load is reported; it stays the top frame until it ends,
    // also when a new navigation takes its place.
    m_topFrame = true;
    m_awaitingStart = false;
}

void BrowserDriver::wbGetDocumentComplete(const QWebEngineLoadingInfo& info)
{
    if (!m_topFrame)
        return;
    m_topFrame = false;
    m_lastLoad = loadEnding(info, m_view ? m_view->page()->url() : info.url());
    // A refused address leaves the old document in place. An error page is
    // a document like any other.
    if (m_lastLoad.ending == PageLoad::Ending::Refused) {
        m_refused = true;
        return;
    }
    m_hasDocument = true;
    complete();
}

void BrowserDriver::urlChanged(const QUrl& url)
{
    // Another fragment of the loaded document: the address changes before any
    // load has started, and no load follows.
    if (!m_awaitingStart || !m_hasDocument || !url.hasFragment() ||
        url.adjusted(QUrl::RemoveFragment) != m_target.adjusted(QUrl::RemoveFragment))
        return;
    m_awaitingStart = false;
    m_lastLoad = PageLoad();
    complete();
}

void BrowserDriver::complete()
{
    ui::Beep();
    m_pageLoaded = true;
}

void BrowserDriver::Navigate(const QString& address)
{
    const QUrl url = checkedAddress(address);
    if (!m_view)
        return;
    m_target = url;
    m_awaitingStart = true;
    m_view->page()->load(url);
}

void BrowserDriver::OpenPage(const QString& address)
{
    StartPage(address);
    WaitPage();
}

void BrowserDriver::StartPage(const QString& address)
{
    m_pageLoaded = false;
    m_refused = false;
    m_pageRefused = false;
    m_waiting = false;
    m_showStatus(openingStatus(address));
    // The page a stop cut short has still not completed: its renderer may be
    // caught in a script that never ends, and would hold this page too. A new
    // page starts on a renderer of its own.
    if (m_stoppedLoading && m_topFrame)
        installPage();
    m_stoppedLoading = false;
    // Copies, so that the loops read nothing of a driver destroyed under them.
    const RunningTest running = m_running;
    const QPointer<BrowserDriver> self(this);
    // A load still going (the blank page a new window opens with) ends first:
    // its end would count as that of the page asked for, whose own end the
    // toolkit reports only once a further load starts. A hung load is given
    // up on after a while. What the wait saw is not this page's.
    {
        QEventLoop loop;
        QTimer tick;
        tick.start(PreviousLoadTickMs);
        QElapsedTimer waited;
        waited.start();
        while (self && (m_awaitingStart || m_topFrame) && running() &&
               waited.elapsed() < PreviousLoadWaitMs)
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        if (!self)
            return;
    }
    m_pageLoaded = false;
    m_refused = false;
    m_waitedHtml.reset();
    m_waitAddress = address;
    m_lastLoad = PageLoad();
    try {
        Navigate(address);
    } catch (const AddressRefused&) {
        m_pageRefused = true;
        m_lastLoad.ending = PageLoad::Ending::Refused;
        throw;
    }
    m_waiting = true;
}

void BrowserDriver::WaitPage()
{
    if (!m_waiting)
        return;
    m_waiting = false;
    const RunningTest running = m_running;
    const QPointer<BrowserDriver> self(this);
    QEventLoop loop;
    // The first pass dispatches what is pending; the later ones sleep until
    // something arrives. The page may have completed before the wait began.
    for (QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;;
         flags = QEventLoop::WaitForMoreEvents) {
        if (!self || !m_view || m_pageLoaded || m_refused)
            break;
        loop.processEvents(flags);
        if (!self || !m_view || m_pageLoaded || m_refused || !running())
            break;
    }
    if (!self)
        return;
    if (m_pageLoaded && contentRule().waits() && running()) {
        waitForContent();
        if (!self)
            return;
    }
    m_stoppedLoading = m_view && !m_pageLoaded && !m_refused;
    if (m_refused && !m_pageLoaded) {
        // What the browser still shows is another page's document.
        m_pageRefused = true;
        throw AddressRefused(QStringLiteral("浏览器无法打开网页地址：\"%1\"").arg(m_waitAddress));
    }
}

void BrowserDriver::waitForContent()
{
    const RunningTest running = m_running;
    const QPointer<BrowserDriver> self(this);
    const QPointer<QWebEnginePage> page = m_view->page();
    ContentWaiter waiter;
    std::optional<QString> html;
    waiter.start(
        contentRule(),
        [page](const ContentWaiter::Answer& answer) {
            if (page)
                page->toHtml(answer);
            else
                answer(QString());
        },
        [&html](const QString& document) { html = document; });
    // A renderer that stops answering ends the wait as it ends TakeDocument's.
    QEventLoop loop;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    giveUp.start(contentRule().waitMs + ScriptTimeoutMs);
    while (self && m_view && !html && giveUp.isActive() && running())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    if (!self)
        return;
    if (html) {
        m_waitedHtml = html;
    } else if (giveUp.isActive()) {
        // Stopped: the page is left for the next run, as one stopped loading.
        m_pageLoaded = false;
    } else {
        m_waitedHtml = QString();
        installPage();
    }
}

void BrowserDriver::DropPage()
{
    // Left as a stop during the wait leaves it: the next page finds out
    // whether it ever completed.
    if (!m_waiting)
        return;
    m_waiting = false;
    m_stoppedLoading = m_view && !m_pageLoaded && !m_refused;
}

bool BrowserDriver::waitForResult(
    const std::function<void(std::function<void(const QVariant&)>)>& start, QVariant* result)
{
    // The callback may come after the wait has given up, or never.
    struct Pending
    {
        QEventLoop* loop = nullptr;
        bool done = false;
        QVariant value;
    };
    auto pending = std::make_shared<Pending>();
    QEventLoop loop;
    pending->loop = &loop;
    QTimer::singleShot(ScriptTimeoutMs, &loop, &QEventLoop::quit);
    connect(m_view, &QObject::destroyed, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);

    start([pending](const QVariant& value) {
        pending->done = true;
        pending->value = value;
        if (pending->loop)
            pending->loop->quit();
    });
    if (!pending->done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    pending->loop = nullptr;
    // A renderer that does not answer may be caught in a script that never
    // ends; the next page starts on a new one.
    if (!pending->done && m_view)
        installPage();
    if (pending->done)
        *result = pending->value;
    return pending->done;
}

QString BrowserDriver::documentHtml()
{
    QVariant html;
    bool handed = false;
    if (m_waitedHtml) {
        html = *m_waitedHtml;
        handed = !m_waitedHtml->isEmpty();
    } else if (m_view && m_hasDocument && !m_pageRefused) {
        QWebEnginePage* page = m_view->page();
        handed = waitForResult(
            [page](std::function<void(const QVariant&)> done) {
                page->toHtml([done](const QString& text) { done(text); });
            },
            &html);
    }
    return handed ? html.toString() : QString();
}

QByteArray BrowserDriver::TakeDocument()
{
    m_showStatus(QStringLiteral(" 正在保存网页到文件，请稍候... "));
    QByteArray document = documentBytes(documentHtml());
    if (document.isEmpty())
        m_reportFailure(QStringLiteral("保存 HTML 文件失败    "));
    if (document.isEmpty() && m_lastLoad.ending == PageLoad::Ending::Loaded)
        m_lastLoad.ending = PageLoad::Ending::NoDocument;
    return document;
}

QByteArray BrowserDriver::ReadDocument()
{
    return documentBytes(documentHtml());
}

QStringList BrowserDriver::Links()
{
    QVariant value;
    bool answered = false;
    if (m_view && m_hasDocument && !m_pageRefused) {
        QWebEnginePage* page = m_view->page();
        answered = waitForResult(
            [page](std::function<void(const QVariant&)> done) {
                // A world of its own: the page's scripts cannot change what is read.
                page->runJavaScript(QString::fromLatin1(LinksScript),
                                    QWebEngineScript::ApplicationWorld, done);
            },
            &value);
    }
    if (!answered || value.typeId() != QMetaType::QVariantList)
        throw Error(QStringLiteral("无法读取网页中的链接"));
    QStringList links;
    for (const QVariant& v : value.toList())
        links.append(v.toString());
    return links;
}

} // namespace pagrim::harvest
