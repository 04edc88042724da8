#include "ui/gauge.h"

#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

namespace pagrim::ui {

void Gauge::paintEvent(QPaintEvent* event)
{
    // A busy bar moves by itself: it is drawn every time.
    if (minimum() == maximum()) {
        QProgressBar::paintEvent(event);
        return;
    }
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("%1 %2 %3 %4x%5 %6 %7 %8 %9")
                            .arg(option.progress)
                            .arg(option.minimum)
                            .arg(option.maximum)
                            .arg(width())
                            .arg(height())
                            .arg(ratio)
                            .arg(int(option.state))
                            .arg(option.palette.cacheKey())
                            .arg(option.text);
    if (key != m_pictureKey) {
        QPixmap picture(size() * ratio);
        picture.setDevicePixelRatio(ratio);
        // The bar stands on the window's colour, as in a status bar.
        picture.fill(palette().color(QPalette::Window));
        QStylePainter painter(&picture, this);
        painter.drawControl(QStyle::CE_ProgressBar, option);
        painter.end();
        m_picture = picture;
        m_pictureKey = key;
    }
    QPainter(this).drawPixmap(0, 0, m_picture);
}

} // namespace pagrim::ui
