#pragma once

#include <QByteArray>
#include <QString>

// The page list file and ResCurrent are written one after the other, so a kill
// between the two leaves the file ahead of the counter. The mark beside the
// file says how far the file goes: the counter it was written for, its summary
// line, and the counter the store held meanwhile.
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

    explicit ListMark(QString path) : m_path(std::move(path)) {}

    // Trusts the entry that describes a list file ending with summary while the
    // store holds stored; a counter changed by hand since is no kill, and leaves
    // no entry trusted.
    void find(const QString& summary, int stored);
    // The trusted entry's counter, or fallback when none is trusted.
    qint64 counterOr(qint64 fallback) const { return m_trusted ? m_entry.counter : fallback; }

    // Writes the mark for next (keeping the trusted entry after it, for a kill
    // between the mark and the file), then the list file text at listPath;
    // next is the trusted entry afterwards.
    void writeWithList(const QString& listPath, const QByteArray& listText, const Entry& next);

private:
    QString m_path;
    Entry m_entry;
    bool m_trusted = false;
};

} // namespace pagrim::harvest
