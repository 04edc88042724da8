#pragma once

#include "extract/core/extraction.h"
#include "harvest/core/browser.h"
#include "harvest/core/runhost.h"

#include <QElapsedTimer>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

class QWebEngineView;

namespace pagrim::cli {

class Progress;

// Ends a run once a stop has been asked for, where the run cannot be told to
// stop otherwise (the extraction) or what it holds may be a stop's damage.
class Stopped : public std::exception
{
public:
    const char* what() const noexcept override { return "stopped"; }
};

// The window a run would have, for the command line: the status texts and
// the gauge go to the progress, Running ends with a stop signal, the events
// run as the window lets them.
class CliHost : public harvest::RunHost, public extract::ExtractHost
{
public:
    CliHost(store::DataSet& task, QString workFolder, Progress& progress, int testValue);

    // Runs after every status text of a harvest (the list step counts by it).
    void setStatusHook(std::function<void()> hook) { m_statusHook = std::move(hook); }
    void setTestMode(bool on) { m_testMode = on; }

    void ShowStatus(const QString& text) override;
    void PageOpening(const QString& address) override;
    // The address the run works on now, for the progress line.
    void setAddress(const QString& address);
    // A page that failed, told on its own line.
    void reportFailure(const QString& text);
    bool Running() const override;
    void ProcessEvents() override;
    store::DataSet& TaskRecord() override { return m_task; }
    harvest::ContentRule PageContent() override;
    QString WorkFolder() const override { return m_workFolder; }
    void SetGauge(int maximum, int position) override;
    bool PageShows(const QByteArray& document, const QString& text) const override;
    // A page of a side-by-side run that failed is counted as it is logged.
    void PageHandled(const harvest::PageLogEntry& entry) override;

    void ShowExtractStatus(const QString& text) override;
    void PageExtracting(const QString& path) override;
    bool TestMode() const override { return m_testMode; }
    int TestValue() const override { return m_testValue; }
    // Throws Stopped once a stop has been asked for.
    void ProcessPendingEvents() override;

private:
    store::DataSet& m_task;
    QString m_workFolder;
    Progress& m_progress;
    int m_testValue;
    bool m_testMode = false;
    std::function<void()> m_statusHook;
    QElapsedTimer m_eventsRun;
};

// The harvesting browser, made at its first use (a run that needs none starts
// none): the task's engine, the WebEngine one laid out as a 1024 x 768 browser
// window that is never on screen. It tells the host each address it opens.
// Once a stop has been asked for, no page counts as loaded and nothing is read
// from it: the run leaves the page for the next one, also when the signal took
// the browser's own processes down with it.
class CliBrowser : public harvest::Browser
{
public:
    enum class Engine
    {
        WebEngine,
        Direct
    };
    CliBrowser(CliHost& host, Engine engine);
    ~CliBrowser() override;

    void OpenPage(const QString& address) override;
    bool PageLoaded() const override;
    QByteArray TakeDocument() override;
    QByteArray ReadDocument() override;
    QStringList Links() override;
    void StartPage(const QString& address) override;
    void WaitPage() override;
    void DropPage() override;
    harvest::PageLoad LastLoad() const override;

private:
    harvest::Browser& browser();

    CliHost& m_host;
    Engine m_engine;
    std::unique_ptr<QWebEngineView> m_view;
    // Goes before the view it drives.
    std::unique_ptr<harvest::Browser> m_browser;
};

} // namespace pagrim::cli
