// Page list generation against a stand-in browser and host: numbered addresses,
// list pages and their links, the page list file, resuming, stops and failures.
#include "harvest/core/loginlost.h"
#include "harvest/core/pagelist.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "support/coresupport.h"
#include "support/standins.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>

using namespace pagrim;
using namespace pagrim::harvest;
using Outcome = test::StandInBrowser::Outcome;

namespace {

const QString H = QStringLiteral("http://h/");

QStringList strings(std::initializer_list<const char*> items)
{
    QStringList list;
    for (const char* item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

} // namespace

class TstPageList : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TempWorld> world;
    std::unique_ptr<store::Connection> conn;
    std::unique_ptr<store::DataSet> task;
    std::unique_ptr<test::StandInHost> host;
    std::unique_ptr<test::StandInBrowser> stand;

    // A task row; listPages false makes an ordinal task.
    void addTask(bool ordinal, const QString& resAddr, int start, int end, int current,
                 const QString& first = QString(), const QString& next = QString())
    {
        test::addTask(world->storePath(), 1, QStringLiteral("任务"),
                      test::listColumns(ordinal, resAddr, start, end, current, first, next));
        task->open();
    }
    QString listPath() const { return world->workPath() + QStringLiteral("任务/ResHtmls.lst"); }
    // ResCurrent as the store holds it.
    int storedCurrent() const
    {
        return test::queryInteger(*conn, QStringLiteral("select ResCurrent from Tasks"));
    }
    int rowCurrent() { return task->field(QStringLiteral("ResCurrent")).asInteger(); }
    void setCurrent(int value)
    {
        task->edit();
        task->field(QStringLiteral("ResCurrent")).setValue(value);
        task->post();
    }
    QStringList run() { return BuildPageList(*host, *stand); }

private Q_SLOTS:
    void init()
    {
        world = std::make_unique<test::TempWorld>();
        conn = std::make_unique<store::Connection>();
        conn->open();
        task = std::make_unique<store::DataSet>(*conn);
        task->setCommandText(QStringLiteral("select * from Tasks"));
        host = std::make_unique<test::StandInHost>(*task, world->workPath());
        stand = std::make_unique<test::StandInBrowser>(*host);
    }
    void cleanup()
    {
        stand.reset();
        host.reset();
        task.reset();
        conn.reset();
        world.reset();
        codepage::setCurrentForTesting(0);
    }

    void ordinal_data()
    {
        QTest::addColumn<QString>("resAddr");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("afterwards");
        QTest::newRow("new task") << "show.asp?id=*" << 1 << 3 << 0
                                  << strings({"show.asp?id=1", "show.asp?id=2", "show.asp?id=3"})
                                  << 3;
        QTest::newRow("every star, no leading zeros")
            << "p*_*.htm" << 9 << 10 << 0 << strings({"p9_9.htm", "p10_10.htm"}) << 10;
        QTest::newRow("negative and zero")
            << "n*" << -2 << 0 << -5 << strings({"n-2", "n-1", "n0"}) << 0;
        QTest::newRow("no star: the same address each time")
            << "same.htm" << 1 << 2 << 0 << strings({"same.htm", "same.htm"}) << 2;
        QTest::newRow("current equal to start starts at start")
            << "a*" << 1 << 2 << 1 << strings({"a1", "a2"}) << 2;
        QTest::newRow("start above end: nothing, nothing posted")
            << "a*" << 5 << 3 << 0 << QStringList{} << 0;
        QTest::newRow("the largest number ends")
            << "a*" << 2147483646 << 2147483647 << 0 << strings({"a2147483646", "a2147483647"})
            << 2147483647;
    }
    void ordinal()
    {
        QFETCH(QString, resAddr);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, current);
        QFETCH(QStringList, addresses);
        QFETCH(int, afterwards);
        addTask(true, resAddr, start, end, current);
        // An earlier list is replaced by a run that starts at ResStart.
        QVERIFY(QDir().mkpath(world->workPath() + QStringLiteral("任务")));
        test::put(listPath(), "old\r\n有效列表条数：1\r\n");

        const QStringList lines = run();
        const QStringList expected =
            addresses + QStringList{QStringLiteral("有效列表条数：%1").arg(addresses.size())};
        QCOMPARE(lines, expected);
        QCOMPARE(test::contents(listPath()), test::crlfLines(expected));
        QCOMPARE(storedCurrent(), afterwards);
        QCOMPARE(rowCurrent(), storedCurrent());
        QVERIFY(stand->opened.isEmpty());
    }

