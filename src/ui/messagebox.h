#pragma once

#include <QString>
#include <functional>

class QWidget;

// The program's message boxes and the beep, each behind one function that
// tests replace with a recorder.
namespace pagrim::ui {

enum class Icon
{
    None,
    Information,
    Question,
    Warning,
    Error
};
enum class Buttons
{
    Ok,
    OkCancel,
    YesNo
};
enum class Answer
{
    Ok,
    Cancel,
    Yes,
    No
};

struct MessageRecord
{
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    Answer defaultButton = Answer::Ok;
};

// Shows a modal message box owned by owner (the application when null) and
// gives the button pressed.
Answer MessageBox(QWidget* owner, const QString& text, const QString& caption,
                  Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
                  Answer defaultButton = Answer::Ok);

using MessageBoxHandler = std::function<Answer(const MessageRecord&)>;
// Replaces the real message box (an empty handler brings it back).
void setMessageBoxHandler(MessageBoxHandler handler);

// The plain system beep.
void Beep();
void setBeepHandler(std::function<void()> handler);

} // namespace pagrim::ui
