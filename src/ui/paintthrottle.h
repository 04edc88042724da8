#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace pagrim::ui {

// Paints a widget that changes faster than the eye reads at most once per interval; call
// aboutToChange before each change. A paint of its window ends a hold. Delete it before its widget.
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
