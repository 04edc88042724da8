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

class TstPageUpdate : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> task;
    std::unique_ptr<test::StandInHost> host;
    std::unique_ptr<test::StandInBrowser> browser;
    std::unique_ptr<test::StandInFetcher> fetcher;

    TaskFolder folder() const { return TaskFolder(world->workPath(), TaskName); }
    int stored(const char* column)
    {
        return test::queryInteger(
            *conn, QStringLiteral("select %1 from Tasks").arg(QLatin1String(column)));
    }
    void setStored(int resEnd, int saveCurrent)
    {
        test::execOn(world->storePath(),
                     QStringLiteral("update Tasks set ResEnd=?, ResCurrent=?, SaveCurrent=?"),
                     {resEnd, resEnd, saveCurrent});
        task->close();
        task->open();
    }
    // List page n of three shows the links from top down to top - 8.
    void siteTop(int top)
    {
        for (int n = 1; n <= 3; ++n)
            browser->links[QStringLiteral("http://h/list_%1.htm").arg(n)] = {
                link(top - 3 * (n - 1)), link(top - 3 * (n - 1) - 1), link(top - 3 * (n - 1) - 2)};
    }
    PageUpdate update()
    {
        browser->opened.clear();
        fetcher->starts.clear();
        SaveLimits limits{1, 0, 1, {10, 20}, 30};
        return UpdatePageList(
            *host, *browser,
            [this](int, bool) {
                auto made = std::make_unique<test::StandInFetcher>(1);
                made->answers = fetcher->answers;
                made->onAnswer = [this](const QString& a) { fetcher->starts.append({a, 0}); };
                return made;
            },
            limits);
    }
    // The numbers fetched by the last update, each try once: "4 5 5".
    QString fetched() const
    {
        QStringList ids;
        for (const auto& start : fetcher->starts)
            ids << start.first.section(QLatin1Char('='), 1);
        return ids.join(QLatin1Char(' '));
    }

private Q_SLOTS:
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        conn = std::make_unique<store::Connection>();
        conn->open();
        task = std::make_unique<store::DataSet>(*conn);
        task->setCommandText(QStringLiteral("select * from Tasks"));
        host = std::make_unique<test::StandInHost>(*task, world->workPath());
        browser = std::make_unique<test::StandInBrowser>(*host);
        fetcher = std::make_unique<test::StandInFetcher>(1);
    }
    void cleanup()
    {
        fetcher.reset();
        browser.reset();
        host.reset();
        task.reset();
        conn.reset();
        world.reset();
    }

    void listGrewAtTheTop()
    {
        test::addTask(world->storePath(), 1, TaskName,
                      test::listColumns(false, QStringLiteral("http://h/a*"), 1, 3, 0,
                                        QStringLiteral("http://h/list_1.htm"),
                                        QStringLiteral("http://h/list_*.htm")));
        task->open();
        siteTop(9);
        QStringList lines = BuildPageList(*host, *browser);
        QCOMPARE(stored("ResCurrent"), 3);

        // Two new links on the first page: the second page adds none and ends it.
        siteTop(11);
        browser->links[QStringLiteral("http://h/list_1.htm")] << link(11);
        PageUpdate u = update();
        QCOMPARE(u.added, 2);
        QCOMPARE(browser->opened, QStringList({QStringLiteral("http://h/list_1.htm"),
                                               QStringLiteral("http://h/list_2.htm")}));
        lines = lines.mid(0, 9) << link(11) << link(10) << summaryLine(11, 1);
        QCOMPARE(u.lines, lines);
        QCOMPARE(test::contents(folder().pageList()), test::crlfLines(lines));
        QCOMPARE(stored("ResCurrent"), 3);

        // Nothing new: one list page, the file as it was.
        u = update();
        QCOMPARE(u.added, 0);
        QCOMPARE(browser->opened.size(), 1);
        QCOMPARE(test::contents(folder().pageList()), test::crlfLines(lines));

        // A stop while the second page loads: the next update reads on past
        // the first page, which adds nothing then.
        siteTop(15);
        browser->outcomes[QStringLiteral("http://h/list_2.htm")] =
            test::StandInBrowser::Outcome::StopsLoading;
        QCOMPARE(update().added, 3);
        browser->outcomes.clear();
        host->running = true;
        u = update();
        QCOMPARE(u.added, 1);
        QCOMPARE(browser->opened.size(), 3);
        QCOMPARE(u.lines.mid(11, 4), QStringList({link(15), link(14), link(13), link(12)}));
        QCOMPARE(update().added, 0);
    }

    void numbersGoOn()
    {
        test::addTask(
            world->storePath(), 1, TaskName,
            test::listColumns(true, QStringLiteral("http://127.0.0.1/show.asp?id=*"), 1, 3, 1));
        task->open();
        // The numbers up to ResEnd come first; 5 fails after its tries and is
        // listed, since 6 is there.
        const Answer unreachable{Ending::Unreachable, 0, false};
        fetcher->answers[number(5)] = {unreachable, unreachable, unreachable};
        fetcher->answers[number(7)] = {{Ending::HttpError, 404, false}};
        PageUpdate u = update();
        QCOMPARE(fetched(), QStringLiteral("4 5 5 5 6 7"));
        QCOMPARE(u.added, 6);
        QStringList lines;
        for (int k = 1; k <= 6; ++k)
            lines << number(k);
        QCOMPARE(u.lines, QStringList(lines) << summaryLine(6));
        QCOMPARE(stored("ResEnd"), 6);
        QCOMPARE(stored("ResCurrent"), 6);
        // SaveCurrent stood before lines not saved yet: it stays.
        QCOMPARE(stored("SaveCurrent"), 0);
        QVERIFY(QFileInfo::exists(folder().pageFile(4)) && QFileInfo::exists(folder().pageFile(6)));
        QVERIFY(!QFileInfo::exists(folder().pageFile(5)));
        PageLogState log(folder().pageLog());
        log.refresh();
        QCOMPARE(log.last().value(5).outcome, PageOutcome::Unreachable);

        // A kill after the list held 6, before its counters: they rise to it,
        // SaveCurrent over the lines when it stood at the end; 6 is not
        // fetched again, nor a number whose page was saved before the kill.
        setStored(4, 4);
        appendPageLog(folder().pageLog(), {7, number(7).toLatin1(), 200, 5, 1, PageOutcome::Saved});
        test::put(folder().pageFile(7), "seven");
        fetcher->answers[number(8)] = {{Ending::HttpError, 410, false}};
        u = update();
        QCOMPARE(fetched(), QStringLiteral("8"));
        QCOMPARE(u.added, 3);
        QCOMPARE(stored("ResEnd"), 7);
        QCOMPARE(stored("SaveCurrent"), 7);

        // Nothing new: one number tried, nothing changed.
        u = update();
        QCOMPARE(fetched(), QStringLiteral("8"));
        QCOMPARE(u.added, 0);
        QCOMPARE(u.lines.size(), 8);
        QCOMPARE(stored("ResEnd"), 7);
    }
};

QTEST_MAIN(TstPageUpdate)
#include "tst_pageupdate.moc"
