#pragma once

#include "harvest/core/pagefetcher.h"

#include <QObject>
#include <memory>
#include <vector>

class QWebEngineLoadingInfo;

namespace pagrim::harvest {

// Pages of the shared browser profile, shown in no view, that load pages side
// by side: one page per slot, each on a renderer of its own, so that a login
// made in the login window is in force in all of them. A slot's page is
// replaced when a load is stopped or a document is not handed out in time,
// so that a renderer caught in a script never holds the slot's next page; a
// load whose renderer is gone ends as timed out. A missing document is told
// by the load's ending, with no box.
class BrowserPool : public QObject, public PageFetcher
{
    Q_OBJECT

public:
    explicit BrowserPool(int slots, QObject* parent = nullptr);
    ~BrowserPool() override;

    int slotCount() const override;
    void start(int slot, const QString& address, Done done, Sent sent) override;
    void stop(int slot) override;

private:
    struct Slot;

    // Puts a new page into slot in place of the one it holds, which goes.
    void installPage(int slot);
    void loadingChanged(int slot, const QWebEngineLoadingInfo& info);
    void requestSent(int slot);
    void rendererGone(int slot);
    void htmlTaken(int slot, quint64 serial, const QString& html);
    // The load of slot has ended: done follows from the event loop.
    void end(int slot, const PageLoad& load);
    void deliver(int slot, quint64 serial);

    std::vector<std::unique_ptr<Slot>> m_slots;
};

} // namespace pagrim::harvest
