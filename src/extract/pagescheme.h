#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

// The address a view reads a saved page from: a scheme of the program's whose
// handler serves the one page it was last given and refuses every other
// address. Unlike a page handed over as text (2 MB at most), it takes a page of
// any size.
class SavedPageScheme : public QWebEngineUrlSchemeHandler
{
public:
    // The scheme's name, registered as the application starts.
    static const QByteArray Name;

    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    // The address that serves html from now on, until the next call.
    QUrl serve(const QString& html);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QUrl m_url;
    QByteArray m_body;
    int m_served = 0;
};
