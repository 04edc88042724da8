#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdio>

namespace pagrim::cli {

// The progress of a run's steps on the error output. On a terminal one line
// (step, done/total, pages a second, time left, the address in progress)
// redrawn at most ten times a second; elsewhere that line every five seconds.
// Each step ends with a summary line. Quiet lets only errors out.
class Progress : public QObject
{
public:
    enum class Mode
    {
        Terminal,
        Lines,
        Quiet
    };
    explicit Progress(Mode mode, FILE* out = stderr);

    // A step begins; its figures start at nothing.
    void begin(const QString& step);
    // done of total pages (total 0 while unknown). The speed counts from the
    // first figures after begin.
    void setCount(int done, int total);
    void setDone(int done) { setCount(done, m_total); }
    int done() const { return m_done; }
    void setAddress(const QString& address);
    // The summary line of the step begun: the pages done since its first
    // figures, its failures and its time.
    void end();

    // A page that failed while the step goes on: counted and written at once.
    void failure(const QString& text);
    // A hint (held back when quiet) and an error (always written).
    void info(const QString& text);
    void error(const QString& text);

private:
    QString line() const;
    void changed();
    void draw();
    // Writes a line of its own; a progress line on the terminal makes room.
    void writeLine(const QString& text);

    Mode m_mode;
    FILE* m_out;
    QTimer m_tick;
    QElapsedTimer m_stepClock;  // since begin
    QElapsedTimer m_speedClock; // since the first figures
    QElapsedTimer m_lastDraw;
    QString m_step;
    QString m_address;
    int m_done = 0;
    int m_total = 0;
    int m_base = -1; // done at the first figures
    int m_failures = 0;
    bool m_active = false;
    bool m_dirty = false;
    bool m_shown = false; // a progress line stands on the terminal
};

// A time as "m:ss", or "h:mm:ss" from an hour on.
QString clockText(qint64 ms);

} // namespace pagrim::cli
