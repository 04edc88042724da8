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
// meanwhile (uncovered, a see-through widget's update, a grab of the window)
// ends the hold first, so that the window is never painted without it; a
// picture of a widget between the two is not watched. A hold ends with the
// throttle too, which must therefore go before its widget.
class PaintThrottle : public QObject
{
    Q_OBJECT

public:
    PaintThrottle(QWidget* widget, int intervalMs, QObject* parent = nullptr);
    ~PaintThrottle() override;

    void aboutToChange();
    // Ends a hold at once: the widget is painted in the next pass of events.
    void flush();
    bool holding() const { return m_holding; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow(bool on);

    QPointer<QWidget> m_widget;
    QPointer<QWidget> m_window;
    int m_intervalMs;
    QElapsedTimer m_painted;
    QTimer m_release;
    bool m_holding = false;
};

} // namespace pagrim::ui
