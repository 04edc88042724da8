#include "cli/progress.h"

#include "cli/terminal.h"
#include "platform/text.h"

namespace pagrim::cli {

namespace {
constexpr int RedrawMs = 100;
constexpr int LineEveryMs = 5000;
const QString ClearLine = QStringLiteral("\r\x1b[K");
} // namespace

QString clockText(qint64 ms)
{
    const qint64 s = (ms + 500) / 1000;
    const auto two = [](qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (s < 3600)
        return QString::number(s / 60) + QLatin1Char(':') + two(s % 60);
    return QString::number(s / 3600) + QLatin1Char(':') + two(s / 60 % 60) + QLatin1Char(':') +
           two(s % 60);
}

Progress::Progress(Mode mode, FILE* out) : m_mode(mode), m_out(out)
{
    m_tick.setInterval(mode == Mode::Terminal ? RedrawMs : LineEveryMs);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        if (m_mode == Mode::Lines)
            writeLine(line());
        else if (m_dirty)
            draw();
    });
}

void Progress::begin(const QString& step)
{
    m_step = step;
    m_address.clear();
    m_done = m_total = m_failures = 0;
    m_base = -1;
    m_active = true;
    m_stepClock.start();
    m_lastDraw.invalidate();
    if (m_mode != Mode::Quiet)
        m_tick.start();
    changed();
}

void Progress::setCount(int done, int total)
{
    if (m_active && m_base < 0) {
        m_base = done;
        m_speedClock.start();
    }
    m_done = done;
    m_total = total;
    changed();
}

void Progress::setAddress(const QString& address)
{
    m_address = address;
    changed();
}

void Progress::end()
{
    m_tick.stop();
    m_active = false;
    info(QStringLiteral("%1：%2 页，失败 %3，用时 %4")
             .arg(m_step)
             .arg(m_base < 0 ? 0 : m_done - m_base)
             .arg(m_failures)
             .arg(clockText(m_stepClock.elapsed())));
}

void Progress::failure(const QString& text)
{
    ++m_failures;
    error(m_address.isEmpty() ? text : text + QStringLiteral(" - ") + m_address);
}

void Progress::info(const QString& text)
{
    if (m_mode != Mode::Quiet)
        writeLine(text);
}

void Progress::error(const QString& text)
{
    writeLine(text);
}

QString Progress::line() const
{
    QString s = m_step + QLatin1Char(' ') + QString::number(m_done);
    if (m_total > 0)
        s += QLatin1Char('/') + QString::number(m_total);
    const qint64 ms = m_base < 0 ? 0 : m_speedClock.elapsed();
    const double rate = ms > 0 ? (m_done - m_base) * 1000.0 / double(ms) : 0;
    if (rate > 0) {
        s += QStringLiteral("  %1 页/秒").arg(rate, 0, 'f', 1);
        if (m_total > m_done)
            s += QStringLiteral("  剩余 ") + clockText(qint64((m_total - m_done) / rate * 1000));
    }
    if (!m_address.isEmpty())
        s += QStringLiteral("  ") + m_address;
    return s;
}

void Progress::changed()
{
    if (m_mode != Mode::Terminal || !m_active)
        return;
    m_dirty = true;
    if (!m_lastDraw.isValid() || m_lastDraw.elapsed() >= RedrawMs)
        draw();
}

void Progress::draw()
{
    // The address gives way at its start, so that the line never wraps.
    QString text = line();
    const int room = terminalColumns(m_out) - 1;
    if (textColumns(text) > room && !m_address.isEmpty()) {
        const QString head = text.left(text.size() - m_address.size());
        text = head + elideLeft(m_address, room - textColumns(head));
    }
    while (textColumns(text) > room && !text.isEmpty())
        text.chop(1);
    write(m_out, ClearLine + text);
    m_shown = true;
    m_dirty = false;
    m_lastDraw.start();
}

void Progress::writeLine(const QString& text)
{
    write(m_out, (m_shown ? ClearLine : QString()) + text + QLatin1Char('\n'));
    m_shown = false;
    if (m_active && m_mode == Mode::Terminal)
        draw();
}

} // namespace pagrim::cli
