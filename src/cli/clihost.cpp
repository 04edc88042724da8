#include "cli/clihost.h"

#include "cli/progress.h"
#include "cli/stopsignal.h"
#include "extract/core/markers.h"
#include "harvest/browserdriver.h"
#include "harvest/browserprofile.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QWebEngineView>

namespace pagrim::cli {

namespace {

// A hundred passes of the event pump a second during an extraction, as the
// window does.
constexpr qint64 PumpIntervalMs = 10;

// The subject of a status text made of lead, subject and trail; empty for
// another text.
QString subject(const QString& text, const QString& lead, const QString& trail)
{
    if (!text.startsWith(lead) || !text.endsWith(trail) || text.size() < lead.size() + trail.size())
        return QString();
    return text.mid(lead.size(), text.size() - lead.size() - trail.size());
}

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

void CliHost::ShowStatus(const QString& text)
{
    // The browser's opening text names the address; the others keep it.
    const QString address =
        subject(text, QStringLiteral(" 正在打开网页 - "), QStringLiteral(" 请稍候... "));
    if (!address.isEmpty())
        m_progress.setAddress(address);
    if (m_statusHook)
        m_statusHook();
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

void CliHost::PageHandled(const harvest::PageLogEntry& entry)
{
    if (entry.outcome == harvest::PageOutcome::Saved)
        return;
    m_progress.setAddress(codepage::toUnicode(entry.address));
    m_progress.failure(QStringLiteral("网页保存失败（%1，%2）")
                           .arg(QString::fromLatin1(harvest::outcomeName(entry.outcome)))
                           .arg(entry.status));
}

void CliHost::ShowExtractStatus(const QString& text)
{
    // The page's path, below the work folder.
    QString page = subject(text, QStringLiteral(" 正在处理 - "), QStringLiteral("，请稍候..."));
    if (page.startsWith(m_workFolder))
        page.remove(0, m_workFolder.size());
    m_progress.setAddress(page);
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

CliBrowser::CliBrowser(CliHost& host) : m_host(host) {}

CliBrowser::~CliBrowser()
{
    // The driver lets go of the view before it goes.
    m_driver.reset();
}

harvest::BrowserDriver& CliBrowser::driver()
{
    if (!m_driver) {
        m_view.reset(harvest::createSharedProfileView());
        m_view->setAttribute(Qt::WA_DontShowOnScreen);
        m_view->resize(1024, 768);
        m_view->show();
        m_driver = std::make_unique<harvest::BrowserDriver>(
            m_view.get(), nullptr, [this](const QString& text) { m_host.ShowStatus(text); },
            [this] { return m_host.Running(); });
    }
    return *m_driver;
}

void CliBrowser::OpenPage(const QString& address)
{
    driver().OpenPage(address);
}

bool CliBrowser::PageLoaded() const
{
    return m_driver && m_driver->PageLoaded() && !StopSignal::requested();
}

QByteArray CliBrowser::TakeDocument()
{
    throwIfStopped();
    QByteArray document = driver().TakeDocument();
    throwIfStopped();
    return document;
}

QByteArray CliBrowser::ReadDocument()
{
    throwIfStopped();
    QByteArray document = driver().ReadDocument();
    throwIfStopped();
    return document;
}

QStringList CliBrowser::Links()
{
    throwIfStopped();
    QStringList links = driver().Links();
    throwIfStopped();
    return links;
}

void CliBrowser::StartPage(const QString& address)
{
    driver().StartPage(address);
}

void CliBrowser::WaitPage()
{
    driver().WaitPage();
}

void CliBrowser::DropPage()
{
    driver().DropPage();
}

harvest::PageLoad CliBrowser::LastLoad() const
{
    return m_driver ? m_driver->LastLoad() : harvest::PageLoad();
}

} // namespace pagrim::cli
