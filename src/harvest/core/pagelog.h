#pragma once

#include "harvest/core/pagefetcher.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <vector>

// The page log of a task (ResHtmls.log): a line for every page a saving run
// has handled, appended as the page ends. Its fields are separated by TAB, in
// the program code page, each line ended by CR LF: line number, address, HTTP
// status (0 where none), bytes saved, milliseconds and the outcome.
namespace pagrim::harvest {

enum class PageOutcome
{
    Saved,
    HttpError,
    Timeout,
    Unreachable,
    NotSaved,
    LoggedOut, // the page said the login is gone: not saved, fetched again
};

struct PageLogEntry
{
    int line = 0;
    QByteArray address;
    int status = 0;
    qint64 bytes = 0;
    qint64 ms = 0;
    PageOutcome outcome = PageOutcome::Saved;
};

// "saved", "http-error", "timeout", "unreachable", "not-saved", "logged-out".
QByteArray outcomeName(PageOutcome outcome);

// The outcome of a load whose document, if any was written, took bytes in its
// page file: a load that completed counts as saved only with a file.
PageOutcome outcomeOf(const PageLoad& load, qint64 bytes);

// Appends the entry's line to the log at path in one write; raises Error
// "Cannot create file ..." when the log cannot be written.
void appendPageLog(const QString& path, const PageLogEntry& entry);

// The entries of the log at path, in order; a line a kill cut short, or one
// that does not read as an entry, is left out. None when there is no log.
QList<PageLogEntry> readPageLog(const QString& path);

// The last entry of every line in a log, read in one pass and kept up to date
// by reading only what has been appended since the last read. A log that has
// shrunk (made anew) is read again from its start.
class PageLogState
{
public:
    explicit PageLogState(QString path) : m_path(std::move(path)) {}
    const QString& path() const { return m_path; }
    // Reads what the log has gained since the last call.
    void refresh();
    const QHash<int, PageLogEntry>& last() const { return m_last; }
    // The last entry of page list line n while its address is still the
    // list's, else none; lines as LoadPageList gives them.
    const PageLogEntry* lastAt(int n, const QList<QByteArray>& lines) const;

private:
    QString m_path;
    qint64 m_read = 0; // bytes read up to the end of the last whole line
    QHash<int, PageLogEntry> m_last;
};

// The lines of the page list (lines as LoadPageList gives them, the summary
// line last) whose last entry in the log did not save the page, and whose
// address is still the one the entry names; ascending.
std::vector<int> failedLines(const QHash<int, PageLogEntry>& last, const QList<QByteArray>& lines);

} // namespace pagrim::harvest
