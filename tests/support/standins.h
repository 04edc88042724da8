#pragma once

#include "harvest/core/browser.h"
#include "harvest/core/pagefetcher.h"
#include "harvest/core/runhost.h"

#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The stand-ins a harvesting run is given in place of the window and its
// browser, for tests and benchmarks without either.
namespace pagrim::test {

// The window's part of a run: the task row and work folder it is given, the
// status texts and gauge it shows, Running until running is cleared. onEvents
// runs at every pass over the events.
class StandInHost : public harvest::RunHost
{
public:
    StandInHost(store::DataSet& task, QString workFolder)
        : m_task(task), m_workFolder(std::move(workFolder))
    {
    }

    void ShowStatus(const QString& text) override { status.append(text); }
    bool Running() const override { return running; }
    void ProcessEvents() override
    {
        ++passes;
        if (onEvents)
            onEvents();
    }
    store::DataSet& TaskRecord() override { return m_task; }
    QString WorkFolder() const override { return m_workFolder; }
    void SetGauge(int maximum, int position) override { gauge = {maximum, position}; }
    // The bytes of text, in UTF-8, are in the document.
    bool PageShows(const QByteArray& document, const QString& text) const override
    {
        return document.contains(text.toUtf8());
    }
    harvest::ContentRule PageContent() override { return content; }

    bool running = true;
    QStringList status;
    int passes = 0;
    std::function<void()> onEvents;
    std::pair<int, int> gauge{-1, -1};
    harvest::ContentRule content; // what PageContent gives

private:
    store::DataSet& m_task;
    QString m_workFolder;
};

// A browser of made-up pages, fetching in the background from StartPage on.
// Every address loads unless outcomes says otherwise; a loaded page's document
// is "<html>" + its address + "</html>" and its links are links[address]. A
// load of an address in redirects ends at the address it names, whose
// document it gets.
class StandInBrowser : public harvest::Browser
{
public:
    enum class Outcome
    {
        Loads,
        Refused,       // WaitPage raises AddressRefused (a download)
        RefusedAtOnce, // StartPage raises AddressRefused (a malformed address)
        NoDocument,    // loads, but the document is not handed out
        StopsLoading,  // the user stops the run while it loads
    };

    explicit StandInBrowser(StandInHost& host) : m_host(host) {}

    void OpenPage(const QString& address) override
    {
        StartPage(address);
        WaitPage();
    }
    void StartPage(const QString& address) override;
    void WaitPage() override;
    void DropPage() override { dropped << m_current; }
    bool PageLoaded() const override { return m_loaded; }
    QByteArray TakeDocument() override;
    QStringList Links() override { return links.value(m_current); }
    harvest::PageLoad LastLoad() const override;

    QHash<QString, QStringList> links;
    QHash<QString, QString> redirects;
    QHash<QString, Outcome> outcomes;
    // Runs as a page is waited for, with its address.
    std::function<void(const QString&)> beforeWait;
    QStringList opened;   // the addresses started, in order
    QStringList dropped;  // started and never waited for
    QStringList failures; // the addresses whose document was not handed out

private:
    Outcome outcome() const { return outcomes.value(m_current, Outcome::Loads); }

    StandInHost& m_host;
    QString m_current;
    QByteArray m_document;
    bool m_loaded = false;
};

// Pages loading side by side in made-up slots. A load's request leaves
// sentDelayMs after its start, and it answers delayMs after its start, from
// the event loop, with the next of its address's answers (a loaded page, as
// StandInBrowser's, once they are used up); one that hangs answers never.
// A load of an address in redirects ends at the address it names.
class StandInFetcher : public harvest::PageFetcher
{
public:
    struct Answer
    {
        harvest::PageLoad::Ending ending = harvest::PageLoad::Ending::Loaded;
        int status = 0;
        bool hangs = false;
    };

    explicit StandInFetcher(int slots);

    int slotCount() const override { return int(m_slots.size()); }
    void start(int slot, const QString& address, Done done, Sent sent) override;
    void stop(int slot) override;

    int delayMs = 5;
    int sentDelayMs = 0;
    QHash<QString, int> sentDelays; // sentDelayMs of an address of its own
    // Runs as an address's load answers, before the run hears of it.
    std::function<void(const QString&)> onAnswer;
    QHash<QString, QList<Answer>> answers;
    QHash<QString, QString> redirects;
    // The document of a loaded address, ms after its load ended; by default
    // "<html>" + its address + "</html>" throughout.
    std::function<QString(const QString& address, qint64 ms)> documentAt;
    // Every start: its address and the milliseconds since the fetcher was made.
    QList<std::pair<QString, qint64>> starts;
    // The same for every request as it leaves.
    QList<std::pair<QString, qint64>> sent;
    QStringList stopped; // the addresses whose load was stopped
    int mostInFlight = 0;

private:
    struct Slot
    {
        std::unique_ptr<QTimer> timer;
        std::unique_ptr<QTimer> sendTimer;
        std::unique_ptr<harvest::ContentWaiter> waiter;
        QString address;
    };
    int inFlight() const;

    std::vector<Slot> m_slots;
    QElapsedTimer m_clock;
};

// Writes the browser's document to path, whole, as a page saving run does;
// nothing when the browser hands out none.
void savePage(harvest::Browser& browser, const QString& path);

} // namespace pagrim::test
