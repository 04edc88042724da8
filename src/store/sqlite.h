#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_mutex;
struct sqlite3_stmt;

// Small owners of the SQLite C API: a database handle and a prepared statement.
// Errors are thrown as DatabaseError with the engine's message.
namespace pagrim::store {

class Database
{
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file read-write (never creates it), or creates it when
    // create is true, waiting up to busyTimeoutMs for another process's lock.
    // Throws on failure; a file that is not a database fails here.
    void open(const QString& path, bool create = false, int busyTimeoutMs = 0);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3* handle() const { return m_db; }

    // Runs statements that return no rows.
    void exec(const QString& sql);
    // Rows changed by the last INSERT, UPDATE or DELETE: on a connection shared
    // between threads, under a ConnectionLock taken before that statement ran.
    int changes() const;
    // Whether an explicit transaction is open.
    bool inTransaction() const;
    // Whether column belongs to the primary key of table; false when either is unknown.
    bool isPrimaryKey(const QString& table, const QString& column) const;

private:
    sqlite3* m_db = nullptr;
};

// The connection's own lock, held for a scope. A connection shared between
// threads is locked by the engine for one call at a time, so the error message
// or changed-row count a call leaves is that call's only while this is held
// from the call until they are read: another thread's call replaces (and frees)
// them. The lock is recursive.
class ConnectionLock
{
public:
    explicit ConnectionLock(sqlite3* db);
    ~ConnectionLock();
    ConnectionLock(const ConnectionLock&) = delete;
    ConnectionLock& operator=(const ConnectionLock&) = delete;

private:
    sqlite3_mutex* m_mutex;
};

class Statement
{
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int parameterCount() const;
    QString parameterName(int index) const; // 1-based, without the leading ':'
    void bind(int index, const QVariant& value);
    // One step; true while a row is ready.
    bool step();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    QString columnDeclaredType(int column) const;
    QString columnTable(int column) const;
    QString columnOrigin(int column) const;
    QVariant columnValue(int column) const;
    sqlite3_stmt* handle() const { return m_stmt; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace pagrim::store
