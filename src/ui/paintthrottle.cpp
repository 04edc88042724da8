#include "ui/paintthrottle.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace pagrim::ui {

PaintThrottle::PaintThrottle(QWidget* widget, int intervalMs)
    : QObject(widget), m_widget(widget), m_intervalMs(intervalMs)
{
    m_release.setSingleShot(true);
    connect(&m_release, &QTimer::timeout, this, &PaintThrottle::flush);
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
    for (QPointer<QObject>* watched : {&m_window, &m_windowHandle})
        if (*watched)
            (*watched)->removeEventFilter(this);
    m_window = nullptr;
    m_windowHandle = nullptr;
    if (!on || !m_widget)
        return;
    // The window's paints come as update requests to the window or its
    // platform window, as exposures of the latter, and as paint events of the
    // window when it is drawn into a picture.
    m_window = m_widget->window();
    m_windowHandle = m_widget->window()->windowHandle();
    for (QObject* watched : {m_window.data(), m_windowHandle.data()})
        if (watched)
            watched->installEventFilter(this);
}

bool PaintThrottle::eventFilter(QObject* watched, QEvent* event)
{
    // Updates enabled before the window is painted put the widget in the
    // paint. A window drawn into a picture (grab) is painted itself first.
    const QEvent::Type type = event->type();
    if (type == QEvent::UpdateRequest || type == QEvent::Expose ||
        (type == QEvent::Paint && watched == m_window))
        flush();
    return QObject::eventFilter(watched, event);
}

} // namespace pagrim::ui
