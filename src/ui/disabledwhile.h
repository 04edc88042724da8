#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>
#include <utility>
#include <vector>

namespace pagrim::ui {

// Disables widgets for a scope (a run that must not be started again or
// disturbed) and gives each back the enabling it had, also when the scope ends
// by an error. Scopes nest: an inner one gives back the outer one's state.
class DisabledWhile
{
public:
    explicit DisabledWhile(const QList<QWidget*>& widgets)
    {
        for (QWidget* w : widgets) {
            m_saved.emplace_back(w, !w->testAttribute(Qt::WA_ForceDisabled));
            w->setEnabled(false);
        }
    }
    ~DisabledWhile()
    {
        for (auto& [w, enabled] : m_saved)
            if (w)
                w->setEnabled(enabled);
    }
    DisabledWhile(const DisabledWhile&) = delete;
    DisabledWhile& operator=(const DisabledWhile&) = delete;

private:
    std::vector<std::pair<QPointer<QWidget>, bool>> m_saved;
};

} // namespace pagrim::ui
