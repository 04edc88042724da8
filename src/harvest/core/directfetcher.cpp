#include "harvest/core/directfetcher.h"

#include "harvest/core/bodytext.h"
#include "harvest/core/documentlinks.h"
#include "platform/codepage.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <curl/curl.h>

namespace pagrim::harvest {

namespace {

constexpr long MaxRedirects = 20;
// How often a wait for a list page asks whether the run is to stop.
constexpr int StopCheckMs = 20;

// The key of a cookie line: its domain, path and name.
QByteArray cookieKey(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() < 7)
        return QByteArray();
    return fields[0] + '\t' + fields[2] + '\t' + fields[5];
}

PageLoad::Ending endingOf(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return PageLoad::Ending::Loaded;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return PageLoad::Ending::Refused;
    case CURLE_OPERATION_TIMEDOUT:
        return PageLoad::Ending::TimedOut;
    default:
        return PageLoad::Ending::Unreachable;
    }
}

} // namespace

struct DirectFetcher::Transfer
{
    DirectFetcher* owner = nullptr;
    CURL* easy = nullptr;
    Done done;
    Sent sent;
    bool told = false; // sent has been called
    quint64 serial = 0;
    QByteArray body;
    QByteArray contentType;
    DirectPage page;
};

// The notifiers of one socket curl watches.
struct DirectFetcher::Socket
{
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
};

int onSocket(void*, int socket, int what, void* user, void* assigned)
{
    auto* self = static_cast<DirectFetcher*>(user);
    auto* watch = static_cast<DirectFetcher::Socket*>(assigned);
    if (what == CURL_POLL_REMOVE) {
        curl_multi_assign(self->m_multi, socket, nullptr);
        if (watch) {
            // Notifiers may be within their own signal: they go later.
            watch->read->setEnabled(false);
            watch->write->setEnabled(false);
            watch->read.release()->deleteLater();
            watch->write.release()->deleteLater();
            delete watch;
        }
        return 0;
    }
    if (!watch) {
        watch = new DirectFetcher::Socket;
        watch->read = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        watch->write = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
        QObject::connect(watch->read.get(), &QSocketNotifier::activated, self,
                         [self, socket] { self->socketAction(socket, CURL_CSELECT_IN); });
        QObject::connect(watch->write.get(), &QSocketNotifier::activated, self,
                         [self, socket] { self->socketAction(socket, CURL_CSELECT_OUT); });
        curl_multi_assign(self->m_multi, socket, watch);
    }
    watch->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int onTimer(void*, long ms, void* user)
{
    auto* self = static_cast<DirectFetcher*>(user);
    if (ms < 0)
        self->m_timer.stop();
    else
        self->m_timer.start(int(ms));
    return 0;
}

namespace {

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    static_cast<DirectFetcher::Transfer*>(user)->body.append(data, qsizetype(size * count));
    return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<DirectFetcher::Transfer*>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    // Each answer of a redirect chain starts anew: the last one's counts.
    if (line.startsWith("HTTP/")) {
        transfer->contentType.clear();
        transfer->body.clear();
    } else if (line.toLower().startsWith("content-type:")) {
        transfer->contentType = line.mid(13).trimmed();
    }
    return size * count;
}

// Called as the request is about to leave, its connection made.
int onRequest(void* user, char*, char*, int, int)
{
    auto* transfer = static_cast<DirectFetcher::Transfer*>(user);
    if (!transfer->told && transfer->sent) {
        transfer->told = true;
        // Told from the event loop, and only while the load is still the one
        // whose request left: a stop or a new start in between drops it.
        QMetaObject::invokeMethod(
            transfer->owner,
            [transfer, serial = transfer->serial] {
                if (transfer->serial == serial && transfer->sent)
                    transfer->sent();
            },
            Qt::QueuedConnection);
    }
    return CURL_PREREQFUNC_OK;
}

} // namespace

DirectFetcher::DirectFetcher(int slots, CookieJar* jar, QByteArray userAgent, QObject* parent)
    : QObject(parent), m_jar(jar), m_userAgent(std::move(userAgent))
{
    static const CURLcode global = curl_global_init(CURL_GLOBAL_DEFAULT);
    Q_UNUSED(global);
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(slots));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { socketAction(CURL_SOCKET_TIMEOUT, 0); });
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    for (int i = 0; i < slots; ++i) {
        m_slots.push_back(std::make_unique<Transfer>());
        m_slots.back()->owner = this;
    }
    if (m_jar) {
        // The jar's cookies go into the store the transfers share.
        CURL* loader = curl_easy_init();
        curl_easy_setopt(loader, CURLOPT_SHARE, m_share);
        curl_easy_setopt(loader, CURLOPT_COOKIEFILE, "");
        for (const QByteArray& line : m_jar->cookieLines()) {
            curl_easy_setopt(loader, CURLOPT_COOKIELIST, line.constData());
            m_cookies.insert(cookieKey(line), line);
        }
        curl_easy_cleanup(loader);
    }
}

DirectFetcher::~DirectFetcher()
{
    for (int i = 0; i < int(m_slots.size()); ++i)
        stop(i);
    curl_multi_cleanup(m_multi);
    curl_share_cleanup(m_share);
}

int DirectFetcher::slotCount() const
{
    return int(m_slots.size());
}

const DirectPage& DirectFetcher::lastPage(int slot) const
{
    return m_slots[size_t(slot)]->page;
}

