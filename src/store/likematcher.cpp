#include "store/likematcher.h"

#include "platform/errors.h"

#include <QChar>
#include <sqlite3.h>

namespace pagrim::store {

// Pattern syntax, as the store's LIKE reads it:
//   %        any run of characters, possibly none
//   _        any one character
//   [set]    one character of the set; "[!set]" one character not in it
//   a-z      inside a set, a range; it must not descend
//   -        inside a set, itself when it stands first (after "!") or last
//   []       matches nothing at all (the empty text), as a set that is empty
//   [!]      the "!" itself: there is nothing to negate
// Everything else, "*", "?", "#" and a "]" outside a set included, stands for
// itself. Letters compare without regard to case, also in sets and ranges.
// A "[" without its "]", a descending range or a stray "-" in a set make the
// pattern malformed.

namespace {

const char* const invalidPattern = "Invalid pattern string";

[[noreturn]] void throwInvalid()
{
    throw DatabaseError(QString::fromLatin1(invalidPattern));
}

inline char16_t fold(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

// Where the set opened at p (pattern[p] == '[') ends: the index of its "]".
// Returns -1 when the set is malformed.
qsizetype setEnd(const char16_t* s, qsizetype n, qsizetype p)
{
    qsizetype i = p + 1;
    if (i < n && s[i] == u'!' && i + 1 < n && s[i + 1] != u']')
        ++i;
    const qsizetype first = i;
    while (i < n && s[i] != u']') {
        const char16_t c = s[i];
        if (c == u'-') {
            // A hyphen is itself only at either end of the set.
            if (i != first && !(i + 1 < n && s[i + 1] == u']'))
                return -1;
            ++i;
            continue;
        }
        if (i + 2 < n && s[i + 1] == u'-' && s[i + 2] != u']') {
            if (fold(s[i + 2]) < fold(c))
                return -1;
            i += 3;
            continue;
        }
        ++i;
    }
    return i < n ? i : -1;
}

// Whether c (already folded) belongs to the set [p, end) of a well-formed pattern.
bool inSet(const char16_t* s, qsizetype p, qsizetype end, char16_t c)
{
    qsizetype i = p + 1;
    bool negate = false;
    if (s[i] == u'!' && i + 1 < end) {
        negate = true;
        ++i;
    }
    bool found = false;
    while (i < end && !found) {
        const char16_t x = s[i];
        if (x != u'-' && i + 2 < end && s[i + 1] == u'-') {
            found = c >= fold(x) && c <= fold(s[i + 2]);
            i += 3;
        } else {
            found = fold(x) == c;
            ++i;
        }
    }
    return found != negate;
}

void validate(const char16_t* s, qsizetype n)
{
    for (qsizetype p = 0; p < n; ++p)
        if (s[p] == u'[') {
            const qsizetype end = setEnd(s, n, p);
            if (end < 0)
                throwInvalid();
            p = end;
        }
}

bool isEmptySet(const char16_t* s, qsizetype n, qsizetype p)
{
    return s[p] == u'[' && p + 1 < n && s[p + 1] == u']';
}

// Matches a well-formed pattern. Every element but "%" and "[]" takes exactly
// one character, so going back to the last "%" and letting it take one more
// character is enough: no earlier "%" ever needs to take more.
bool matchValid(const char16_t* t, qsizetype tn, const char16_t* s, qsizetype n)
{
    qsizetype ti = 0, p = 0;
    qsizetype starP = -1, starT = 0;
    while (ti < tn) {
        if (p < n) {
            const char16_t pc = s[p];
            if (pc == u'%') {
                while (p < n && (s[p] == u'%' || isEmptySet(s, n, p)))
                    p += s[p] == u'%' ? 1 : 2;
                if (p == n)
                    return true; // a trailing "%" takes the rest
                starP = p;
                starT = ti;
                continue;
            }
            if (pc == u'[') {
                const qsizetype end = setEnd(s, n, p);
                if (end == p + 1) { // "[]" takes nothing
                    p = end + 1;
                    continue;
                }
                if (inSet(s, p, end, fold(t[ti]))) {
                    p = end + 1;
                    ++ti;
                    continue;
                }
            } else if (pc == u'_' || fold(pc) == fold(t[ti])) {
                ++p;
                ++ti;
                continue;
            }
        }
        if (starP < 0)
            return false;
        p = starP;
        ti = ++starT;
    }
    while (p < n && (s[p] == u'%' || isEmptySet(s, n, p)))
        p += s[p] == u'%' ? 1 : 2;
    return p == n;
}

void sqlLike(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    // X LIKE Y calls like(Y, X): the pattern comes first.
    if (argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL ||
        sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return; // NULL, as LIKE with a NULL side gives
    const auto* pattern = static_cast<const char16_t*>(sqlite3_value_text16(argv[0]));
    const qsizetype pn = sqlite3_value_bytes16(argv[0]) / 2;
    const auto* text = static_cast<const char16_t*>(sqlite3_value_text16(argv[1]));
    const qsizetype tn = sqlite3_value_bytes16(argv[1]) / 2;
    if ((!pattern && pn) || (!text && tn)) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    static const char16_t empty = 0;
    try {
        const bool m = likeMatch(QStringView(text ? text : &empty, tn),
                                 QStringView(pattern ? pattern : &empty, pn));
        sqlite3_result_int(ctx, m ? 1 : 0);
    } catch (const DatabaseError&) {
        sqlite3_result_error(ctx, invalidPattern, -1);
    }
}

} // namespace

bool likeMatch(QStringView text, QStringView pattern)
{
    const auto* s = reinterpret_cast<const char16_t*>(pattern.utf16());
    const auto* t = reinterpret_cast<const char16_t*>(text.utf16());
    validate(s, pattern.size());
    return matchValid(t, text.size(), s, pattern.size());
}

void registerLike(sqlite3* db)
{
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    if (sqlite3_create_function(db, "like", 2, flags, nullptr, sqlLike, nullptr, nullptr) !=
        SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace pagrim::store
