#include "store/connection.h"

#include "platform/errors.h"
#include "store/likematcher.h"
#include "store/schema.h"

#include <QDir>

namespace pagrim::store {

QString Connection::defaultConnectionString()
{
    return QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=Pagrim.mdb;Persist Security Info=False");
}

QString Connection::dataSource() const
{
    for (const QString& part : m_connectionString.split(QLatin1Char(';'))) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 &&
            part.left(eq).trimmed().compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1).trimmed();
    }
    return {};
}

void Connection::open()
{
    close();
    const QString source = dataSource();
    if (source.isEmpty())
        throw DatabaseError(QStringLiteral("No Data Source in the connection string"));
    m_db.open(QDir::current().absoluteFilePath(source), false, BusyTimeoutMs);
    registerLike(m_db.handle());
    upgrade();
}

void Connection::upgrade()
{
    // A store that cannot be changed (a read-only file, say) still opens for
    // reading, as it always has; the first write that needs what is missing
    // fails with the engine's message.
    try {
        if (upgradeSql(m_db).isEmpty())
            return;
        Transaction transaction(*this);
        // Asked again under the write lock: another program may have done it.
        for (const QString& sql : upgradeSql(m_db))
            m_db.exec(sql);
        transaction.commit();
    } catch (const DatabaseError&) {
    }
}

void Connection::beginTransaction()
{
    m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}
void Connection::commit()
{
    m_db.exec(QStringLiteral("COMMIT"));
}
void Connection::rollback()
{
    if (m_db.inTransaction())
        m_db.exec(QStringLiteral("ROLLBACK"));
}

} // namespace pagrim::store
