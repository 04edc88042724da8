#pragma once

#include "harvest/core/loginlost.h"
#include "harvest/core/pagefetcher.h"
#include "harvest/core/pagelog.h"
#include "platform/taskfolder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pagrim {
class Settings;
}

namespace pagrim::harvest {

class RunHost;

// How a saving run treats a site. The defaults are the run of one page at a
// time without limits.
struct SaveLimits
{
    int parallel = 1;
    int hostDelayMs = 0;
    int timeoutSeconds = 0;
    // The pauses before the second and the third try of a failing page, and
    // the one instead after a 429 or 503 answer.
    std::array<int, 2> retryPausesMs{2000, 10000};
    int busyPauseMs = 30000;
    // Whether timeoutSeconds was chosen, rather than the default of a run
    // through the queue.
    bool timeoutChosen = true;

    // Whether any setting asks for more than the one-page-at-a-time run.
    bool sideBySide() const
    {
        return parallel > 1 || hostDelayMs > 0 || (timeoutChosen && timeoutSeconds > 0);
    }
    // The settings' limits; without a time limit of the settings' own, a run
    // through the queue gets the default one.
    static SaveLimits of(const Settings& settings);
};

// Work done one job after the other on a thread of its own, each job's
// answer handed back to the thread that made the queue, from its event loop.
class BackgroundJobs
{
public:
    BackgroundJobs();
    // Waits for the jobs given, without handing their answers back.
    ~BackgroundJobs();
    BackgroundJobs(const BackgroundJobs&) = delete;
    BackgroundJobs& operator=(const BackgroundJobs&) = delete;

    // work runs on the thread; then answered runs here with work's error (or
    // none).
    void add(std::function<void()> work, std::function<void(std::exception_ptr)> answered);
    // Waits until every job given has run and hands their answers back now.
    void finish();

private:
    struct Job
    {
        std::function<void()> work;
        std::function<void(std::exception_ptr)> answered;
        std::exception_ptr failure;
    };
    void loop();
    void handBack();

    QObject m_context;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_todo;
    std::deque<Job> m_done;
    int m_running = 0;
    bool m_closing = false;
    std::thread m_thread;
};

// Saves lines of a page list with up to SaveLimits::parallel pages loading at
// once, fresh lines handed out in the order given. A page is written whole
// when its load completes and gets its entry in the page log as it ends; the
// writes run one after the other on a thread of their own. A page that timed
// out, could not be reached, or answered 429 or a 5xx status is tried twice
// more after pauses, while the other slots go on with the lines after it;
// still failing, it is logged and counted as handled. Two requests to one
// host leave at least hostDelayMs apart, counted from when each really left.
// A page that says the login is gone (LoginCheck) is logged, neither saved nor
// handled, and no further line is handed out: the pages in flight end, and
// the run ends with LoginLost at the first such line.
class PageQueue
{
public:
    // todo holds line numbers (from 1) of lines, which end with the summary
    // line.
    PageQueue(RunHost& host, PageFetcher& fetcher, const SaveLimits& limits,
              const QList<QByteArray>& lines, std::vector<int> todo);
    ~PageQueue();
    PageQueue(const PageQueue&) = delete;
    PageQueue& operator=(const PageQueue&) = delete;

    // Called whenever the first k lines of todo are all handled, with k, once
    // their files and log lines are written; it may let events run.
    std::function<void(int)> onHandledRun;
    // Lines of todo that count as handled without a fetch (saved by an
    // earlier run); set before run.
    void setHandled(const std::vector<int>& numbers);
    // Adds line number (from 1) with its address to the end of todo, before
    // run or while it runs (from the host's PageHandled, say): a run that
    // decides its next line by the answer to the last one, under the same
    // pause per host.
    void append(int number, const QByteArray& address);

    // Until every line is handled or the host stops running; a stop ends every
    // load at once, and a load the stop ended is neither saved nor counted.
    // An error writing a page or the log ends the run with it.
    void run();

private:
    struct Line
    {
        int number = 0;
        QByteArray bytes; // the address as the list holds it
        QString address;
        QString host;
        int tries = 0;
        qint64 readyAt = 0;
    };
    struct Slot
    {
        int line = -1; // index into m_todo, -1 when free
        quint64 attempt = 0;
        bool sent = false; // the request of its load has left
        QElapsedTimer clock;
        std::unique_ptr<QTimer> timeout;
    };
    // What a host has seen of the run: when its last request left, and how
    // many of its loads are started with no request out yet.
    struct HostState
    {
        qint64 lastSent = 0;
        bool any = false;
        int unsent = 0;
    };

    void schedule();
    int choose(qint64 now, qint64& wakeAt) const;
    bool hostReady(const Line& line, qint64 now, qint64& wakeAt) const;
    void start(int slot, int index);
    void requestSent(int slot);
    void ended(int slot, const PageLoad& load);
    void write(int index, PageLogEntry entry, const QByteArray& document);
    void handled(int index, const PageLogEntry& entry);
    void advance();
    void stopAll();
    void guarded(const std::function<void()>& work);
    bool finished() const { return m_handledRun == int(m_todo.size()); }
    bool loading() const;

    RunHost& m_host;
    PageFetcher& m_fetcher;
    SaveLimits m_limits;
    const TaskFolder m_folder;
    const LoginCheck m_check;
    int m_lost = -1; // the first line (index) found logged out
    std::vector<Line> m_todo;
    std::vector<char> m_handled;
    std::vector<int> m_waiting; // indices waiting for another try, ascending
    std::vector<Slot> m_slots;
    int m_handledRun = 0;
    int m_posted = 0;
    bool m_posting = false;
    int m_nextFresh = 0;
    QHash<QString, HostState> m_hosts;
    QElapsedTimer m_clock;
    QTimer m_wake;
    QTimer m_stopCheck;
    QEventLoop m_loop;
    std::exception_ptr m_failure;
    bool m_stopped = false;
    BackgroundJobs m_writes;
};

} // namespace pagrim::harvest
