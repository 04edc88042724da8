// pagrim-run as a child process on the numbered example task, against the
// example site served here: the three steps in one call, the test table, the
// steps with nothing left, the refusals, and a run stopped by SIGINT while it
// saves pages, resumed by a second call.
#include "demosite/examples.h"
#include "demosite/site.h"
#include "harvest/core/pagelist.h"
#include "harvest/core/pagelog.h"
#include "harvest/core/pagesaver.h"
#include "platform/settings.h"
#include "platform/tasklock.h"
#include "store/sqlite.h"
#include "support/coresupport.h"
#include "support/httpserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <httplib.h>
#include <limits>
#include <thread>
#include <unistd.h>

using namespace pagrim;

namespace {

constexpr int RunLimitMs = 120000;
constexpr int Articles = 20;
const QString Task = QStringLiteral("示例1 文章序数");

// An article's price line: its price, or, given script, the script that
// fills the price in.
QString priceLine(int k, const QString& script)
{
    return QStringLiteral("价格：%1 元").arg(script.isEmpty() ? demosite::articlePrice(k) : script);
}

// A script that shows the price 300 ms after the load, in two pieces, so that
// the page text holds no price before it runs.
QString scriptPrice(int k)
{
    const QString price = demosite::articlePrice(k);
    return QStringLiteral("<span id=\"v\"></span><script>setTimeout(function () { "
                          "document.getElementById('v').textContent = '%1' + '%2'; }, 300)"
                          "</script>")
        .arg(price.left(2), price.mid(2));
}

struct Finished
{
    int status = -1;
    QString out;
    QString err;
};

// Columns of a line up to index, wide characters counting two.
int columnOf(const QString& line, qsizetype index)
{
    int column = 0;
    for (qsizetype i = 0; i < index; ++i)
        column += line[i].unicode() >= 0x1100 ? 2 : 1;
    return column;
}

} // namespace

class TstCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { m_world.reset(); }
    void runsRefusesAndTests();
    void stoppedAndResumed();
    void directEngineStartsNoRenderer();
    void loginLostEndsWithThree();
    void markers();
    void updateNightAfterNight();
    void scriptFilledPricesWaitedFor();

private:
    QString taskFolder() const { return m_world->workPath() + QStringLiteral("WorkDir/") + Task; }
    int pageFiles() const
    {
        return int(QDir(taskFolder() + QStringLiteral("/HTML")).entryList(QDir::Files).size());
    }
    int stored(const char* column) const
    {
        return test::rowsOf(m_world->storePath(),
                            QStringLiteral("select %1 from Tasks where TaskID = 1")
                                .arg(QLatin1String(column)))
            .value(0)
            .value(0)
            .toInt();
    }
    // pagrim-run in the world's folder (where it finds the store), without a
    // terminal, in a process group of its own as a shell starts it.
    void start(QProcess& run, const QStringList& arguments) const;
    Finished finish(QProcess& run) const;
    Finished call(const QStringList& arguments) const
    {
        QProcess run;
        start(run, arguments);
        return finish(run);
    }

    // The list and the results the example task 示例1 gives.
    std::pair<QStringList, QStringList> expectedFiles() const;

    test::HttpServer m_server;
    std::atomic<int> m_delayMs{0};
    // Article pages the site's session still serves; then they go to its login page.
    std::atomic<int> m_sessionPages{0};
    std::atomic<int> m_articles{Articles};   // the articles the site has
    std::atomic<bool> m_scriptPrices{false}; // a script fills the prices in after the load
    std::unique_ptr<test::TempWorld> m_world;
};

void TstCli::initTestCase()
{
    QVERIFY2(!test::builtProgram(QStringLiteral("pagrim-run")).isEmpty(),
             "pagrim-run is not built");
    for (int k = 1; k <= Articles + 2; ++k)
        m_server.setHandler(QStringLiteral("/article/%1.html").arg(k),
                            [this, k](const httplib::Request& rq, httplib::Response& rs) {
                                // The articles after the site's count: none yet.
                                if (k > m_articles)
                                    return void(rs.status = 404);
                                if (--m_sessionPages < 0)
                                    return rs.set_redirect("/login.htm?back=article");
                                demosite::Request request;
                                request.path = QString::fromStdString(rq.path);
                                demosite::Response page = demosite::page(request);
                                if (m_scriptPrices)
                                    page.body.replace(priceLine(k, QString()).toUtf8(),
                                                      priceLine(k, scriptPrice(k)).toUtf8());
                                std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
                                rs.status = page.status;
                                rs.set_content(page.body.toStdString(),
                                               page.contentType.toStdString());
                            });
}

