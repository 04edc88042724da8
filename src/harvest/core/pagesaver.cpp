#include "harvest/core/pagesaver.h"

#include "harvest/core/browser.h"
#include "harvest/core/runhost.h"
#include "harvest/core/taskfolder.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "store/dataset.h"

namespace pagrim::harvest {

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
    for (int n = first; n <= count; ++n) {
        const QString address = codepage::toUnicode(m_lines.at(n - 1));
        bool refused = false;
        try {
            m_browser.OpenPage(address);
        } catch (const AddressRefused&) {
            refused = true;
        }
        // Stopped while loading: the page is left for the next run.
        if (!refused && !m_browser.PageLoaded())
            break;

        const QString taskName = task.field(QStringLiteral("TaskName")).asString();
        const QString folder =
            EnsureFolder(taskFolderFor(m_host.WorkFolder(), taskName) + QStringLiteral("/HTML/"));
        // After a refusal the browser holds no document of this page: its save
        // writes nothing and reports the failure.
        m_browser.SavePage(folder + QString::number(n) + QStringLiteral(".Htm"));
        m_host.ProcessEvents();

        task.edit();
        m_host.SetGauge(count, n);
        task.field(QStringLiteral("SaveCurrent")).setValue(n);
        task.post();
        if (!m_host.Running())
            break;
    }
}

} // namespace pagrim::harvest
