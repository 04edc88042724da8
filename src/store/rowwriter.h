#pragma once

#include "store/fieldvalue.h"

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace pagrim::store {

class Database;

// Writes the rows of one result back to its base table (the table of its first
// stored column) with bound parameters: the columns of that table are written,
// rows are found by its primary key columns, which are looked up once and kept.
// Errors carry the engine's message, or name the owning query.
class RowWriter
{
public:
    RowWriter(Database& db, std::vector<FieldDef> fields, QString owner);

    void insert(const std::vector<QVariant>& row);
    // Writes row over the stored row whose keys are those of was.
    void update(const std::vector<QVariant>& row, const std::vector<QVariant>& was);
    void remove(const std::vector<QVariant>& row);

private:
    const QString& table() const;
    const std::vector<int>& keys();
    QString keyCondition();

    Database& m_db;
    std::vector<FieldDef> m_fields;
    QString m_owner;
    QString m_table;            // empty when no column has one
    std::vector<int> m_columns; // of the base table, in result order
    std::optional<std::vector<int>> m_keys;
};

} // namespace pagrim::store
