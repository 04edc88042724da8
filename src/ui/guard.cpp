#include "ui/guard.h"

#include "ui/messagebox.h"

namespace pagrim::ui {

QString defaultErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showDefaultError(const QString& message)
{
    // The application's title is the program's name.
    MessageBox(nullptr, defaultErrorText(message), QStringLiteral("Pagrim"), Icon::Error,
               Buttons::Ok, Answer::Ok);
}

} // namespace pagrim::ui
