#pragma once

#include <QString>

namespace pagrim::store {

// The statements that make the two tables of an empty store.
QString schemaSql();

// Makes an empty store with both tables at path. Refuses (DatabaseError) when a
// file exists there; the file appears whole or not at all.
void createStore(const QString& path);

} // namespace pagrim::store
