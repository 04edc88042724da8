#include "harvest/core/pagequeue.h"

#include "harvest/core/runhost.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "platform/settings.h"

#include <algorithm>
#include <limits>

namespace pagrim::harvest {

namespace {

constexpr int MaxTries = 3;
// How often a run in its event loop asks whether it is to stop.
constexpr int StopCheckMs = 20;
constexpr qint64 Never = std::numeric_limits<qint64>::max();
// The time limit of a run through the queue whose settings set none.
constexpr int DefaultTimeoutSeconds = 60;

bool busyStatus(int status)
{
    return status == 429 || status == 503;
}

bool worthRetrying(const PageLoad& load)
{
    switch (load.ending) {
    case PageLoad::Ending::TimedOut:
    case PageLoad::Ending::Unreachable:
        return true;
    case PageLoad::Ending::HttpError:
        return load.status == 429 || load.status >= 500;
    default:
        return false;
    }
}

} // namespace

SaveLimits SaveLimits::of(const Settings& settings)
{
    SaveLimits limits;
    limits.parallel = settings.ParallelPages();
    limits.hostDelayMs = settings.HostDelay();
    limits.timeoutChosen = settings.PageTimeoutSet();
    limits.timeoutSeconds = limits.timeoutChosen ? settings.PageTimeout() : DefaultTimeoutSeconds;
    return limits;
}

BackgroundJobs::BackgroundJobs() : m_thread([this] { loop(); }) {}

BackgroundJobs::~BackgroundJobs()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void BackgroundJobs::add(std::function<void()> work,
                         std::function<void(std::exception_ptr)> answered)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_todo.push_back(Job{std::move(work), std::move(answered), nullptr});
    }
    m_wake.notify_all();
}

void BackgroundJobs::loop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_closing || !m_todo.empty(); });
        if (m_todo.empty())
            return;
        Job job = std::move(m_todo.front());
        m_todo.pop_front();
        ++m_running;
        lock.unlock();
        try {
            job.work();
        } catch (...) {
            job.failure = std::current_exception();
        }
        lock.lock();
        --m_running;
        const bool first = m_done.empty();
        m_done.push_back(std::move(job));
        m_wake.notify_all();
        // One wake-up hands back every answer waiting.
        if (first)
            QMetaObject::invokeMethod(
                &m_context, [this] { handBack(); }, Qt::QueuedConnection);
    }
}

void BackgroundJobs::handBack()
{
    for (;;) {
        Job job;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_done.empty())
                return;
            job = std::move(m_done.front());
            m_done.pop_front();
        }
        job.answered(job.failure);
    }
}

void BackgroundJobs::finish()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_todo.empty() && m_running == 0; });
    }
    handBack();
}

PageQueue::PageQueue(RunHost& host, PageFetcher& fetcher, const SaveLimits& limits,
                     const QList<QByteArray>& lines, std::vector<int> todo)
    : m_host(host), m_fetcher(fetcher), m_limits(limits), m_folder(host.taskFolder()),
      m_check(host), m_slots(size_t(qBound(1, qMin(limits.parallel, fetcher.slotCount()), 64)))
{
    for (const int number : todo)
        append(number, lines.at(number - 1));
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

void PageQueue::setHandled(const std::vector<int>& numbers)
{
    for (size_t i = 0; i < m_todo.size(); ++i) {
        if (std::binary_search(numbers.begin(), numbers.end(), m_todo[i].number))
            m_handled[i] = 1;
    }
    // Handed out as fresh lines never.
    while (m_nextFresh < int(m_todo.size()) && m_handled[size_t(m_nextFresh)])
        ++m_nextFresh;
}

void PageQueue::append(int number, const QByteArray& address)
{
    Line line;
    line.number = number;
    line.bytes = address;
    line.address = codepage::toUnicode(address);
    line.host = hostOf(line.address);
    m_todo.push_back(line);
    m_handled.push_back(0);
    // A run going on hands it out at once.
    if (m_clock.isValid() && !m_stopped)
        m_wake.start(0);
}

void PageQueue::run()
{
    if (m_todo.empty() || !m_host.Running())
        return;
    m_clock.start();
    m_stopCheck.start(StopCheckMs);
    guarded([this] {
        advance();
        schedule();
    });
    if (!m_stopped && !finished())
        m_loop.exec();
    stopAll();
    // Pages loaded before the stop are written and counted all the same.
    guarded([this] { m_writes.finish(); });
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_lost >= 0 && m_host.Running())
        throw LoginLost(m_todo[size_t(m_lost)].number, m_todo[size_t(m_lost)].address);
}

bool PageQueue::loading() const
{
    return std::any_of(m_slots.begin(), m_slots.end(), [](const Slot& s) { return s.line >= 0; });
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
    if (!m_host.Running()) {
        stopAll();
        return;
    }
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
    if (wakeAt != Never)
        m_wake.start(int(std::clamp<qint64>(wakeAt - now, 0, std::numeric_limits<int>::max())));
}

bool PageQueue::hostReady(const Line& line, qint64 now, qint64& wakeAt) const
{
    if (m_limits.hostDelayMs <= 0)
        return true;
    const auto host = m_hosts.constFind(line.host);
    if (host == m_hosts.cend())
        return true;
    // The pause counts from the request's leaving, which a start precedes;
    // requestSent or the load's end schedules again.
    if (host->unsent > 0)
        return false;
    const qint64 readyAt = host->lastSent + m_limits.hostDelayMs;
    if (!host->any || readyAt <= now)
        return true;
    wakeAt = qMin(wakeAt, readyAt);
    return false;
}

