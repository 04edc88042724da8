#pragma once

#include "harvest/core/browser.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEnginePage;
class QVariant;
class QWebEngineView;
class QWidget;

namespace pagrim::harvest {

// Drives the harvesting browser wbGet one page at a time: opens a page and waits
// for its top-level document, saves the document as a file in the program code
// page, and reads its links.
//
// The driver does not own wbGet (its window does); it puts a page on the shared
// browser profile into it. Every wait dispatches events; if wbGet or the driver
// is destroyed during a wait, the wait ends and nothing of theirs is touched.
//
// Completion: WebEngine reports the top-level load only, its end after every
// frame of the page. A navigation asked for while another is still loading
// takes the place of the other, which reports no completion of its own, so the
// completion that ends OpenPage's wait is that of the page it asked for. The
// events arrive whenever events are dispatched, also outside OpenPage; there
// they only set PageLoaded and TopFrame. A navigation to another fragment of the
// loaded document brings no load events: it completes when the address changes.
//
// A load that a stop cut short and that has still not completed when the next
// page is opened, or a script result that never came, leaves the page's
// renderer suspect (a script may loop forever in it): wbGet then gets a new
// page, on a renderer of its own, and the old one goes.
//
// wbGet never shows anything of its own, since nobody would answer it: script
// dialogs are answered at once (confirm and prompt as cancelled, leaving a page
// as agreed), pop-up windows are not opened and downloads are refused.
class BrowserDriver : public QObject, public Browser
{
    Q_OBJECT

public:
    using StatusSink = std::function<void(const QString&)>;
    using RunningTest = std::function<bool()>;

    // showStatus is the window's ShowStatus and running its Running test;
    // message boxes are owned by owner.
    BrowserDriver(QWebEngineView* wbGet, QWidget* owner, StatusSink showStatus, RunningTest running,
                  QObject* parent = nullptr);
    ~BrowserDriver() override;

    QWebEngineView* wbGet() const;
    // False from OpenPage's start until the top-level document completes.
    bool PageLoaded() const override { return m_pageLoaded; }
    // Whether a top-level navigation has started and not yet completed.
    bool TopFrame() const { return m_topFrame; }

    // Navigates without waiting (the window's first "about:blank").
    void Navigate(const QString& address);
    // Shows " 正在打开网页 - <address> 请稍候... ", clears PageLoaded, navigates
    // and waits until the page's top-level document has completed or Running
    // gives false; no time limit. An address without a scheme is taken as an
    // http address. An empty or malformed address, or one the browser refuses
    // (an unknown scheme, a download), raises AddressRefused; SavePage then has
    // no document to write.
    void OpenPage(const QString& address) override;
    // OpenPage up to the navigation, and its wait; the page's load events may
    // arrive in between, whenever events are dispatched.
    void StartPage(const QString& address) override;
    void WaitPage() override;
    // Leaves a started page as a stop during its wait would.
    void DropPage() override;
    // Shows " 正在保存网页到文件，请稍候... " and gives the document the browser
    // holds in the program code page (characters it cannot hold as "&#N;"), as
    // SavePage writes it to a file, whole ("Cannot create file "%1". %2" when it
    // cannot be made). When the browser holds no document or does not hand it
    // out, "保存 HTML 文件失败    " is shown and the result is empty.
    QByteArray TakeDocument() override;
    // The addresses of the document's links (anchors with an address and
    // image-map areas, not those inside frames) in document order, absolute.
    // Raises pagrim::Error when the browser holds no document or does not answer.
    QStringList Links() override;

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
    void downloadRequested(QWebEngineDownloadRequest* download);
    void complete();
    // Puts a new page into wbGet in place of the one it holds, which goes.
    void installPage();
    // Runs start(done) and waits, letting no user input run, until done is
    // called or the time is up; gives false when no result came.
    bool waitForResult(const std::function<void(std::function<void(const QVariant&)>)>& start,
                       QVariant* result);

    QPointer<QWebEngineView> m_view;
    QPointer<QWebEnginePage> m_page;
    QPointer<QWidget> m_owner;
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
};

} // namespace pagrim::harvest
