#pragma once

#include "platform/errors.h"

#include <QString>
#include <exception>
#include <utility>

// The default error display: every handler runs inside guarded(), so that no
// exception crosses into Qt. An error ends the handler and is shown with the
// application title as caption and the error icon.
namespace pagrim::ui {

// The text as shown: a "." is appended unless the last character sorts at or
// below ".".
QString defaultErrorText(const QString& message);
void showDefaultError(const QString& message);

template <class F> void guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (const Error& e) {
        showDefaultError(e.message());
    } catch (const std::exception& e) {
        showDefaultError(QString::fromUtf8(e.what()));
    } catch (...) {
        showDefaultError(QStringLiteral("Unknown error"));
    }
}

// A slot that runs the member function of obj inside the guard.
template <class T, class... Args> auto guard(T* obj, void (T::*method)(Args...))
{
    return [obj, method](Args... args) { guarded([&] { (obj->*method)(args...); }); };
}

} // namespace pagrim::ui
