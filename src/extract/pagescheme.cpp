#include "extract/pagescheme.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

const QByteArray SavedPageScheme::Name = QByteArrayLiteral("pagrim-page");

namespace {

// A scheme is registered before the browser engine starts, or not at all. Its
// pages get an origin of their own that no other page may reach.
void registerSavedPageScheme()
{
    QWebEngineUrlScheme scheme(SavedPageScheme::Name);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::NoAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(registerSavedPageScheme)

QUrl SavedPageScheme::serve(const QString& html)
{
    // The byte order mark settles the encoding before any the page names.
    m_body = QByteArrayLiteral("\xEF\xBB\xBF") + html.toUtf8();
    // A new address for each page: nothing of the last one is taken for it.
    m_url = QUrl(QString::fromLatin1(Name) + QStringLiteral(":page/%1").arg(++m_served));
    return m_url;
}

void SavedPageScheme::requestStarted(QWebEngineUrlRequestJob* job)
{
    if (job->requestUrl() != m_url) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    auto* body = new QBuffer(job);
    body->setData(m_body);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), body);
}
