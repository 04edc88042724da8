#include "ui/buttonkeys.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

namespace pagrim::ui {

namespace {

bool isEnter(const QKeyEvent* key)
{
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           modifiers == Qt::NoModifier;
}

// A button that does not take Enter itself lets the key travel up to its
// window; the filter there hands it back to the button.
class EnterFilter : public QObject
{
public:
    explicit EnterFilter(QWidget* window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_window || event->type() != QEvent::KeyPress ||
            !isEnter(static_cast<QKeyEvent*>(event)))
            return false;
        QWidget* focus = m_window->focusWidget();
        if (!qobject_cast<QPushButton*>(focus) && !qobject_cast<QToolButton*>(focus))
            return false;
        auto* button = static_cast<QAbstractButton*>(focus);
        if (button->isEnabled())
            button->click();
        return true;
    }

private:
    QWidget* m_window;
};

} // namespace

void enterPressesFocusedButton(QWidget* window)
{
    // An auto-default button would become the default while it has the focus,
    // and in a dialog without a default button it would stay so afterwards.
    for (QPushButton* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(false);
    window->installEventFilter(new EnterFilter(window));
}

} // namespace pagrim::ui
