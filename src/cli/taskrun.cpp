#include "cli/taskrun.h"

#include "cli/clihost.h"
#include "cli/markerscommand.h"
#include "cli/progress.h"
#include "cli/resulttable.h"
#include "cli/stopsignal.h"
#include "cli/terminal.h"
#include "extract/core/extraction.h"
#include "extract/core/resulttable.h"
#include "harvest/core/loginlost.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/pagesaver.h"
#include "harvest/core/pageupdate.h"
#include "harvest/directengine.h"
#include "harvest/ufrmLogin.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"
#include "platform/tasklock.h"
#include "store/dataset.h"
#include "ui/guard.h"

#include <QDirIterator>

namespace pagrim::cli {

namespace {

QString settingsPath(const RunOptions& options)
{
    // Beside the programs, where the program keeps it.
    return options.settingsPath.isEmpty() ? Settings::programFolder() + QStringLiteral("pagrim.ini")
                                          : options.settingsPath;
}

// The page files the extraction reads: every file below the pages folder, or
// in a test run at most the test's number of them.
int pageFileCount(const QString& pages, int limit)
{
    int count = 0;
    for (QDirIterator it(pages, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext() && (limit <= 0 || count < limit); it.next())
        ++count;
    return count;
}

} // namespace

TaskRun::TaskRun(const RunOptions& options, Progress& progress, StopSignal& stop)
    : m_options(options), m_progress(progress), m_stop(stop), m_settings(settingsPath(options))
{
}

TaskRun::~TaskRun() = default;

int TaskRun::exec()
{
    try {
        return run();
    } catch (const Stopped&) {
        return Interrupted;
    } catch (const harvest::LoginLost& lost) {
        // Where the next run with --login goes on.
        m_progress.error(lost.message());
        return LoggedOut;
    } catch (const Error& e) {
        m_progress.error(ui::defaultErrorText(e.message()));
    } catch (const std::exception& e) {
        m_progress.error(ui::defaultErrorText(QString::fromUtf8(e.what())));
    }
    return Failed;
}

int TaskRun::run()
{
    if (!openStore())
        return Failed;
    if (!findTask()) {
        m_progress.error(QStringLiteral("没有找到任务：") + m_options.task);
        return Misused;
    }
    makeHost();
    // The markers only read saved pages: no browser, no lock.
    if (m_options.markers)
        return SuggestMarkersCommand(m_host->taskFolder(), m_options, m_progress);
    if (!takeLock())
        return Failed;
    openTask();
    return runSteps();
}

bool TaskRun::openStore()
{
    if (!m_options.storePath.isEmpty())
        m_conn.setConnectionString(QStringLiteral("Data Source=") + m_options.storePath);
    try {
        m_conn.open();
    } catch (const Error& e) {
        m_progress.error(QStringLiteral("数据库连接错误：") + e.message());
        return false;
    }
    return true;
}

void TaskRun::makeHost()
{
    m_host = std::make_unique<CliHost>(
        *m_tasks, workFolderFor(m_settings.WorkPath(QString()), Settings::programFolder()),
        m_progress, m_settings.TestValue());
    m_browser = std::make_unique<CliBrowser>(*m_host, CliBrowser::Engine::WebEngine);
}

bool TaskRun::takeLock()
{
    m_lock = std::make_unique<TaskLock>(m_host->taskFolder());
    if (m_lock->take())
        return true;
    m_progress.error(TaskLock::busyText());
    return false;
}

void TaskRun::openTask()
{
    // As the execution window does when it opens on the task.
    extract::FinishResultFiles(m_host->taskFolder());
    if (m_options.login)
        logIn();
}

int TaskRun::runSteps()
{
    const bool all = m_options.allSteps();
    const std::pair<bool, void (TaskRun::*)()> steps[] = {
        {(all && !m_options.update) || m_options.list, &TaskRun::listStep},
        {m_options.update, &TaskRun::updateStep},
        {all || m_options.save, &TaskRun::saveStep},
        {all || m_options.extract, &TaskRun::extractStep},
        {m_options.test, &TaskRun::testStep},
    };
    for (const auto& [wanted, body] : steps) {
        if (StopSignal::requested())
            return Interrupted;
        if (wanted)
            (this->*body)();
    }
    return StopSignal::requested() ? Interrupted : Done;
}

bool TaskRun::findTask()
{
    // The catalogue as the main window shows it; the first task of the name.
    m_tasks = std::make_unique<store::DataSet>(m_conn);
    m_tasks->setCommandText(QStringLiteral("select * from tasks order by TaskID"));
    m_tasks->open();
    const auto find = [this](const QString& column, const QString& value) {
        for (m_tasks->first(); !m_tasks->eof(); m_tasks->next())
            if (m_tasks->field(column).asString() == value)
                return true;
        return false;
    };
    bool isNumber = false;
    const int key = m_options.task.toInt(&isNumber);
    return find(QStringLiteral("TaskName"), m_options.task) ||
           (isNumber && find(QStringLiteral("TaskID"), QString::number(key)));
}

int TaskRun::taskNumber(const char* column)
{
    return m_tasks->field(QLatin1String(column)).asInteger();
}

void TaskRun::logIn()
{
    const QString address = m_tasks->field(QStringLiteral("LoginAddr")).asString();
    if (address.isEmpty()) {
        m_progress.info(QStringLiteral("该任务没有登录地址。"));
        return;
    }
    TfrmLogin frmLogin;
    QObject::connect(&m_stop, &StopSignal::stopRequested, &frmLogin, &QDialog::reject);
    frmLogin.navigate(address);
    frmLogin.exec();
}

void TaskRun::step(const QString& name, const std::function<void()>& body)
{
    m_progress.begin(name);
    try {
        body();
    } catch (const Stopped&) {
        m_progress.end();
        throw;
    }
    m_progress.end();
}

void TaskRun::listStep()
{
    const int current = taskNumber("ResCurrent");
    const int start = taskNumber("ResStart");
    const int end = taskNumber("ResEnd");
    if (current >= end) {
        m_progress.info(QStringLiteral("已经生成了所有列表。要重新处理，请修改任务参数。"));
        return;
    }
    // The numbers (or list pages) up to before are in the list already.
    const qint64 before = current > start ? current : qint64(start) - 1;
    const auto count = [this, before, end] {
        m_progress.setCount(int(qBound<qint64>(0, taskNumber("ResCurrent") - before, end - before)),
                            int(end - before));
    };
    step(QStringLiteral("生成列表"), [&] {
        count();
        m_host->setStatusHook(count);
        std::unique_ptr<CliBrowser> direct;
        const QStringList lines = harvest::BuildPageList(*m_host, listBrowser(direct));
        m_host->setStatusHook({});
        count();
        if (!lines.isEmpty())
            m_progress.info(lines.last());
    });
}

harvest::Browser& TaskRun::listBrowser(std::unique_ptr<CliBrowser>& direct)
{
    if (harvest::usesDirectEngine(*m_tasks))
        direct = std::make_unique<CliBrowser>(*m_host, CliBrowser::Engine::Direct);
    return direct ? *direct : *m_browser;
}

void TaskRun::updateStep()
{
    // Its summary line counts the pages added to the list.
    step(QStringLiteral("检查新网页"), [&] {
        m_progress.setCount(0, 0);
        std::unique_ptr<CliBrowser> direct;
        const harvest::PageUpdate update =
            harvest::UpdatePageList(*m_host, listBrowser(direct),
                                    harvest::pageFetchers(harvest::usesDirectEngine(*m_tasks)),
                                    harvest::SaveLimits::of(m_settings));
        m_progress.setCount(update.added, 0);
        if (!update.lines.isEmpty())
            m_progress.info(update.lines.last());
    });
}

void TaskRun::saveStep()
{
    harvest::PageSaver saver(*m_host, *m_browser);
    const harvest::PageSaver::Refusal refusal = saver.prepare();
    if (refusal != harvest::PageSaver::Refusal::None) {
        // After an update that saved its pages as it found them, no news.
        if (refusal != harvest::PageSaver::Refusal::AllSaved || !m_options.update)
            m_progress.info(harvest::PageSaver::refusalText(refusal));
        return;
    }
    harvest::SaveLimits limits = harvest::SaveLimits::of(m_settings);
    if (m_options.parallel > 0)
        limits.parallel = m_options.parallel;
    step(QStringLiteral("保存网页"), [&] {
        m_progress.setCount(taskNumber("SaveCurrent"), saver.addressCount());
        saver.save(limits, harvest::pageFetchers(harvest::usesDirectEngine(*m_tasks)));
    });
}

void TaskRun::extractStep()
{
    extraction(false);
}

void TaskRun::testStep()
{
    extraction(true);
}

void TaskRun::extraction(bool test)
{
    QList<QByteArray> lines;
    const int codePage = codepage::current();
    const QByteArray separator = codepage::fromUnicode(m_settings.Separator(), codePage);
    step(test ? QStringLiteral("测试提取") : QStringLiteral("进行提取"), [&] {
        store::DataSet fields(m_conn);
        fields.setCommandText(QStringLiteral("select * from descs where taskid=:taskid"));
        fields.setMasterSource(m_tasks.get());
        fields.open();
        const TaskFolder folder = m_host->taskFolder();
        m_host->setTestMode(test);
        m_progress.setCount(0, pageFileCount(folder.pages(), test ? m_host->TestValue() + 2 : 0));
        extract::ResultTable values;
        extract::RunExtraction(*m_host, fields, folder, separator, lines, codePage, &values);
        if (!test)
            extract::WriteResultFiles(
                folder, lines, separator, codePage, values,
                m_host->TaskRecord().field(QStringLiteral("TaskName")).asString());
    });
    if (test)
        write(stdout, resultTable(lines, separator));
}

} // namespace pagrim::cli
