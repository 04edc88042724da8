#include "ui/dbcheckdelegate.h"

#include "store/fieldvalue.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace pagrim::ui {

bool DBCheckDelegate::checked(const QModelIndex& index)
{
    // Read as the field reads it, so the box shows what asBoolean returns.
    return store::toBoolean(index.data(Qt::EditRole));
}

void DBCheckDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);

    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    painter->fillRect(opt.rect, selected ? opt.palette.brush(group, QPalette::Highlight)
                                         : opt.palette.brush(group, QPalette::Base));

    // The style's check box, square and centred in the cell less one pixel all round.
    const QRect cell = opt.rect.adjusted(1, 1, -1, -1);
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, &opt, opt.widget);
    const int side = qMin(qMin(cell.width(), cell.height()), qMax(indicator, 13));
    QStyleOptionButton box;
    box.rect = QRect(cell.x() + (cell.width() - side) / 2, cell.y() + (cell.height() - side) / 2,
                     side, side);
    box.state = QStyle::State_Enabled | (checked(index) ? QStyle::State_On : QStyle::State_Off);
    box.palette = opt.palette;
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, opt.widget);
}

} // namespace pagrim::ui
