#pragma once

#include "harvest/ufrmProcess.h"
#include "platform/settings.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/testsupport.h"

#include <QPushButton>
#include <memory>

namespace pagrim::test {

// A world with the execution window on one of its tasks, as the main window
// opens it: a store, a settings file that names the world's work folder,
// message boxes recorded and beeps counted. Tests add the task rows, then open.
class TaskWindow
{
public:
    // The name of the first task of most tests.
    static inline const QString Task = QStringLiteral("网站");

    TaskWindow();
    ~TaskWindow();
    TaskWindow(const TaskWindow&) = delete;
    TaskWindow& operator=(const TaskWindow&) = delete;

    // Opens the store and the window on the task of that key, as at the
    // program's start; the window is shown without a loop of its own.
    TfrmProcess& open(int taskId = 1, QWidget* owner = nullptr);
    // Closes the window, then the store.
    void close();
    QPushButton* button(const char* name) const { return child<QPushButton>(frm.get(), name); }
    // A click on a harvesting button; returns when its handler has. A run still
    // going after watchdogMs has any other window closed and is stopped; gives
    // false then.
    bool click(const char* name, int watchdogMs);

    // The folder and files of the task named Task.
    QString taskFolder() const { return world.workPath() + QStringLiteral("WorkDir/") + Task; }
    QString pageFile(int n) const { return taskFolder() + QStringLiteral("/HTML/%1.Htm").arg(n); }
    QString listFile() const { return taskFolder() + QStringLiteral("/ResHtmls.lst"); }
    // A column of the first task as the store holds it.
    int stored(const char* column) const;

    TempWorld world;
    MessageRecorder boxes;
    BeepCounter beeps;
    Settings settings;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> tasks;
    std::unique_ptr<TfrmProcess> frm;
};

} // namespace pagrim::test
