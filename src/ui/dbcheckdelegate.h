#pragma once

#include <QStyledItemDelegate>

namespace pagrim::ui {

// Draws a grid cell of a Boolean field as a check box: the cell is drawn as
// usual, then filled with its own background (the highlight in the selected
// row) and the style's check box is drawn, ticked when the field is true, in
// the cell made one pixel smaller on each side.
class DBCheckDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The value the check box shows (the cell's EditRole read as a Boolean).
    static bool checked(const QModelIndex& index);
};

} // namespace pagrim::ui
