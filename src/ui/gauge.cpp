#include "ui/gauge.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

namespace pagrim::ui {

void Gauge::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::LayoutDirectionChange:
        m_pictureKey.clear();
        break;
    default:
        break;
    }
    QProgressBar::changeEvent(event);
}

void Gauge::paintEvent(QPaintEvent* event)
{
    // A busy bar moves by itself: it is drawn every time.
    if (minimum() == maximum()) {
        QProgressBar::paintEvent(event);
        return;
    }
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    // What the bar shows of the value: the share of the bar filled (at a
    // quarter pixel, finer than a style draws it), whether it is full, and the
    // text. Values that show alike share a picture.
    const QRect contents = style()->subElementRect(QStyle::SE_ProgressBarContents, &option, this);
    const qint64 steps = qMax<qint64>(1, qint64(option.maximum) - option.minimum);
    const qint64 done = qMax<qint64>(option.progress, option.minimum) - option.minimum;
    const qint64 filled =
        done * 4 * (orientation() == Qt::Horizontal ? contents.width() : contents.height()) / steps;
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("%1 %2 %3 %4x%5 %6 %7 %8 %9 %10 %11 %12")
                            .arg(filled)
                            .arg(option.progress == option.maximum)
                            .arg(option.text)
                            .arg(width())
                            .arg(height())
                            .arg(ratio)
                            .arg(int(option.state))
                            .arg(option.palette.cacheKey())
                            .arg(option.textVisible)
                            .arg(int(option.textAlignment))
                            .arg(option.invertedAppearance)
                            .arg(int(option.direction));
    if (key != m_pictureKey) {
        QPixmap picture(size() * ratio);
        picture.setDevicePixelRatio(ratio);
        // The bar stands on the window's colour, as in a status bar.
        picture.fill(palette().color(QPalette::Window));
        QStylePainter painter(&picture, this);
        // As a painter on the bar itself would start.
        painter.setFont(font());
        painter.setLayoutDirection(layoutDirection());
        painter.setPen(palette().color(foregroundRole()));
        painter.drawControl(QStyle::CE_ProgressBar, option);
        painter.end();
        m_picture = picture;
        m_pictureKey = key;
    }
    QPainter(this).drawPixmap(0, 0, m_picture);
}

} // namespace pagrim::ui
