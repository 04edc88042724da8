#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace pagrim::store {

class Database;

// The statements that make the tables of an empty store.
QString schemaSql();

// The statements that bring an older store up to the tables of this program:
// CREATE TABLE IF NOT EXISTS for a missing option table, ALTER TABLE ... ADD
// COLUMN for each missing column, CREATE TRIGGER for the trigger that deletes
// the options of a deleted field. None for a store that is up to date, nor for
// a database without Tasks, which is no store of ours.
QStringList upgradeSql(Database& db);

// The column names of a table in their order; none when there is no such table.
QStringList columnsOf(Database& db, const QString& table);

// Makes a store with all its tables at path, and runs fill on it (when given)
// before it appears. Refuses (DatabaseError) when a file exists there; the
// file appears whole or not at all.
void createStore(const QString& path, const std::function<void(Database&)>& fill = {});

} // namespace pagrim::store
