#pragma once

#include "cli/options.h"
#include "platform/settings.h"
#include "store/connection.h"

#include <QString>
#include <functional>
#include <memory>

namespace pagrim {
class TaskLock;
}
namespace pagrim::store {
class DataSet;
}
namespace pagrim::harvest {
class Browser;
}

namespace pagrim::cli {

class CliBrowser;
class CliHost;
class Progress;
class StopSignal;

// One call of pagrim-run: opens the store, finds the task, holds its lock for
// the whole run and runs the steps asked for with the same cores, files and
// counters as the execution window. A step with nothing left to do says so,
// as the window does, and the next one runs.
class TaskRun
{
public:
    TaskRun(const RunOptions& options, Progress& progress, StopSignal& stop);
    ~TaskRun();
    TaskRun(const TaskRun&) = delete;
    TaskRun& operator=(const TaskRun&) = delete;

    // Runs it; gives the exit status.
    int exec();

private:
    // The run's course: each part below tells what went wrong itself.
    int run();
    bool openStore();
    bool findTask();
    // The window the run would have: the host and its browser.
    void makeHost();
    bool takeLock();
    // What the execution window does when it opens on the task.
    void openTask();
    // The steps asked for, in their order, until one sets an exit status
    // other than Done or a stop is asked for; gives the exit status.
    int runSteps();

    // The login window on the task's login address, until it is closed.
    void logIn();
    void listStep();
    // The pages the site has added, to the end of the page list.
    void updateStep();
    // The browser of the task's list pages: for a task of the direct engine
    // one of its own, which direct then holds.
    harvest::Browser& listBrowser(std::unique_ptr<CliBrowser>& direct);
    void saveStep();
    void extractStep();
    void testStep();
    void extraction(bool test);
    // Runs a step between its progress's begin and end; a stop still ends it
    // with its summary line.
    void step(const QString& name, const std::function<void()>& body);
    int taskNumber(const char* column);

    const RunOptions& m_options;
    Progress& m_progress;
    StopSignal& m_stop;
    Settings m_settings;
    store::Connection m_conn;
    std::unique_ptr<store::DataSet> m_tasks;
    std::unique_ptr<CliHost> m_host;
    std::unique_ptr<TaskLock> m_lock;
    // Goes first: the browser before the task it runs for and the lock.
    std::unique_ptr<CliBrowser> m_browser;
};

} // namespace pagrim::cli
