#include "guard.h"

#include "messagebox.h"

#include <QCoreApplication>

namespace pagrim::ui {

QString defaultErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showDefaultError(const QString& message)
{
    QString title = QCoreApplication::applicationName();
    if (title.isEmpty())
        title = QStringLiteral("Pagrim");
    MessageBox(nullptr, defaultErrorText(message), title, Icon::Error, Buttons::Ok, Answer::Ok);
}

} // namespace pagrim::ui