void TstCli::init()
{
    m_delayMs = 0;
    m_sessionPages = std::numeric_limits<int>::max();
    m_articles = Articles;
    m_scriptPrices = false;
    m_world = std::make_unique<test::TempWorld>();
    store::Database db;
    db.open(m_world->storePath());
    demosite::addExampleTasks(db, demosite::siteAddress(m_server.port()));
    Settings(m_world->settingsPath()).setWorkPath(m_world->workPath());
}

void TstCli::start(QProcess& run, const QStringList& arguments) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    // The browser profile of the world's own.
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_world->file(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_world->file(QStringLiteral("cache")));
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(m_world->path());
    run.setChildProcessModifier([] { ::setpgid(0, 0); });
    run.start(test::builtProgram(QStringLiteral("pagrim-run")),
              QStringList{QStringLiteral("--settings"), m_world->settingsPath()} + arguments);
}

Finished TstCli::finish(QProcess& run) const
{
    // A process that has ended has no group left to kill (and group 0 is ours).
    if (run.state() != QProcess::NotRunning && !run.waitForFinished(RunLimitMs) &&
        run.processId() > 0) {
        ::kill(-pid_t(run.processId()), SIGKILL);
        run.waitForFinished(RunLimitMs);
    }
    return {run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1,
            QString::fromUtf8(run.readAllStandardOutput()),
            QString::fromUtf8(run.readAllStandardError())};
}

std::pair<QStringList, QStringList> TstCli::expectedFiles() const
{
    const demosite::ExampleTask task =
        demosite::exampleTasks(demosite::siteAddress(m_server.port())).first();
    QStringList list, infos{QStringLiteral("序号*标题*日期*价格*正文")};
    for (int k = 1; k <= Articles; ++k) {
        list << harvest::numbered(task.addr, k);
        infos << QStringList{QString::number(k), demosite::articleTitle(k),
                             demosite::articleDate(k), demosite::articlePrice(k),
                             demosite::articleBody(k).join(QString())}
                     .join(QLatin1Char('*'));
    }
    return {list, infos};
}

void TstCli::runsRefusesAndTests()
{
    Finished r = call({Task});
    QCOMPARE(r.status, 0);
    auto [list, infos] = expectedFiles();
    QCOMPARE(test::contents(taskFolder() + QStringLiteral("/ResHtmls.lst")),
             test::crlfLines(list << harvest::summaryLine(Articles)));
    QCOMPARE(pageFiles(), Articles);
    QCOMPARE(test::contents(taskFolder() + QStringLiteral("/Infos.txt")), test::crlfLines(infos));
    QCOMPARE(stored("ResCurrent"), Articles);
    QCOMPARE(stored("SaveCurrent"), Articles);
    // Without a terminal: whole lines, a summary at the end of each step, and
    // nothing but the program's own lines (no runtime folder set, as under cron).
    QVERIFY(!r.err.contains(QLatin1Char('\r')));
    for (const char* step : {"生成列表", "保存网页", "进行提取"})
        QVERIFY2(r.err.contains(
                     QRegularExpression(QStringLiteral("^%1：20 页，失败 0，用时 \\d+:\\d\\d$")
                                            .arg(QString::fromUtf8(step)),
                                        QRegularExpression::MultilineOption)),
                 qPrintable(r.err));
    for (const QString& line : r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^((生成列表|保存网页|进行提取)[ ：]|有效列表条数：)"))
                     .match(line)
                     .hasMatch(),
                 qPrintable(r.err));

    // Steps with nothing left say so and the next runs; the test writes no
    // file and shows the first pages as a table, the task named by its key.
    QVERIFY(QFile::remove(taskFolder() + QStringLiteral("/Infos.txt")));
    r = call({QStringLiteral("--list"), QStringLiteral("--save"), QStringLiteral("--test"),
              QStringLiteral("1")});
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.contains(QStringLiteral("已经生成了所有列表。要重新处理，请修改任务参数。")));
    QVERIFY(r.err.contains(harvest::PageSaver::refusalText(harvest::PageSaver::Refusal::AllSaved)));
    QVERIFY(!QFile::exists(taskFolder() + QStringLiteral("/Infos.txt")));
    // Each value starts in the column of its title, wide characters counting two.
    const QStringList rows = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), Settings::DefaultTestValue + 3);
    QList<int> columns;
    for (int i = 0; i < rows.size(); ++i) {
        qsizetype at = 0;
        const QStringList cells = infos[i].split(QLatin1Char('*'));
        for (int c = 0; c < cells.size(); at += cells[c++].size()) {
            at = rows[i].indexOf(cells[c], at);
            QVERIFY2(at >= 0, qPrintable(rows[i]));
            if (i == 0)
                columns << columnOf(rows[i], at);
            QCOMPARE(columnOf(rows[i], at), columns[c]);
        }
    }

    // An unknown task and a task another program holds are refused.
    r = call({QStringLiteral("没有的任务")});
    QCOMPARE(r.status, 2);
    QVERIFY(r.err.contains(QStringLiteral("没有的任务")));
    QCOMPARE(call({QStringLiteral("--bogus"), Task}).status, 2);
    QCOMPARE(call({QStringLiteral("--parallel"), QStringLiteral("17"), Task}).status, 2);
    TaskLock window{TaskFolder(taskFolder())};
    QVERIFY(window.take());
    r = call({QStringLiteral("--extract"), Task});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(TaskLock::busyText()));
}