int PageQueue::choose(qint64 now, qint64& wakeAt) const
{
    if (m_lost >= 0)
        return -1;
    // Lines waiting for another try come first: they are the lower ones.
    for (const int index : m_waiting) {
        const Line& line = m_todo[size_t(index)];
        if (line.readyAt > now)
            wakeAt = qMin(wakeAt, line.readyAt);
        else if (hostReady(line, now, wakeAt))
            return index;
    }
    const int fresh = m_nextFresh;
    if (fresh >= int(m_todo.size()))
        return -1;
    return hostReady(m_todo[size_t(fresh)], now, wakeAt) ? fresh : -1;
}

void PageQueue::start(int slotIndex, int index)
{
    Line& line = m_todo[size_t(index)];
    if (index == m_nextFresh) {
        ++m_nextFresh;
        while (m_nextFresh < int(m_todo.size()) && m_handled[size_t(m_nextFresh)])
            ++m_nextFresh;
    } else {
        m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), index));
    }
    ++line.tries;
    ++m_hosts[line.host].unsent;

    Slot& slot = m_slots[size_t(slotIndex)];
    slot.line = index;
    slot.sent = false;
    const quint64 attempt = ++slot.attempt;
    slot.clock.start();
    m_host.PageOpening(line.address);
    QObject::disconnect(slot.timeout.get(), nullptr, nullptr, nullptr);
    if (m_limits.timeoutSeconds > 0) {
        QObject::connect(slot.timeout.get(), &QTimer::timeout, [this, slotIndex] {
            m_fetcher.stop(slotIndex);
            PageLoad late;
            late.ending = PageLoad::Ending::TimedOut;
            guarded([&] { ended(slotIndex, late); });
        });
        // The wait for a page's script content comes on top of its load's,
        // with the time its last reading of the document may take.
        const ContentRule& content = m_fetcher.contentRule();
        slot.timeout->start(m_limits.timeoutSeconds * 1000 +
                            (content.waits() ? content.waitMs + ContentRule::LastLookMs : 0));
    }
    const auto current = [this, slotIndex, attempt] {
        const Slot& now = m_slots[size_t(slotIndex)];
        return now.attempt == attempt && now.line >= 0;
    };
    m_fetcher.start(
        slotIndex, line.address,
        [this, slotIndex, current](const PageLoad& load) {
            if (current())
                guarded([&] { ended(slotIndex, load); });
        },
        [this, slotIndex, current] {
            if (current())
                guarded([&] { requestSent(slotIndex); });
        });
}

void PageQueue::requestSent(int slotIndex)
{
    Slot& slot = m_slots[size_t(slotIndex)];
    if (slot.sent)
        return;
    slot.sent = true;
    HostState& host = m_hosts[m_todo[size_t(slot.line)].host];
    --host.unsent;
    host.lastSent = m_clock.elapsed();
    host.any = true;
    schedule();
}

void PageQueue::ended(int slotIndex, const PageLoad& load)
{
    Slot& slot = m_slots[size_t(slotIndex)];
    const int index = slot.line;
    // A load that a stop cut (the stop's signal may end the browser's
    // processes too) says nothing of its page.
    if (!m_host.Running()) {
        stopAll();
        return;
    }
    if (!slot.sent) {
        // A load that never told of its request: its start stands for it.
        HostState& host = m_hosts[m_todo[size_t(index)].host];
        --host.unsent;
        host.lastSent = qMax(host.lastSent, m_clock.elapsed() - slot.clock.elapsed());
        host.any = true;
    }
    slot.line = -1;
    slot.timeout->stop();
    Line& line = m_todo[size_t(index)];
    const bool loggedOut = m_check.loggedOut(load);
    if (loggedOut)
        m_lost = m_lost < 0 ? index : qMin(m_lost, index);
    if (!loggedOut && worthRetrying(load) && line.tries < MaxTries) {
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
        entry.outcome = loggedOut ? PageOutcome::LoggedOut : outcomeOf(load, load.document.size());
        write(index, entry, load.document);
    }
    schedule();
    // The pages in flight have ended: the rest waits for a new login.
    if (m_lost >= 0 && !loading())
        stopAll();
}

void PageQueue::write(int index, PageLogEntry entry, const QByteArray& document)
{
    if (entry.outcome == PageOutcome::Saved)
        entry.bytes = document.size();
    const TaskFolder& folder = m_folder;
    m_writes.add(
        [folder, entry, document] {
            if (entry.outcome == PageOutcome::Saved) {
                folder.ensurePages();
                writeFileOrThrow(folder.pageFile(entry.line), document);
            }
            appendPageLog(folder.pageLog(), entry);
        },
        [this, index, entry](std::exception_ptr failure) {
            guarded([&] {
                if (failure)
                    std::rethrow_exception(failure);
                handled(index, entry);
            });
        });
}

void PageQueue::handled(int index, const PageLogEntry& entry)
{
    // Fetched again after a new login.
    if (entry.outcome == PageOutcome::LoggedOut)
        return;
    m_handled[size_t(index)] = 1;
    m_host.PageHandled(entry);
    advance();
    if (finished())
        stopAll();
}

void PageQueue::advance()
{
    while (m_handledRun < int(m_todo.size()) && m_handled[size_t(m_handledRun)])
        ++m_handledRun;
    // A run that grows while its counter is posted is posted again after.
    if (m_posting || !onHandledRun)
        return;
    m_posting = true;
    try {
        while (m_posted != m_handledRun) {
            m_posted = m_handledRun;
            onHandledRun(m_posted);
        }
    } catch (...) {
        m_posting = false;
        throw;
    }
    m_posting = false;
}

} // namespace pagrim::harvest
