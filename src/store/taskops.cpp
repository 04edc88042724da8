#include "store/taskops.h"

#include "store/connection.h"
#include "store/dataset.h"

#include <QDateTime>

namespace pagrim::store {

namespace {
const QString taskKey = QStringLiteral("TaskID");
const QString taskName = QStringLiteral("TaskName");
} // namespace

void fillNewTask(DataSet& tasks)
{
    const int key =
        allocateKey(tasks.connection(), QStringLiteral("select max(TaskID) from Tasks "));
    tasks.field(taskKey).setValue(key);
    tasks.field(taskName).setValue(QStringLiteral("新建任务") + QString::number(key));
    tasks.field(QStringLiteral("TaskDate")).setValue(QDateTime::currentDateTime());
    tasks.field(QStringLiteral("WebType")).setValue(true);
    for (const char* counter : {"ResStart", "ResEnd", "ResCurrent", "SaveCurrent"})
        tasks.field(QLatin1String(counter)).setValue(0);
}

TaskOptions appendTaskCopy(DataSet& tasks)
{
    const int key = tasks.field(taskKey).asInteger();
    TaskOptions options = readTaskOptions(tasks.connection(), key);
    auto source = CreateScratchQuery(tasks.connection());
    source->setCommandText(QStringLiteral("select * from Tasks where TaskID = :TaskID"));
    source->setParameter(taskKey, key);
    source->open();
    tasks.append();
    // Column by column at the same position: both follow the column order of Tasks.
    try {
        for (int i = 0; i < source->fieldCount(); ++i) {
            const QString& name = source->fieldDef(i).name;
            if (name == taskKey || name == taskName)
                continue;
            tasks.field(i).setValue(source->field(i).value());
        }
    } catch (...) {
        tasks.cancel();
        throw;
    }
    return options;
}

void postTask(DataSet& tasks, const TaskOptions& options)
{
    const int key = tasks.field(taskKey).asInteger();
    Connection& conn = tasks.connection();
    // The row stays pending until the whole transaction is through.
    tasks.post([&](const std::function<void()>& write) {
        Transaction transaction(conn);
        write();
        writeTaskOptions(conn, key, options);
        transaction.commit();
    });
}

void deleteTask(DataSet& tasks)
{
    const int key = tasks.field(taskKey).asInteger();
    Connection& conn = tasks.connection();
    try {
        Transaction transaction(conn);
        Statement descs(conn.handle(), QStringLiteral("delete from Descs where TaskID = ?"));
        descs.bind(1, key);
        descs.step();
        deleteTaskOptions(conn, key);
        tasks.deleteRecord();
        transaction.commit();
    } catch (...) {
        // Rolled back by now. A row that left the list but not the store comes back.
        if (tasks.currentRow() < 0 || tasks.field(taskKey).asInteger() != key) {
            tasks.close();
            tasks.open();
        }
        throw;
    }
}

} // namespace pagrim::store
