#include "ui/runstate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

namespace pagrim::ui {

QString stopCaption()
{
    return QStringLiteral("停止");
}

HarvestRun::HarvestRun(std::function<void()> restoreApplication, QObject* parent)
    : QObject(parent), m_restore(std::move(restoreApplication))
{
}

void HarvestRun::click(QAbstractButton& button, const QString& idleCaption, QAbstractButton& other,
                       const std::function<bool()>& prepare, const std::function<void()>& body)
{
    if (button.text() != idleCaption) {
        other.setEnabled(true);
        button.setText(idleCaption);
        const bool was = m_running;
        m_running = false;
        if (was)
            Q_EMIT stopped();
        return;
    }
    if (m_active > 0)
        return;
    m_running = true;
    if (prepare && !prepare())
        return;

    ++m_active;
    struct Depth
    {
        int& depth;
        ~Depth() { --depth; }
    } depth{m_active};
    other.setEnabled(false);
    button.setText(stopCaption());
    body();
    button.setText(idleCaption);
    other.setEnabled(true);
    if (m_restore)
        m_restore();
}

void HandlerTracker::run(const std::function<void()>& handler)
{
    ++m_depth;
    try {
        handler();
    } catch (...) {
        --m_depth;
        closeIfPending();
        throw;
    }
    --m_depth;
    closeIfPending();
}

void HandlerTracker::closeIfPending()
{
    // A close asked for during the handlers is carried out once the outermost
    // one has returned, also when it ended in an error.
    if (m_depth == 0 && m_closePending) {
        m_closePending = false;
        if (m_close)
            m_close();
    }
}

bool HandlerTracker::deferClose()
{
    if (m_depth == 0)
        return false;
    m_closePending = true;
    return true;
}

} // namespace pagrim::ui
