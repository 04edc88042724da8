#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Page list generation: the addresses of a task's content pages, numbered from
// an address template or gathered from the links of its list pages, kept in the
// task folder's page list file.
namespace pagrim::harvest {

class Browser;
class RunHost;

// A number as "%.d" writes it: decimal, "-" when negative, no leading zeros.
QString numberText(int n);
// The template with every "*" made the number text of n.
QString numbered(const QString& addressTemplate, int n);
// The address as an address bar shows it: escaped UTF-8 as the characters it
// stands for, where the program code page holds them; escaped reserved
// characters, bytes that are no UTF-8, blanks and controls stay escaped.
QString shownAddress(const QString& address);
// The template with every "*" made "%": the pattern of the link test.
QString linkPattern(const QString& addressPattern);

// The last line of the page list file.
QString summaryLine(int addresses);
QString summaryLine(int addresses, int duplicates);
// The duplicate count of a list page task's summary line; 0 when it has none.
int summaryDuplicates(const QString& line);

// The addresses of a run in the order produced. An address taken as new is
// compared with the others without regard to letter case, through a hash of the
// case-folded lines. The file text is kept encoded as lines come, so that the
// file can be written after every list page without encoding it all again.
class PageList
{
public:
    void clear();
    // Lines of an earlier list, kept byte for byte.
    void takeOver(const QList<QByteArray>& lines);
    // Appends the address, however often it is there already.
    void append(const QString& address);
    // Appends the address unless a line equal to it without regard to case is
    // there; gives whether it was appended.
    bool appendNew(const QString& address);

    int count() const { return int(m_addresses.size()); }
    const QStringList& addresses() const { return m_addresses; }
    // The addresses followed by the summary line.
    QStringList lines(const QString& summary) const;
    // The file text: every line, the summary too, in the program code page with
    // CR LF after it.
    QByteArray fileText(const QString& summary) const;

private:
    void add(const QString& address, const QByteArray& encoded);

    QStringList m_addresses;
    QByteArray m_text;
    // Made at the first appendNew: an ordinal run never needs it.
    QSet<QString> m_folded;
    bool m_indexed = false;
};

// Builds the page list of the host's task into the task folder's page list
// file, moving ResCurrent on: numbered addresses for an ordinal task, the
// passing links of the list pages for a list page task. A run that starts after
// ResStart continues the list in the file, and the pages the file already holds
// (see ListMark) add no duplicates. The file is never behind ResCurrent, and a
// list page whose load a stop cut short is not collected, nor one that says
// the login is gone (LoginCheck), which ends the run with LoginLost. Gives the
// lines written (addresses and summary line).
QStringList BuildPageList(RunHost& host, Browser& browser);

// The links of the page the browser holds, in shownAddress form, that match
// addressPattern, in that form too ("*" any run of characters, by the store's
// LIKE, on connection of the host's task), in document order. A pattern the
// LIKE rejects passes no link.
QStringList PassingLinks(RunHost& host, Browser& browser, const QString& addressPattern);

// Appends to list the PassingLinks that are not in it yet; every passing link
// that is there already adds 1 to duplicates.
void CollectListLinks(RunHost& host, Browser& browser, const QString& addressPattern,
                      PageList& list, int& duplicates);

// Opens a task's list pages in order: firstPage, then nextPage numbered from
// `from` to `to` (one with firstPage's address left out) while the run goes on,
// each read once its document is steady (the host's content rule). read(address,
// n) takes the links of the page loaded (n 0 for the first); false ends the
// walk. A logged-out page raises LoginLost. Gives false when a page did not
// load (a stop cut its load short); a first page that did not load is left
// out and the walk goes on.
bool WalkListPages(RunHost& host, Browser& browser, const QString& firstPage,
                   const QString& nextPage, qint64 from, qint64 to,
                   const std::function<bool(const QString& address, qint64 n)>& read);

// The lines of the page list file at path, in the program code page; nothing
// when no file is there. A file that is there but cannot be read throws Error.
std::optional<QList<QByteArray>> LoadPageList(const QString& path);

// The page saving gauge for a page list of lineCount lines (the last one is the
// summary line) of which savedCount pages are saved.
struct GaugeSetting
{
    int maximum = 0;
    int position = 0;
};
GaugeSetting pageListGauge(int lineCount, int savedCount);

} // namespace pagrim::harvest
