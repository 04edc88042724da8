#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <string>

// The text a page shows, read from its bytes: what ShownText and LocateShown
// are made of, and what marker suggestion compares cut values with.
namespace pagrim::extract {

// One shown character and the bytes [begin, end) of the page text it comes
// from (a reference, a run of white space and block tags, or a character).
struct ShownChar
{
    char32_t c = 0;
    qsizetype begin = 0;
    qsizetype end = 0;
};

// Walks the shown characters of page text in order: tags, comments and the
// contents of script and style skipped, character references decoded, a tag
// that starts a block or a line (p, td, br, ...) taken as white space, every
// run of white space (with no-break spaces) given as one blank, none at
// either end.
class ShownWalker
{
public:
    ShownWalker(QByteArrayView text, int codePage);
    // The next shown character; false at the end.
    bool next(ShownChar& out);
    // Whether a tag, a comment or a character reference was read so far.
    bool readMarkup() const { return m_markup; }

private:
    // The next character before white space is folded; blank tells it is
    // white space. False at the end.
    bool raw(ShownChar& out, bool& blank);
    // Skips the tag, comment or script at m_pos; true when it counts as white
    // space.
    bool skipMarkup();
    char32_t reference(qsizetype& length) const;

    QByteArrayView m_text;
    QByteArray m_bytes; // the same bytes, for the code page's functions
    int m_codePage;
    qsizetype m_pos = 0;
    bool m_markup = false;
    bool m_started = false;
    // A blank waiting for the next character that is not one.
    bool m_blank = false;
    qsizetype m_blankBegin = 0;
    qsizetype m_blankEnd = 0;
    // The character read after that blank, given next.
    bool m_held = false;
    ShownChar m_hold;
};

// The text as ShownWalker gives it, for text typed or selected by a user:
// white space runs as one blank, trimmed.
std::u32string FoldedShown(const QString& shown);

// Whether the text (a cut value) shows exactly the folded text expected;
// stops at the first difference.
bool ShowsExactly(QByteArrayView text, const std::u32string& expected, int codePage);

// A cut value as a field with the option ShownText writes it: its ShownText in
// the code page, a character the code page cannot hold as "&#N;".
QByteArray ShownValue(QByteArrayView value, int codePage);

// Whether the value holds a tag, a comment or a character reference: what
// ShownValue would change beyond white space.
bool HoldsMarkup(QByteArrayView value, int codePage);

// Where a folded text stands in page text: [begin, end) from its first byte to
// its last, and around it what shows nothing: before is the end of the shown
// character ahead (or 0), after the start of the one that follows (or the end).
struct ShownPlace
{
    qsizetype before = -1;
    qsizetype begin = -1;
    qsizetype end = -1;
    qsizetype after = -1;
};

// The occurrence-th place (counted from 1) of expected in the page text;
// begin is -1 when there is none.
ShownPlace LocateFolded(QByteArrayView text, const std::u32string& expected, int occurrence,
                        int codePage);

} // namespace pagrim::extract
