#pragma once

#include <QByteArray>
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

// "saved", "http-error", "timeout", "unreachable", "not-saved".
QByteArray outcomeName(PageOutcome outcome);

// Appends the entry's line to the log at path in one write; raises Error
// "Cannot create file ..." when the log cannot be written.
void appendPageLog(const QString& path, const PageLogEntry& entry);

// The entries of the log at path, in order; a line a kill cut short, or one
// that does not read as an entry, is left out. None when there is no log.
QList<PageLogEntry> readPageLog(const QString& path);

// The lines of the page list (lines as LoadPageList gives them, the summary
// line last) whose last entry in the log did not save the page, and whose
// address is still the one the entry names; ascending.
std::vector<int> failedLines(const QList<PageLogEntry>& log, const QList<QByteArray>& lines);

} // namespace pagrim::harvest
