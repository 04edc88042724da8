#include "store/schema.h"

#include "platform/errors.h"
#include "store/sqlite.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace pagrim::store {

namespace {
// A text column of Tasks: the store itself refuses more than 255 characters.
QString text255(const char* name)
{
    return QStringLiteral("  %1 VARCHAR(255) CONSTRAINT \"%1 longer than 255 characters\" "
                          "CHECK (length(%1) <= 255),\n")
        .arg(QLatin1String(name));
}
QString int32(const char* name, const char* extra = "")
{
    return QStringLiteral("  %1 INTEGER%2 CONSTRAINT \"%1 out of range\" "
                          "CHECK (%1 BETWEEN -2147483648 AND 2147483647)")
        .arg(QLatin1String(name), QLatin1String(extra));
}
QString boolean(const char* name)
{
    return QStringLiteral("  %1 BOOLEAN CONSTRAINT \"%1 is not a Boolean\" CHECK (%1 IN (0, 1))")
        .arg(QLatin1String(name));
}

// The columns of TaskOptions after its key, as both the CREATE TABLE of a new
// store and the ALTER TABLE of an older one write them: an option is a line.
const char* const taskOptionColumns[] = {
    "PageEngine VARCHAR(16)",
    "LoggedOutText VARCHAR(255)",
};

QString taskOptionsTable(const char* create)
{
    QString sql =
        QLatin1String(create) + QStringLiteral(" TaskOptions (TaskID INTEGER NOT NULL PRIMARY KEY");
    for (const char* column : taskOptionColumns)
        sql += QStringLiteral(", ") + QLatin1String(column);
    return sql + QStringLiteral(");\n");
}
} // namespace

QString schemaSql()
{
    QString sql = QStringLiteral("CREATE TABLE Tasks (\n");
    sql += int32("TaskID", " NOT NULL PRIMARY KEY") + QStringLiteral(",\n");
    sql += text255("TaskName") + text255("TaskDesc") + text255("WebName");
    sql += boolean("WebType") + QStringLiteral(",\n");
    sql += text255("ResLstAddr") + text255("ResAddr");
    sql += QStringLiteral("  TaskDate DATETIME,\n");
    sql += text255("LoginAddr") + text255("NextPageAddr");
    sql += int32("ResStart") + QStringLiteral(",\n") + int32("ResEnd") + QStringLiteral(",\n");
    sql += int32("ResCurrent") + QStringLiteral(",\n") + int32("SaveCurrent");
    sql += QStringLiteral("\n);\nCREATE TABLE Descs (\n");
    sql += int32("DescID", " NOT NULL PRIMARY KEY") + QStringLiteral(",\n");
    sql += int32("TaskID") + QStringLiteral(",\n");
    sql += QStringLiteral("  DescName VARCHAR(255),\n");
    sql += boolean("DescNeed") + QStringLiteral(",\n");
    sql += QStringLiteral("  DescStart MEMO,\n  DescEnd MEMO\n);\n");
    return sql + taskOptionsTable("CREATE TABLE");
}

QStringList columnsOf(Database& db, const QString& table)
{
    Statement st(db.handle(), QStringLiteral("select name from pragma_table_info(?)"));
    st.bind(1, table);
    QStringList names;
    while (st.step())
        names << st.columnValue(0).toString();
    return names;
}

QStringList upgradeSql(Database& db)
{
    if (columnsOf(db, QStringLiteral("Tasks")).isEmpty())
        return {};
    const QStringList present = columnsOf(db, QStringLiteral("TaskOptions"));
    if (present.isEmpty())
        return {taskOptionsTable("CREATE TABLE IF NOT EXISTS")};
    QStringList sql;
    for (const char* column : taskOptionColumns) {
        const QString definition = QLatin1String(column);
        if (!present.contains(definition.section(QLatin1Char(' '), 0, 0), Qt::CaseInsensitive))
            sql << QStringLiteral("ALTER TABLE TaskOptions ADD COLUMN ") + definition;
    }
    return sql;
}

void createStore(const QString& path, const std::function<void(Database&)>& fill)
{
    if (QFileInfo::exists(path))
        throw DatabaseError(QStringLiteral("%1 already exists; it was left as it is").arg(path));
    // Built beside the target, then moved into place; rename never replaces a file.
    // A fresh name beside the target, so no file of the user's is touched.
    QString temp;
    {
        QTemporaryFile probe(path + QStringLiteral(".XXXXXX"));
        if (!probe.open())
            throw DatabaseError(
                QStringLiteral("Cannot create %1: %2").arg(path, probe.errorString()));
        temp = probe.fileName();
    }
    try {
        Database db;
        db.open(temp, true);
        // One transaction: one write to the disk for the tables and the rows.
        db.exec(QStringLiteral("begin"));
        db.exec(schemaSql());
        if (fill)
            fill(db);
        db.exec(QStringLiteral("commit"));
        db.close();
    } catch (...) {
        QFile::remove(temp);
        throw;
    }
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        throw DatabaseError(QStringLiteral("Cannot create %1").arg(path));
    }
}

} // namespace pagrim::store
