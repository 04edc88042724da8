#pragma once

#include "harvest/core/pagefetcher.h"
#include "harvest/core/pagelog.h"
#include "platform/taskfolder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QTimer>
#include <array>
#include <exception>
#include <functional>
#include <memory>
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

    // Whether any setting asks for more than the one-page-at-a-time run.
    bool sideBySide() const { return parallel > 1 || hostDelayMs > 0 || timeoutSeconds > 0; }
    static SaveLimits of(const Settings& settings);
};

// Saves lines of a page list with up to SaveLimits::parallel pages loading at
// once, handed out in the order given. A page is written whole when its load
// completes and gets its entry in the page log as it ends. A page that timed
// out, could not be reached, or answered 429 or a 5xx status is tried twice
// more after pauses; still failing, it is logged and counted as handled. A
// line is handed out only while fewer than parallel lines from the first one
// not yet handled are under way, so a stop leaves at most parallel - 1 lines
// handled beyond the handled run from the first.
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

    // Called whenever the first k lines of todo are all handled, with k.
    std::function<void(int)> onHandledRun;

    // Until every line is handled or the host stops running; a stop ends every
    // load at once, and no interrupted page is saved. An error writing a page
    // or the log ends the run with it.
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
        QElapsedTimer clock;
        std::unique_ptr<QTimer> timeout;
    };

    void schedule();
    int choose(qint64 now, qint64& wakeAt) const;
    bool hostReady(const Line& line, qint64 now, qint64& wakeAt) const;
    void start(int slot, int index);
    void ended(int slot, const PageLoad& load, bool timedOut);
    void handle(int index, PageLogEntry entry, const QByteArray& document);
    void stopAll();
    void guarded(const std::function<void()>& work);
    bool finished() const { return m_handledRun == int(m_todo.size()); }

    RunHost& m_host;
    PageFetcher& m_fetcher;
    SaveLimits m_limits;
    const TaskFolder m_folder;
    std::vector<Line> m_todo;
    std::vector<char> m_handled;
    std::vector<int> m_waiting; // indices waiting for another try, ascending
    std::vector<Slot> m_slots;
    int m_handledRun = 0;
    int m_nextFresh = 0;
    QHash<QString, qint64> m_hostStarts;
    QElapsedTimer m_clock;
    QTimer m_wake;
    QTimer m_stopCheck;
    QEventLoop m_loop;
    std::exception_ptr m_failure;
    bool m_stopped = false;
};

} // namespace pagrim::harvest
