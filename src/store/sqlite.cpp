#include "store/sqlite.h"

#include "platform/errors.h"

#include <QDateTime>
#include <QFileInfo>
#include <sqlite3.h>

namespace pagrim::store {

namespace {
[[noreturn]] void fail(sqlite3* db)
{
    throw DatabaseError(db ? QString::fromUtf8(sqlite3_errmsg(db))
                           : QStringLiteral("out of memory"));
}
} // namespace

ConnectionLock::ConnectionLock(sqlite3* db) : m_mutex(db ? sqlite3_db_mutex(db) : nullptr)
{
    sqlite3_mutex_enter(m_mutex);
}

ConnectionLock::~ConnectionLock()
{
    sqlite3_mutex_leave(m_mutex);
}

Database::~Database()
{
    close();
}

void Database::open(const QString& path, bool create, int busyTimeoutMs)
{
    close();
    // The engine takes an empty file for an empty database; as a store it is
    // no database at all, and saying so at open spares a later "no such table".
    if (!create && QFileInfo(path).isFile() && QFileInfo(path).size() == 0)
        throw DatabaseError(QStringLiteral("file is not a database"));
    // Serialized: a write may run on another thread while events run here.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
    if (create)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw DatabaseError(message);
    }
    m_db = db;
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    // Reading the schema proves the file is a database now, not at the first query.
    char* err = nullptr;
    if (sqlite3_exec(m_db, "select count(*) from sqlite_master", nullptr, nullptr, &err) !=
        SQLITE_OK) {
        const QString message = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
        sqlite3_free(err);
        close();
        throw DatabaseError(message);
    }
}

void Database::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Database::exec(const QString& sql)
{
    const ConnectionLock lock(m_db);
    char* err = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString message = QString::fromUtf8(err ? err : sqlite3_errmsg(m_db));
        sqlite3_free(err);
        throw DatabaseError(message);
    }
}

int Database::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

bool Database::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

bool Database::isPrimaryKey(const QString& table, const QString& column) const
{
    int primaryKey = 0;
    return m_db &&
           sqlite3_table_column_metadata(m_db, nullptr, table.toUtf8().constData(),
                                         column.toUtf8().constData(), nullptr, nullptr, nullptr,
                                         &primaryKey, nullptr) == SQLITE_OK &&
           primaryKey;
}

Statement::Statement(sqlite3* db, const QString& sql) : m_db(db)
{
    if (!db)
        throw DatabaseError(QStringLiteral("The connection is not open"));
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    const ConnectionLock lock(db);
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, &tail) != SQLITE_OK)
        fail(db);
    if (!m_stmt)
        throw DatabaseError(QStringLiteral("Command text does not return a result set"));
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

int Statement::parameterCount() const
{
    return sqlite3_bind_parameter_count(m_stmt);
}

QString Statement::parameterName(int index) const
{
    const char* name = sqlite3_bind_parameter_name(m_stmt, index);
    QString s = name ? QString::fromUtf8(name) : QString();
    if (!s.isEmpty() &&
        (s[0] == QLatin1Char(':') || s[0] == QLatin1Char('@') || s[0] == QLatin1Char('$')))
        s.remove(0, 1);
    return s;
}

void Statement::bind(int index, const QVariant& value)
{
    const ConnectionLock lock(m_db);
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int(m_stmt, index, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
            break;
        case QMetaType::QDateTime: {
            const QByteArray t =
                value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray t = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        fail(m_db);
}

bool Statement::step()
{
    const ConnectionLock lock(m_db);
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString Statement::columnDeclaredType(int column) const
{
    const char* t = sqlite3_column_decltype(m_stmt, column);
    return t ? QString::fromUtf8(t) : QString();
}

QString Statement::columnTable(int column) const
{
    const char* t = sqlite3_column_table_name(m_stmt, column);
    return t ? QString::fromUtf8(t) : QString();
}

QString Statement::columnOrigin(int column) const
{
    const char* t = sqlite3_column_origin_name(m_stmt, column);
    return t ? QString::fromUtf8(t) : QString();
}

QVariant Statement::columnValue(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_NULL:
        return QVariant();
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)));
    }
    }
}

} // namespace pagrim::store