void DirectFetcher::start(int slot, const QString& address, Done done, Sent sent)
{
    Transfer& t = *m_slots[size_t(slot)];
    stop(slot);
    ++t.serial;
    t.done = std::move(done);
    t.sent = std::move(sent);
    t.told = false;
    t.body.clear();
    t.contentType.clear();
    t.page = DirectPage();
    QUrl url;
    try {
        url = checkedAddress(address);
    } catch (const AddressRefused&) {
    }
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) {
        t.page.load.ending = PageLoad::Ending::Refused;
        deliver(slot);
        return;
    }
    CURL* easy = curl_easy_init();
    t.easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, m_userAgent.constData());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &t);
    curl_multi_add_handle(m_multi, easy);
}

void DirectFetcher::stop(int slot)
{
    Transfer& t = *m_slots[size_t(slot)];
    ++t.serial;
    t.done = nullptr;
    t.sent = nullptr;
    if (!t.easy)
        return;
    curl_multi_remove_handle(m_multi, t.easy);
    curl_easy_cleanup(t.easy);
    t.easy = nullptr;
}

void DirectFetcher::socketAction(int socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, curl_socket_t(socket), events, &running);
    finished();
}

void DirectFetcher::finished()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        for (int slot = 0; slot < int(m_slots.size()); ++slot) {
            if (m_slots[size_t(slot)]->easy == message->easy_handle) {
                end(slot, int(message->data.result));
                break;
            }
        }
    }
}

void DirectFetcher::end(int slot, int curlCode)
{
    Transfer& t = *m_slots[size_t(slot)];
    CURL* easy = t.easy;
    DirectPage& page = t.page;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    char* effective = nullptr;
    curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    page.load.address = QUrl::fromEncoded(QByteArray(effective));
    page.load.status = int(status);
    page.load.ending = endingOf(CURLcode(curlCode));
    if (page.load.ending == PageLoad::Ending::Loaded) {
        // An error page's text is kept (its links), but it is no page to save.
        if (isHtmlType(t.contentType)) {
            page.text = decodeBody(t.body, t.contentType);
            page.encoding = bodyEncoding(t.body, t.contentType);
        }
        if (status >= 400)
            page.load.ending = PageLoad::Ending::HttpError;
        else if (!isHtmlType(t.contentType))
            page.load.ending = PageLoad::Ending::Refused;
        else
            page.load.document = codepage::fromUnicodeWithReferences(page.text);
    }
    takeCookies(easy);
    t.body.clear();
    curl_multi_remove_handle(m_multi, easy);
    curl_easy_cleanup(easy);
    t.easy = nullptr;
    deliver(slot);
}

void DirectFetcher::deliver(int slot)
{
    // Told from the event loop, never from within start or curl's own calls.
    const quint64 serial = m_slots[size_t(slot)]->serial;
    QTimer::singleShot(0, this, [this, slot, serial] {
        Transfer& now = *m_slots[size_t(slot)];
        if (now.serial != serial || !now.done)
            return;
        now.sent = nullptr;
        std::exchange(now.done, nullptr)(now.page.load);
    });
}

void DirectFetcher::takeCookies(void* easy)
{
    if (!m_jar)
        return;
    curl_slist* cookies = nullptr;
    if (curl_easy_getinfo(static_cast<CURL*>(easy), CURLINFO_COOKIELIST, &cookies) != CURLE_OK)
        return;
    for (curl_slist* c = cookies; c; c = c->next) {
        const QByteArray line(c->data);
        const QByteArray key = cookieKey(line);
        auto known = m_cookies.find(key);
        if (known != m_cookies.end() && *known == line)
            continue;
        m_cookies.insert(key, line);
        m_jar->storeCookieLine(line);
    }
    curl_slist_free_all(cookies);
}

DirectBrowser::DirectBrowser(CookieJar* jar, QByteArray userAgent, StatusSink showStatus,
                             RunningTest running)
    : m_fetcher(1, jar, std::move(userAgent)), m_showStatus(std::move(showStatus)),
      m_running(std::move(running))
{
}

void DirectBrowser::OpenPage(const QString& address)
{
    m_loaded = false;
    checkedAddress(address);
    m_showStatus(openingStatus(address));
    QEventLoop loop;
    bool ended = false;
    m_fetcher.start(0, address,
                    [&](const PageLoad&) {
                        ended = true;
                        loop.quit();
                    },
                    {});
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, &loop, [&] {
        if (!m_running())
            loop.quit();
    });
    stopCheck.start(StopCheckMs);
    if (!ended && m_running())
        loop.exec();
    if (!ended) {
        // Stopped: the page is left unloaded.
        m_fetcher.stop(0);
        return;
    }
    const PageLoad& load = m_fetcher.lastPage(0).load;
    if (load.ending == PageLoad::Ending::Refused)
        // An answer that is no page, as the browser's download.
        throw AddressRefused(QStringLiteral("浏览器无法打开网页地址：\"%1\"").arg(address));
    m_loaded =
        load.ending == PageLoad::Ending::Loaded || load.ending == PageLoad::Ending::HttpError;
}

QByteArray DirectBrowser::TakeDocument()
{
    return m_loaded ? m_fetcher.lastPage(0).load.document : QByteArray();
}

QStringList DirectBrowser::Links()
{
    if (!m_loaded)
        return {};
    const DirectPage& page = m_fetcher.lastPage(0);
    return documentLinks(page.text, page.load.address, page.encoding);
}

} // namespace pagrim::harvest
