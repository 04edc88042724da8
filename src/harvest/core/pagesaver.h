#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace pagrim::harvest {

class Browser;
class PageFetcher;
class PageLogState;
class RunHost;
struct SaveLimits;

// Saves the pages of a task's page list, one after the other, into the folder
// HTML of the task folder, each as its line number followed by ".Htm".
// SaveCurrent in the task record counts the lines saved so far; it is posted
// after every page, once the page's file is complete, so a stopped or broken
// run goes on with the page after it. A page that says the login is gone
// (LoginCheck) is logged, neither saved nor counted, and ends the run with
// LoginLost; the next run fetches it again.
class PageSaver
{
public:
    // Why a run does not start.
    enum class Refusal
    {
        None,
        NoPageList,    // the task has no page list file
        EmptyPageList, // the file holds no address
        AllSaved,      // SaveCurrent has reached the number of addresses
    };
    // The hint shown for a refusal (caption "提示信息", information icon).
    static QString refusalText(Refusal refusal);

    PageSaver(RunHost& host, Browser& browser);

    // Loads the page list afresh through the host (which sets the gauge) and
    // tells whether a run can start.
    Refusal prepare();
    // Saves the lines from SaveCurrent + 1 on until the last address or a stop.
    // A page whose loading the stop interrupted is neither saved nor counted. An
    // address the browser refuses is handed to the browser's save, which writes
    // nothing and reports the failure; it counts as handled. Errors while
    // making the folder or the file end the run.
    //
    // The browser fetches the next page while a page's file is written (on a
    // thread of its own, events running meanwhile) and its counter posted; a
    // run that stops or fails there gives that page up unsaved.
    void run();
    // The same with limits.parallel pages loading at once in fetcher, the
    // pause per host, the time limit and the tries of PageQueue. SaveCurrent
    // covers the run of handled lines from the first. A line after the first
    // that a run stopped or killed earlier handled (its last log entry saved
    // it and its file is there, or gave it up) is not fetched again, unless
    // the first line is so handled too: then the counter was set back to
    // save the pages again.
    void run(PageFetcher& fetcher, const SaveLimits& limits);

    // The fetcher of a run through the queue with the given number of slots;
    // none when sideBySide is false and the engine saves one page at a time
    // through the browser instead.
    using FetcherMaker = std::function<std::unique_ptr<PageFetcher>(int slots, bool sideBySide)>;
    // run(fetcher, limits) with the fetcher made, or run() when none is: the
    // limits ask for pages side by side, or failed lines (of failedLines)
    // are to be fetched again (retry).
    void save(const SaveLimits& limits, const FetcherMaker& makeFetcher,
              std::vector<int> failed = {});

    // Loads the page list afresh, without touching the gauge, and gives the
    // lines whose last entry in the page log (read on from what log has read
    // before, when given) did not save the page.
    std::vector<int> failedLines(PageLogState* log = nullptr);
    // Fetches those lines again (after failedLines) as run(fetcher, limits)
    // does, leaving SaveCurrent as it is.
    void retry(PageFetcher& fetcher, const SaveLimits& limits, std::vector<int> lines);

    int addressCount() const { return qMax(0, int(m_lines.size()) - 1); }

private:
    // Sets SaveCurrent and the gauge to saved and posts the task row, the
    // write on a thread of its own while events run.
    void postCounter(int saved);

    RunHost& m_host;
    Browser& m_browser;
    QList<QByteArray> m_lines;
};

} // namespace pagrim::harvest
