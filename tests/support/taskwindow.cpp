#include "support/taskwindow.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace pagrim::test {

TaskWindow::TaskWindow() : settings(world.settingsPath())
{
    settings.setWorkPath(world.workPath());
}

TaskWindow::~TaskWindow()
{
    close();
}

TfrmProcess& TaskWindow::open(int taskId, QWidget* owner)
{
    conn = std::make_unique<store::Connection>();
    conn->open();
    tasks = std::make_unique<store::DataSet>(*conn);
    tasks->setCommandText(QStringLiteral("select * from Tasks order by TaskID"));
    tasks->open();
    while (!tasks->eof() && tasks->field(QStringLiteral("TaskID")).asInteger() != taskId)
        tasks->next();
    frm = std::make_unique<TfrmProcess>(*tasks, *conn, settings, owner);
    frm->setTaskRecord(tasks.get());
    frm->setWindowTitle(QStringLiteral("执行任务 - ") +
                        tasks->field(QStringLiteral("TaskName")).asString());
    frm->show();
    return *frm;
}

void TaskWindow::close()
{
    if (frm && frm->isVisible())
        frm->close();
    frm.reset();
    tasks.reset();
    conn.reset();
}

bool TaskWindow::click(const char* name, int watchdogMs)
{
    QPushButton* b = button(name);
    bool fired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this, b, &fired] {
        fired = true;
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (modal == frm.get())
                break;
            qWarning("a %s held the run; closed", modal->metaObject()->className());
            modal->close();
        }
        if (b->text() == QStringLiteral("停止"))
            QTest::mouseClick(b, Qt::LeftButton);
    });
    watchdog.start(watchdogMs);
    QTest::mouseClick(b, Qt::LeftButton);
    return !fired;
}

int TaskWindow::stored(const char* column) const
{
    return rowsOf(
               world.storePath(),
               QStringLiteral("select %1 from Tasks where TaskID = 1").arg(QLatin1String(column)))
        .value(0)
        .value(0)
        .toInt();
}

} // namespace pagrim::test
