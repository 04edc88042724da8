// The task store under load: a store of 10,000 tasks and 100,000 field rows;
// opening the task query, appending and posting 1,000 rows, and 100,000 link
// tests through SQL against the same tests through the matcher directly; a
// pattern that would make a naive matcher backtrack; a write that waits for
// another writer's lock.
#include "store/connection.h"
#include "store/dataset.h"
#include "store/likematcher.h"
#include "store/sqlite.h"
#include "support/coresupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace pagrim::store;

namespace {

constexpr int Tasks = 10000;
constexpr int FieldRows = 100000;
constexpr int Appends = 1000;
constexpr int LinkTests = 100000;
constexpr int LinksPerPage = 100;

void fill(Connection& conn)
{
    conn.beginTransaction();
    {
        Statement task(conn.handle(),
                       QStringLiteral("insert into Tasks values (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        const QDateTime now = QDateTime::currentDateTime();
        for (int id = 1; id <= Tasks; ++id) {
            const QVariant values[] = {id,
                                       QStringLiteral("新建任务%1").arg(id),
                                       QStringLiteral("任务详细描述 %1").arg(id),
                                       QString(),
                                       id % 2 == 0,
                                       QStringLiteral("http://www.example.com/list/1.html"),
                                       QStringLiteral("http://www.example.com/news/*.html"),
                                       now,
                                       QString(),
                                       QStringLiteral("http://www.example.com/list/*.html"),
                                       1,
                                       100,
                                       0,
                                       0};
            for (int c = 0; c < 14; ++c)
                task.bind(c + 1, values[c]);
            task.step();
            task.reset();
        }
        Statement desc(conn.handle(), QStringLiteral("insert into Descs values (?,?,?,?,?,?)"));
        for (int id = 1; id <= FieldRows; ++id) {
            desc.bind(1, id);
            desc.bind(2, (id - 1) % Tasks + 1);
            desc.bind(3, QStringLiteral("提取字段%1").arg(id));
            desc.bind(4, true);
            desc.bind(5, QStringLiteral("<div class=\"title\">\r\n"));
            desc.bind(6, QStringLiteral("</div>"));
            desc.step();
            desc.reset();
        }
    }
    conn.commit();
}

// A link of a list page: about a third of them pass the task's pattern.
QString link(int i)
{
    switch (i % 3) {
    case 0:
        return QStringLiteral("http://www.example.com/news/2024/%1.html").arg(i);
    case 1:
        return QStringLiteral("http://www.example.com/about/o'brien/%1.htm").arg(i);
    default:
        return QStringLiteral("HTTP://WWW.EXAMPLE.COM/NEWS/%1.HTM").arg(i);
    }
}

void report(const char* what, double ms, int count)
{
    std::printf("%-44s %10.1f ms   %10.2f us each\n", what, ms, ms * 1000.0 / count);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    pagrim::test::TempWorld world;
    Connection conn;
    conn.open();

    QElapsedTimer timer;
    timer.start();
    fill(conn);
    std::printf("store of %d tasks and %d field rows made in %lld ms\n", Tasks, FieldRows,
                timer.elapsed());

    // Opening the task query, the best and the median of five runs.
    std::vector<double> opens;
    for (int run = 0; run < 5; ++run) {
        DataSet tasks(conn);
        tasks.setCommandText(QStringLiteral("select * from tasks order by TaskID"));
        timer.restart();
        tasks.open();
        opens.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(opens.begin(), opens.end());
    std::printf("%-44s %10.1f ms   (best %.1f ms of 5)\n", "open task query (median)", opens[2],
                opens[0]);

    // Appending and posting rows, each allocating its key as the program does.
    {
        DataSet tasks(conn);
        tasks.setCommandText(QStringLiteral("select * from tasks order by TaskID"));
        tasks.setAfterInsert([&conn](DataSet& d) {
            const int key = allocateKey(conn, QStringLiteral("select max(TaskID) from Tasks "));
            d.field(QStringLiteral("TaskID")).setValue(key);
            d.field(QStringLiteral("TaskName")).setValue(QStringLiteral("新建任务%1").arg(key));
            d.field(QStringLiteral("WebType")).setValue(true);
            d.field(QStringLiteral("TaskDate")).setValue(QDateTime::currentDateTime());
        });
        tasks.open();
        timer.restart();
        for (int i = 0; i < Appends; ++i) {
            tasks.append();
            tasks.post();
        }
        report("append and post 1,000 task rows", double(timer.nsecsElapsed()) / 1e6, Appends);
    }

    // The link test as page list generation builds it, one scratch query per page.
    const QString pattern = QStringLiteral("http://www.example.com/news/*.html")
                                .replace(QLatin1Char('*'), QLatin1Char('%'));
    std::vector<QString> links;
    links.reserve(LinkTests);
    for (int i = 0; i < LinkTests; ++i)
        links.push_back(link(i));

    int passedSql = 0;
    timer.restart();
    for (int page = 0; page < LinkTests / LinksPerPage; ++page) {
        auto query = CreateScratchQuery(conn);
        for (int i = page * LinksPerPage; i < (page + 1) * LinksPerPage; ++i) {
            query->close();
            query->setCommandText(
                QStringLiteral("select iif('") +
                QString(links[size_t(i)]).replace(QLatin1Char('\''), QLatin1Char('"')) +
                QStringLiteral("' like '") + pattern + QStringLiteral("',1,0) as bLike "));
            query->open();
            if (query->field(QStringLiteral("bLike")).asInteger() == 1)
                ++passedSql;
        }
    }
    report("100,000 link tests through SQL", double(timer.nsecsElapsed()) / 1e6, LinkTests);

    int passedDirect = 0;
    timer.restart();
    for (const QString& l : links)
        if (likeMatch(l, pattern))
            ++passedDirect;
    report("100,000 link tests through likeMatch", double(timer.nsecsElapsed()) / 1e6, LinkTests);
    std::printf("links passed: %d through SQL, %d directly\n", passedSql, passedDirect);

    // A pattern whose "%"s a naive matcher would try in every combination.
    const QString longText(20000, QLatin1Char('a'));
    const QString backtracking = QStringLiteral("%a%a%a%a%a%a%a%b");
    timer.restart();
    const bool wrong =
        likeMatch(longText, backtracking) || !likeMatch(longText + QLatin1Char('b'), backtracking);
    report("likeMatch, 20,000 characters, seven %s", double(timer.nsecsElapsed()) / 1e6, 2);
    if (wrong)
        std::printf("warning: the backtracking pattern matched wrongly\n");

    // A write behind another writer's lock of 300 ms: the busy timeout waits it out.
    Database other;
    other.open(world.storePath());
    other.exec(QStringLiteral("BEGIN EXCLUSIVE"));
    std::thread release([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.exec(QStringLiteral("COMMIT"));
    });
    timer.restart();
    conn.database().exec(QStringLiteral("update Tasks set ResCurrent = 1 where TaskID = 1"));
    std::printf("%-44s %10.1f ms\n", "a write behind a lock of 300 ms", timer.elapsed() * 1.0);
    release.join();
    return 0;
}
