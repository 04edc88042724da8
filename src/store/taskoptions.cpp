#include "store/taskoptions.h"

#include "store/connection.h"
#include "store/dataset.h"
#include "store/schema.h"
#include "store/sqlite.h"

#include <QVariant>

namespace pagrim::store {

namespace {
const QString table = QStringLiteral("TaskOptions");

bool hasTable(Connection& connection)
{
    return !columnsOf(connection.database(), table).isEmpty();
}

QVariant textOrNull(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}
} // namespace

TaskOptions readTaskOptions(Connection& connection, int taskId)
{
    TaskOptions options;
    if (!hasTable(connection))
        return options;
    auto query = CreateScratchQuery(connection);
    query->setCommandText(QStringLiteral("select * from TaskOptions where TaskID = :TaskID"));
    query->setParameter(QStringLiteral("TaskID"), taskId);
    query->open();
    if (query->isEmpty())
        return options;
    // By name: a column that an older store could not be given keeps its default.
    if (query->fieldIndex(QStringLiteral("PageEngine")) >= 0)
        options.pageEngine = query->field(QStringLiteral("PageEngine")).asString();
    if (query->fieldIndex(QStringLiteral("ContentWait")) >= 0)
        options.contentWait = query->field(QStringLiteral("ContentWait")).asInteger();
    if (query->fieldIndex(QStringLiteral("LoggedOutText")) >= 0)
        options.loggedOutText = query->field(QStringLiteral("LoggedOutText")).asString();
    return options;
}

void writeTaskOptions(Connection& connection, int taskId, const TaskOptions& options)
{
    for (const QString& sql : upgradeSql(connection.database()))
        connection.database().exec(sql);
    Statement st(connection.handle(),
                 QStringLiteral("insert into TaskOptions (TaskID, PageEngine, ContentWait, "
                                "LoggedOutText) values (?, ?, ?, ?) on conflict (TaskID) do "
                                "update set PageEngine = excluded.PageEngine, "
                                "ContentWait = excluded.ContentWait, "
                                "LoggedOutText = excluded.LoggedOutText"));
    st.bind(1, taskId);
    st.bind(2, textOrNull(options.pageEngine));
    st.bind(3, options.contentWait ? QVariant(options.contentWait) : QVariant());
    st.bind(4, textOrNull(options.loggedOutText));
    st.step();
}

void deleteTaskOptions(Connection& connection, int taskId)
{
    if (!hasTable(connection))
        return;
    Statement st(connection.handle(), QStringLiteral("delete from TaskOptions where TaskID = ?"));
    st.bind(1, taskId);
    st.step();
}

} // namespace pagrim::store
