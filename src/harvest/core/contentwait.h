#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace pagrim::harvest {

// What a loaded page must hold before it is taken, for pages that scripts fill
// after their load. At waitMs 0 a page is taken when its load ends.
struct ContentRule
{
    // Whether the serialized document holds what the run wants of it.
    using Ready = std::function<bool(const QString& html)>;

    // The longest wait after the load ended, in milliseconds.
    int waitMs = 0;
    // Null: the document is ready once it has not changed for SteadyMs.
    Ready ready;

    bool waits() const { return waitMs > 0; }
    // The rule of list pages: their links are read once the document is steady.
    ContentRule steady() const { return {waitMs, nullptr}; }

    static constexpr int MaxWaitMs = 60000;
    // The document is read at most this often while a page waits.
    static constexpr int LookMs = 100;
    static constexpr int SteadyMs = 500;
    // What a page's time limit grows by beyond waitMs: the last reading of a
    // large document.
    static constexpr int LastLookMs = 5000;
};

// Waits after a page's load until its document satisfies a rule: reads it
// (serializes it) at once, then at most every LookMs, and gives the last
// document read once the rule holds or waitMs has passed since start.
class ContentWaiter : public QObject
{
public:
    using Answer = std::function<void(const QString& html)>;
    // Reads the document; answers from the event loop or at once. An empty
    // answer (no document handed out) ends the wait with it.
    using Look = std::function<void(Answer)>;
    using Done = std::function<void(const QString& html)>;

    explicit ContentWaiter(QObject* parent = nullptr);

    // Starts waiting; done is called once, from the event loop or from the
    // first look's answer, never after stop.
    void start(const ContentRule& rule, Look look, Done done);
    void stop();
    bool waiting() const { return bool(m_done); }

private:
    void look();
    void seen(quint64 serial, const QString& html);

    ContentRule m_rule;
    Look m_look;
    Done m_done;
    QElapsedTimer m_clock;
    qint64 m_lookedAt = 0;
    qint64 m_changedAt = 0;
    QString m_last;
    QTimer m_next;
    quint64 m_serial = 0;
};

} // namespace pagrim::harvest
