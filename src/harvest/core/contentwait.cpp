#include "harvest/core/contentwait.h"

#include <QPointer>

namespace pagrim::harvest {

ContentWaiter::ContentWaiter(QObject* parent) : QObject(parent)
{
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &ContentWaiter::look);
}

void ContentWaiter::start(const ContentRule& rule, Look look, Done done)
{
    stop();
    m_rule = rule;
    m_look = std::move(look);
    m_done = std::move(done);
    m_last.clear();
    m_clock.start();
    m_changedAt = 0;
    this->look();
}

void ContentWaiter::stop()
{
    ++m_serial;
    m_next.stop();
    m_done = nullptr;
    m_look = nullptr;
}

void ContentWaiter::look()
{
    const quint64 serial = m_serial;
    m_lookedAt = m_clock.elapsed();
    const QPointer<ContentWaiter> self(this);
    // A copy: the answer may come at once and end the wait, look and all.
    const Look look = m_look;
    look([self, serial](const QString& html) {
        if (self)
            self->seen(serial, html);
    });
}

void ContentWaiter::seen(quint64 serial, const QString& html)
{
    if (serial != m_serial || !m_done)
        return;
    const qint64 now = m_clock.elapsed();
    if (html != m_last) {
        m_last = html;
        m_changedAt = now;
    }
    const bool ready =
        m_rule.ready ? m_rule.ready(html) : now - m_changedAt >= ContentRule::SteadyMs;
    if (html.isEmpty() || ready || now >= m_rule.waitMs) {
        const Done done = std::move(m_done);
        stop();
        done(html);
        return;
    }
    // The next look comes LookMs after this one began, and at the end of the
    // wait at the latest.
    const qint64 next = qMin(m_lookedAt + ContentRule::LookMs, qint64(m_rule.waitMs));
    m_next.start(int(qMax<qint64>(0, next - now)));
}

} // namespace pagrim::harvest
