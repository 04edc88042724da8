#include "harvest/hiddenpage.h"

#include "harvest/browserprofile.h"
#include "harvest/core/browser.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>

namespace pagrim::harvest {

HiddenPage::HiddenPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent)
{
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (loadEnding(info, url()).ending == PageLoad::Ending::Refused)
            m_refusedSince.start();
    });
}

void retirePage(QWebEnginePage* page, QObject* user)
{
    if (!page)
        return;
    QObject::disconnect(page, nullptr, user, nullptr);
    page->setUrlRequestInterceptor(nullptr);
    const auto* hidden = dynamic_cast<HiddenPage*>(page);
    const qint64 waited = hidden && hidden->m_refusedSince.isValid()
                              ? hidden->m_refusedSince.elapsed()
                              : HiddenPage::DownloadGraceMs;
    if (waited >= HiddenPage::DownloadGraceMs) {
        delete page;
        return;
    }
    // Kept, but loading nothing more from the site.
    page->triggerAction(QWebEnginePage::Stop);
    page->setParent(retiredPages());
    QTimer::singleShot(HiddenPage::DownloadGraceMs - waited, page, [page] { delete page; });
}

bool HiddenPage::javaScriptConfirm(const QUrl&, const QString& message)
{
    // The toolkit asks about leaving a page (before-unload) through confirm,
    // with this text: leaving is agreed, or the next navigation never starts.
    return message == QCoreApplication::translate("QWebEnginePage",
                                                  "Are you sure you want to leave this page? "
                                                  "Changes that you made may not be saved.");
}

PageLoad loadEnding(const QWebEngineLoadingInfo& info, const QUrl& shown)
{
    PageLoad load;
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus && shown != info.url()) {
        load.ending = PageLoad::Ending::Refused;
        return load;
    }
    load.address = shown;
    // The toolkit tells the status of every answer, also of a 200, as the
    // code of this domain; a load that had none is of another domain.
    const bool answered = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
    if (answered)
        load.status = info.errorCode();
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
        return load;
    if (answered)
        load.ending = PageLoad::Ending::HttpError;
    else if (info.errorDomain() != QWebEngineLoadingInfo::NoErrorDomain)
        load.ending = PageLoad::Ending::Unreachable;
    return load;
}

QByteArray documentBytes(const QString& html)
{
    return html.isEmpty() ? QByteArray() : codepage::fromUnicodeWithReferences(html);
}

} // namespace pagrim::harvest
