#include "harvest/browserpool.h"

#include "harvest/browserdriver.h"
#include "harvest/browserprofile.h"
#include "harvest/hiddenpage.h"
#include "ui/guard.h"

#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWidget>

namespace pagrim::harvest {

namespace {

// Tells, from the event loop, when a page's own request leaves: the request
// of its top-level document, redirects included.
class RequestWatch : public QWebEngineUrlRequestInterceptor
{
public:
    RequestWatch(std::function<void()> sent, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), m_sent(std::move(sent))
    {
    }
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            QMetaObject::invokeMethod(this, m_sent, Qt::QueuedConnection);
    }

private:
    std::function<void()> m_sent;
};

} // namespace

struct BrowserPool::Slot
{
    enum class State
    {
        Free,
        Navigating, // load() has been called; its load has not yet started
        Loading,
        Serializing, // toHtml has been asked for and has not answered
        Ended,       // done is posted
    };
    QPointer<QWebEnginePage> page;
    State state = State::Free;
    // A top-level load of the page is going on, also one nobody asked for (a
    // script's navigation after the page loaded).
    bool pageLoading = false;
    // Counts starts and stops: what arrives for an earlier one is dropped.
    quint64 serial = 0;
    quint64 sentSerial = 0; // the serial whose request is told as sent
    Done done;
    Sent sent;
    PageLoad result;
    QString html;
    QTimer scriptTimer;
    ContentWaiter waiter;
};

BrowserPool::BrowserPool(int slots, QObject* parent) : QObject(parent)
{
    for (int i = 0; i < slots; ++i) {
        m_slots.push_back(std::make_unique<Slot>());
        Slot& s = *m_slots.back();
        s.scriptTimer.setSingleShot(true);
        s.scriptTimer.setInterval(BrowserDriver::ScriptTimeoutMs);
        connect(&s.scriptTimer, &QTimer::timeout, this, [this, i] {
            // The renderer does not answer: the slot goes on with a new one.
            htmlTaken(i, m_slots[i]->serial, QString());
            installPage(i);
        });
        installPage(i);
    }
}

BrowserPool::~BrowserPool()
{
    // The pages go before the slots their late answers would look up.
    for (const auto& s : m_slots) {
        ++s->serial;
        retirePage(s->page, this);
    }
}

int BrowserPool::slotCount() const
{
    return int(m_slots.size());
}

void BrowserPool::installPage(int slot)
{
    Slot& s = *m_slots[slot];
    QWebEnginePage* old = s.page;
    auto* page = new HiddenPage(sharedBrowserProfile(), this);
    connect(page, &QWebEnginePage::loadingChanged, this,
            [this, slot](const QWebEngineLoadingInfo& info) {
                ui::guarded([&] { loadingChanged(slot, info); });
            });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this, slot] { ui::guarded([&] { rendererGone(slot); }); });
    page->setUrlRequestInterceptor(
        new RequestWatch([this, slot] { ui::guarded([&] { requestSent(slot); }); }, page));
    s.page = page;
    s.pageLoading = false;
    retirePage(old, this);
}

void BrowserPool::start(int slot, const QString& address, Done done, Sent sent)
{
    Slot& s = *m_slots[slot];
    ++s.serial;
    s.scriptTimer.stop();
    s.waiter.stop();
    s.done = std::move(done);
    s.sent = std::move(sent);
    s.html.clear();
    try {
        const QUrl url = checkedAddress(address);
        // A load going on would be taken for this one; and another fragment of
        // the page shown only scrolls it, with no load to wait for.
        if (s.pageLoading || (s.state != Slot::State::Free && s.state != Slot::State::Ended) ||
            (s.page && url.hasFragment() &&
             s.page->url().adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment)))
            installPage(slot);
        s.state = Slot::State::Navigating;
        s.page->load(url);
    } catch (const AddressRefused&) {
        PageLoad refused;
        refused.ending = PageLoad::Ending::Refused;
        end(slot, refused);
    }
}

