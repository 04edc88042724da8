#include "harvest/core/pagelist.h"

#include "harvest/core/browser.h"
#include "harvest/core/listmark.h"
#include "harvest/core/loginlost.h"
#include "harvest/core/runhost.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/filewrite.h"
#include "platform/taskfolder.h"
#include "platform/text.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/sqlite.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <climits>
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

namespace {

// Characters an address bar keeps escaped: blanks, controls and the marks
// that turn text around, which would make an address read as another.
bool keptEscaped(char32_t c)
{
    const QString s = QString::fromUcs4(&c, 1);
    return s.at(0).isSpace() || QChar::category(c) == QChar::Other_Control ||
           QChar::category(c) == QChar::Other_Format;
}

} // namespace

QString shownAddress(const QString& address)
{
    QString shown;
    shown.reserve(address.size());
    for (qsizetype i = 0; i < address.size();) {
        // A run of escaped bytes of 0x80 and up: each character of UTF-8 in it
        // that the program code page can hold is shown as itself.
        QByteArray bytes;
        qsizetype end = i;
        for (int b; (b = escapedByte(address, end)) >= 0x80; end += 3)
            bytes += char(b);
        if (bytes.isEmpty()) {
            shown += address[i++];
            continue;
        }
        for (qsizetype at = 0; at < bytes.size();) {
            qsizetype length = 1;
            const uchar lead = uchar(bytes[at]);
            if (lead >= 0xC2 && lead <= 0xF4)
                length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            const QByteArray sequence = bytes.mid(at, length);
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString c = utf8.decode(sequence);
            if (length > 1 && sequence.size() == length && !utf8.hasError() &&
                !keptEscaped(c.toUcs4().value(0)) &&
                codepage::toUnicode(codepage::fromUnicode(c)) == c) {
                shown += c;
            } else {
                length = 1;
                shown += address.mid(i + at * 3, 3);
            }
            at += length;
        }
        i = end;
    }
    return shown;
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

QStringList PassingLinks(RunHost& host, Browser& browser, const QString& addressPattern)
{
    host.ShowStatus(QStringLiteral(" 正在处理网页列表信息，请稍候... "));
    const QStringList links = browser.Links();
    // Bound values: a link is text from the web, never part of the statement.
    store::Statement test(host.TaskRecord().connection().handle(),
                          QStringLiteral("select iif(? like ?,1,0) as bLike"));
    const QString pattern = linkPattern(shownAddress(addressPattern));
    QStringList passing;
    for (const QString& raw : links) {
        const QString link = shownAddress(raw);
        test.reset();
        test.bind(1, link);
        test.bind(2, pattern);
        try {
            if (test.step() && test.columnValue(0).toInt() == 1)
                passing.append(link);
        } catch (const DatabaseError&) {
            // A pattern the LIKE rejects lets no link pass.
        }
    }
    return passing;
}

bool WalkListPages(RunHost& host, Browser& browser, const QString& firstPage,
                   const QString& nextPage, qint64 from, qint64 to,
                   const std::function<bool(const QString& address, qint64 n)>& read)
{
    browser.SetContentRule(host.PageContent().steady());
    const LoginCheck login(host);
    const auto open = [&](const QString& address) {
        browser.OpenPage(address);
        if (!browser.PageLoaded())
            return false;
        // A logged-out list page gives no links.
        if (login.loggedOut(browser))
            throw LoginLost(0, address);
        return true;
    };
    // A first page that did not load is left out, and the walk goes on while
    // the run does.
    const bool whole = open(firstPage);
    if (whole && !read(firstPage, 0))
        return true;
    for (qint64 n = from; n <= to && host.Running(); ++n) {
        const QString address = numbered(nextPage, int(n));
        if (address == firstPage)
            continue;
        if (!open(address))
            return false;
        if (!read(address, n))
            return true;
    }
    return whole;
}

void CollectListLinks(RunHost& host, Browser& browser, const QString& addressPattern,
                      PageList& list, int& duplicates)
{
    for (const QString& link : PassingLinks(host, browser, addressPattern)) {
        // The count carried over from a summary line may stand at the top already.
        if (!list.appendNew(link) && duplicates < std::numeric_limits<int>::max())
            ++duplicates;
    }
}

namespace {

// One run of BuildPageList: the earlier list taken over, then the numbered
// addresses or the links of the list pages added.
class ListRun
{
public:
    ListRun(RunHost& host, Browser& browser)
        : m_host(host), m_browser(browser), m_task(host.TaskRecord()),
          m_current(m_task.field(QStringLiteral("ResCurrent"))), m_folder(host.taskFolder()),
          m_mark(m_folder.pageListMark()), m_resStart(fieldNumber(m_task, "ResStart")),
          m_resEnd(fieldNumber(m_task, "ResEnd")), m_resCurrent(m_current.asInteger()),
          // Wide, so that a range ending at the largest number ends.
          m_start(m_resCurrent > m_resStart ? qint64(m_resCurrent) + 1 : qint64(m_resStart)),
          m_held(m_start - 1)
    {
    }

    QStringList build()
    {
        m_folder.ensure();
        removeLeftoverTemporaries(m_folder.path(), QStringLiteral("ResHtmls\\.(?:lst|pos)"));
        const bool ordinal = m_task.field(QStringLiteral("WebType")).asBoolean();
        if (m_start > m_resStart)
            takeOverEarlier(ordinal);
        return ordinal ? addNumbers() : collectListPages();
    }

private:
    // A run that goes on after ResStart continues the list it left. The list
    // pages (or numbers) up to the mark's counter are in it already.
    void takeOverEarlier(bool ordinal)
    {
        auto earlier = LoadPageList(m_folder.pageList());
        if (!earlier || earlier->isEmpty())
            return;
        const QString summary = codepage::toUnicode(earlier->takeLast());
        m_list.takeOver(*earlier);
        if (!ordinal)
            m_duplicates = summaryDuplicates(summary);
        m_continued = true;
        m_mark.find(summary, m_resCurrent);
        // The file ahead of the counter (a counter set back by hand, or a kill
        // before it was posted): the list as it stood after the counter.
        if (const auto at = m_mark.cutBackTo(m_resCurrent)) {
            m_list.clear();
            m_list.takeOver(earlier->mid(0, at->count));
            m_duplicates = ordinal ? 0 : at->duplicates;
        } else {
            m_held = qMax(m_held, m_mark.counterOr(m_held));
        }
    }

    QStringList addNumbers()
    {
        const QString addressTemplate = fieldText(m_task, "ResAddr");
        // The numbers up to the one the file was written for are in it when it
        // ends with that number's address (the template may have changed).
        qint64 first = m_start;
        if (m_held >= m_start && m_list.count() > 0 &&
            m_list.addresses().last() == numbered(addressTemplate, int(m_held)))
            first = m_held + 1;
        if (first <= m_resEnd)
            m_mark.record(int(qMax(first - 1, qint64(INT_MIN))), {m_list.count(), 0}, false);
        for (qint64 n = first; n <= m_resEnd; ++n)
            m_list.append(numbered(addressTemplate, int(n)));
        if (first <= m_resEnd)
            m_mark.record(m_resEnd, {m_list.count(), 0}, true);
        const QString summary = summaryLine(m_list.count());
        try {
            // The numbers are posted in a transaction committed once the file
            // holds them. Nothing runs in between that could see a number before
            // the last, so the last is the one posted.
            store::Transaction posts(m_task.connection());
            if (m_start <= m_resEnd)
                post(m_task, m_current, m_resEnd);
            write(m_current.asInteger(), summary, m_resCurrent);
            posts.commit();
        } catch (...) {
            putBack(m_task, m_current, m_resCurrent);
            throw;
        }
        return m_list.lines(summary);
    }

    QStringList collectListPages()
    {
        // A page whose load a stop cut short is left out; so is its number.
        // The continued list holds the first list page's links already.
        WalkListPages(m_host, m_browser, fieldText(m_task, "ResLstAddr"),
                      fieldText(m_task, "NextPageAddr"), m_start, m_resEnd,
                      [this](const QString&, qint64 n) {
                          if (n == 0) {
                              collect(m_continued, m_current.asInteger());
                          } else {
                              collect(n <= m_held, int(n));
                              post(m_task, m_current, int(n));
                          }
                          return true;
                      });
        if (!m_written)
            writeCollected(m_current.asInteger());
        return m_list.lines(summaryLine(m_list.count(), m_duplicates));
    }

    // Adds a list page's links; those of a page the list held already are no
    // duplicates of their own.
    void collect(bool heldAlready, int counter)
    {
        int again = 0;
        CollectListLinks(m_host, m_browser, fieldText(m_task, "ResAddr"), m_list,
                         heldAlready ? again : m_duplicates);
        m_mark.record(counter, {m_list.count(), m_duplicates}, false);
        writeCollected(counter);
    }

    // The file is written for counter, or for the page it held already.
    void writeCollected(int counter)
    {
        write(int(qMax(qint64(counter), m_held)), summaryLine(m_list.count(), m_duplicates),
              m_current.asInteger());
        m_written = true;
    }

    void write(int counter, const QString& summary, int stored)
    {
        m_mark.writeWithList(m_folder.pageList(), m_list.fileText(summary),
                             {counter, summary, stored});
    }

    RunHost& m_host;
    Browser& m_browser;
    store::DataSet& m_task;
    const store::Field m_current;
    const TaskFolder m_folder;
    ListMark m_mark;
    const int m_resStart;
    const int m_resEnd;
    const int m_resCurrent;
    const qint64 m_start;
    qint64 m_held; // the last list page (or number) the continued file holds
    PageList m_list;
    int m_duplicates = 0;
    bool m_continued = false;
    bool m_written = false;
};

} // namespace

QStringList BuildPageList(RunHost& host, Browser& browser)
{
    return ListRun(host, browser).build();
}

std::optional<QList<QByteArray>> LoadPageList(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return splitLines(readFileOrThrow(path));
}

GaugeSetting pageListGauge(int lineCount, int savedCount)
{
    GaugeSetting g;
    g.maximum = qMax(0, lineCount - 1);
    g.position = qBound(0, savedCount, g.maximum);
    return g;
}

} // namespace pagrim::harvest
