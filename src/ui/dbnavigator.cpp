#include "ui/dbnavigator.h"

#include "store/dataset.h"
#include "ui/guard.h"

#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace pagrim::ui {

namespace {

// The glyph of a button, drawn in the palette's text colour on a 16×16 field.
QPixmap glyph(DBNavigator::Button b, const QColor& color)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const auto triangle = [&](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 8);
        path.lineTo(baseX, 3);
        path.lineTo(baseX, 13);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (b) {
    case DBNavigator::First:
        p.drawRect(QRectF(3, 3, 2, 10));
        triangle(5, 12);
        break;
    case DBNavigator::Prior:
        triangle(4, 11);
        break;
    case DBNavigator::Next:
        triangle(12, 5);
        break;
    case DBNavigator::Last:
        triangle(11, 4);
        p.drawRect(QRectF(11, 3, 2, 10));
        break;
    case DBNavigator::Insert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case DBNavigator::Delete:
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case DBNavigator::Post: {
        QPen pen(color, 2);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    }
    case DBNavigator::Cancel: {
        QPen pen(color, 2);
        p.setPen(pen);
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    }
    default:
        break;
    }
    return pm;
}

// Per button, in the order of DBNavigator::Button.
const char* const hints[] = {"第一条", "上一条", "下一条", "最后一条",
                             "添加",   "删除",   "保存",   "取消"};
const char* const objectNames[] = {"nbFirst",  "nbPrior",  "nbNext", "nbLast",
                                   "nbInsert", "nbDelete", "nbPost", "nbCancel"};

} // namespace

DBNavigator::DBNavigator(QWidget* parent) : QWidget(parent)
{
    const QColor enabledColor(0, 0, 0);
    const QColor disabledColor(160, 160, 160);
    for (int i = 0; i < ButtonCount; ++i) {
        const auto b = Button(i);
        auto* button = new QToolButton(this);
        button->setObjectName(QLatin1String(objectNames[i]));
        button->setAutoRaise(true);
        button->setToolTip(QString::fromUtf8(hints[i]));
        QIcon icon;
        icon.addPixmap(glyph(b, enabledColor), QIcon::Normal);
        icon.addPixmap(glyph(b, disabledColor), QIcon::Disabled);
        button->setIcon(icon);
        button->setIconSize(QSize(16, 16));
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, b] { btnClick(b); });
        m_buttons[size_t(i)] = button;
    }
    updateButtons();
}

void DBNavigator::bind(store::DataSet& dataSet)
{
    if (m_ds)
        disconnect(m_ds, nullptr, this, nullptr);
    m_ds = &dataSet;
    connect(&dataSet, &store::DataSet::layoutReset, this, &DBNavigator::updateButtons);
    connect(&dataSet, &store::DataSet::stateChanged, this, &DBNavigator::updateButtons);
    connect(&dataSet, &store::DataSet::currentChanged, this, &DBNavigator::updateButtons);
    updateButtons();
}

void DBNavigator::btnClick(Button b)
{
    guarded([&] {
        if (!m_ds || !m_buttons[size_t(b)]->isEnabled())
            return;
        store::DataSet& ds = *m_ds;
        switch (b) {
        case First:
            ds.first();
            break;
        case Prior:
            ds.prior();
            break;
        case Next:
            ds.next();
            break;
        case Last:
            ds.last();
            break;
        case Insert:
            ds.append();
            break;
        case Delete:
            ds.deleteRecord();
            break;
        case Post:
            ds.post();
            break;
        case Cancel:
            ds.cancel();
            break;
        default:
            break;
        }
    });
    updateButtons();
}

void DBNavigator::updateButtons()
{
    const bool active = m_ds && m_ds->isActive();
    const int row = active ? m_ds->currentRow() : -1;
    const int count = active ? m_ds->recordCount() : 0;
    const bool editing = active && m_ds->isEditing();
    const bool hasRows = count > 0;
    m_buttons[First]->setEnabled(hasRows && row > 0);
    m_buttons[Prior]->setEnabled(hasRows && row > 0);
    m_buttons[Next]->setEnabled(hasRows && row >= 0 && row < count - 1);
    m_buttons[Last]->setEnabled(hasRows && row >= 0 && row < count - 1);
    // A pending row is posted before the next one is added.
    m_buttons[Insert]->setEnabled(active);
    m_buttons[Delete]->setEnabled(hasRows && row >= 0);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
}

void DBNavigator::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange();
}

void DBNavigator::arrange()
{
    // The buttons share the width, as equal as whole pixels allow.
    const int w = width();
    const int h = height();
    int x = 0;
    for (int i = 0; i < ButtonCount; ++i) {
        const int next = (i + 1) * w / ButtonCount;
        m_buttons[size_t(i)]->setGeometry(x, 0, next - x, h);
        x = next;
    }
}

} // namespace pagrim::ui
