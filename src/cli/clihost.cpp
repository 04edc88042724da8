#include "cli/clihost.h"

#include "cli/progress.h"
#include "cli/stopsignal.h"
#include "extract/core/markers.h"
#include "harvest/browserdriver.h"
#include "harvest/browserprofile.h"
#include "harvest/directengine.h"
#include "harvest/taskcontent.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QWebEngineView>

namespace pagrim::cli {

namespace {

// A hundred passes of the event pump a second during an extraction, as the
// window does.
constexpr qint64 PumpIntervalMs = 10;

void throwIfStopped()
{
    if (StopSignal::requested())
        throw Stopped();
}

} // namespace

CliHost::CliHost(store::DataSet& task, QString workFolder, Progress& progress, int testValue)
    : m_task(task), m_workFolder(std::move(workFolder)), m_progress(progress),
      m_testValue(testValue)
{
}

void CliHost::ShowStatus(const QString&)
{
    if (m_statusHook)
        m_statusHook();
}

void CliHost::PageOpening(const QString& address)
{
    setAddress(address);
    RunHost::PageOpening(address);
}

void CliHost::setAddress(const QString& address)
{
    m_progress.setAddress(address);
}

void CliHost::reportFailure(const QString& text)
{
    // What a stop breaks is no failure.
    if (!StopSignal::requested())
        m_progress.failure(text.trimmed());
}

bool CliHost::Running() const
{
    return !StopSignal::requested();
}

void CliHost::ProcessEvents()
{
    QCoreApplication::processEvents();
}

void CliHost::SetGauge(int maximum, int position)
{
    m_progress.setCount(position, maximum);
}

bool CliHost::PageShows(const QByteArray& document, const QString& text) const
{
    return extract::LocateShown(document, text, 1, codepage::current()).begin >= 0;
}

harvest::ContentRule CliHost::PageContent()
{
    return harvest::taskContentRule(m_task);
}

void CliHost::PageHandled(const harvest::PageLogEntry& entry)
{
    if (entry.outcome == harvest::PageOutcome::Saved)
        return;
    setAddress(codepage::toUnicode(entry.address));
    m_progress.failure(QStringLiteral("网页保存失败（%1，%2）")
                           .arg(QString::fromLatin1(harvest::outcomeName(entry.outcome)))
                           .arg(entry.status));
}

void CliHost::ShowExtractStatus(const QString&) {}

void CliHost::PageExtracting(const QString& path)
{
    // The page's path, below the work folder.
    setAddress(path.startsWith(m_workFolder) ? path.mid(m_workFolder.size()) : path);
    m_progress.setDone(m_progress.done() + 1);
}

void CliHost::ProcessPendingEvents()
{
    throwIfStopped();
    if (m_eventsRun.isValid() && m_eventsRun.elapsed() < PumpIntervalMs)
        return;
    m_eventsRun.start();
    QCoreApplication::processEvents();
    throwIfStopped();
}

CliBrowser::CliBrowser(CliHost& host, Engine engine) : m_host(host), m_engine(engine) {}

CliBrowser::~CliBrowser()
{
    // The driver lets go of the view before it goes.
    m_browser.reset();
}

harvest::Browser& CliBrowser::browser()
{
    if (m_browser)
        return *m_browser;
    auto showStatus = [this](const QString& text) { m_host.ShowStatus(text); };
    auto running = [this] { return m_host.Running(); };
    // The direct engine starts no browser page, and so no renderer.
    if (m_engine == Engine::Direct) {
        m_browser = harvest::directBrowser(showStatus, running);
        return *m_browser;
    }
    m_view.reset(harvest::createSharedProfileView());
    m_view->setAttribute(Qt::WA_DontShowOnScreen);
    m_view->resize(1024, 768);
    m_view->show();
    m_browser = std::make_unique<harvest::BrowserDriver>(
        m_view.get(), [this](const QString& text) { m_host.reportFailure(text); }, showStatus,
        running);
    return *m_browser;
}

void CliBrowser::OpenPage(const QString& address)
{
    m_host.setAddress(address);
    browser().SetContentRule(contentRule());
    browser().OpenPage(address);
}

bool CliBrowser::PageLoaded() const
{
    return m_browser && m_browser->PageLoaded() && !StopSignal::requested();
}

QByteArray CliBrowser::TakeDocument()
{
    throwIfStopped();
    QByteArray document = browser().TakeDocument();
    throwIfStopped();
    return document;
}

QByteArray CliBrowser::ReadDocument()
{
    throwIfStopped();
    QByteArray document = browser().ReadDocument();
    throwIfStopped();
    return document;
}

QStringList CliBrowser::Links()
{
    throwIfStopped();
    QStringList links = browser().Links();
    throwIfStopped();
    return links;
}

void CliBrowser::StartPage(const QString& address)
{
    m_host.setAddress(address);
    browser().SetContentRule(contentRule());
    browser().StartPage(address);
}

void CliBrowser::WaitPage()
{
    browser().WaitPage();
}

void CliBrowser::DropPage()
{
    browser().DropPage();
}

harvest::PageLoad CliBrowser::LastLoad() const
{
    return m_browser ? m_browser->LastLoad() : harvest::PageLoad();
}

} // namespace pagrim::cli
