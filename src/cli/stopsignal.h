#pragma once

#include <QObject>

class QSocketNotifier;

namespace pagrim::cli {

// SIGINT and SIGTERM ask the run to stop, as the window's stop button does.
// The handler only sets a flag and writes to a pipe whose notifier wakes the
// event loop, so that a wait for a page ends at once. A second signal ends the
// program outright (the runs survive a kill). One object for the program's life.
class StopSignal : public QObject
{
    Q_OBJECT
public:
    explicit StopSignal(QObject* parent = nullptr);
    ~StopSignal() override;

    // Whether a stop has been asked for; safe anywhere.
    static bool requested();

Q_SIGNALS:
    // Emitted from the event loop after the signal came.
    void stopRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace pagrim::cli
