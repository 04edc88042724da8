#include "harvest/core/pagesaver.h"

#include "harvest/core/browser.h"
#include "harvest/core/loginlost.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagelog.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/runhost.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "platform/taskfolder.h"
#include "store/dataset.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

namespace pagrim::harvest {

namespace {

// A thread that is waited for however the scope that runs it is left.
struct JoinedThread
{
    std::unique_ptr<QThread> thread;
    ~JoinedThread() { thread->wait(); }
};

// Runs work on a thread of its own while events run here: the page the browser
// fetches meanwhile needs them to go on loading, and work that waits for the
// disk (a file brought to it, the store's commit) would hold the page up.
// work's error comes out here.
void runWhileEventsRun(const std::function<void()>& work)
{
    std::exception_ptr failure;
    const auto guarded = [&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    const JoinedThread worker{std::unique_ptr<QThread>(QThread::create(guarded))};
    QEventLoop loop;
    QObject::connect(worker.thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker.thread->start();
    if (worker.thread->isRunning() || worker.thread->isFinished())
        loop.exec();
    else
        guarded(); // no thread to be had: done here
    worker.thread->wait();
    if (failure)
        std::rethrow_exception(failure);
}

// The page the browser fetches while the one before it is written and counted.
// One started and never waited for, when the run stops or fails, is dropped as
// a stop during its load leaves it.
class NextPage
{
public:
    NextPage(Browser& browser, const QList<QByteArray>& lines) : m_browser(browser), m_lines(lines)
    {
    }
    ~NextPage()
    {
        if (m_state == State::Started)
            m_browser.DropPage();
    }
    NextPage(const NextPage&) = delete;
    NextPage& operator=(const NextPage&) = delete;

    // Starts the page of line n (counted from 1).
    void start(int n)
    {
        try {
            m_clock.start();
            m_browser.StartPage(codepage::toUnicode(m_lines.at(n - 1)));
            m_state = State::Started;
        } catch (const AddressRefused&) {
            m_state = State::Refused;
        }
    }
    // Waits for the page started; false when the browser refused its address.
    bool wait()
    {
        const State state = std::exchange(m_state, State::None);
        if (state != State::Started)
            return finish(state != State::Refused);
        try {
            m_browser.WaitPage();
        } catch (const AddressRefused&) {
            return finish(false);
        }
        return finish(true);
    }
    // How long the page waited for took, from its start.
    qint64 loadMs() const { return m_loadMs; }

private:
    enum class State
    {
        None,
        Started,
        Refused
    };
    bool finish(bool opened)
    {
        m_loadMs = m_clock.isValid() ? m_clock.elapsed() : 0;
        return opened;
    }

    Browser& m_browser;
    const QList<QByteArray>& m_lines;
    State m_state = State::None;
    QElapsedTimer m_clock;
    qint64 m_loadMs = 0;
};

// A run killed while a page file replaced its old one may have left the
// temporary file; it is no page.
void removeLeftoverPages(const TaskFolder& folder)
{
    removeLeftoverTemporaries(folder.pages(), QStringLiteral("[0-9]+\\.Htm"));
}

} // namespace

QString PageSaver::refusalText(Refusal refusal)
{
    switch (refusal) {
    case Refusal::NoPageList:
        return QStringLiteral("列表文件没有找到，请先生成列表。");
    case Refusal::EmptyPageList:
        return QStringLiteral("列表文件为空，请修改任务参数。");
    case Refusal::AllSaved:
        return QStringLiteral("已经保存了所有网页。要重新处理，请修改任务参数。");
    case Refusal::None:
        break;
    }
    return QString();
}

PageSaver::PageSaver(RunHost& host, Browser& browser) : m_host(host), m_browser(browser) {}

PageSaver::Refusal PageSaver::prepare()
{
    m_lines.clear();
    if (!m_host.LoadPageList(m_lines))
        return Refusal::NoPageList;
    // A file without any line has no summary line either: as empty as one with
    // the summary line alone.
    if (m_lines.size() <= 1)
        return Refusal::EmptyPageList;
    const int saved = m_host.TaskRecord().field(QStringLiteral("SaveCurrent")).asInteger();
    if (saved >= addressCount())
        return Refusal::AllSaved;
    return Refusal::None;
}

void PageSaver::run()
{
    const int count = addressCount();
    // A negative counter starts at the first line, never before it.
    const int first =
        qMax(0, m_host.TaskRecord().field(QStringLiteral("SaveCurrent")).asInteger()) + 1;
    const TaskFolder folder = m_host.taskFolder();
    removeLeftoverPages(folder);
    if (first > count)
        return;
    m_browser.SetContentRule(m_host.PageContent());
    const LoginCheck login(m_host);
    // The browser fetches page n + 1 while page n is written and counted.
    NextPage next(m_browser, m_lines);
    next.start(first);
    for (int n = first; n <= count; ++n) {
        const bool refused = !next.wait();
        // Stopped while loading: the page is left for the next run.
        if (!refused && !m_browser.PageLoaded())
            break;
        folder.ensurePages();
        // After a refusal the browser holds no document of this page: it hands
        // out nothing and reports the failure.
        const QByteArray document = m_browser.TakeDocument();
        // Read before the next page starts, which forgets it.
        PageLoad load = m_browser.LastLoad();
        load.document = document;
        if (!refused && login.loggedOut(load)) {
            appendPageLog(folder.pageLog(), PageLogEntry{n, m_lines.at(n - 1), load.status, 0,
                                                         next.loadMs(), PageOutcome::LoggedOut});
            throw LoginLost(n, codepage::toUnicode(m_lines.at(n - 1)));
        }
        if (n < count && m_host.Running())
            next.start(n + 1);
        if (!document.isEmpty())
            runWhileEventsRun([&] { writeFileOrThrow(folder.pageFile(n), document); });
        PageLoad ending = load;
        if (refused)
            ending = PageLoad{PageLoad::Ending::Refused, 0, {}, {}};
        appendPageLog(folder.pageLog(),
                      PageLogEntry{n, m_lines.at(n - 1), ending.status, document.size(),
                                   next.loadMs(), outcomeOf(ending, document.size())});
        m_host.ProcessEvents();
        postCounter(n);
        if (!m_host.Running())
            break;
    }
}

void PageSaver::postCounter(int saved)
{
    store::DataSet& task = m_host.TaskRecord();
    task.edit();
    m_host.SetGauge(addressCount(), saved);
    task.field(QStringLiteral("SaveCurrent")).setValue(saved);
    task.post(runWhileEventsRun);
}

void PageSaver::run(PageFetcher& fetcher, const SaveLimits& limits)
{
    const int count = addressCount();
    const int first =
        qMax(0, m_host.TaskRecord().field(QStringLiteral("SaveCurrent")).asInteger()) + 1;
    const TaskFolder folder = m_host.taskFolder();
    removeLeftoverPages(folder);
    PageLogState log(folder.pageLog());
    log.refresh();
    // Handled by an earlier run: saved, its file there, or given up after
    // its tries (重新保存失败的网页 fetches those again). A page that found
    // the login gone is fetched again.
    const auto handled = [&](int n) {
        const PageLogEntry* last = log.lastAt(n, m_lines);
        if (!last || last->outcome == PageOutcome::LoggedOut)
            return false;
        return last->outcome != PageOutcome::Saved || QFileInfo::exists(folder.pageFile(n));
    };
    std::vector<int> todo;
    std::vector<int> done;
    const bool resumed = first <= count && !handled(first);
    for (int n = first; n <= count; ++n) {
        todo.push_back(n);
        if (resumed && n > first && handled(n))
            done.push_back(n);
    }
    fetcher.setContentRule(m_host.PageContent());
    PageQueue queue(m_host, fetcher, limits, m_lines, std::move(todo));
    queue.setHandled(done);
    queue.onHandledRun = [this, first](int run) { postCounter(first - 1 + run); };
    queue.run();
}

void PageSaver::save(const SaveLimits& limits, const FetcherMaker& makeFetcher,
                     std::vector<int> failed)
{
    const std::unique_ptr<PageFetcher> fetcher =
        makeFetcher(limits.parallel, limits.sideBySide() || !failed.empty());
    if (!fetcher)
        return run();
    if (failed.empty())
        run(*fetcher, limits);
    else
        retry(*fetcher, limits, std::move(failed));
}

std::vector<int> PageSaver::failedLines(PageLogState* known)
{
    const TaskFolder folder = m_host.taskFolder();
    std::optional<QList<QByteArray>> lines = LoadPageList(folder.pageList());
    m_lines = lines ? *lines : QList<QByteArray>();
    PageLogState fresh(folder.pageLog());
    PageLogState& log = known && known->path() == fresh.path() ? *known : fresh;
    log.refresh();
    return harvest::failedLines(log.last(), m_lines);
}

void PageSaver::retry(PageFetcher& fetcher, const SaveLimits& limits, std::vector<int> lines)
{
    removeLeftoverPages(m_host.taskFolder());
    fetcher.setContentRule(m_host.PageContent());
    PageQueue(m_host, fetcher, limits, m_lines, std::move(lines)).run();
}

} // namespace pagrim::harvest
