#include "likematcher.h"

#include <sqlite3.h>

namespace pagrim::store {

// Placeholder until the Jet-compatible matcher lands: SQLite's own like.
bool likeMatch(QStringView, QStringView) { return false; }

void registerLike(sqlite3*) {}

} // namespace pagrim::store
