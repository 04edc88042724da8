#pragma once

#include <QPixmap>
#include <QProgressBar>

namespace pagrim::ui {

// A progress bar that keeps its last picture: repainted with the status bar it
// sits in, for every status text, it draws the picture again instead of the
// style's bar, until its value, range, size or look changes. It stands on the
// window's colour, as a bar in a status bar does.
class Gauge : public QProgressBar
{
    Q_OBJECT

public:
    using QProgressBar::QProgressBar;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
    QString m_pictureKey;
};

} // namespace pagrim::ui
