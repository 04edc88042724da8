#include "harvest/core/pagelist.h"

#include "harvest/core/browser.h"
#include "harvest/core/runhost.h"
#include "harvest/core/taskfolder.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/filewrite.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <limits>

namespace pagrim::harvest {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");
const QString CountLead = QStringLiteral("有效列表条数：");
const QString DuplicatesLead = QStringLiteral("   去掉重复条数：");

QString fieldText(store::DataSet& task, const char* name)
{
    return task.field(QLatin1String(name)).asString();
}

int fieldNumber(store::DataSet& task, const char* name)
{
    return task.field(QLatin1String(name)).asInteger();
}

void post(store::DataSet& task, const store::Field& field, int value)
{
    task.edit();
    field.setValue(value);
    task.post();
}

// After a rolled back run: the row shows the counter the store holds again.
void putBack(store::DataSet& task, const store::Field& field, int value) noexcept
{
    try {
        task.cancel();
        if (field.asInteger() != value)
            post(task, field, value);
    } catch (...) {
        // The error that ended the run is the one to report.
    }
}

// The page list file and ResCurrent are written one after the other, so a kill
// between the two leaves the file ahead of the counter. Just before the file,
// its mark is written beside it: the counter the file is written for, the
// file's summary line (which changes with every list page that adds an address
// or a duplicate) and the counter the store holds meanwhile. A later run whose
// file still ends with that summary line, while the store still holds that
// counter, knows that the file holds what the pages up to the mark's counter
// gave. A counter changed by hand in between is not a kill: the mark is not
// trusted then. The mark keeps the entry before it too, for a kill between the
// mark and its file.
struct ListMark
{
    int counter = 0;
    QString summary;
    int base = 0;
    bool valid = false;

    QByteArray text() const
    {
        return QByteArray::number(counter) + LineEnd + summary.toUtf8() + LineEnd +
               QByteArray::number(base) + LineEnd;
    }
};

QString markPath(const QString& listPath)
{
    return QFileInfo(listPath).dir().filePath(QLatin1String(PageListMarkName));
}

// The mark's entry that describes a file ending with summary while the store
// holds stored; an invalid one when there is none.
ListMark matchingMark(const QString& listPath, const QString& summary, int stored)
{
    QFile file(markPath(listPath));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype at = 0; at + 2 < lines.size(); at += 3) {
        ListMark mark;
        bool counterOk = false, baseOk = false;
        mark.counter = lines.at(at).trimmed().toInt(&counterOk);
        mark.summary = QString::fromUtf8(lines.at(at + 1)).trimmed();
        mark.base = lines.at(at + 2).trimmed().toInt(&baseOk);
        if (counterOk && baseOk && mark.summary == summary.trimmed() && mark.base == stored) {
            mark.valid = true;
            return mark;
        }
    }
    return {};
}

// Writes the mark (with the entry that described the file until now), then
// the file; the mark is the file's entry afterwards.
void writeListFile(const QString& path, const PageList& list, ListMark& mark, ListMark next)
{
    next.valid = true;
    writeFileOrThrow(markPath(path), next.text() + (mark.valid ? mark.text() : QByteArray()));
    writeFileOrThrow(path, list.fileText(next.summary));
    mark = next;
}

} // namespace

QString numberText(int n)
{
    return QString::number(n);
}

QString numbered(const QString& addressTemplate, int n)
{
    QString address = addressTemplate;
    return address.replace(QLatin1Char('*'), numberText(n));
}

QString linkPattern(const QString& addressPattern)
{
    QString pattern = addressPattern;
    return pattern.replace(QLatin1Char('*'), QLatin1Char('%'));
}

QString summaryLine(int addresses)
{
    return CountLead + numberText(addresses);
}

QString summaryLine(int addresses, int duplicates)
{
    return summaryLine(addresses) + DuplicatesLead + numberText(duplicates);
}

int summaryDuplicates(const QString& line)
{
    const QString lead = DuplicatesLead.trimmed();
    const qsizetype at = line.lastIndexOf(lead);
    if (at < 0)
        return 0;
    bool ok = false;
    const int n = line.mid(at + lead.size()).trimmed().toInt(&ok);
    return ok && n >= 0 ? n : 0;
}

void PageList::clear()
{
    m_addresses.clear();
    m_text.clear();
    m_folded.clear();
    m_indexed = false;
}

void PageList::add(const QString& address, const QByteArray& encoded)
{
    m_addresses.append(address);
    m_text += encoded;
    m_text += LineEnd;
    if (m_indexed)
        m_folded.insert(address.toCaseFolded());
}

void PageList::takeOver(const QList<QByteArray>& lines)
{
    for (const QByteArray& line : lines)
        add(codepage::toUnicode(line), line);
}

void PageList::append(const QString& address)
{
    add(address, codepage::fromUnicode(address));
}

bool PageList::appendNew(const QString& address)
{
    if (!m_indexed) {
        m_folded.reserve(m_addresses.size());
        for (const QString& a : std::as_const(m_addresses))
            m_folded.insert(a.toCaseFolded());
        m_indexed = true;
    }
    if (m_folded.contains(address.toCaseFolded()))
        return false;
    append(address);
    return true;
}

QStringList PageList::lines(const QString& summary) const
{
    QStringList all = m_addresses;
    all.append(summary);
    return all;
}

