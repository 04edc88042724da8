#include "harvest/core/pagequeue.h"

#include "harvest/core/runhost.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "platform/settings.h"

#include <QUrl>
#include <algorithm>
#include <limits>

namespace pagrim::harvest {

namespace {

constexpr int MaxTries = 3;
// How often a run in its event loop asks whether it is to stop.
constexpr int StopCheckMs = 20;
constexpr qint64 Never = std::numeric_limits<qint64>::max();

// The host a request for address goes to; addresses without a scheme are
// http addresses, as the browser takes them.
QString hostOf(const QString& address)
{
    const QUrl url =
        address.contains(QLatin1String("://")) ? QUrl(address) : QUrl::fromUserInput(address);
    return url.host().toLower();
}

bool busyStatus(int status)
{
    return status == 429 || status == 503;
}

bool worthRetrying(const PageLoad& load, bool timedOut)
{
    if (timedOut || load.ending == PageLoad::Ending::Unreachable)
        return true;
    return load.ending == PageLoad::Ending::HttpError && (load.status == 429 || load.status >= 500);
}

PageOutcome outcomeOf(const PageLoad& load, bool timedOut)
{
    if (timedOut)
        return PageOutcome::Timeout;
    switch (load.ending) {
    case PageLoad::Ending::Loaded:
        return load.document.isEmpty() ? PageOutcome::NotSaved : PageOutcome::Saved;
    case PageLoad::Ending::HttpError:
        return PageOutcome::HttpError;
    case PageLoad::Ending::Unreachable:
        return PageOutcome::Unreachable;
    case PageLoad::Ending::Refused:
    case PageLoad::Ending::NoDocument:
        break;
    }
    return PageOutcome::NotSaved;
}

} // namespace

SaveLimits SaveLimits::of(const Settings& settings)
{
    SaveLimits limits;
    limits.parallel = settings.ParallelPages();
    limits.hostDelayMs = settings.HostDelay();
    limits.timeoutSeconds = settings.PageTimeout();
    return limits;
}

PageQueue::PageQueue(RunHost& host, PageFetcher& fetcher, const SaveLimits& limits,
                     const QList<QByteArray>& lines, std::vector<int> todo)
    : m_host(host), m_fetcher(fetcher), m_limits(limits), m_folder(host.taskFolder()),
      m_slots(size_t(qBound(1, qMin(limits.parallel, fetcher.slotCount()), 64)))
{
    for (const int number : todo) {
        Line line;
        line.number = number;
        line.bytes = lines.at(number - 1);
        line.address = codepage::toUnicode(line.bytes);
        line.host = hostOf(line.address);
        m_todo.push_back(line);
    }
    m_handled.assign(m_todo.size(), 0);
    for (Slot& slot : m_slots) {
        slot.timeout = std::make_unique<QTimer>();
        slot.timeout->setSingleShot(true);
    }
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_wake, &QTimer::timeout, [this] { guarded([this] { schedule(); }); });
    QObject::connect(&m_stopCheck, &QTimer::timeout, [this] {
        if (!m_host.Running())
            stopAll();
    });
}

PageQueue::~PageQueue()
{
    stopAll();
}

void PageQueue::run()
{
    if (m_todo.empty() || !m_host.Running())
        return;
    m_clock.start();
    m_stopCheck.start(StopCheckMs);
    guarded([this] { schedule(); });
    if (!m_stopped && !finished())
        m_loop.exec();
    stopAll();
    if (m_failure)
        std::rethrow_exception(m_failure);
}

void PageQueue::guarded(const std::function<void()>& work)
{
    // Called from the event loop: an error ends the run and comes out of run.
    try {
        work();
    } catch (...) {
        if (!m_failure)
            m_failure = std::current_exception();
        stopAll();
    }
}

void PageQueue::stopAll()
{
    m_stopped = true;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        Slot& slot = m_slots[i];
        slot.timeout->stop();
        if (slot.line >= 0) {
            slot.line = -1;
            m_fetcher.stop(int(i));
        }
    }
    m_wake.stop();
    m_stopCheck.stop();
    m_loop.quit();
}

void PageQueue::schedule()
{
    if (m_stopped)
        return;
    const qint64 now = m_clock.elapsed();
    qint64 wakeAt = Never;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].line >= 0)
            continue;
        const int index = choose(now, wakeAt);
        if (index < 0)
            break;
        start(int(i), index);
    }
    if (finished()) {
        stopAll();
        return;
    }
    if (wakeAt != Never)
        m_wake.start(int(std::clamp<qint64>(wakeAt - now, 0, std::numeric_limits<int>::max())));
}

