#pragma once

#include <QString>
#include <functional>

namespace pagrim::store {

// The statements that make the two tables of an empty store.
QString schemaSql();

class Database;

// Makes a store with both tables at path, and runs fill on it (when given)
// before it appears. Refuses (DatabaseError) when a file exists there; the
// file appears whole or not at all.
void createStore(const QString& path, const std::function<void(Database&)>& fill = {});

} // namespace pagrim::store
