#include "support/standins.h"

#include "platform/filewrite.h"

#include <algorithm>
#include <utility>

namespace pagrim::test {

void StandInBrowser::StartPage(const QString& address)
{
    opened << address;
    m_current = address;
    m_document.clear();
    m_loaded = false;
    if (outcome() == Outcome::RefusedAtOnce)
        throw harvest::AddressRefused(QStringLiteral("refused at once"));
}

void StandInBrowser::WaitPage()
{
    if (beforeWait)
        beforeWait(m_current);
    switch (outcome()) {
    case Outcome::Refused:
        throw harvest::AddressRefused(QStringLiteral("refused"));
    case Outcome::StopsLoading:
        m_host.running = false;
        return;
    case Outcome::Loads:
        m_document = "<html>" + redirects.value(m_current, m_current).toUtf8() + "</html>";
        break;
    case Outcome::RefusedAtOnce:
    case Outcome::NoDocument:
        break;
    }
    m_loaded = true;
}

harvest::PageLoad StandInBrowser::LastLoad() const
{
    harvest::PageLoad load;
    load.address = QUrl(redirects.value(m_current, m_current));
    return load;
}

QByteArray StandInBrowser::TakeDocument()
{
    if (m_document.isEmpty())
        failures << m_current;
    return m_document;
}

StandInFetcher::StandInFetcher(int slots) : m_slots(size_t(slots))
{
    m_clock.start();
    for (Slot& slot : m_slots) {
        slot.timer = std::make_unique<QTimer>();
        slot.timer->setSingleShot(true);
        slot.sendTimer = std::make_unique<QTimer>();
        slot.sendTimer->setSingleShot(true);
        slot.waiter = std::make_unique<harvest::ContentWaiter>();
    }
}

int StandInFetcher::inFlight() const
{
    return int(std::count_if(m_slots.begin(), m_slots.end(),
                             [](const Slot& slot) { return !slot.address.isEmpty(); }));
}

void StandInFetcher::start(int slotIndex, const QString& address, Done done, Sent sentNow)
{
    Slot& slot = m_slots.at(size_t(slotIndex));
    if (!slot.address.isEmpty())
        qFatal("StandInFetcher: slot %d is busy", slotIndex);
    starts.append({address, m_clock.elapsed()});
    slot.address = address;
    mostInFlight = qMax(mostInFlight, inFlight());
    QList<Answer>& left = answers[address];
    const Answer answer = left.isEmpty() ? Answer{} : left.takeFirst();
    QObject::disconnect(slot.timer.get(), nullptr, nullptr, nullptr);
    QObject::disconnect(slot.sendTimer.get(), nullptr, nullptr, nullptr);
    QObject::connect(slot.sendTimer.get(), &QTimer::timeout, [this, address, sentNow] {
        sent.append({address, m_clock.elapsed()});
        if (sentNow)
            sentNow();
    });
    slot.sendTimer->start(sentDelays.value(address, sentDelayMs));
    if (answer.hangs)
        return;
    QObject::connect(slot.timer.get(), &QTimer::timeout, [this, slotIndex, answer, done] {
        const QString loading = m_slots[size_t(slotIndex)].address;
        const auto deliver = [this, slotIndex, answer, done](const QString& html) {
            const QString loaded = std::exchange(m_slots[size_t(slotIndex)].address, QString());
            harvest::PageLoad load{answer.ending, answer.status, html.toUtf8(),
                                   QUrl(redirects.value(loaded, loaded))};
            if (onAnswer)
                onAnswer(loaded);
            done(load);
        };
        if (answer.ending != harvest::PageLoad::Ending::Loaded)
            return deliver(QString());
        QElapsedTimer sinceLoad;
        sinceLoad.start();
        const auto look = [this, loading, sinceLoad](const harvest::ContentWaiter::Answer& now) {
            now(documentAt ? documentAt(loading, sinceLoad.elapsed())
                           : QStringLiteral("<html>") + loading + QStringLiteral("</html>"));
        };
        if (!contentRule().waits())
            return look(deliver);
        m_slots[size_t(slotIndex)].waiter->start(contentRule(), look, deliver);
    });
    slot.timer->start(delayMs);
}

void StandInFetcher::stop(int slotIndex)
{
    Slot& slot = m_slots.at(size_t(slotIndex));
    slot.timer->stop();
    slot.sendTimer->stop();
    slot.waiter->stop();
    if (!slot.address.isEmpty())
        stopped << std::exchange(slot.address, QString());
}

void savePage(harvest::Browser& browser, const QString& path)
{
    const QByteArray document = browser.TakeDocument();
    if (!document.isEmpty())
        writeFileOrThrow(path, document);
}

} // namespace pagrim::test
