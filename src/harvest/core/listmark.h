#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>

// The page list file and ResCurrent are written one after the other, so a kill
// between the two leaves the file ahead of the counter. The mark beside the
// file says how far the file goes: the counter it was written for, its summary
// line, and the counter the store held meanwhile. It also records where the
// list stood after each number or list page, so that a counter set back by hand
// cuts the list back to what it held then.
namespace pagrim::harvest {

class ListMark
{
public:
    // What the mark says of one writing of the list file.
    struct Entry
    {
        int counter = 0; // the list pages (or numbers) up to this one are in the file
        QString summary; // the file's last line
        int stored = 0;  // ResCurrent in the store while the file was written
    };
    // The list after a number or list page: its addresses and duplicates.
    struct Position
    {
        int count = 0;
        int duplicates = 0;
    };

    explicit ListMark(QString path) : m_path(std::move(path)) {}

    // Reads the mark for a list file ending with summary. Trusts the entry that
    // describes it while the store holds stored; a counter changed by hand since
    // is no kill, and leaves no entry trusted.
    void find(const QString& summary, int stored);
    // The trusted entry's counter, or fallback when none is trusted.
    qint64 counterOr(qint64 fallback) const { return m_trusted ? m_entry.counter : fallback; }
    // Where the file stood after counter, when counter is below the one the
    // file was written for and the mark recorded it; the records after it go.
    std::optional<Position> cutBackTo(int counter);
    // The list after counter, as recorded.
    std::optional<Position> recordedAt(int counter) const;
    // Records the list after counter; linear when the numbers since the
    // record before added one address each.
    void record(int counter, Position at, bool linear);
    // An update of the list that has not ended: how many list pages it had
    // read when it wrote the file, and how many lines the list held before it.
    struct UpdateNote
    {
        int pages = 0;
        int began = 0;
    };
    // The note of the file find was given, if any.
    std::optional<UpdateNote> updateNote() const { return m_note; }
    // The note the next writeWithList gives its file (and, for a kill between
    // the mark and the file, the note of the file before); none drops them.
    void setUpdateNote(std::optional<UpdateNote> note) { m_nextNote = note; }

    // Writes the mark for next (keeping the trusted entry after it, for a kill
    // between the mark and the file), then the list file text at listPath;
    // next is the trusted entry afterwards.
    void writeWithList(const QString& listPath, const QByteArray& listText, const Entry& next);

private:
    // Takes the note of line when it is for the file ending with summary.
    void readNote(const QByteArray& line, const QString& summary);

    struct Record
    {
        Position at;
        bool linear = false;
    };
    QString m_path;
    Entry m_entry;
    bool m_trusted = false;
    // The counter of the entry that describes the file, whatever the store holds.
    std::optional<int> m_fileCounter;
    std::map<int, Record> m_records;
    std::optional<UpdateNote> m_note;
    QString m_noteSummary; // the summary line of the file m_note is for
    std::optional<UpdateNote> m_nextNote;
};

} // namespace pagrim::harvest
