#pragma once

#include <QByteArray>
#include <QByteArrayMatcher>
#include <QByteArrayView>

// What a field is cut from and how: the page text, the markers and the two
// replacements that respect character starts. All texts are bytes in the
// program code page; nothing is converted.
namespace pagrim::extract {

// The page text of a page file: its lines (ended by CR LF, a lone CR or a lone
// LF; a last line without an end is a line too) joined with CR LF after every
// line. So markers typed with CR LF match whatever line ends the file uses.
QByteArray PageText(QByteArrayView file);

// A marker with its byte search prepared once, for every page of a run.
class Marker
{
public:
    Marker() = default;
    explicit Marker(const QByteArray& text) : m_text(text), m_matcher(text) {}
    const QByteArray& text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }
    // The first occurrence in text at or after from, exact bytes; -1 when there
    // is none or the marker is empty.
    qsizetype indexIn(QByteArrayView text, qsizetype from = 0) const
    {
        return m_text.isEmpty() ? -1 : m_matcher.indexIn(text.data(), text.size(), from);
    }

private:
    QByteArray m_text;
    QByteArrayMatcher m_matcher;
};

struct Cut
{
    bool found = false;
    QByteArrayView value; // inside the page text
};

// The text between the first occurrence of start and the first occurrence of
// end, the latter searched from the beginning of the page text. Found only when
// both occur and that end begins at least one byte after the start marker.
Cut CutBetweenMarkers(QByteArrayView pageText, const Marker& start, const Marker& end);

// text with every occurrence of what that begins at a character start (in the
// code page) replaced by with, in one pass from the left; an occurrence that
// begins inside a double-byte character stays. An empty what replaces nothing.
QByteArray ReplaceAtCharStarts(const QByteArray& text, QByteArrayView what, QByteArrayView with,
                               int codePage);

} // namespace pagrim::extract
