#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What a field is cut from and how: the page text, the markers and the two
// replacements that respect character starts. All texts are bytes in the
// program code page; nothing is converted.
namespace pagrim::extract {

// The page text of a page file: its lines (ended by CR LF, a lone CR or a lone
// LF; a last line without an end is a line too) joined with CR LF after every
// line. So markers typed with CR LF match whatever line ends the file uses.
QByteArray PageText(QByteArrayView file);
// The same into text, whose storage is used again: a run makes the page text
// of many pages without taking fresh memory for each.
void PageText(QByteArrayView file, QByteArray& text);

// The first occurrence of what in text at or after from, exact bytes; -1 when
// there is none or what is empty. A fast search of the C library: a page is
// searched twice for every field.
qsizetype FindBytes(QByteArrayView text, QByteArrayView what, qsizetype from = 0);

struct Cut
{
    bool found = false;
    QByteArrayView value; // inside the page text
};

// The text between the first occurrence of start and the first occurrence of
// end, the latter searched from the beginning of the page text. Found only when
// both occur and that end begins at least one byte after the start marker.
Cut CutBetweenMarkers(QByteArrayView pageText, QByteArrayView start, QByteArrayView end);

// The bytes [begin, end) of a page text that CutBetweenMarkers gives, from the
// first places of its markers (-1 where one does not occur); begin is -1 when
// it finds nothing.
struct CutSpan
{
    qsizetype begin = -1;
    qsizetype end = -1;
    qsizetype size() const { return end - begin; }
};
CutSpan CutBetweenPlaces(qsizetype startAt, qsizetype startSize, qsizetype endAt);

// text with every occurrence of what that begins at a character start (in the
// code page) replaced by with, in one pass from the left; an occurrence that
// begins inside a double-byte character stays. An empty what replaces nothing.
QByteArray ReplaceAtCharStarts(const QByteArray& text, QByteArrayView what, QByteArrayView with,
                               int codePage);

} // namespace pagrim::extract
