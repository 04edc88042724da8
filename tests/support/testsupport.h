#pragma once

#include "messagebox.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
namespace pagrim::test {

// The child widget of that object name; a test without it cannot go on.
template <class T> T* child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

// A file's bytes, or "<missing>" when it cannot be read.
QByteArray contents(const QString& path);
// Replaces a file with bytes (a test failure when it cannot).
void put(const QString& path, const QByteArray& bytes);
// The path of one of the project's built programs, found beside the test
// program or in a folder above it; empty when it is not built.
QString builtProgram(const QString& name);

// Runs action on the next modal window that inherits className, once it is shown
// (for driving dialogs that run their own loop). Gives up after timeoutMs; the
// result tells whether it ran.
std::shared_ptr<bool> onNextModal(const char* className, std::function<void(QWidget*)> action,
                                  int timeoutMs = 15000);
// Ends every watch of onNextModal that has not run or timed out yet.
void cancelModalWatches();

// Records every message box instead of showing it, answering from a queue
// (the default button when the queue is empty). Restores the real box when done.
class MessageRecorder
{
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void answerNext(ui::Answer answer) { m_answers.push_back(answer); }
    const QList<ui::MessageRecord>& records() const { return m_records; }
    int count() const { return int(m_records.size()); }
    const ui::MessageRecord& last() const { return m_records.back(); }
    void clear() { m_records.clear(); }

private:
    QList<ui::MessageRecord> m_records;
    std::deque<ui::Answer> m_answers;
};

// Counts beeps instead of sounding them.
class BeepCounter
{
public:
    BeepCounter();
    ~BeepCounter();
    int count() const { return *m_count; }

private:
    std::shared_ptr<int> m_count = std::make_shared<int>(0);
};

// A temporary folder with an empty store made by the same code as
// pagrim-mkstore; the current folder moves into it while the world lives.
class TempWorld
{
public:
    TempWorld();
    ~TempWorld();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString storePath() const { return file(QStringLiteral("Pagrim.mdb")); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace pagrim::test
