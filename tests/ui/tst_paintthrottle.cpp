// A status line that changes faster than the eye reads is painted at most once
// per interval, whole and with what it holds by then; a hold ends with its
// interval or at once when asked.
#include "ui/paintthrottle.h"

#include <QApplication>
#include <QPainter>
#include <QTest>
#include <QWidget>

using namespace pagrim;

namespace {

// Records its paints and what it showed in the last one.
class Line : public QWidget
{
public:
    using QWidget::QWidget;
    QString text;
    QString shown;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        shown = text;
        QPainter(this).fillRect(rect(), palette().color(QPalette::Base));
    }
};

} // namespace

class TstPaintThrottle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void holdsChangesRightAfterAPaint();
    void holdEndsWithItsInterval();
};

void TstPaintThrottle::holdsChangesRightAfterAPaint()
{
    QWidget window;
    window.resize(300, 40);
    auto* line = new Line(&window);
    line->resize(300, 20);
    auto* gauge = new Line(line); // a child, repainted by its own changes
    gauge->setGeometry(200, 2, 90, 16);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Long enough that no hold below ends by itself.
    ui::PaintThrottle held(line, 60000);
    ui::PaintThrottle* throttle = &held;
    const auto change = [&](const QString& text) {
        throttle->aboutToChange();
        line->text = text;
        gauge->text = text;
        // As a status bar and a progress bar do: painted at once.
        line->repaint();
        gauge->repaint();
    };

    change(QStringLiteral("1"));
    QVERIFY(!throttle->holding());
    QCOMPARE(line->shown, QStringLiteral("1"));
    QCOMPARE(gauge->shown, QStringLiteral("1"));

    const int linePaints = line->paints;
    const int gaugePaints = gauge->paints;
    change(QStringLiteral("2"));
    QVERIFY(throttle->holding());
    change(QStringLiteral("3"));
    line->update();
    QCoreApplication::processEvents();
    QCOMPARE(line->paints, linePaints);
    QCOMPARE(gauge->paints, gaugePaints);

    // The end of the hold paints the line and its children once, as they are now.
    throttle->flush();
    QVERIFY(!throttle->holding());
    QTRY_COMPARE_WITH_TIMEOUT(line->shown, QStringLiteral("3"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(gauge->shown, QStringLiteral("3"), 5000);
    QCOMPARE(line->paints, linePaints + 1);
    QCOMPARE(gauge->paints, gaugePaints + 1);

    // A paint of the window meanwhile ends the hold: the line is in it.
    change(QStringLiteral("4"));
    QVERIFY(throttle->holding());
    window.update();
    QTRY_VERIFY_WITH_TIMEOUT(!throttle->holding(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(line->shown, QStringLiteral("4"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(gauge->shown, QStringLiteral("4"), 5000);

    // So does a grab of the window, which shows the line as it is.
    change(QStringLiteral("5"));
    QVERIFY(throttle->holding());
    const QImage grabbed = window.grab().toImage();
    QVERIFY(!throttle->holding());
    QCOMPARE(line->shown, QStringLiteral("5"));
    QCOMPARE(grabbed.pixelColor(line->geometry().center()), line->palette().color(QPalette::Base));

    // A flush without a hold leaves updates that others disabled alone.
    line->setUpdatesEnabled(false);
    throttle->flush();
    QVERIFY(!line->updatesEnabled());
}

void TstPaintThrottle::holdEndsWithItsInterval()
{
    QWidget window;
    auto* line = new Line(&window);
    line->resize(200, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Long enough that the changes below come within it, short enough to wait.
    ui::PaintThrottle held(line, 1000);
    ui::PaintThrottle* throttle = &held;
    const int paints = line->paints;
    for (int i = 1; i <= 20; ++i) {
        throttle->aboutToChange();
        line->text = QString::number(i);
        line->repaint();
    }
    // Only the first change is painted at once; no events ran since.
    QCOMPARE(line->paints, paints + 1);
    // The last text is painted, within the interval or after it.
    QTRY_COMPARE_WITH_TIMEOUT(line->shown, QStringLiteral("20"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!throttle->holding(), 5000);
    QVERIFY(line->updatesEnabled());

    // A hold ends with the throttle.
    {
        ui::PaintThrottle brief(line, 60000);
        brief.aboutToChange();
        brief.aboutToChange();
        QVERIFY(brief.holding());
        QVERIFY(!line->updatesEnabled());
    }
    QVERIFY(line->updatesEnabled());
}

QTEST_MAIN(TstPaintThrottle)
#include "tst_paintthrottle.moc"
