#include "store/rowwriter.h"

#include "platform/errors.h"
#include "store/sqlite.h"

#include <QStringList>

namespace pagrim::store {

namespace {

QString quoteName(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

} // namespace

RowWriter::RowWriter(Database& db, std::vector<FieldDef> fields, QString owner)
    : m_db(db), m_fields(std::move(fields)), m_owner(std::move(owner))
{
    for (const FieldDef& f : m_fields)
        if (!f.calculated && !f.table.isEmpty()) {
            m_table = f.table;
            break;
        }
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (!m_fields[i].calculated && !m_table.isEmpty() &&
            m_fields[i].table.compare(m_table, Qt::CaseInsensitive) == 0)
            m_columns.push_back(int(i));
}

const QString& RowWriter::table() const
{
    if (m_table.isEmpty())
        throw DatabaseError(
            QStringLiteral("%1: Insufficient key column information for updating").arg(m_owner));
    return m_table;
}

const std::vector<int>& RowWriter::keys()
{
    if (!m_keys) {
        const QString& t = table();
        std::vector<int> keys;
        for (int c : m_columns)
            if (m_db.isPrimaryKey(t, m_fields[size_t(c)].origin))
                keys.push_back(c);
        if (keys.empty())
            throw DatabaseError(
                QStringLiteral("%1: Insufficient key column information for updating")
                    .arg(m_owner));
        m_keys = std::move(keys);
    }
    return *m_keys;
}

QString RowWriter::keyCondition()
{
    QStringList where;
    for (int k : keys())
        where << quoteName(m_fields[size_t(k)].origin) + QStringLiteral("=?");
    return where.join(QLatin1String(" AND "));
}

void RowWriter::insert(const std::vector<QVariant>& row)
{
    QStringList names, marks;
    for (int c : m_columns) {
        names << quoteName(m_fields[size_t(c)].origin);
        marks << QStringLiteral("?");
    }
    Statement st(m_db.handle(), QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(quoteName(table()), names.join(QLatin1Char(',')),
                                         marks.join(QLatin1Char(','))));
    int n = 1;
    for (int c : m_columns)
        st.bind(n++, row[size_t(c)]);
    st.step();
}

void RowWriter::update(const std::vector<QVariant>& row, const std::vector<QVariant>& was)
{
    QStringList sets;
    for (int c : m_columns)
        sets << quoteName(m_fields[size_t(c)].origin) + QStringLiteral("=?");
    Statement st(m_db.handle(),
                 QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                     .arg(quoteName(table()), sets.join(QLatin1Char(',')), keyCondition()));
    int n = 1;
    for (int c : m_columns)
        st.bind(n++, row[size_t(c)]);
    for (int k : keys())
        st.bind(n++, was[size_t(k)]);
    const ConnectionLock lock(m_db.handle());
    st.step();
    // A row that another writer removed must not be reported as written.
    if (m_db.changes() == 0)
        throw DatabaseError(QStringLiteral("Row cannot be located for updating. Some values may "
                                           "have been changed since it was last read."));
}

void RowWriter::remove(const std::vector<QVariant>& row)
{
    Statement st(m_db.handle(),
                 QStringLiteral("DELETE FROM %1 WHERE %2").arg(quoteName(table()), keyCondition()));
    int n = 1;
    for (int k : keys())
        st.bind(n++, row[size_t(k)]);
    st.step();
}

} // namespace pagrim::store
