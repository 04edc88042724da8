#pragma once

#include "harvest/core/browser.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QVariant;
class QWebEngineView;

namespace pagrim::harvest {

// Drives the harvesting browser wbGet, which its window owns, one page at a time. Every wait
// lets events run and ends if wbGet or the driver goes; wbGet never asks the user anything.
class BrowserDriver : public QObject, public Browser
{
    Q_OBJECT

public:
    using StatusSink = std::function<void(const QString&)>;
    using RunningTest = std::function<bool()>;

    // showStatus is the window's ShowStatus and running its Running test;
    // reportFailure tells the host of a page that cannot be saved (the window
    // shows it in a box, the command line prints it).
    BrowserDriver(QWebEngineView* wbGet, StatusSink reportFailure, StatusSink showStatus,
                  RunningTest running, QObject* parent = nullptr);
    ~BrowserDriver() override;

    QWebEngineView* wbGet() const;
    // False from OpenPage's start until the top-level document completes.
    bool PageLoaded() const override { return m_pageLoaded; }
    // Whether a top-level navigation has started and not yet completed.
    bool TopFrame() const { return m_topFrame; }

    // Navigates without waiting (the window's first "about:blank").
    void Navigate(const QString& address);
    // Shows " 正在打开网页 - <address> 请稍候... " and waits until the page completes or
    // Running gives false. A refused address raises AddressRefused; TakeDocument then has none.
    void OpenPage(const QString& address) override;
    // OpenPage up to the navigation, and its wait; the page's load events may
    // arrive in between, whenever events are dispatched.
    void StartPage(const QString& address) override;
    void WaitPage() override;
    // Leaves a started page as a stop during its wait would.
    void DropPage() override;
    // Shows " 正在保存网页到文件，请稍候... " and gives the document in the program code
    // page ("&#N;" for what it cannot hold), or reports "保存 HTML 文件失败    " and gives
    // nothing.
    QByteArray TakeDocument() override;
    QByteArray ReadDocument() override;
    // The addresses of the document's links (anchors with an address and
    // image-map areas, not those inside frames) in document order, absolute.
    // Raises pagrim::Error when the browser holds no document or does not answer.
    QStringList Links() override;
    // How the page of the last wait ended; NoDocument once TakeDocument has
    // found none in a page that loaded.
    PageLoad LastLoad() const override { return m_lastLoad; }

    // How long a wait for a script's result lasts before it counts as failed.
    static constexpr int ScriptTimeoutMs = 30000;
    // How long OpenPage lets a load still going end before it navigates.
    static constexpr int PreviousLoadWaitMs = 5000;
    static constexpr int PreviousLoadTickMs = 10;

private:
    // The browser's events, top-level only: a load has started, or has ended.
    void loadingChanged(const QWebEngineLoadingInfo& info);
    void wbGetNavigateComplete2();
    void wbGetDocumentComplete(const QWebEngineLoadingInfo& info);
    void urlChanged(const QUrl& url);
    void complete();
    // Puts a new page into wbGet in place of the one it holds, which goes.
    void installPage();
    // The document as the browser serializes it; empty when it hands out none.
    QString documentHtml();
    // Waits, events running, until the loaded page holds what the content rule
    // asks of it, and keeps the document read; a stop leaves the page not
    // loaded.
    void waitForContent();
    // Runs start(done) and waits, letting no user input run, until done is
    // called or the time is up; gives false when no result came.
    bool waitForResult(const std::function<void(std::function<void(const QVariant&)>)>& start,
                       QVariant* result);

    QPointer<QWebEngineView> m_view;
    QPointer<QWebEnginePage> m_page;
    StatusSink m_reportFailure;
    StatusSink m_showStatus;
    RunningTest m_running;

    bool m_pageLoaded = false;
    bool m_topFrame = false;
    bool m_hasDocument = false;
    // The last OpenPage was refused: the document shown is not its page's.
    bool m_pageRefused = false;
    bool m_refused = false;
    // The last OpenPage ended by a stop before its page completed.
    bool m_stoppedLoading = false;
    // StartPage has navigated and WaitPage has not yet waited; to the address.
    bool m_waiting = false;
    QString m_waitAddress;
    // The address of the last navigation asked for, and whether its load has
    // not yet started.
    QUrl m_target;
    bool m_awaitingStart = false;
    PageLoad m_lastLoad;
    // The document the content wait read last, for TakeDocument.
    std::optional<QString> m_waitedHtml;
};

} // namespace pagrim::harvest
