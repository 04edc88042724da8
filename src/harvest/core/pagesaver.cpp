#include "harvest/core/pagesaver.h"

#include "harvest/core/browser.h"
#include "harvest/core/runhost.h"
#include "harvest/core/taskfolder.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "store/dataset.h"

#include <QEventLoop>
#include <QThread>
#include <exception>
#include <functional>
#include <memory>

namespace pagrim::harvest {

namespace {

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
    const std::unique_ptr<QThread> worker(QThread::create(guarded));
    // The thread ends before what it reads goes, however this function is left.
    struct Joined
    {
        QThread& thread;
        ~Joined() { thread.wait(); }
    } joined{*worker};
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    if (worker->isRunning() || worker->isFinished())
        loop.exec();
    else
        guarded(); // no thread to be had: done here
    worker->wait();
    if (failure)
        std::rethrow_exception(failure);
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
    store::DataSet& task = m_host.TaskRecord();
    const int count = addressCount();
    // A negative counter starts at the first line, never before it.
    const int first = qMax(0, task.field(QStringLiteral("SaveCurrent")).asInteger()) + 1;
    // A run killed while a page file replaced its old one may have left the
    // temporary file; it is no page.
    removeLeftoverTemporaries(
        taskFolderFor(m_host.WorkFolder(), task.field(QStringLiteral("TaskName")).asString()) +
            QStringLiteral("/HTML"),
        QStringLiteral("[0-9]+\\.Htm"));
    // The browser fetches page n + 1 while page n is written and counted.
    enum class Next
    {
        None,
        Started,
        Refused
    };
    const auto start = [this](int n) {
        try {
            m_browser.StartPage(codepage::toUnicode(m_lines.at(n - 1)));
            return Next::Started;
        } catch (const AddressRefused&) {
            return Next::Refused;
        }
    };
    // A page started and never waited for, when the run stops or fails, is
    // left as a stop during its load leaves it.
    struct Dropper
    {
        Browser& browser;
        Next& next;
        ~Dropper()
        {
            if (next == Next::Started)
                browser.DropPage();
        }
    };
    if (first > count)
        return;
    Next next = start(first);
    const Dropper dropper{m_browser, next};
    for (int n = first; n <= count; ++n) {
        bool refused = next == Next::Refused;
        if (next == Next::Started) {
            next = Next::None;
            try {
                m_browser.WaitPage();
            } catch (const AddressRefused&) {
                refused = true;
            }
        }
        next = Next::None;
        // Stopped while loading: the page is left for the next run.
        if (!refused && !m_browser.PageLoaded())
            break;

        const QString taskName = task.field(QStringLiteral("TaskName")).asString();
        const QString folder =
            EnsureFolder(taskFolderFor(m_host.WorkFolder(), taskName) + QStringLiteral("/HTML/"));
        // After a refusal the browser holds no document of this page: it hands
        // out nothing and reports the failure.
        const QByteArray document = m_browser.TakeDocument();
        if (n < count && m_host.Running())
            next = start(n + 1);
        if (!document.isEmpty())
            runWhileEventsRun([&] {
                writeFileOrThrow(folder + QString::number(n) + QStringLiteral(".Htm"), document);
            });
        m_host.ProcessEvents();

        task.edit();
        m_host.SetGauge(count, n);
        task.field(QStringLiteral("SaveCurrent")).setValue(n);
        task.post(runWhileEventsRun);
        if (!m_host.Running())
            break;
    }
}

} // namespace pagrim::harvest
