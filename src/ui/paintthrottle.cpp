#include "ui/paintthrottle.h"

#include <QEvent>
#include <QWidget>

namespace pagrim::ui {

PaintThrottle::PaintThrottle(QWidget* widget, int intervalMs, QObject* parent)
    : QObject(parent), m_widget(widget), m_intervalMs(intervalMs)
{
    m_release.setSingleShot(true);
    connect(&m_release, &QTimer::timeout, this, &PaintThrottle::flush);
}

PaintThrottle::~PaintThrottle()
{
    flush();
}

void PaintThrottle::aboutToChange()
{
    if (holding() || !m_widget)
        return;
    if (!m_painted.isValid() || m_painted.hasExpired(m_intervalMs)) {
        // Painted now, by the change itself or the next pass of events.
        m_painted.start();
        return;
    }
    m_holding = true;
    watchWindow(true);
    m_widget->setUpdatesEnabled(false);
    m_release.start(int(qMax<qint64>(0, m_intervalMs - m_painted.elapsed())));
}

void PaintThrottle::flush()
{
    if (!m_holding)
        return;
    m_holding = false;
    m_release.stop();
    watchWindow(false);
    m_painted.start();
    if (!m_widget)
        return;
    // Enabling updates schedules a paint of the widget and its children.
    m_widget->setUpdatesEnabled(true);
}

void PaintThrottle::watchWindow(bool on)
{
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = on && m_widget ? m_widget->window() : nullptr;
    if (m_window)
        m_window->installEventFilter(this);
}

bool PaintThrottle::eventFilter(QObject* watched, QEvent* event)
{
    // Every paint of the window that reaches the widget's area begins with the
    // window's own paint event (the widget is not opaque), also when the window
    // is uncovered or drawn into a picture; the widget's updates, enabled
    // there, put it in that paint. Opaque widgets painting alone (the browser's
    // frames) leave the hold be.
    if (watched == m_window && event->type() == QEvent::Paint)
        flush();
    return QObject::eventFilter(watched, event);
}

} // namespace pagrim::ui
