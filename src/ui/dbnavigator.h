#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

class QToolButton;

namespace pagrim::store {
class DataSet;
}

namespace pagrim::ui {

// A row of flat buttons that move through and change a data set: first, prior,
// next, last, insert (an appended row), delete (at once, without asking), post
// and cancel. Each button is enabled only while its action is possible; errors
// of an action go to the default error display.
class DBNavigator : public QWidget
{
    Q_OBJECT
public:
    enum Button
    {
        First,
        Prior,
        Next,
        Last,
        Insert,
        Delete,
        Post,
        Cancel,
        ButtonCount
    };

    explicit DBNavigator(QWidget* parent = nullptr);
    void bind(store::DataSet& dataSet);
    store::DataSet* dataSet() const { return m_ds; }
    QToolButton* button(Button b) const { return m_buttons.at(size_t(b)); }
    // Performs a button's action as its click does.
    void btnClick(Button b);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateButtons();
    void arrange();

    QPointer<store::DataSet> m_ds;
    std::array<QToolButton*, ButtonCount> m_buttons{};
};

} // namespace pagrim::ui