void BrowserPool::stop(int slot)
{
    Slot& s = *m_slots[slot];
    if (s.state == Slot::State::Free)
        return;
    ++s.serial;
    s.scriptTimer.stop();
    s.waiter.stop();
    s.done = nullptr;
    s.sent = nullptr;
    if (s.state != Slot::State::Ended)
        installPage(slot);
    s.state = Slot::State::Free;
}

void BrowserPool::loadingChanged(int slot, const QWebEngineLoadingInfo& info)
{
    Slot& s = *m_slots[slot];
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        s.pageLoading = true;
        if (s.state == Slot::State::Navigating)
            s.state = Slot::State::Loading;
        return;
    }
    s.pageLoading = false;
    // An end without a start is this load's too: a load that fails at once
    // may not tell of its start.
    if (s.state != Slot::State::Loading && s.state != Slot::State::Navigating)
        return;
    const PageLoad load = loadEnding(info, s.page->url());
    if (load.ending != PageLoad::Ending::Loaded) {
        end(slot, load);
        return;
    }
    s.state = Slot::State::Serializing;
    s.result = load;
    const quint64 serial = s.serial;
    // The answer may come after the pool has gone, from a page kept a while.
    const QPointer<BrowserPool> self(this);
    const QPointer<QWebEnginePage> page = s.page;
    // Each read of the document has the time a script's answer has.
    const auto look = [self, slot, serial, page](const ContentWaiter::Answer& answer) {
        if (!self || !page)
            return answer(QString());
        self->m_slots[slot]->scriptTimer.start();
        page->toHtml([self, slot, serial, answer](const QString& html) {
            if (self && self->m_slots[slot]->serial == serial)
                self->m_slots[slot]->scriptTimer.stop();
            answer(html);
        });
    };
    if (!contentRule().waits())
        return look([self, slot, serial](const QString& html) {
            if (self)
                self->htmlTaken(slot, serial, html);
        });
    s.waiter.start(contentRule(), look,
                   [this, slot, serial](const QString& html) { htmlTaken(slot, serial, html); });
}

void BrowserPool::requestSent(int slot)
{
    Slot& s = *m_slots[slot];
    if (s.sentSerial == s.serial ||
        (s.state != Slot::State::Navigating && s.state != Slot::State::Loading))
        return;
    s.sentSerial = s.serial;
    if (s.sent)
        ui::guarded([&] { s.sent(); });
}

void BrowserPool::rendererGone(int slot)
{
    Slot& s = *m_slots[slot];
    if (s.state == Slot::State::Free || s.state == Slot::State::Ended)
        return;
    // Its load will never end: it ends as one that ran out of time, and the
    // slot goes on with a new page.
    installPage(slot);
    PageLoad lost;
    lost.ending = PageLoad::Ending::TimedOut;
    end(slot, lost);
}

void BrowserPool::htmlTaken(int slot, quint64 serial, const QString& html)
{
    Slot& s = *m_slots[slot];
    if (s.serial != serial || s.state != Slot::State::Serializing)
        return;
    s.scriptTimer.stop();
    s.html = html;
    end(slot, s.result);
}

void BrowserPool::end(int slot, const PageLoad& load)
{
    Slot& s = *m_slots[slot];
    s.waiter.stop();
    s.state = Slot::State::Ended;
    s.result = load;
    const quint64 serial = s.serial;
    QTimer::singleShot(0, this, [this, slot, serial] { deliver(slot, serial); });
}

void BrowserPool::deliver(int slot, quint64 serial)
{
    Slot& s = *m_slots[slot];
    if (s.serial != serial || s.state != Slot::State::Ended)
        return;
    PageLoad load = s.result;
    // A missing document is logged, with no box to hold the other pages up.
    if (load.ending == PageLoad::Ending::Loaded) {
        load.document = documentBytes(s.html);
        if (load.document.isEmpty())
            load.ending = PageLoad::Ending::NoDocument;
    }
    s.html.clear();
    s.state = Slot::State::Free;
    const Done done = std::move(s.done);
    s.done = nullptr;
    s.sent = nullptr;
    ui::guarded([&] { done(load); });
}

} // namespace pagrim::harvest
