#pragma once

#include "support/coresupport.h"
#include "ui/messagebox.h"

#include <QList>
#include <QString>
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

// Types text into w as an input method hands it over (QTest::keyClicks cannot
// type Chinese).
void commitText(QWidget* w, const QString& text);

// Saves a picture of w as name.png in pictureFolder(); does nothing without
// the folder. False when the picture could not be saved.
bool savePicture(QWidget* w, const QString& name);

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

} // namespace pagrim::test
