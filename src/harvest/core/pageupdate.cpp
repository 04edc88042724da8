#include "harvest/core/pageupdate.h"

#include "harvest/core/browser.h"
#include "harvest/core/listmark.h"
#include "harvest/core/loginlost.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagelog.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/runhost.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "platform/taskfolder.h"
#include "store/dataset.h"

#include <QFileInfo>
#include <QSet>
#include <climits>
#include <functional>
#include <optional>

namespace pagrim::harvest {

namespace {

// Failures other than a page that is not there, after which numbers are no
// longer tried.
constexpr int MostFailures = 3;

bool notThere(const PageLogEntry& entry)
{
    return entry.outcome == PageOutcome::HttpError && (entry.status == 404 || entry.status == 410);
}

// The task's host for the queue that tries numbers: what it handles goes to
// the update alone, since the end of the numbers is no failure of the run.
class ProbeHost : public RunHost
{
public:
    ProbeHost(RunHost& host, std::function<void(const PageLogEntry&)> handled)
        : m_host(host), m_handled(std::move(handled))
    {
    }
    void ShowStatus(const QString& text) override { m_host.ShowStatus(text); }
    void PageOpening(const QString& address) override { m_host.PageOpening(address); }
    bool Running() const override { return m_host.Running(); }
    void ProcessEvents() override { m_host.ProcessEvents(); }
    store::DataSet& TaskRecord() override { return m_host.TaskRecord(); }
    QString WorkFolder() const override { return m_host.WorkFolder(); }
    void SetGauge(int, int) override {}
    void PageHandled(const PageLogEntry& entry) override { m_handled(entry); }
    bool PageShows(const QByteArray& document, const QString& text) const override
    {
        return m_host.PageShows(document, text);
    }

private:
    RunHost& m_host;
    std::function<void(const PageLogEntry&)> m_handled;
};

class Update
{
public:
    explicit Update(RunHost& host)
        : m_host(host), m_task(host.TaskRecord()), m_folder(host.taskFolder()),
          m_mark(m_folder.pageListMark()),
          m_ordinal(m_task.field(QStringLiteral("WebType")).asBoolean())
    {
    }

    PageUpdate run(Browser& browser, const PageSaver::FetcherMaker& makeFetcher,
                   const SaveLimits& limits)
    {
        load();
        // The numbers up to ResEnd come first, as 生成列表 makes them; those
        // beyond the list as it stood are new too.
        if (m_ordinal && number("ResCurrent") < number("ResEnd")) {
            const int before = number("ResCurrent") > number("ResStart") ? m_list.count() : 0;
            BuildPageList(m_host, browser);
            load();
            m_added = qMax(0, m_list.count() - before);
        }
        if (m_ordinal)
            tryNumbers(makeFetcher, limits);
        else
            readListPages(browser);
        return {m_list.lines(summary()), m_added};
    }

private:
    int number(const char* column) { return m_task.field(QLatin1String(column)).asInteger(); }
    QString text(const char* column) { return m_task.field(QLatin1String(column)).asString(); }
    QString summary() const
    {
        return m_ordinal ? summaryLine(m_list.count()) : summaryLine(m_list.count(), m_duplicates);
    }

    void load()
    {
        m_folder.ensure();
        removeLeftoverTemporaries(m_folder.path(), QStringLiteral("ResHtmls\\.(?:lst|pos)"));
        auto earlier = LoadPageList(m_folder.pageList());
        m_listed = earlier && !earlier->isEmpty();
        m_list.clear();
        m_duplicates = 0;
        QString summary;
        if (m_listed) {
            summary = codepage::toUnicode(earlier->takeLast());
            m_list.takeOver(*earlier);
            m_duplicates = summaryDuplicates(summary);
        }
        m_mark.find(summary, number("ResCurrent"));
    }

    // The list file for counter, with its mark.
    void write(int counter)
    {
        const QString line = summary();
        m_mark.writeWithList(m_folder.pageList(), m_list.fileText(line),
                             {counter, line, number("ResCurrent")});
        m_listed = true;
    }

    void readListPages(Browser& browser)
    {
        const QString pattern = text("ResAddr");
        const int counter = int(m_mark.counterOr(number("ResCurrent")));
        // An update cut short: the pages it had read add nothing now, and
        // their repeats are counted already.
        // A finished update leaves a note of no page read: it holds nothing.
        auto note = m_mark.updateNote();
        if (note && note->pages <= 0)
            note.reset();
        const int reached = note ? note->pages : 0;
        const int began = note ? qBound(0, note->began, m_list.count()) : m_list.count();
        // The links of this update: a repeat of one is a duplicate.
        QSet<QString> added;
        for (qsizetype i = began; i < m_list.count(); ++i)
            added.insert(m_list.addresses().at(i).toCaseFolded());
        int read = 0;
        const auto readPage = [&](const QString&, qint64) {
            ++read;
            const int before = m_added;
            for (const QString& link : PassingLinks(m_host, browser, pattern)) {
                if (m_list.appendNew(link)) {
                    added.insert(link.toCaseFolded());
                    ++m_added;
                } else if (read > reached && added.contains(link.toCaseFolded()) &&
                           m_duplicates < INT_MAX) {
                    ++m_duplicates;
                }
            }
            if (m_added == before)
                return read <= reached;
            m_mark.setUpdateNote(ListMark::UpdateNote{read, began});
            write(counter);
            return true;
        };
        const bool cut = !WalkListPages(m_host, browser, text("ResLstAddr"), text("NextPageAddr"),
                                        number("ResStart"), number("ResEnd"), readPage);
        // Stopped, the note stays for the next update.
        if (cut || !m_host.Running() || (m_added == 0 && reached == 0 && m_listed))
            return;
        // Ended: a note of no pages for this file, before the one of the file
        // it replaces (for a kill between the two).
        m_mark.setUpdateNote(ListMark::UpdateNote{0, began});
        write(counter);
    }

