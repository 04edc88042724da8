#pragma once

// pagrim-run --save as a child process of a benchmark, on a task of a store
// and a page list it prepares in a temporary folder.
#include "harvest/core/pagelist.h"
#include "platform/settings.h"
#include "support/coresupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace pagrim::bench {

// A wait for pagrim-run to start or to end after a kill has this limit.
constexpr int StartLimitMs = 60000;

// Flags for the embedded browser of pagrim-run when the environment gives none:
// no requests of the browser's own beyond the site's.
inline void quietBrowserFlags()
{
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                "--disable-gpu --disable-background-networking --disable-component-update "
                "--no-first-run --disable-sync");
    std::printf("QTWEBENGINE_CHROMIUM_FLAGS=%s\n",
                qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").constData());
}

// A store with the task of key 1, a page list of the addresses and
// SaveCurrent 0, and the settings of the runs (no pause between requests), in
// a temporary folder.
class TaskWorld
{
public:
    TaskWorld(const QString& taskName, const QStringList& addresses, int parallelPages,
              int timeoutSeconds)
        : m_taskName(taskName)
    {
        test::addTask(m_temp.storePath(), 1, taskName);
        Settings settings(m_temp.settingsPath());
        settings.setWorkPath(m_temp.workPath());
        settings.setParallelPages(parallelPages);
        settings.setHostDelay(0);
        settings.setPageTimeout(timeoutSeconds);
        QDir().mkpath(taskFolder());
        test::put(
            taskFolder() + QStringLiteral("/ResHtmls.lst"),
            test::crlfLines(QStringList(addresses) << harvest::summaryLine(int(addresses.size()))));
    }

    const test::TempWorld& temp() const { return m_temp; }
    const QString& taskName() const { return m_taskName; }
    QString taskFolder() const
    {
        return m_temp.workPath() + QStringLiteral("WorkDir/") + m_taskName;
    }
    // The task's page engine, "browser" or "direct", as the task editor stores it.
    void setPageEngine(const QString& engine) const
    {
        setOption(QStringLiteral("PageEngine"), engine);
    }
    // The task's longest wait for its values after a page's load, in ms.
    void setContentWait(int ms) const { setOption(QStringLiteral("ContentWait"), ms); }
    // Adds a ticked field of the task, cut between the markers.
    void addTickedField(const QString& name, const QString& start, const QString& end)
    {
        test::execOn(m_temp.storePath(),
                     QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, "
                                    "DescStart, DescEnd) values (?, 1, ?, 1, ?, ?)"),
                     {++m_fields, name, start, end});
    }
    // The number of files in HTML/.
    int savedFiles() const
    {
        return int(QDir(taskFolder() + QStringLiteral("/HTML")).entryList(QDir::Files).size());
    }

private:
    void setOption(const QString& column, const QVariant& value) const
    {
        test::execOn(m_temp.storePath(),
                     QStringLiteral("insert into TaskOptions (TaskID, %1) values (1, ?) "
                                    "on conflict (TaskID) do update set %1 = excluded.%1")
                         .arg(column),
                     {value});
    }

    test::TempWorld m_temp;
    QString m_taskName;
    int m_fields = 0;
};

// pagrim-run --save on the world's task, with more arguments before the task's
// name, in a process group of its own so that a kill takes the browser's
// processes too. Its standard error, the progress, goes to a file of the
// world.
class SaveRun
{
public:
    SaveRun(const TaskWorld& world, int number, const QStringList& more = {})
        : m_errors(world.temp().file(QStringLiteral("run-%1.err").arg(number)))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A browser profile of the world's own.
        env.insert(QStringLiteral("XDG_DATA_HOME"), world.temp().file(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), world.temp().file(QStringLiteral("cache")));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(world.temp().path());
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(m_errors);
        // The program gets the default action of SIGPIPE back, which the
        // server's writes to closed connections need ignored here.
        m_process.setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::signal(SIGPIPE, SIG_DFL);
        });
        m_clock.start();
        m_process.start(test::builtProgram(QStringLiteral("pagrim-run")),
                        QStringList{QStringLiteral("--store"), world.temp().storePath(),
                                    QStringLiteral("--settings"), world.temp().settingsPath(),
                                    QStringLiteral("--save")}
                            << more << world.taskName());
        m_started = m_process.waitForStarted(StartLimitMs);
    }
    ~SaveRun()
    {
        if (m_process.state() != QProcess::NotRunning)
            kill();
    }
    SaveRun(const SaveRun&) = delete;
    SaveRun& operator=(const SaveRun&) = delete;

    bool started() const { return m_started; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    // The process group of the program and its children.
    pid_t group() const { return pid_t(m_process.processId()); }
    // Waits until the run has ended or ms after its start; true when it has
    // ended.
    bool waitUntil(qint64 ms)
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        return m_process.waitForFinished(int(qMax<qint64>(1, ms - elapsedMs())));
    }
    // Waits for the end within limitMs of the start, killing the run past it;
    // every everyMs meanwhile, calls every.
    void finish(int limitMs, const std::function<void()>& every = {}, int everyMs = 50)
    {
        bool ended = false;
        while (!ended && elapsedMs() < limitMs) {
            ended = waitUntil(every ? qMin<qint64>(limitMs, elapsedMs() + everyMs) : limitMs);
            if (!ended && every)
                every();
        }
        m_endMs = ended ? elapsedMs() : -1;
        if (!ended) {
            std::printf("the run did not end within %d s: killed\n", limitMs / 1000);
            kill();
        }
    }
    void kill()
    {
        // The group's number is the program's; 0 would name this process's own.
        const pid_t pgid = group();
        if (pgid <= 0)
            return;
        ::kill(-pgid, SIGKILL);
        if (!m_process.waitForFinished(StartLimitMs))
            std::printf("the killed run did not end within %d s\n", StartLimitMs / 1000);
    }
    // The seconds from the start to the end, -1 when it was cut short.
    double seconds() const { return m_endMs < 0 ? -1 : m_endMs / 1000.0; }
    // The exit status, -1 when the program did not exit by itself.
    int status() const
    {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    // The summary line of the saving step on standard error, or its last line.
    QString summary() const
    {
        const QStringList lines = QString::fromUtf8(test::contents(m_errors))
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (it->contains(QStringLiteral("用时")))
                return *it;
        return lines.isEmpty() ? QString() : lines.last();
    }

private:
    QString m_errors;
    QProcess m_process;
    QElapsedTimer m_clock;
    bool m_started = false;
    qint64 m_endMs = -1;
};

} // namespace pagrim::bench
