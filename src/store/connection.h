#pragma once

#include "store/sqlite.h"

#include <QString>

namespace pagrim::store {

// The one connection to the task store (adoConn). The connection string names
// the file by its Data Source, resolved against the current folder; the file is
// opened read-write and never created. Opening brings an older store up to the
// tables of this program.
class Connection
{
public:
    static QString defaultConnectionString();

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(const QString& text) { m_connectionString = text; }
    const QString& connectionString() const { return m_connectionString; }
    // The Data Source of the connection string.
    QString dataSource() const;

    // Throws DatabaseError with the engine's message.
    void open();
    void close() { m_db.close(); }
    bool isOpen() const { return m_db.isOpen(); }

    Database& database() { return m_db; }
    sqlite3* handle() const { return m_db.handle(); }

    // Several writes made whole together.
    void beginTransaction();
    void commit();
    void rollback();

    // How long a write waits for another process's lock.
    static constexpr int BusyTimeoutMs = 5000;

private:
    void upgrade();

    QString m_connectionString = defaultConnectionString();
    Database m_db;
};

// A transaction for a scope: begun at construction, committed by commit(), rolled
// back when the scope ends without it (an error on the way).
class Transaction
{
public:
    explicit Transaction(Connection& conn) : m_conn(conn) { m_conn.beginTransaction(); }
    ~Transaction()
    {
        if (m_done)
            return;
        try {
            m_conn.rollback();
        } catch (...) {
            // The engine ends a failed transaction itself; nothing more to undo.
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        m_conn.commit();
        m_done = true;
    }

private:
    Connection& m_conn;
    bool m_done = false;
};

} // namespace pagrim::store