void TstCli::loginLostEndsWithThree()
{
    // The session serves six pages; the seventh goes to the task's login page.
    m_server.setPage(QStringLiteral("/login.htm"), "<html><body>login</body></html>");
    m_sessionPages = 6;
    test::execOn(m_world->storePath(), QStringLiteral("update Tasks set LoginAddr = '%1'")
                                           .arg(m_server.address(QStringLiteral("/login.htm"))));
    Finished r = call({Task});
    QCOMPARE(r.status, 3);
    const QString seventh = expectedFiles().first.at(6);
    QVERIFY2(r.err.contains(QStringLiteral("登录已失效：第 7 行 ") + seventh), qPrintable(r.err));
    QCOMPARE(stored("SaveCurrent"), 6);
    QCOMPARE(pageFiles(), 6);
    QVERIFY(!QFile::exists(taskFolder() + QStringLiteral("/Infos.txt")));

    // Logged in again: the next run goes on from the seventh page.
    m_sessionPages = Articles;
    const int sixth = m_server.hits(QStringLiteral("/article/6.html"));
    r = call({Task});
    QCOMPARE(r.status, 0);
    QCOMPARE(stored("SaveCurrent"), Articles);
    QCOMPARE(pageFiles(), Articles);
    QCOMPARE(m_server.hits(QStringLiteral("/article/6.html")), sixth);
}

void TstCli::stoppedAndResumed()
{
    m_delayMs = 150;
    QProcess run;
    start(run, {Task});
    // A SIGINT to the whole group, as a terminal's Ctrl-C sends it, once
    // three pages are saved.
    const QDeadlineTimer deadline(RunLimitMs);
    while (pageFiles() < 3 && run.state() != QProcess::NotRunning && !deadline.hasExpired())
        run.waitForFinished(20);
    QVERIFY(run.state() != QProcess::NotRunning);
    ::kill(-pid_t(run.processId()), SIGINT);
    const Finished stopped = finish(run);
    QCOMPARE(stopped.status, 130);
    QVERIFY(stopped.err.contains(QStringLiteral("保存网页：")));
    const int saved = stored("SaveCurrent");
    QVERIFY(saved >= 3 && saved < Articles);
    QCOMPARE(pageFiles(), saved);
    QVERIFY(!QFile::exists(taskFolder() + QStringLiteral("/Infos.txt")));

    QList<int> fetched;
    for (int k = 1; k <= saved; ++k)
        fetched << m_server.hits(QStringLiteral("/article/%1.html").arg(k));
    m_delayMs = 0;
    const Finished resumed =
        call({QStringLiteral("--save"), QStringLiteral("--parallel"), QStringLiteral("4"), Task});
    QCOMPARE(resumed.status, 0);
    QCOMPARE(pageFiles(), Articles);
    QCOMPARE(stored("SaveCurrent"), Articles);
    // No saved page is fetched again; the pages are logged.
    QCOMPARE(harvest::readPageLog(taskFolder() + QStringLiteral("/ResHtmls.log")).size(), Articles);
    for (int k = 1; k <= saved; ++k)
        QCOMPARE(m_server.hits(QStringLiteral("/article/%1.html").arg(k)), fetched[k - 1]);

    // A second signal, of the other kind, ends the program at once.
    test::execOn(m_world->storePath(), QStringLiteral("update Tasks set SaveCurrent = 0"));
    m_delayMs = 150;
    QProcess again;
    start(again, {QStringLiteral("--save"), Task});
    QVERIFY(again.waitForStarted(RunLimitMs));
    QTest::qWait(800);
    ::kill(-pid_t(again.processId()), SIGINT);
    ::kill(-pid_t(again.processId()), SIGTERM);
    QCOMPARE(finish(again).status, -1);
    QVERIFY(stored("SaveCurrent") < Articles);
}

