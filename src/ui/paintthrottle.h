#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace pagrim::ui {

// Paints a widget that changes faster than the eye reads (a status line during
// a run) at most once per interval. Call aboutToChange before each change to
// the widget or its children: a change right after a paint is held, with the
// widget's updates disabled, and the widget is painted whole, with what it
// shows by then, when the interval is over. What the widget holds (its text,
// its value) changes at once; only the painting waits. A paint of its window
// meanwhile (uncovered, another widget's update, a grab) ends the hold, so
// that the widget is never left out of it.
class PaintThrottle : public QObject
{
    Q_OBJECT

public:
    PaintThrottle(QWidget* widget, int intervalMs);

    void aboutToChange();
    // Ends a hold at once: the widget is painted in the next pass of events.
    void flush();
    bool holding() const { return m_holding; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow(bool on);

    QPointer<QWidget> m_widget;
    QPointer<QObject> m_window;
    QPointer<QObject> m_windowHandle;
    int m_intervalMs;
    QElapsedTimer m_painted;
    QTimer m_release;
    bool m_holding = false;
};

} // namespace pagrim::ui
