// The run state of the two harvesting buttons and the deferred close of the
// execution window, on bare buttons: starts, stops, refusals and errors.
#include "ui/runstate.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <stdexcept>

using namespace pagrim;
using ui::HandlerTracker;
using ui::HarvestRun;

namespace {
const QString Save = QStringLiteral("保存网页");
const QString Stop = QStringLiteral("停止");
} // namespace

class TstRunState : public QObject
{
    Q_OBJECT

    std::unique_ptr<QPushButton> button, other;
    std::unique_ptr<HarvestRun> run;
    int restored = 0;

    // A click on the harvesting button, as the window wires it.
    void click(const std::function<bool()>& prepare, const std::function<void()>& body)
    {
        run->click(*button, Save, *other, prepare, body);
    }
    void idle()
    {
        QCOMPARE(button->text(), Save);
        QVERIFY(other->isEnabled());
        QVERIFY(!run->active());
    }

private Q_SLOTS:
    void init()
    {
        button = std::make_unique<QPushButton>(Save);
        other = std::make_unique<QPushButton>(QStringLiteral("生成列表"));
        restored = 0;
        run = std::make_unique<HarvestRun>([this] { ++restored; });
    }
    void cleanup()
    {
        run.reset();
        button.reset();
        other.reset();
    }

    void runGoesAndComesBack()
    {
        bool inside = false;
        click({}, [&] {
            inside = true;
            QCOMPARE(button->text(), Stop);
            QVERIFY(!other->isEnabled());
            QVERIFY(run->running());
            QVERIFY(run->active());
        });
        QVERIFY(inside);
        idle();
        QCOMPARE(restored, 1);
    }

    // The stop click arrives while the run lets events through.
    void stopClickInsideTheRun()
    {
        QSignalSpy stopped(run.get(), &HarvestRun::stopped);
        click({}, [&] {
            click({}, [] { QFAIL("the stop click started a run"); });
            QVERIFY(!run->running());
            QCOMPARE(button->text(), Save);
            QVERIFY(other->isEnabled());
            QCOMPARE(stopped.count(), 1);
        });
        idle();
        QCOMPARE(restored, 1);
        QCOMPARE(stopped.count(), 1);
    }

    void refusedStartChangesNothing()
    {
        bool ran = false;
        click([] { return false; }, [&] { ran = true; });
        QVERIFY(!ran);
        idle();
        QCOMPARE(restored, 0);
    }

    // An error leaves the button reading "停止"; its next click puts things back.
    void errorLeavesTheStopState_data()
    {
        QTest::addColumn<bool>("inPrepare");
        QTest::newRow("body") << false;
        QTest::newRow("prepare") << true;
    }
    void errorLeavesTheStopState()
    {
        QFETCH(bool, inPrepare);
        QSignalSpy stopped(run.get(), &HarvestRun::stopped);
        const auto fail = [] { throw std::runtime_error("broken"); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, click(
                                                         [&] {
                                                             if (inPrepare)
                                                                 fail();
                                                             return true;
                                                         },
                                                         fail));
        QVERIFY(!run->active());
        QCOMPARE(restored, 0);
        if (inPrepare) {
            // Nothing had changed yet but Running.
            QCOMPARE(button->text(), Save);
            QVERIFY(other->isEnabled());
            return;
        }
        QCOMPARE(button->text(), Stop);
        QVERIFY(!other->isEnabled());
        QVERIFY(run->running());
        bool ran = false;
        click({}, [&] { ran = true; });
        QVERIFY(!ran);
        QCOMPARE(button->text(), Save);
        QVERIFY(other->isEnabled());
        QVERIFY(!run->running());
        QCOMPARE(stopped.count(), 1);
    }

    // A stopped run still on the stack: a new start waits until it has returned.
    void startIgnoredUnderAStoppedRun()
    {
        int bodies = 0;
        click({}, [&] {
            ++bodies;
            click({}, {}); // stop
            click({}, [&] { ++bodies; });
            QCOMPARE(bodies, 1);
            QVERIFY(!run->running());
            QCOMPARE(button->text(), Save);
        });
        QCOMPARE(bodies, 1);
        idle();
        click({}, [&] { ++bodies; });
        QCOMPARE(bodies, 2);
    }

    void closeWaitsForTheOutermostHandler_data()
    {
        QTest::addColumn<bool>("innerFails");
        QTest::newRow("handlers return") << false;
        QTest::newRow("inner handler fails") << true;
    }
    void closeWaitsForTheOutermostHandler()
    {
        QFETCH(bool, innerFails);
        int closes = 0;
        HandlerTracker handlers([&] { ++closes; });
        QVERIFY(!handlers.deferClose()); // nothing running: close at once
        QVERIFY(!handlers.closePending());
        const auto inner = [&] {
            QVERIFY(handlers.deferClose());
            if (innerFails)
                throw std::runtime_error("broken");
        };
        handlers.run([&] {
            try {
                handlers.run(inner);
            } catch (const std::runtime_error&) {
            }
            QVERIFY(handlers.busy());
            QVERIFY(handlers.closePending());
            QCOMPARE(closes, 0);
        });
        QCOMPARE(closes, 1);
        QVERIFY(!handlers.busy());
        QVERIFY(!handlers.closePending());
    }

    void closeAfterAnErrorOfTheOnlyHandler()
    {
        int closes = 0;
        HandlerTracker handlers([&] { ++closes; });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, handlers.run([&] {
            handlers.deferClose();
            throw std::runtime_error("broken");
        }));
        QCOMPARE(closes, 1);
        QVERIFY(!handlers.busy());
    }
};

QTEST_MAIN(TstRunState)
#include "tst_runstate.moc"