// Markers from saved pages: JSON with the line break escaped, and the exit
// statuses of a value not on its page and of a wrong command line.
void TstCli::directEngineStartsNoRenderer()
{
    // The task's pages fetched without the browser give the same files, and
    // no renderer starts meanwhile.
    test::execOn(m_world->storePath(),
                 QStringLiteral("insert into TaskOptions (TaskID, PageEngine) values (1, ?)"),
                 {QStringLiteral("direct")});
    m_delayMs = 30;
    QProcess run;
    start(run, {QStringLiteral("--parallel"), QStringLiteral("4"), Task});
    QVERIFY(run.waitForStarted(RunLimitMs));
    const QByteArray group = QByteArray::number(run.processId());
    int renderers = 0;
    while (run.state() != QProcess::NotRunning && !run.waitForFinished(20)) {
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QList<QByteArray> stat =
                test::contents(QStringLiteral("/proc/%1/stat").arg(pid)).split(' ');
            // The browser's own processes (its zygotes) may start; a renderer,
            // which a page needs, may not.
            if (stat.size() > 4 && stat[4] == group &&
                test::contents(QStringLiteral("/proc/%1/cmdline").arg(pid))
                    .contains("--type=renderer"))
                ++renderers;
        }
    }
    const Finished r = finish(run);
    QCOMPARE(r.status, 0);
    QCOMPARE(renderers, 0);
    const auto [list, infos] = expectedFiles();
    QCOMPARE(test::contents(taskFolder() + QStringLiteral("/ResHtmls.lst")),
             test::crlfLines(QStringList(list) << harvest::summaryLine(Articles)));
    QCOMPARE(test::contents(taskFolder() + QStringLiteral("/Infos.txt")), test::crlfLines(infos));
    QCOMPARE(stored("SaveCurrent"), Articles);
}

void TstCli::markers()
{
    const QString pages = taskFolder() + QStringLiteral("/HTML/");
    QVERIFY(QDir().mkpath(pages));
    for (int k = 1; k <= 3; ++k)
        test::put(pages + QStringLiteral("%1.Htm").arg(k),
                  QStringLiteral("<p>\u4EF7\u683C\uFF1A%1 \u5143\n<p>x").arg(k * 11).toUtf8());
    const QStringList markers{QStringLiteral("markers"), Task, QStringLiteral("--page"),
                              QStringLiteral("2")};
    Finished r = call(markers + QStringList{QStringLiteral("--value"), QStringLiteral("22")});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out,
             QStringLiteral("{\"start\": \"<p>\u4EF7\u683C\uFF1A\", \"end\": \"\u5143\\r\\n<p>\", "
                            "\"found\": 3, \"sampled\": 3}\n"));
    r = call(markers + QStringList{QStringLiteral("--value"), QStringLiteral("23")});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains(QStringLiteral("23")));
    QCOMPARE(call(markers).status, 2);
}

// --update in the place of --list, as a nightly call runs it: the first night
// the whole list, later only the articles the site has added, and nothing
// when there are none; each night ends with 0.
void TstCli::updateNightAfterNight()
{
    const QStringList update{QStringLiteral("--update"), Task};
    const auto summary = [](int pages) {
        return QRegularExpression(QStringLiteral("^检查新网页：%1 页，").arg(pages),
                                  QRegularExpression::MultilineOption);
    };
    const auto hits = [this](int k) {
        return m_server.hits(QStringLiteral("/article/%1.html").arg(k));
    };
    const int firstHits = hits(1);
    Finished r = call(update);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains(summary(Articles)), qPrintable(r.err));
    QCOMPARE(pageFiles(), Articles);
    // The number after the list is tried once and is not there.
    QCOMPARE(hits(Articles + 1), 1);

    m_articles = Articles + 2;
    r = call(update);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains(summary(2)), qPrintable(r.err));
    QVERIFY(!r.err.contains(QStringLiteral("已经")));
    QCOMPARE(stored("ResEnd"), Articles + 2);
    QCOMPARE(stored("SaveCurrent"), Articles + 2);
    QCOMPARE(pageFiles(), Articles + 2);
    QCOMPARE(hits(1), firstHits + 1);
    QCOMPARE(hits(Articles + 2), 1);
    QCOMPARE(test::contents(taskFolder() + QStringLiteral("/Infos.txt")).count("\r\n"),
             Articles + 3);

    r = call(update);
    QCOMPARE(r.status, 0);
    QVERIFY2(r.err.contains(summary(0)), qPrintable(r.err));
    QCOMPARE(stored("ResEnd"), Articles + 2);
}

void TstCli::scriptFilledPricesWaitedFor()
{
    // The price is filled in 300 ms after the load; its field cuts the text shown.
    m_scriptPrices = true;
    test::execOn(m_world->storePath(),
                 QStringLiteral("insert into TaskOptions (TaskID, ContentWait) values (1, 3000)"));
    test::execOn(m_world->storePath(),
                 QStringLiteral("insert into DescOptions (DescID, ShownText) select DescID, 1 "
                                "from Descs where TaskID = 1 and DescName = '价格'"));
    const Finished r = call({Task});
    QCOMPARE(r.status, 0);
    QCOMPARE(test::contents(taskFolder() + QStringLiteral("/Infos.txt")),
             test::crlfLines(expectedFiles().second));
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