QByteArray PageList::fileText(const QString& summary) const
{
    return m_text + codepage::fromUnicode(summary) + LineEnd;
}

void CollectListLinks(RunHost& host, Browser& browser, const QString& addressPattern,
                      PageList& list, int& duplicates)
{
    host.ShowStatus(QStringLiteral(" 正在处理网页列表信息，请稍候... "));
    const QStringList links = browser.Links();
    // Bound values: a link is text from the web, never part of the statement.
    store::Statement test(host.TaskRecord().connection().handle(),
                          QStringLiteral("select iif(? like ?,1,0) as bLike"));
    const QString pattern = linkPattern(addressPattern);
    for (const QString& link : links) {
        test.reset();
        test.bind(1, link);
        test.bind(2, pattern);
        bool passes = false;
        try {
            passes = test.step() && test.columnValue(0).toInt() == 1;
        } catch (const DatabaseError&) {
            // A pattern the LIKE rejects lets no link pass.
        }
        // The count carried over from a summary line may stand at the top already.
        if (passes && !list.appendNew(link) && duplicates < std::numeric_limits<int>::max())
            ++duplicates;
    }
}

QStringList BuildPageList(RunHost& host, Browser& browser)
{
    store::DataSet& task = host.TaskRecord();
    const int resStart = fieldNumber(task, "ResStart");
    const int resEnd = fieldNumber(task, "ResEnd");
    const int resCurrent = fieldNumber(task, "ResCurrent");
    // Wide, so that a range ending at the largest number ends.
    const qint64 start = resCurrent > resStart ? qint64(resCurrent) + 1 : qint64(resStart);
    const bool ordinal = task.field(QStringLiteral("WebType")).asBoolean();
    const store::Field current = task.field(QStringLiteral("ResCurrent"));

    const QString path =
        EnsureFolder(taskFolderFor(host.WorkFolder(), fieldText(task, "TaskName"))) +
        QLatin1Char('/') + QLatin1String(PageListName);
    removeLeftoverTemporaries(QFileInfo(path).path(), QStringLiteral("ResHtmls\\.(?:lst|pos)"));
    PageList list;
    int duplicates = 0;
    bool continued = false;
    // The last list page the continued file holds already: past the counter
    // when a kill came between the file and the counter.
    qint64 held = start - 1;
    ListMark mark;
    // A run that goes on after ResStart continues the list it left.
    if (start > resStart) {
        if (auto earlier = LoadPageList(path); earlier && !earlier->isEmpty()) {
            const QString summary = codepage::toUnicode(earlier->takeLast());
            list.takeOver(*earlier);
            if (!ordinal)
                duplicates = summaryDuplicates(summary);
            continued = true;
            mark = matchingMark(path, summary, resCurrent);
            if (mark.valid)
                held = qMax(held, qint64(mark.counter));
        }
    }

    if (ordinal) {
        const QString addressTemplate = fieldText(task, "ResAddr");
        // The numbers up to the one the file was written for are in it when it
        // ends with that number's address (the template may have changed).
        qint64 first = start;
        if (held >= start && list.count() > 0 &&
            list.addresses().last() == numbered(addressTemplate, int(held)))
            first = qint64(held) + 1;
        for (qint64 n = first; n <= resEnd; ++n)
            list.append(numbered(addressTemplate, int(n)));
        try {
            // The numbers are posted in a transaction committed once the file
            // holds them. Nothing runs in between that could see a number before
            // the last, so the last is the one posted.
            store::Transaction posts(task.connection());
            if (start <= resEnd)
                post(task, current, resEnd);
            writeListFile(path, list, mark,
                          {current.asInteger(), summaryLine(list.count()), resCurrent});
            posts.commit();
        } catch (...) {
            putBack(task, current, resCurrent);
            throw;
        }
        return list.lines(summaryLine(list.count()));
    }

    const QString pattern = fieldText(task, "ResAddr");
    const QString firstPage = fieldText(task, "ResLstAddr");
    const QString nextPage = fieldText(task, "NextPageAddr");
    bool written = false;
    // The links of a page collected again are no duplicates of their own.
    int again = 0;
    // The file is written for counter, or for the page it held already.
    const auto write = [&](int counter) {
        const int stored = current.asInteger();
        writeListFile(
            path, list, mark,
            {int(qMax(qint64(counter), held)), summaryLine(list.count(), duplicates), stored});
        written = true;
    };
    const auto collect = [&](int& counted, int counter) {
        CollectListLinks(host, browser, pattern, list, counted);
        write(counter);
    };
    browser.OpenPage(firstPage);
    // A page whose load a stop cut short is left out; so is its number.
    if (browser.PageLoaded()) {
        // The list continued holds the first list page's links, counted by the
        // run that took them: taken again they are no duplicates.
        collect(continued ? again : duplicates, current.asInteger());
    }
    for (qint64 n = start; n <= resEnd; ++n) {
        if (!host.Running())
            break;
        const QString address = numbered(nextPage, int(n));
        if (address == firstPage)
            continue;
        browser.OpenPage(address);
        if (!browser.PageLoaded())
            break;
        // So are those of a page the file already held when the counter was
        // not yet posted for it.
        collect(n <= held ? again : duplicates, int(n));
        post(task, current, int(n));
    }
    if (!written)
        write(current.asInteger());
    return list.lines(summaryLine(list.count(), duplicates));
}

} // namespace pagrim::harvest