bool PageQueue::hostReady(const Line& line, qint64 now, qint64& wakeAt) const
{
    const auto last = m_hostStarts.constFind(line.host);
    if (m_limits.hostDelayMs <= 0 || last == m_hostStarts.cend())
        return true;
    const qint64 readyAt = *last + m_limits.hostDelayMs;
    if (readyAt <= now)
        return true;
    wakeAt = qMin(wakeAt, readyAt);
    return false;
}

int PageQueue::choose(qint64 now, qint64& wakeAt) const
{
    // Lines waiting for another try come first: they are the lower ones.
    for (const int index : m_waiting) {
        const Line& line = m_todo[size_t(index)];
        if (line.readyAt > now)
            wakeAt = qMin(wakeAt, line.readyAt);
        else if (hostReady(line, now, wakeAt))
            return index;
    }
    const int fresh = m_nextFresh;
    if (fresh >= int(m_todo.size()) || fresh >= m_handledRun + int(m_slots.size()))
        return -1;
    return hostReady(m_todo[size_t(fresh)], now, wakeAt) ? fresh : -1;
}

void PageQueue::start(int slotIndex, int index)
{
    Line& line = m_todo[size_t(index)];
    if (index == m_nextFresh)
        ++m_nextFresh;
    else
        m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), index));
    ++line.tries;
    m_hostStarts.insert(line.host, m_clock.elapsed());

    Slot& slot = m_slots[size_t(slotIndex)];
    slot.line = index;
    const quint64 attempt = ++slot.attempt;
    slot.clock.start();
    m_host.ShowStatus(QStringLiteral(" 正在打开网页 - ") + line.address +
                      QStringLiteral(" 请稍候... "));
    QObject::disconnect(slot.timeout.get(), nullptr, nullptr, nullptr);
    if (m_limits.timeoutSeconds > 0) {
        QObject::connect(slot.timeout.get(), &QTimer::timeout, [this, slotIndex] {
            m_fetcher.stop(slotIndex);
            guarded([this, slotIndex] { ended(slotIndex, PageLoad(), true); });
        });
        slot.timeout->start(m_limits.timeoutSeconds * 1000);
    }
    m_fetcher.start(slotIndex, line.address, [this, slotIndex, attempt](const PageLoad& load) {
        const Slot& current = m_slots[size_t(slotIndex)];
        if (current.attempt == attempt && current.line >= 0)
            guarded([&] { ended(slotIndex, load, false); });
    });
}

void PageQueue::ended(int slotIndex, const PageLoad& load, bool timedOut)
{
    Slot& slot = m_slots[size_t(slotIndex)];
    const int index = slot.line;
    slot.line = -1;
    slot.timeout->stop();
    Line& line = m_todo[size_t(index)];
    if (worthRetrying(load, timedOut) && line.tries < MaxTries) {
        const int pause = busyStatus(load.status) ? m_limits.busyPauseMs
                                                  : m_limits.retryPausesMs[size_t(line.tries - 1)];
        line.readyAt = m_clock.elapsed() + pause;
        m_waiting.insert(std::lower_bound(m_waiting.begin(), m_waiting.end(), index), index);
    } else {
        PageLogEntry entry;
        entry.line = line.number;
        entry.address = line.bytes;
        entry.status = load.status;
        entry.ms = slot.clock.elapsed();
        entry.outcome = outcomeOf(load, timedOut);
        handle(index, entry, load.document);
    }
    schedule();
}

void PageQueue::handle(int index, PageLogEntry entry, const QByteArray& document)
{
    if (entry.outcome == PageOutcome::Saved) {
        m_folder.ensurePages();
        writeFileOrThrow(m_folder.pageFile(entry.line), document);
        entry.bytes = document.size();
    }
    appendPageLog(m_folder.pageLog(), entry);
    m_handled[size_t(index)] = 1;
    const int before = m_handledRun;
    while (m_handledRun < int(m_todo.size()) && m_handled[size_t(m_handledRun)])
        ++m_handledRun;
    if (m_handledRun != before && onHandledRun)
        onHandledRun(m_handledRun);
    m_host.ProcessEvents();
}

} // namespace pagrim::harvest