    void resumedRunContinuesTheList_data()
    {
        QTest::addColumn<bool>("ordinal");
        QTest::addColumn<QString>("earlierDuplicates");
        QTest::addColumn<QString>("duplicates");
        QTest::newRow("ordinal, range extended") << true << "4"
                                                 << "";
        QTest::newRow("list pages, after a stop") << false << "4"
                                                  << "5";
        QTest::newRow("list pages, count at the top") << false << "2147483647"
                                                      << "2147483647";
        QTest::newRow("list pages, count unreadable") << false << "x"
                                                      << "1";
    }
    void resumedRunContinuesTheList()
    {
        QFETCH(bool, ordinal);
        QFETCH(QString, earlierDuplicates);
        QFETCH(QString, duplicates);
        codepage::setCurrentForTesting(codepage::Gbk);
        // Earlier lines are kept byte for byte, one of them not even text.
        const QByteArray earlier =
            codepage::fromUnicode(H + QStringLiteral("页/1.htm")) + "\r\n" + H.toLatin1() +
            "x\xff.htm\r\n" +
            codepage::fromUnicode(QStringLiteral("有效列表条数：2   去掉重复条数：") +
                                  earlierDuplicates) +
            "\r\n";
        QVERIFY(QDir().mkpath(world->workPath() + QStringLiteral("任务")));
        test::put(listPath(), earlier);
        const QByteArray kept = earlier.left(earlier.lastIndexOf("\r\n", earlier.size() - 3) + 2);
        if (ordinal) {
            addTask(true, H + QStringLiteral("*.htm"), 1, 4, 2);
            run();
            QCOMPARE(test::contents(listPath()),
                     kept +
                         test::crlfLines({H + QStringLiteral("3.htm"), H + QStringLiteral("4.htm"),
                                          QStringLiteral("有效列表条数：4")}));
            QCOMPARE(storedCurrent(), 4);
            return;
        }
        addTask(false, H + QStringLiteral("*"), 1, 3, 2, H + QStringLiteral("list.htm"),
                H + QStringLiteral("list_*.htm"));
        stand->links[H + QStringLiteral("list.htm")] = {H + QStringLiteral("页/1.HTM"),
                                                        H + QStringLiteral("new.htm")};
        stand->links[H + QStringLiteral("list_3.htm")] = {H + QStringLiteral("new.htm"),
                                                          H + QStringLiteral("3.htm")};
        const QStringList lines = run();
        // The first list page again, then the pages after the one reached; only
        // the later pages count duplicates.
        QCOMPARE(stand->opened,
                 QStringList({H + QStringLiteral("list.htm"), H + QStringLiteral("list_3.htm")}));
        QCOMPARE(test::contents(listPath()),
                 kept + test::crlfLines(
                            {H + QStringLiteral("new.htm"), H + QStringLiteral("3.htm"),
                             QStringLiteral("有效列表条数：4   去掉重复条数：") + duplicates}));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.first(), H + QStringLiteral("页/1.htm"));
        QCOMPARE(storedCurrent(), 3);
    }

    // A counter set back by hand cuts the list back to what it held then, so
    // nothing is added or counted twice; without the mark's record, as before.
    void counterSetBack()
    {
        addTask(true, QStringLiteral("p*"), 1, 10, 0);
        run();
        setCurrent(5);
        QCOMPARE(run().last(), summaryLine(10));
        task->edit();
        task->field(QStringLiteral("ResEnd")).setValue(12);
        task->post();
        run();
        setCurrent(3);
        const QStringList lines = run();
        QCOMPARE(lines.size(), 13);
        QCOMPARE(lines.at(11), QStringLiteral("p12"));
        // Set back to the counter the store held while the file was written, with
        // the address changed: no kill, the list is cut back all the same.
        task->edit();
        task->field(QStringLiteral("ResAddr")).setValue(QStringLiteral("q*"));
        task->post();
        setCurrent(3);
        QCOMPARE(run().mid(2, 2), QStringList({QStringLiteral("p3"), QStringLiteral("q4")}));
        setCurrent(5);
        QVERIFY(QFile::remove(world->workPath() + QStringLiteral("任务/ResHtmls.pos")));
        QCOMPARE(run().last(), summaryLine(19));
    }
    void counterSetBackOnListPages()
    {
        addTask(false, QStringLiteral("*"), 1, 3, 0, QStringLiteral("first"), QStringLiteral("l*"));
        stand->links = {{QStringLiteral("first"), {QStringLiteral("a")}},
                        {QStringLiteral("l1"), {QStringLiteral("b"), QStringLiteral("a")}},
                        {QStringLiteral("l2"), {QStringLiteral("c"), QStringLiteral("b")}},
                        {QStringLiteral("l3"), {QStringLiteral("d")}}};
        const QStringList first = run();
        QCOMPARE(first.last(), summaryLine(4, 2));
        setCurrent(1);
        QCOMPARE(run(), first);
    }

    void failedOrdinalRunPostsNothing_data()
    {
        QTest::addColumn<bool>("folderBlocked"); // else the file cannot be written
        QTest::newRow("task folder cannot be made") << true;
        QTest::newRow("page list file cannot be written") << false;
    }
    void failedOrdinalRunPostsNothing()
    {
        QFETCH(bool, folderBlocked);
        addTask(true, QStringLiteral("a*"), 1, 1000, 3);
        QVERIFY(QDir().mkpath(world->workPath()));
        if (folderBlocked)
            test::put(world->workPath() + QStringLiteral("任务"), "a file");
        else
            QVERIFY(QDir().mkpath(listPath()));
        try {
            run();
            QFAIL("no error raised");
        } catch (const Error& e) {
            QCOMPARE(e.message().startsWith(QStringLiteral("工作路径访问失败！")), folderBlocked);
        }
        QCOMPARE(storedCurrent(), 3);
        QCOMPARE(rowCurrent(), 3);
        QCOMPARE(task->state(), store::DataSet::State::Browse);
        // The store takes writes again: the transaction is over.
        setCurrent(4);
        QCOMPARE(storedCurrent(), 4);
    }

    void listPages_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("page1"); // links of the first list page
        QTest::addColumn<QStringList>("page2"); // of list_2.htm
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<int>("duplicates");
        const QString p = QStringLiteral("http://h/news/*.htm");
        const QString a = QStringLiteral("http://h/news/a.htm");
        const QString b = QStringLiteral("http://h/news/b.htm");
        QTest::newRow("letter case: duplicates across and within pages")
            << p << QStringList{a, QStringLiteral("HTTP://H/NEWS/A.HTM"), b}
            << QStringList{QStringLiteral("http://h/News/B.htm"), a} << QStringList{a, b} << 3;
        QTest::newRow("links that fail are never counted")
            << p << QStringList{QStringLiteral("http://h/about.htm"), a}
            << QStringList{QStringLiteral("http://h/about.htm"), QStringLiteral("http://h/x.gif")}
            << QStringList{a} << 0;
        QTest::newRow("a link with a quote keeps it")
            << p << QStringList{QStringLiteral("http://h/news/o'brien.htm")} << QStringList{}
            << QStringList{QStringLiteral("http://h/news/o'brien.htm")} << 0;
        QTest::newRow("a pattern with a quote matches literally")
            << QStringLiteral("http://h/o'*") << QStringList{QStringLiteral("http://h/o'1"), a}
            << QStringList{QStringLiteral("http://h/o\"2")}
            << QStringList{QStringLiteral("http://h/o'1")} << 0;
        QTest::newRow("statement text in a link is only text")
            << QStringLiteral("*") << QStringList{QStringLiteral("x',1,1) --"), a} << QStringList{}
            << QStringList{QStringLiteral("x',1,1) --"), a} << 0;
        const QString article = QStringLiteral("http://h/文章/5.html");
        QTest::newRow("escaped links are taken as an address bar shows them")
            << QStringLiteral("http://h/文章/*")
            << QStringList{QStringLiteral("http://h/%E6%96%87%E7%AB%A0/5.html"), article}
            << QStringList{QStringLiteral("http://h/%e6%96%87%e7%ab%a0/5.html")}
            << QStringList{article} << 2;
        QTest::newRow("a pattern typed escaped matches as before")
            << QStringLiteral("http://h/%E6%96%87%E7%AB%A0/*") << QStringList{article}
            << QStringList{} << QStringList{article} << 0;
        QTest::newRow("a pattern the LIKE rejects passes nothing")
            << QStringLiteral("http://h/[news*") << QStringList{a, QStringLiteral("http://h/[news")}
            << QStringList{b} << QStringList{} << 0;
    }
    void listPages()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, page1);
        QFETCH(QStringList, page2);
        QFETCH(QStringList, addresses);
        QFETCH(int, duplicates);
        // list_1.htm is the first list page: its number is skipped.
        addTask(false, pattern, 1, 2, 0, H + QStringLiteral("list_1.htm"),
                H + QStringLiteral("list_*.htm"));
        stand->links[H + QStringLiteral("list_1.htm")] = page1;
        stand->links[H + QStringLiteral("list_2.htm")] = page2;
        const QStringList lines = run();
        QCOMPARE(stand->opened,
                 QStringList({H + QStringLiteral("list_1.htm"), H + QStringLiteral("list_2.htm")}));
        const QStringList expected =
            addresses + QStringList{summaryLine(int(addresses.size()), duplicates)};
        QCOMPARE(lines, expected);
        QCOMPARE(test::contents(listPath()), test::crlfLines(expected));
        QCOMPARE(storedCurrent(), 2);
        QCOMPARE(host->status.count(QStringLiteral(" 正在处理网页列表信息，请稍候... ")), 2);
    }

    void shownAddresses_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, int cp, const char* address, const char* shown) {
            QTest::newRow(name) << cp << QString::fromUtf8(address) << QString::fromUtf8(shown);
        };
        row("UTF-8 shown", codepage::Utf8, "http://h/%E6%96%87?q=%e7%ab%a0#%C3%A9",
            "http://h/文?q=章#é");
        row("reserved and ASCII stay", codepage::Utf8, "/a%2Fb%3F%23%25%20%41",
            "/a%2Fb%3F%23%25%20%41");
        row("no UTF-8 stays", codepage::Utf8, "/%B0%A1%E6%96/%C0%AF%E6%96%87",
            "/%B0%A1%E6%96/%C0%AF文");
        row("blanks and turning marks stay", codepage::Utf8, "/%E3%80%80%E2%80%AE%C2%85",
            "/%E3%80%80%E2%80%AE%C2%85");
        row("what the code page cannot hold stays", codepage::Gbk, "/%E6%96%87%F0%9F%98%80",
            "/文%F0%9F%98%80");
    }
    void shownAddresses()
    {
        QFETCH(int, codePage);
        QFETCH(QString, address);
        const test::CodePagePinned pinned(codePage);
        QTEST(shownAddress(address), "shown");
    }

    void listPageRanges_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("current");
        QTest::addColumn<QStringList>("opened"); // page numbers, 0 the first list page
        QTest::addColumn<int>("afterwards");
        QTest::newRow("start above end: the first list page only")
            << 5 << 3 << 0 << strings({"0"}) << 0;
        QTest::newRow("negative numbers") << -1 << 1 << -3 << strings({"0", "-1", "0", "1"}) << 1;
        QTest::newRow("resumed after page 2") << 1 << 4 << 2 << strings({"0", "3", "4"}) << 4;
    }
    void listPageRanges()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, current);
        QFETCH(QStringList, opened);
        QFETCH(int, afterwards);
        addTask(false, QStringLiteral("*"), start, end, current, QStringLiteral("first"),
                QStringLiteral("p*"));
        QStringList expected;
        for (const QString& n : opened) {
            const QString address = n == QLatin1String("0") && expected.isEmpty()
                                        ? QStringLiteral("first")
                                        : QStringLiteral("p") + n;
            stand->links[address] = {address};
            expected.append(address);
        }
        const QStringList lines = run();
        QCOMPARE(stand->opened, expected);
        QCOMPARE(storedCurrent(), afterwards);
        QCOMPARE(lines.last(), summaryLine(int(expected.size()), 0));
    }

    // A stop that cuts a list page's load short: that page is left out and its
    // number not posted; the file and the counter agree, and the next run goes on.
    void stopDuringListPage_data()
    {
        QTest::addColumn<bool>("loggedOut");
        QTest::newRow("stopped") << false;
        // A list page that went to the login page gives no links either.
        QTest::newRow("logged out") << true;
    }
    void stopDuringListPage()
    {
        QFETCH(bool, loggedOut);
        addTask(false, QStringLiteral("*.htm"), 1, 4, 0, QStringLiteral("l1"),
                QStringLiteral("l*"));
        for (int n = 1; n <= 4; ++n)
            stand->links[QStringLiteral("l%1").arg(n)] = {QStringLiteral("%1.htm").arg(n)};
        task->edit();
        task->field(QStringLiteral("LoginAddr")).setValue(QStringLiteral("h/login"));
        task->post();
        if (loggedOut) {
            stand->redirects[QStringLiteral("l3")] = QStringLiteral("http://h/login?back=l3");
            QVERIFY_THROWS_EXCEPTION(LoginLost, run());
        } else {
            stand->outcomes[QStringLiteral("l3")] = Outcome::StopsLoading;
            run();
        }
        QCOMPARE(storedCurrent(), 2);
        QCOMPARE(
            test::contents(listPath()),
            test::crlfLines({QStringLiteral("1.htm"), QStringLiteral("2.htm"), summaryLine(2, 0)}));

        host->running = true;
        stand->outcomes.clear();
        stand->redirects.clear();
        stand->opened.clear();
        const QStringList lines = run();
        QCOMPARE(stand->opened,
                 QStringList({QStringLiteral("l1"), QStringLiteral("l3"), QStringLiteral("l4")}));
        QCOMPARE(lines, QStringList({QStringLiteral("1.htm"), QStringLiteral("2.htm"),
                                     QStringLiteral("3.htm"), QStringLiteral("4.htm"),
                                     summaryLine(4, 0)}));
        QCOMPARE(storedCurrent(), 4);
    }

    // Each list page is in the file before its number is posted: a write that
    // fails leaves the counter at the page before.
    void killBetweenFileAndCounter_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QByteArray>("expected");
        const auto lines = [](std::initializer_list<const char*> addresses, const QString& last) {
            QStringList all = strings(addresses);
            all.append(last);
            return test::crlfLines(all);
        };
        const QByteArray listPages = lines({"1.htm", "2.htm", "3.htm", "4.htm"}, summaryLine(4, 3));
        QTest::newRow("list pages") << "list" << listPages;
        // A run after the kill stopped before it reached the page again.
        QTest::newRow("list pages, a stopped run between") << "list, stopped" << listPages;
        QTest::newRow("ordinal") << "ordinal" << lines({"n1", "n2", "n3", "n4"}, summaryLine(4));
        // The template changed since: the numbers after the counter are
        // listed once, with this one.
        QTest::newRow("ordinal, template changed")
            << "ordinal, template" << lines({"n1", "n2", "m3", "m4"}, summaryLine(4));
        // Not a kill: the counter was lowered in the task editor, and the
        // numbers after it are added.
        QTest::newRow("ordinal, counter lowered by hand")
            << "ordinal, lowered"
            << lines({"p8", "p9", "p10", "p3", "p4", "p5", "p6", "p7", "p8", "p9", "p10", "p11",
                      "p12"},
                     summaryLine(13));
    }
    void killBetweenFileAndCounter()
    {
        // A run killed after the list file was written and before the counter
        // was posted for it: the next run goes on from the counter before,
        // and the list is as if nothing had happened.
        QFETCH(QString, scenario);
        QFETCH(QByteArray, expected);
        const auto set = [&](const char* field, const QVariant& value) {
            task->edit();
            task->field(QLatin1String(field)).setValue(value);
            task->post();
        };
        if (scenario == QLatin1String("ordinal, lowered")) {
            addTask(true, QStringLiteral("p*"), 8, 10, 0);
            run();
            set("ResStart", 1);
            set("ResEnd", 12);
            setCurrent(2);
            run();
            QCOMPARE(test::contents(listPath()), expected);
            QCOMPARE(storedCurrent(), 12);
            return;
        }
        if (scenario.startsWith(QLatin1String("ordinal"))) {
            addTask(true, QStringLiteral("n*"), 1, 2, 0);
            run();
            set("ResEnd", 4);
            run();
            QCOMPARE(storedCurrent(), 4);
            setCurrent(2); // the kill: the counter the store held before
            if (scenario.endsWith(QLatin1String("template")))
                set("ResAddr", QStringLiteral("m*"));
            run();
            QCOMPARE(test::contents(listPath()), expected);
            QCOMPARE(storedCurrent(), 4);
            return;
        }
        addTask(false, QStringLiteral("*.htm"), 1, 4, 0, QStringLiteral("first"),
                QStringLiteral("l*"));
        stand->links[QStringLiteral("first")] = {QStringLiteral("1.htm")};
        stand->links[QStringLiteral("l1")] = {QStringLiteral("1.htm")};
        stand->links[QStringLiteral("l2")] = {QStringLiteral("2.htm"), QStringLiteral("1.htm")};
        stand->links[QStringLiteral("l3")] = {QStringLiteral("3.htm"), QStringLiteral("2.htm")};
        stand->links[QStringLiteral("l4")] = {QStringLiteral("4.htm")};
        set("ResEnd", 3);
        run();
        setCurrent(2); // the kill
        set("ResEnd", 4);
        if (scenario.endsWith(QLatin1String("stopped"))) {
            stand->outcomes[QStringLiteral("l3")] = Outcome::StopsLoading;
            run();
            QCOMPARE(storedCurrent(), 2);
            stand->outcomes.clear();
            host->running = true;
        }
        run();
        QCOMPARE(test::contents(listPath()), expected);
        QCOMPARE(storedCurrent(), 4);
    }

    void fileNeverBehindTheCounter()
    {
        addTask(false, QStringLiteral("*.htm"), 1, 3, 0, QStringLiteral("first"),
                QStringLiteral("l*"));
        stand->links[QStringLiteral("first")] = {};
        for (int n = 1; n <= 3; ++n)
            stand->links[QStringLiteral("l%1").arg(n)] = {QStringLiteral("%1.htm").arg(n)};
        QList<QByteArray> seen;
        QList<int> counters;
        stand->beforeWait = [&](const QString& address) {
            seen.append(test::contents(listPath()));
            counters.append(storedCurrent());
            if (address == QLatin1String("l3")) {
                QVERIFY(QFile::remove(listPath()));
                QVERIFY(QDir().mkpath(listPath()));
            }
        };
        QVERIFY_THROWS_EXCEPTION(Error, run());
        QCOMPARE(counters, QList<int>({0, 0, 1, 2}));
        QCOMPARE(seen.at(2), test::crlfLines({QStringLiteral("1.htm"), summaryLine(1, 0)}));
        QCOMPARE(seen.at(3), test::crlfLines({QStringLiteral("1.htm"), QStringLiteral("2.htm"),
                                              summaryLine(2, 0)}));
        QCOMPARE(storedCurrent(), 2);
    }

    void pageListAbsent()
    {
        QVERIFY(!LoadPageList(world->file(QStringLiteral("ResHtmls.lst"))).has_value());
        // A folder of that name is no page list either.
        QVERIFY(QDir(world->path()).mkdir(QStringLiteral("ResHtmls.lst")));
        QVERIFY(!LoadPageList(world->file(QStringLiteral("ResHtmls.lst"))).has_value());
    }

    void pageListInProgramCodePage()
    {
        const test::CodePagePinned pinned(codepage::Gbk);
        const QByteArray gbk = codepage::fromUnicode(QStringLiteral("http://a/页面1"));
        QFile f(world->file(QStringLiteral("ResHtmls.lst")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk + "\r\nhttp://a/2\r\n共 2 页");
        f.close();
        const auto lines = LoadPageList(world->file(QStringLiteral("ResHtmls.lst")));
        QVERIFY(lines.has_value());
        QCOMPARE(lines->size(), 3);
        QCOMPARE(lines->at(0), gbk);
        QCOMPARE(codepage::toUnicode(lines->at(0)), QStringLiteral("http://a/页面1"));
    }

    void gauge_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("saved");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("position");
        QTest::newRow("fresh list") << 11 << 0 << 10 << 0;
        QTest::newRow("half saved") << 11 << 5 << 10 << 5;
        QTest::newRow("all saved") << 11 << 10 << 10 << 10;
        QTest::newRow("counter beyond a shorter list") << 4 << 9 << 3 << 3;
        QTest::newRow("summary line only") << 1 << 0 << 0 << 0;
        QTest::newRow("empty file") << 0 << 0 << 0 << 0;
    }

    void gauge()
    {
        QFETCH(int, lines);
        QFETCH(int, saved);
        const GaugeSetting g = pageListGauge(lines, saved);
        QTEST(g.maximum, "maximum");
        QTEST(g.position, "position");
    }
};

QTEST_GUILESS_MAIN(TstPageList)
#include "tst_pagelist.moc"
