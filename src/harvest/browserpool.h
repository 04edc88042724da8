#pragma once

#include "harvest/core/pagefetcher.h"

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWidget;

namespace pagrim::harvest {

// Pages of the shared browser profile, shown in no view, that load pages side
// by side: one page per slot, each on a renderer of its own, so that a login
// made in the login window is in force in all of them. A slot's page is
// replaced when a load is stopped or a document is not handed out in time,
// so that a renderer caught in a script never holds the slot's next page.
// Message boxes are owned by owner.
class BrowserPool : public QObject, public PageFetcher
{
    Q_OBJECT

public:
    BrowserPool(int slots, QWidget* owner, QObject* parent = nullptr);
    ~BrowserPool() override;

    int slotCount() const override;
    void start(int slot, const QString& address, Done done) override;
    void stop(int slot) override;

private:
    struct Slot;

    // Puts a new page into slot in place of the one it holds, which goes.
    void installPage(int slot);
    void loadingChanged(int slot, const QWebEngineLoadingInfo& info);
    void htmlTaken(int slot, quint64 serial, const QString& html);
    // The load of slot has ended: done follows from the event loop.
    void end(int slot, const PageLoad& load);
    void deliver(int slot, quint64 serial);
    void downloadRequested(QWebEngineDownloadRequest* download);

    std::vector<std::unique_ptr<Slot>> m_slots;
    QPointer<QWidget> m_owner;
};

} // namespace pagrim::harvest
