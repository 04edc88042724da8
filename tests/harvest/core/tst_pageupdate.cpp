// The update of a page list against the stand-in browser and fetcher: a list
// page task whose site grew at the top, an ordinal task whose numbers go on,
// each also with nothing new, and the runs after a stop or a kill.
#include "harvest/core/pagelist.h"
#include "harvest/core/pagelog.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/pageupdate.h"
#include "platform/taskfolder.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/coresupport.h"
#include "support/standins.h"

#include <QFileInfo>
#include <QtTest>
#include <memory>

using namespace pagrim;
using namespace pagrim::harvest;
using Ending = PageLoad::Ending;
using Answer = test::StandInFetcher::Answer;

namespace {

const QString TaskName = QStringLiteral("任务");
QString link(int k)
{
    return QStringLiteral("http://h/a%1").arg(k);
}
QString number(int k)
{
    return QStringLiteral("http://127.0.0.1/show.asp?id=%1").arg(k);
}

} // namespace

// A task's world: the store and its row, the stand-in host and browser, and
// the answers of the fetcher each update makes.
struct World
{
    test::TempWorld world;
    store::Connection conn;
    store::DataSet task{conn};
    test::StandInHost host{task, world.workPath()};
    test::StandInBrowser browser{host};
    QHash<QString, QList<Answer>> answers;
    QStringList tries; // the numbers the last update fetched, each try once

    World(bool ordinal, const QString& resAddr, int current)
    {
        test::addTask(world.storePath(), 1, TaskName,
                      test::listColumns(ordinal, resAddr, 1, 3, current,
                                        QStringLiteral("http://h/list_1.htm"),
                                        QStringLiteral("http://h/list_*.htm")));
        conn.open();
        task.setCommandText(QStringLiteral("select * from Tasks"));
        task.open();
    }
    TaskFolder folder() const { return TaskFolder(world.workPath(), TaskName); }
    int stored(const char* column)
    {
        return test::queryInteger(
            conn, QStringLiteral("select %1 from Tasks").arg(QLatin1String(column)));
    }
    // List page n of three shows the links from top down to top - 8.
    void siteTop(int top)
    {
        for (int n = 1; n <= 3; ++n)
            browser.links[QStringLiteral("http://h/list_%1.htm").arg(n)] = {
                link(top - 3 * n + 3), link(top - 3 * n + 2), link(top - 3 * n + 1)};
    }
    PageUpdate update()
    {
        browser.opened.clear();
        tries.clear();
        return UpdatePageList(
            host, browser,
            [this](int, bool) {
                auto made = std::make_unique<test::StandInFetcher>(1);
                made->answers = answers;
                made->onAnswer = [this](const QString& a) {
                    tries << a.section(QLatin1Char('='), 1);
                };
                return made;
            },
            SaveLimits{1, 0, 1, {10, 20}, 30});
    }
};

class TstPageUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listGrewAtTheTop()
    {
        World w(false, QStringLiteral("http://h/a*"), 0);
        w.siteTop(9);
        QStringList lines = BuildPageList(w.host, w.browser);

        // Two new links on the first page: the second page adds none and ends it.
        w.siteTop(11);
        w.browser.links[QStringLiteral("http://h/list_1.htm")] << link(11);
        PageUpdate u = w.update();
        QCOMPARE(u.added, 2);
        QCOMPARE(w.browser.opened, QStringList({QStringLiteral("http://h/list_1.htm"),
                                                QStringLiteral("http://h/list_2.htm")}));
        lines = lines.mid(0, 9) << link(11) << link(10) << summaryLine(11, 1);
        QCOMPARE(u.lines, lines);
        QCOMPARE(test::contents(w.folder().pageList()), test::crlfLines(lines));
        QCOMPARE(w.stored("ResCurrent"), 3);

        // Nothing new: one list page, the file as it was.
        u = w.update();
        QCOMPARE(u.added, 0);
        QCOMPARE(w.browser.opened.size(), 1);
        QCOMPARE(test::contents(w.folder().pageList()), test::crlfLines(lines));

        // A stop while the second page loads: the next update reads on past
        // the first page, which adds nothing then.
        w.siteTop(15);
        w.browser.outcomes[QStringLiteral("http://h/list_2.htm")] =
            test::StandInBrowser::Outcome::StopsLoading;
        QCOMPARE(w.update().added, 3);
        w.browser.outcomes.clear();
        w.host.running = true;
        u = w.update();
        QCOMPARE(u.added, 1);
        QCOMPARE(w.browser.opened.size(), 3);
        QCOMPARE(u.lines.mid(11, 4), QStringList({link(15), link(14), link(13), link(12)}));
        QCOMPARE(u.lines.last(), summaryLine(15, 1));
        // A finished update's links are no repeats of the next one's.
        w.siteTop(16);
        u = w.update();
        QCOMPARE(u.added, 1);
        QCOMPARE(u.lines.last(), summaryLine(16, 1));
    }

    void numbersGoOn()
    {
        World w(true, QStringLiteral("http://127.0.0.1/show.asp?id=*"), 1);
        // The numbers up to ResEnd come first; 5 fails after its tries and is
        // listed, since 6 is there.
        const Answer unreachable{Ending::Unreachable, 0, false};
        w.answers[number(5)] = {unreachable, unreachable, unreachable};
        w.answers[number(7)] = {{Ending::HttpError, 404, false}};
        PageUpdate u = w.update();
        QCOMPARE(w.tries.join(QLatin1Char(' ')), QStringLiteral("4 5 5 5 6 7"));
        QCOMPARE(u.added, 6);
        QStringList lines;
        for (int k = 1; k <= 6; ++k)
            lines << number(k);
        QCOMPARE(u.lines, QStringList(lines) << summaryLine(6));
        QCOMPARE(w.stored("ResEnd"), 6);
        QCOMPARE(w.stored("ResCurrent"), 6);
        // SaveCurrent stood before lines not saved yet: it stays.
        QCOMPARE(w.stored("SaveCurrent"), 0);
        QVERIFY(QFileInfo::exists(w.folder().pageFile(4)) &&
                QFileInfo::exists(w.folder().pageFile(6)));
        QVERIFY(!QFileInfo::exists(w.folder().pageFile(5)));
        PageLogState log(w.folder().pageLog());
        log.refresh();
        QCOMPARE(log.last().value(5).outcome, PageOutcome::Unreachable);

        // A kill after the list held 6, before its counters: they rise to it,
        // SaveCurrent over the lines when it stood at the end; 6 is not
        // fetched again, nor a number whose page was saved before the kill.
        test::execOn(w.world.storePath(),
                     QStringLiteral("update Tasks set ResEnd=4, ResCurrent=4, SaveCurrent=4"));
        w.task.close();
        w.task.open();
        appendPageLog(w.folder().pageLog(),
                      {7, number(7).toLatin1(), 200, 5, 1, PageOutcome::Saved});
        test::put(w.folder().pageFile(7), "seven");
        w.answers[number(8)] = {{Ending::HttpError, 410, false}};
        u = w.update();
        QCOMPARE(w.tries, QStringList(QStringLiteral("8")));
        QCOMPARE(u.added, 3);
        QCOMPARE(w.stored("ResEnd"), 7);
        QCOMPARE(w.stored("SaveCurrent"), 7);

        // Nothing new: one number tried, nothing changed.
        QCOMPARE(w.update().lines.size(), 8);
        QCOMPARE(w.tries, QStringList(QStringLiteral("8")));
        QCOMPARE(w.stored("ResEnd"), 7);
    }
};

QTEST_MAIN(TstPageUpdate)
#include "tst_pageupdate.moc"
