#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QAbstractButton;

namespace pagrim::ui {

// The caption of a harvesting button while its run goes on.
QString stopCaption();

// The run state shared by the two harvesting buttons of the execution window
// (list generation and page saving). Running is true from a start click until a
// stop click; the runs' loops and the browser's wait test it. A stop click
// arrives while the run dispatches events, inside the run: it only clears
// Running and puts the captions and enabling back.
class HarvestRun : public QObject
{
    Q_OBJECT
public:
    // restoreApplication is called at the end of every run that got going.
    explicit HarvestRun(std::function<void()> restoreApplication, QObject* parent = nullptr);

    bool running() const { return m_running; }
    // A run's body is still on the stack (possibly already stopped).
    bool active() const { return m_active > 0; }

    // The click of a harvesting button whose idle caption is idleCaption:
    // - the button reads "停止": the stop branch (other enabled, idle caption
    //   back, Running false);
    // - otherwise Running becomes true and prepare runs; when it refuses (false)
    //   nothing else changes. Then the button reads "停止", other is disabled,
    //   body runs, and afterwards the idle caption comes back, other is enabled
    //   and the application is restored.
    // An error out of prepare or body leaves the buttons as they are: the next
    // click on the button takes the stop branch and puts them back.
    // A start click while a stopped run has not yet returned is ignored, so
    // that the old run does not go on under the new Running.
    void click(QAbstractButton& button, const QString& idleCaption, QAbstractButton& other,
               const std::function<bool()>& prepare, const std::function<void()>& body);

Q_SIGNALS:
    // Running went from true to false.
    void stopped();

private:
    std::function<void()> m_restore;
    bool m_running = false;
    int m_active = 0;
};

// Counts the window's handlers that are running, so that a close asked for
// meanwhile (a button, Esc, the close box) is carried out once the outermost
// handler has returned, never under a run that still uses the window.
class HandlerTracker
{
public:
    explicit HandlerTracker(std::function<void()> closeNow) : m_close(std::move(closeNow)) {}

    // Runs handler (which must not throw: it is the guarded handler) as one of
    // the window's handlers.
    void run(const std::function<void()>& handler);
    bool busy() const { return m_depth > 0; }
    // For the window's close: true when it has to wait; it is then remembered.
    bool deferClose();
    bool closePending() const { return m_closePending; }

private:
    void closeIfPending();
    std::function<void()> m_close;
    int m_depth = 0;
    bool m_closePending = false;
};

} // namespace pagrim::ui
