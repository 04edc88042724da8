#pragma once

#include "harvest/ufrmProcess.h"
#include "platform/settings.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/testsupport.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace pagrim::test {

// A world with the execution window on its first task, as the main window
// opens it, message boxes recorded. The task is named Task.
class TaskWindow
{
public:
    static inline const QString Task = QStringLiteral("网站");

    TaskWindow() : settings(world.settingsPath()) { settings.setWorkPath(world.workPath()); }
    ~TaskWindow() { close(); }

    // Opens the store and the window, as at the program's start.
    void open()
    {
        conn = std::make_unique<store::Connection>();
        conn->open();
        tasks = std::make_unique<store::DataSet>(*conn);
        tasks->setCommandText(QStringLiteral("select * from Tasks order by TaskID"));
        tasks->open();
        frm = std::make_unique<TfrmProcess>(*tasks, *conn, settings);
        frm->setTaskRecord(tasks.get());
        frm->show();
    }
    void close()
    {
        if (frm && frm->isVisible())
            frm->close();
        frm.reset();
        tasks.reset();
        conn.reset();
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(frm.get(), name); }
    // A click on a harvesting button; returns when its handler has. A run
    // still going after watchdogMs is stopped; gives false then.
    bool click(const char* name, int watchdogMs)
    {
        QPushButton* b = button(name);
        bool fired = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [b, &fired] {
            fired = true;
            if (b->text() == QStringLiteral("停止"))
                QTest::mouseClick(b, Qt::LeftButton);
        });
        watchdog.start(watchdogMs);
        QTest::mouseClick(b, Qt::LeftButton);
        return !fired;
    }
    QString taskFolder() const { return world.workPath() + QStringLiteral("WorkDir/") + Task; }
    QString pageFile(int n) const { return taskFolder() + QStringLiteral("/HTML/%1.Htm").arg(n); }
    QString listFile() const { return taskFolder() + QStringLiteral("/ResHtmls.lst"); }
    // A column of the first task as the store holds it.
    int stored(const char* column) const
    {
        return rowsOf(world.storePath(), QStringLiteral("select %1 from Tasks where TaskID = 1")
                                             .arg(QLatin1String(column)))
            .value(0)
            .value(0)
            .toInt();
    }

    TempWorld world;
    MessageRecorder boxes;
    Settings settings;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> tasks;
    std::unique_ptr<TfrmProcess> frm;
};

} // namespace pagrim::test
