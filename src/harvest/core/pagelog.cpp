#include "harvest/core/pagelog.h"

#include "platform/errors.h"

#include <QFile>
#include <QHash>
#include <array>

namespace pagrim::harvest {

namespace {

constexpr std::array<const char*, 6> OutcomeNames{"saved",       "http-error", "timeout",
                                                  "unreachable", "not-saved",  "logged-out"};

bool readOutcome(const QByteArray& name, PageOutcome& outcome)
{
    for (size_t i = 0; i < OutcomeNames.size(); ++i) {
        if (name == OutcomeNames[i]) {
            outcome = PageOutcome(i);
            return true;
        }
    }
    return false;
}

bool readEntry(const QByteArray& line, PageLogEntry& entry)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() != 6)
        return false;
    bool ok[4] = {};
    entry.line = fields[0].toInt(&ok[0]);
    entry.address = fields[1];
    entry.status = fields[2].toInt(&ok[1]);
    entry.bytes = fields[3].toLongLong(&ok[2]);
    entry.ms = fields[4].toLongLong(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3] && entry.line > 0 &&
           readOutcome(fields[5], entry.outcome);
}

} // namespace

QByteArray outcomeName(PageOutcome outcome)
{
    return OutcomeNames.at(size_t(outcome));
}

PageOutcome outcomeOf(const PageLoad& load, qint64 bytes)
{
    switch (load.ending) {
    case PageLoad::Ending::Loaded:
        return bytes > 0 ? PageOutcome::Saved : PageOutcome::NotSaved;
    case PageLoad::Ending::HttpError:
        return PageOutcome::HttpError;
    case PageLoad::Ending::Unreachable:
        return PageOutcome::Unreachable;
    case PageLoad::Ending::TimedOut:
        return PageOutcome::Timeout;
    case PageLoad::Ending::Refused:
    case PageLoad::Ending::NoDocument:
        break;
    }
    return PageOutcome::NotSaved;
}

void appendPageLog(const QString& path, const PageLogEntry& entry)
{
    // An address holds no TAB or line break of its own: the list is made of
    // lines, and a TAB would shift the fields.
    QByteArray address = entry.address;
    address.replace('\t', ' ');
    const QByteArray line = QByteArray::number(entry.line) + '\t' + address + '\t' +
                            QByteArray::number(entry.status) + '\t' +
                            QByteArray::number(entry.bytes) + '\t' + QByteArray::number(entry.ms) +
                            '\t' + outcomeName(entry.outcome) + "\r\n";
    QFile file(path);
    // Unbuffered: the line goes to the file in one write, so a kill leaves it
    // whole or cut short at its end, never mixed with another. A line cut short
    // is ended first, so that it stays a line of its own that reading skips.
    bool written = file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered);
    if (written && file.size() > 0 && file.seek(file.size() - 1) && file.read(1) != "\n")
        written = file.write("\r\n") == 2;
    if (!written || file.write(line) != line.size())
        throw Error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

namespace {

// The entries of text, each line ended by CR LF; a line that does not read as
// an entry is left out. Gives the bytes up to the end of the last whole line.
template <typename Take> qsizetype readEntries(const QByteArray& text, Take take)
{
    qsizetype from = 0;
    for (qsizetype end; (end = text.indexOf("\r\n", from)) >= 0; from = end + 2) {
        PageLogEntry entry;
        if (readEntry(text.mid(from, end - from), entry))
            take(std::move(entry));
    }
    return from;
}

} // namespace

QList<PageLogEntry> readPageLog(const QString& path)
{
    QList<PageLogEntry> entries;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        readEntries(file.readAll(), [&](PageLogEntry&& entry) { entries.append(entry); });
    return entries;
}

void PageLogState::refresh()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_last.clear();
        m_read = 0;
        return;
    }
    if (file.size() < m_read) {
        m_last.clear();
        m_read = 0;
    }
    if (file.size() == m_read || !file.seek(m_read))
        return;
    m_read += readEntries(file.readAll(),
                          [this](PageLogEntry&& entry) { m_last.insert(entry.line, entry); });
}

const PageLogEntry* PageLogState::lastAt(int n, const QList<QByteArray>& lines) const
{
    const auto it = m_last.constFind(n);
    return it != m_last.cend() && n < lines.size() && lines.at(n - 1) == it->address ? &*it
                                                                                     : nullptr;
}

std::vector<int> failedLines(const QHash<int, PageLogEntry>& last, const QList<QByteArray>& lines)
{
    std::vector<int> failed;
    const int addresses = int(lines.size()) - 1;
    for (const PageLogEntry& entry : last) {
        if (entry.outcome != PageOutcome::Saved && entry.line <= addresses &&
            lines.at(entry.line - 1) == entry.address)
            failed.push_back(entry.line);
    }
    std::sort(failed.begin(), failed.end());
    return failed;
}

} // namespace pagrim::harvest
