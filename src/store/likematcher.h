#pragma once

#include <QStringView>

struct sqlite3;

// The LIKE of the task store: "%" any run of characters (possibly none), "_" any
// one character, "[abc]" one of a set, "[!abc]" one not in it, "[a-z]" ranges,
// letters without regard to case; the whole text must match the whole pattern.
namespace pagrim::store {

// Throws DatabaseError for a malformed pattern.
bool likeMatch(QStringView text, QStringView pattern);

// Registers likeMatch as the connection's like(), so SQL and the program share it.
void registerLike(sqlite3* db);

} // namespace pagrim::store
