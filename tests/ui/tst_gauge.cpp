// The gauge draws what a plain progress bar draws, also after its value,
// range, size, look or the window's activation changed since the last picture.
#include "ui/gauge.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

using namespace pagrim;

class TstGauge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawsAsThePlainBar();
};

void TstGauge::drawsAsThePlainBar()
{
    QWidget window;
    window.resize(400, 60);
    ui::Gauge gauge(&window);
    QProgressBar plain(&window);
    for (QProgressBar* bar : {static_cast<QProgressBar*>(&gauge), &plain}) {
        QPalette navy = bar->palette();
        navy.setColor(QPalette::Highlight, QColor(0, 0, 128));
        bar->setPalette(navy);
        bar->resize(154, 16);
    }
    plain.move(0, 30);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const auto same = [&] { return gauge.grab().toImage() == plain.grab().toImage(); };
    const auto both = [&](const std::function<void(QProgressBar&)>& change) {
        change(gauge);
        change(plain);
    };
    QVERIFY(same());
    // Drawn once, then the picture is used again: each change must show.
    const QImage first = gauge.grab().toImage();
    both([](QProgressBar& b) { b.setValue(40); });
    QVERIFY(gauge.grab().toImage() != first);
    QVERIFY(same());
    both([](QProgressBar& b) { b.setRange(0, 1000); });
    // Values that share a picture and those that do not, across the range.
    for (int value = 0; value <= 1000; value += 7) {
        both([value](QProgressBar& b) { b.setValue(value); });
        QVERIFY2(same(), qPrintable(QString::number(value)));
    }
    both([](QProgressBar& b) { b.setValue(999); });
    QVERIFY(same());
    both([](QProgressBar& b) { b.resize(100, 16); });
    QVERIFY(same());
    both([](QProgressBar& b) { b.setEnabled(false); });
    QVERIFY(same());
    both([](QProgressBar& b) {
        b.setEnabled(true);
        QPalette red = b.palette();
        red.setColor(QPalette::Highlight, Qt::red);
        b.setPalette(red);
    });
    QVERIFY(same());
    QFont font = gauge.font();
    font.setPointSize(font.pointSize() + 3);
    both([&font](QProgressBar& b) { b.setFont(font); });
    QVERIFY(same());
    // Busy: nothing kept.
    both([](QProgressBar& b) { b.setRange(0, 0); });
    QVERIFY(same());
}

QTEST_MAIN(TstGauge)
#include "tst_gauge.moc"
