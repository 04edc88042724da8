#pragma once

#include "harvest/core/pagefetcher.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>

class QWebEngineLoadingInfo;

// What every harvesting browser page has in common, whether a view shows it
// or not: it asks the user nothing, takes addresses as an address bar does,
// tells how its loads ended and hands out its document as a page file holds it.
namespace pagrim::harvest {

// A page that answers for the user nobody asks: the toolkit would otherwise
// show a modal box for every script dialog and stall the run. It opens no new
// windows and chooses no files; the shared profile refuses every download.
class HiddenPage : public QWebEnginePage
{
public:
    HiddenPage(QWebEngineProfile* profile, QObject* parent);
    // How long after a load ends in a refusal its download may still be asked
    // for.
    static constexpr int DownloadGraceMs = 3000;

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString& message) override;
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override
    {
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override
    {
        return {};
    }

private:
    friend void retirePage(QWebEnginePage* page, QObject* user);
    // Since the last load ended in a refusal (a download, perhaps); invalid
    // before.
    QElapsedTimer m_refusedSince;
};

// Deletes page, after disconnecting it from user and dropping its request
// interceptor, so that what it still asks for is no request of user's. A page
// whose last load ended in a refusal lives on until its download has surely
// been asked for: the toolkit fails on the request of a download whose page is
// gone. Called on the page a new one replaces; its renderer goes with it, also
// one stuck in a script.
void retirePage(QWebEnginePage* page, QObject* user);

// How a top-level load that has ended went (its document left out), given the
// address the page shows now, which is where the load ended after redirects:
// a stop before anything was committed (an address no handler takes, a
// download) leaves the page elsewhere and is a refusal.
PageLoad loadEnding(const QWebEngineLoadingInfo& info, const QUrl& shown);

// The serialized document in the program code page ("&#N;" for what it cannot
// hold); nothing for an empty one (every document serializes to some markup).
QByteArray documentBytes(const QString& html);

} // namespace pagrim::harvest
