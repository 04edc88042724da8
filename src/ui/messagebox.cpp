#include "ui/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace pagrim::ui {

namespace {

MessageBoxHandler& handlerSlot()
{
    static MessageBoxHandler handler;
    return handler;
}

std::function<void()>& beepSlot()
{
    static std::function<void()> handler;
    return handler;
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(Answer answer)
{
    switch (answer) {
    case Answer::Ok:
        return QMessageBox::Ok;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

Answer fromQt(int button)
{
    switch (button) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

} // namespace

Answer MessageBox(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                  Buttons buttons, Answer defaultButton)
{
    if (const auto& handler = handlerSlot())
        return handler(MessageRecord{owner, text, caption, icon, buttons, defaultButton});

    QMessageBox box(toQt(icon), caption, text, QMessageBox::NoButton, owner);
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    box.setDefaultButton(toQt(defaultButton));
    return fromQt(box.exec());
}

void setMessageBoxHandler(MessageBoxHandler handler)
{
    handlerSlot() = std::move(handler);
}

void Beep()
{
    if (const auto& handler = beepSlot())
        handler();
    else
        QApplication::beep();
}

void setBeepHandler(std::function<void()> handler)
{
    beepSlot() = std::move(handler);
}

} // namespace pagrim::ui
