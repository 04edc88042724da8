#include "harvest/core/listmark.h"

#include "platform/filewrite.h"

#include <QFile>
#include <QList>

namespace pagrim::harvest {

namespace {

// "+pages began" and TAB and the summary line of the file it is for.
QByteArray noteText(const ListMark::UpdateNote& note, const QString& summary)
{
    return '+' + QByteArray::number(note.pages) + ' ' + QByteArray::number(note.began) + '\t' +
           summary.toUtf8() + "\r\n";
}

QByteArray text(const ListMark::Entry& e)
{
    return QByteArray::number(e.counter) + "\r\n" + e.summary.toUtf8() + "\r\n" +
           QByteArray::number(e.stored) + "\r\n";
}

} // namespace

void ListMark::find(const QString& summary, int stored)
{
    m_trusted = false;
    m_fileCounter.reset();
    m_records.clear();
    m_note.reset();
    m_nextNote.reset();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        // A record: "@counter count duplicates linear".
        const QList<QByteArray> r = line.trimmed().mid(1).split(' ');
        if (line.startsWith('@') && r.size() == 4)
            m_records[r[0].toInt()] = {{r[1].toInt(), r[2].toInt()}, r[3] == "1"};
        else if (line.startsWith('+'))
            readNote(line, summary);
        else if (!line.startsWith('@'))
            entries.append(line);
    }
    for (qsizetype at = 0; at + 2 < entries.size(); at += 3) {
        bool counterOk = false, storedOk = false;
        Entry e;
        e.counter = entries.at(at).trimmed().toInt(&counterOk);
        e.summary = QString::fromUtf8(entries.at(at + 1)).trimmed();
        e.stored = entries.at(at + 2).trimmed().toInt(&storedOk);
        if (!counterOk || !storedOk || e.summary != summary.trimmed())
            continue;
        if (!m_fileCounter)
            m_fileCounter = e.counter;
        if (e.stored == stored) {
            m_entry = e;
            m_trusted = true;
            return;
        }
    }
}

std::optional<ListMark::Position> ListMark::cutBackTo(int counter)
{
    if (!m_fileCounter || counter >= *m_fileCounter)
        return std::nullopt;
    auto after = m_records.upper_bound(counter);
    std::optional<Position> at;
    if (auto it = m_records.find(counter); it != m_records.end())
        at = it->second.at;
    // Between two records of numbers, one address each.
    else if (after != m_records.end() && after != m_records.begin() && after->second.linear)
        at = Position{std::prev(after)->second.at.count + counter - std::prev(after)->first,
                      std::prev(after)->second.at.duplicates};
    if (at) {
        m_records.erase(after, m_records.end());
        m_records.try_emplace(counter, Record{*at, true});
    }
    return at;
}

void ListMark::readNote(const QByteArray& line, const QString& summary)
{
    const qsizetype tab = line.indexOf('\t');
    const QList<QByteArray> numbers = line.mid(1, tab - 1).split(' ');
    if (m_note || tab < 0 || numbers.size() != 2 ||
        QString::fromUtf8(line.mid(tab + 1)).trimmed() != summary.trimmed())
        return;
    m_note = UpdateNote{numbers[0].toInt(), numbers[1].toInt()};
    m_noteSummary = summary.trimmed();
}

std::optional<ListMark::Position> ListMark::recordedAt(int counter) const
{
    const auto it = m_records.find(counter);
    return it == m_records.end() ? std::nullopt : std::optional<Position>(it->second.at);
}

void ListMark::record(int counter, Position at, bool linear)
{
    m_records.erase(m_records.upper_bound(counter), m_records.end());
    // The same position again keeps how it was reached.
    const auto it = m_records.find(counter);
    if (it == m_records.end() || it->second.at.count != at.count ||
        it->second.at.duplicates != at.duplicates)
        m_records[counter] = {at, linear};
}

void ListMark::writeWithList(const QString& listPath, const QByteArray& listText, const Entry& next)
{
    QByteArray mark = text(next) + (m_trusted ? text(m_entry) : QByteArray());
    for (const auto& [counter, r] : m_records)
        mark += '@' + QByteArray::number(counter) + ' ' + QByteArray::number(r.at.count) + ' ' +
                QByteArray::number(r.at.duplicates) + ' ' + (r.linear ? '1' : '0') + "\r\n";
    // The note of the file before, for a kill between the mark and the file.
    if (m_nextNote) {
        mark += noteText(*m_nextNote, next.summary);
        if (m_note)
            mark += noteText(*m_note, m_noteSummary);
    }
    writeFileOrThrow(m_path, mark);
    writeFileOrThrow(listPath, listText);
    m_entry = next;
    m_trusted = true;
    m_note = m_nextNote;
    m_noteSummary = next.summary;
}

} // namespace pagrim::harvest
