#include "store/schema.h"

#include "platform/errors.h"
#include "store/sqlite.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <span>

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
    "ContentWait INTEGER",
    "LoggedOutText VARCHAR(255)",
};

// The columns of DescOptions after its key, the same way.
const char* const descOptionColumns[] = {
    "ShownText BOOLEAN",
};

// A table of options kept beside the rows of another table by their key.
struct OptionTable
{
    const char* name;
    const char* key;
    std::span<const char* const> columns;
};
const OptionTable optionTables[] = {
    {"TaskOptions", "TaskID", taskOptionColumns},
    {"DescOptions", "DescID", descOptionColumns},
};

QString optionTable(const OptionTable& table, const char* create)
{
    QString sql =
        QStringLiteral("%1 %2 (%3 INTEGER NOT NULL PRIMARY KEY")
            .arg(QLatin1String(create), QLatin1String(table.name), QLatin1String(table.key));
    for (const char* column : table.columns)
        sql += QStringLiteral(", ") + QLatin1String(column);
    return sql + QStringLiteral(");\n");
}

// The options of a field go with it, however its row is deleted (from the
// field list or with its task): a field given the same key later starts afresh.
const char* const descOptionsTrigger = "DescOptionsGoWithDescs";
QString descOptionsTriggerSql()
{
    return QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON Descs BEGIN "
                          "DELETE FROM DescOptions WHERE DescID = old.DescID; END;\n")
        .arg(QLatin1String(descOptionsTrigger));
}

bool hasTrigger(Database& db, const char* name)
{
    Statement st(db.handle(),
                 QStringLiteral("select 1 from sqlite_master where type = 'trigger' and name = ?"));
    st.bind(1, QLatin1String(name));
    return st.step();
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
    for (const OptionTable& table : optionTables)
        sql += optionTable(table, "CREATE TABLE");
    return sql + descOptionsTriggerSql();
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
    QStringList sql;
    for (const OptionTable& table : optionTables) {
        const QStringList present = columnsOf(db, QLatin1String(table.name));
        if (present.isEmpty()) {
            sql << optionTable(table, "CREATE TABLE IF NOT EXISTS");
            continue;
        }
        for (const char* column : table.columns) {
            const QString definition = QLatin1String(column);
            if (!present.contains(definition.section(QLatin1Char(' '), 0, 0), Qt::CaseInsensitive))
                sql << QStringLiteral("ALTER TABLE %1 ADD COLUMN ").arg(QLatin1String(table.name)) +
                           definition;
        }
    }
    if (!hasTrigger(db, descOptionsTrigger))
        sql << descOptionsTriggerSql();
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
