#include "harvest/browserprofile.h"

#include "harvest/directengine.h"

#include <QCoreApplication>
#include <QDir>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace pagrim::harvest {

namespace {

QWebEngineProfile* g_profile = nullptr;
QObject* g_retired = nullptr;
QString g_testFolder;

void applyFolder(QWebEngineProfile* profile, const QString& folder)
{
    profile->setPersistentStoragePath(QDir(folder).filePath(QStringLiteral("storage")));
    profile->setCachePath(QDir(folder).filePath(QStringLiteral("cache")));
}

// Runs before WebEngine's own shutdown routine, which was registered earlier
// (the routines run last registered first): a profile must go before the
// browser engine does.
void deleteProfile()
{
    delete g_retired;
    g_retired = nullptr;
    delete g_profile;
    g_profile = nullptr;
}

} // namespace

void addBrowserFlags()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const QByteArray flag :
         {"--disable-background-timer-throttling", "--disable-renderer-backgrounding"}) {
        if (!flags.split(' ').contains(flag))
            flags += (flags.isEmpty() ? "" : " ") + flag;
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

QWebEngineProfile* sharedBrowserProfile()
{
    if (!g_profile) {
        g_profile = new QWebEngineProfile(QStringLiteral("Pagrim"));
        if (!g_testFolder.isEmpty())
            applyFolder(g_profile, g_testFolder);
        g_profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
        // No browser of the program downloads anything: every download is
        // refused at once (a direct connection: one not taken up during the
        // signal is gone afterwards). Its page is never asked for, which the
        // toolkit fails on once the page is gone.
        QObject::connect(
            g_profile, &QWebEngineProfile::downloadRequested, g_profile,
            [](QWebEngineDownloadRequest* download) { download->cancel(); }, Qt::DirectConnection);
        qAddPostRoutine(deleteProfile);
        // The store tells of a cookie once: the jar listens from the start.
        profileCookies();
    }
    return g_profile;
}

QObject* retiredPages()
{
    sharedBrowserProfile();
    if (!g_retired)
        g_retired = new QObject;
    return g_retired;
}

QWebEngineView* createSharedProfileView(QWidget* parent)
{
    return new QWebEngineView(sharedBrowserProfile(), parent);
}

void setBrowserProfileFolderForTesting(const QString& folder)
{
    g_testFolder = folder;
    if (g_profile)
        applyFolder(g_profile, folder);
}

} // namespace pagrim::harvest
