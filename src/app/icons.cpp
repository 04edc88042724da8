#include "app/icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void page(QPainter& p, const QRectF& r, const QColor& fill)
{
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.right() - 6, r.top());
    path.lineTo(r.right(), r.top() + 6);
    path.lineTo(r.bottomRight());
    path.lineTo(r.bottomLeft());
    path.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 90), 1.5));
    p.setBrush(fill);
    p.drawPath(path);
    p.setPen(QPen(QColor(150, 150, 170), 1));
    for (qreal y = r.top() + 9; y < r.bottom() - 3; y += 4)
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
}

void gear(QPainter& p)
{
    p.setPen(QPen(QColor(70, 70, 110), 4, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(16, 16);
        p.rotate(45 * i);
        p.drawLine(0, 9, 0, 13);
        p.restore();
    }
    p.setBrush(QColor(150, 150, 200));
    p.setPen(QPen(QColor(70, 70, 110), 1.5));
    p.drawEllipse(QPointF(16, 16), 9, 9);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 16), 3.5, 3.5);
}

// A blue disc with a white letter.
void roundMark(QPainter& p, const QString& letter)
{
    p.setPen(QPen(QColor(20, 60, 140), 1.5));
    p.setBrush(QColor(60, 120, 210));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(20);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, letter);
}

} // namespace

QIcon toolIcon(ToolPicture picture)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (picture) {
    case ToolPicture::Execute: {
        QPainterPath tri;
        tri.moveTo(8, 4);
        tri.lineTo(28, 16);
        tri.lineTo(8, 28);
        tri.closeSubpath();
        p.setPen(QPen(QColor(20, 100, 20), 1.5));
        p.setBrush(QColor(60, 170, 60));
        p.drawPath(tri);
        break;
    }
    case ToolPicture::New:
        page(p, QRectF(6, 3, 20, 26), Qt::white);
        p.setPen(QPen(QColor(0, 120, 0), 3));
        p.drawLine(22, 18, 22, 30);
        p.drawLine(16, 24, 28, 24);
        break;
    case ToolPicture::Copy:
        page(p, QRectF(3, 2, 18, 22), QColor(230, 230, 245));
        page(p, QRectF(11, 8, 18, 22), Qt::white);
        break;
    case ToolPicture::Edit:
        page(p, QRectF(4, 3, 20, 26), Qt::white);
        p.setPen(QPen(QColor(200, 120, 0), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(14, 24, 28, 8);
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.drawLine(12, 27, 14, 24);
        break;
    case ToolPicture::Delete:
        p.setPen(QPen(QColor(200, 30, 30), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(8, 8, 24, 24);
        p.drawLine(24, 8, 8, 24);
        break;
    case ToolPicture::Options:
        gear(p);
        break;
    case ToolPicture::About:
    case ToolPicture::Help:
        roundMark(p, picture == ToolPicture::About ? QStringLiteral("i") : QStringLiteral("?"));
        break;
    case ToolPicture::Exit:
        p.setPen(QPen(QColor(90, 50, 20), 1.5));
        p.setBrush(QColor(170, 110, 60));
        p.drawRect(QRectF(7, 3, 16, 26));
        p.setBrush(QColor(230, 200, 80));
        p.drawEllipse(QPointF(19, 17), 1.8, 1.8);
        p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(24, 16, 31, 16);
        p.drawLine(28, 12, 31, 16);
        p.drawLine(28, 20, 31, 16);
        break;
    }
    p.end();
    return QIcon(pm);
}

QPixmap aboutPicture(int width, int height)
{
    QPixmap pm(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(40, 80, 160));
    sky.setColorAt(1, QColor(140, 190, 240));
    p.fillRect(pm.rect(), sky);
    // A field of grain under the sky: the harvest.
    p.setPen(QPen(QColor(220, 180, 60), 2));
    for (int x = 6; x < width; x += 9)
        p.drawLine(x, height, x + 4, height - height / 3 - (x * 7) % 17);
    p.end();
    return pm;
}