    void tryNumbers(const PageSaver::FetcherMaker& makeFetcher, const SaveLimits& limits)
    {
        const QString addressTemplate = text("ResAddr");
        const int end = number("ResEnd");
        // A run killed after it wrote the list for a number, before its counters.
        const qint64 held = m_mark.counterOr(end);
        if (held > end && m_list.count() > 0 &&
            m_list.addresses().last() == numbered(addressTemplate, int(held))) {
            const auto before = m_mark.recordedAt(end);
            rise(int(held), before ? before->count : -1);
        }
        // Without "*" every number is the same page.
        if (!addressTemplate.contains(QLatin1Char('*')))
            return;
        // The list holds the numbers up to ResCurrent, also above a ResEnd
        // lowered by hand.
        const int listed = qMax(number("ResEnd"), number("ResCurrent"));
        m_mark.record(listed, {m_list.count(), 0}, false);
        PageLogState log(m_folder.pageLog());
        log.refresh();

        qint64 n = qint64(listed) + 1;
        QStringList failed; // numbers before n that failed, not listed yet
        int failures = 0;
        int line = 0;
        QString address;
        // Takes the numbers a killed run saved; false when none is left.
        const auto nextToFetch = [&] {
            for (; n <= INT_MAX; ++n) {
                address = numbered(addressTemplate, int(n));
                line = m_list.count() + int(failed.size()) + 1;
                const auto last = log.last().constFind(line);
                if (last == log.last().cend() || last->outcome != PageOutcome::Saved ||
                    last->address != codepage::fromUnicode(address) ||
                    !QFileInfo::exists(m_folder.pageFile(line)))
                    return true;
                add(failed, address, int(n));
            }
            return false;
        };
        if (!nextToFetch())
            return;
        const std::unique_ptr<PageFetcher> fetcher = makeFetcher(1, true);
        fetcher->setContentRule(m_host.PageContent());
        PageQueue* queue = nullptr;
        ProbeHost probeHost(m_host, [&](const PageLogEntry& entry) {
            if (entry.outcome == PageOutcome::Saved) {
                add(failed, address, int(n));
            } else {
                if (notThere(entry))
                    return;
                failed.append(address);
                if (++failures >= MostFailures)
                    return;
            }
            ++n;
            if (m_host.Running() && nextToFetch())
                queue->append(line, codepage::fromUnicode(address));
        });
        PageQueue probes(probeHost, *fetcher, limits, {}, {});
        queue = &probes;
        probes.append(line, codepage::fromUnicode(address));
        probes.run();
    }

    // Lists the numbers that failed before n and the address of n, whose page
    // is saved; their lines are handled, as a saving run counts them.
    void add(QStringList& failed, const QString& address, int n)
    {
        const int before = m_list.count();
        for (const QString& a : std::as_const(failed))
            m_list.append(a);
        failed.clear();
        m_list.append(address);
        m_mark.record(n, {m_list.count(), 0}, true);
        write(n);
        rise(n, before);
    }

    // ResEnd and ResCurrent to n, and SaveCurrent over the lines after
    // listedBefore when it stood there.
    void rise(int n, int listedBefore)
    {
        m_task.edit();
        m_task.field(QStringLiteral("ResEnd")).setValue(n);
        m_task.field(QStringLiteral("ResCurrent")).setValue(n);
        const store::Field saved = m_task.field(QStringLiteral("SaveCurrent"));
        if (saved.asInteger() == listedBefore)
            saved.setValue(m_list.count());
        m_task.post();
        if (listedBefore >= 0)
            m_added += m_list.count() - listedBefore;
    }

    RunHost& m_host;
    store::DataSet& m_task;
    const TaskFolder m_folder;
    ListMark m_mark;
    const bool m_ordinal;
    PageList m_list;
    int m_duplicates = 0;
    int m_added = 0;
    bool m_listed = false; // the task has a page list file
};

} // namespace

PageUpdate UpdatePageList(RunHost& host, Browser& browser,
                          const PageSaver::FetcherMaker& makeFetcher, const SaveLimits& limits)
{
    return Update(host).run(browser, makeFetcher, limits);
}

} // namespace pagrim::harvest
