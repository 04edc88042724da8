// Page saving over a stand-in browser and host: which lines are fetched, what
// is written where, the counter, stops and failures.
#include "harvest/core/loginlost.h"
#include "harvest/core/pagelog.h"
#include "harvest/core/pagequeue.h"
#include "harvest/core/pagesaver.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/taskfolder.h"
#include "store/connection.h"
#include "store/dataset.h"
#include "store/taskoptions.h"
#include "support/coresupport.h"
#include "support/standins.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>
#include <memory>

using namespace pagrim;
using namespace pagrim::harvest;
using Refusal = PageSaver::Refusal;
using Outcome = test::StandInBrowser::Outcome;
using Answer = test::StandInFetcher::Answer;
using Ending = PageLoad::Ending;

namespace {

const QString TaskName = QStringLiteral("任务");

QString address(int n)
{
    return QStringLiteral("http://127.0.0.1/show.asp?id=%1").arg(n);
}

QStringList words(const char* text, char separator = ' ')
{
    return QString::fromUtf8(text).split(QLatin1Char(separator));
}

} // namespace

class TstPageSaver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void refusals_data();
    void refusals();
    void savesFromTheCounterOn_data();
    void savesFromTheCounterOn();
    void stopAndResume_data();
    void stopAndResume();
    void pageThatCannotBeSaved_data();
    void pageThatCannotBeSaved();
    void folderOrFileFailureEndsTheRun_data();
    void folderOrFileFailureEndsTheRun();
    void leftoverTemporariesGo();
    void sideBySideRetriesLogsAndRetriesFailed();
    void retryHoldsNoOtherLine();
    void restartSkipsSavedLines();
    void stopCountsNoCutLoad();
    void hostDelayCountsFromTheRequest();
    void contentWaitTakesThePageWhenItIsFilled();
    void loggedOutTextStopsTheRun();
    void redirectToLoginStopsTheQueue();

private:
    QString taskFolder() const { return TaskFolder(m_world->workPath(), TaskName).path(); }
    QString pageFile(int n) const { return taskFolder() + QStringLiteral("/HTML/%1.Htm").arg(n); }
    // A page list of count addresses and the summary line.
    void writeList(int count);
    void setSaveCurrent(int value);
    // SaveCurrent as stored, read through a query of its own.
    int storedSaveCurrent();
    QStringList savedFiles() const
    {
        return QDir(taskFolder() + QStringLiteral("/HTML"))
            .entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // prepare, and run when it lets the run start.
    Refusal start();
    // The same with pages side by side.
    void startSideBySide(test::StandInFetcher& fetcher, const SaveLimits& limits);
    // The outcome of every entry of the page log, by line: "3 http-error 404".
    QStringList logLines() const;

    std::unique_ptr<test::TempWorld> m_world;
    std::unique_ptr<store::Connection> m_conn;
    std::unique_ptr<store::DataSet> m_task;
    std::unique_ptr<test::StandInHost> m_host;
    std::unique_ptr<test::StandInBrowser> m_browser;
};

void TstPageSaver::init()
{
    m_world = std::make_unique<test::TempWorld>();
    test::addTask(m_world->storePath(), 1, TaskName);
    m_conn = std::make_unique<store::Connection>();
    m_conn->open();
    m_task = std::make_unique<store::DataSet>(*m_conn);
    m_task->setCommandText(QStringLiteral("select * from Tasks"));
    m_task->open();
    m_host = std::make_unique<test::StandInHost>(*m_task, m_world->workPath());
    m_browser = std::make_unique<test::StandInBrowser>(*m_host);
}

void TstPageSaver::cleanup()
{
    m_browser.reset();
    m_host.reset();
    m_task.reset();
    m_conn.reset();
    m_world.reset();
}

void TstPageSaver::writeList(int count)
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n)
        bytes += codepage::fromUnicode(address(n)) + "\r\n";
    bytes += codepage::fromUnicode(QStringLiteral("有效列表条数：%1").arg(count)) + "\r\n";
    QVERIFY(QDir().mkpath(taskFolder()));
    test::put(taskFolder() + QStringLiteral("/ResHtmls.lst"), bytes);
}

void TstPageSaver::setSaveCurrent(int value)
{
    m_task->edit();
    m_task->field(QStringLiteral("SaveCurrent")).setValue(value);
    m_task->post();
}

int TstPageSaver::storedSaveCurrent()
{
    return test::queryInteger(*m_conn,
                              QStringLiteral("select SaveCurrent from Tasks where TaskID = 1"));
}

Refusal TstPageSaver::start()
{
    PageSaver saver(*m_host, *m_browser);
    const Refusal refusal = saver.prepare();
    if (refusal == Refusal::None) {
        m_host->running = true;
        saver.run();
    }
    return refusal;
}

void TstPageSaver::startSideBySide(test::StandInFetcher& fetcher, const SaveLimits& limits)
{
    PageSaver saver(*m_host, *m_browser);
    QCOMPARE(saver.prepare(), Refusal::None);
    m_host->running = true;
    saver.run(fetcher, limits);
}

QStringList TstPageSaver::logLines() const
{
    QStringList lines;
    for (const PageLogEntry& e : readPageLog(TaskFolder(taskFolder()).pageLog()))
        lines << QStringLiteral("%1 %2 %3")
                     .arg(e.line)
                     .arg(QString::fromLatin1(outcomeName(e.outcome)))
                     .arg(e.status);
    return lines;
}

void TstPageSaver::refusals_data()
{
    QTest::addColumn<QByteArray>("list"); // "-" for no file
    QTest::addColumn<int>("saveCurrent");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("text");
    const QString noList = QStringLiteral("列表文件没有找到，请先生成列表。");
    const QString empty = QStringLiteral("列表文件为空，请修改任务参数。");
    const QString allSaved = QStringLiteral("已经保存了所有网页。要重新处理，请修改任务参数。");
    QTest::newRow("no file") << QByteArray("-") << 0 << int(Refusal::NoPageList) << noList;
    QTest::newRow("summary line only")
        << QByteArray("有效列表条数：0\r\n") << 0 << int(Refusal::EmptyPageList) << empty;
    QTest::newRow("no line at all") << QByteArray() << 0 << int(Refusal::EmptyPageList) << empty;
    QTest::newRow("all saved") << QByteArray("a\r\nb\r\nsummary\r\n") << 2 << int(Refusal::AllSaved)
                               << allSaved;
    QTest::newRow("counter above the count")
        << QByteArray("a\r\nb\r\nsummary\r\n") << 7 << int(Refusal::AllSaved) << allSaved;
    QTest::newRow("one page left")
        << QByteArray("a\r\nb\r\nsummary\r\n") << 1 << int(Refusal::None) << QString();
}

void TstPageSaver::refusals()
{
    QFETCH(QByteArray, list);
    QFETCH(int, saveCurrent);
    QFETCH(int, expected);
    QFETCH(QString, text);
    if (list != "-") {
        QVERIFY(QDir().mkpath(taskFolder()));
        test::put(taskFolder() + QStringLiteral("/ResHtmls.lst"), list);
    }
    setSaveCurrent(saveCurrent);
    PageSaver saver(*m_host, *m_browser);
    QCOMPARE(int(saver.prepare()), expected);
    QCOMPARE(PageSaver::refusalText(Refusal(expected)), text);
    QVERIFY(m_browser->opened.isEmpty());
    QVERIFY(!QFileInfo::exists(taskFolder() + QStringLiteral("/HTML")));
    QCOMPARE(storedSaveCurrent(), saveCurrent);
}

void TstPageSaver::savesFromTheCounterOn_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("saveCurrent");
    QTest::addColumn<int>("first");
    QTest::newRow("new task") << 3 << 0 << 1;
    QTest::newRow("resumed after the first") << 3 << 1 << 2;
    QTest::newRow("negative counter") << 3 << -4 << 1;
    QTest::newRow("tenth page") << 10 << 8 << 9;
}

void TstPageSaver::savesFromTheCounterOn()
{
    QFETCH(int, count);
    QFETCH(int, saveCurrent);
    QFETCH(int, first);
    writeList(count);
    setSaveCurrent(saveCurrent);
    // Each page's file is complete and the counter posted past the page before
    // the next page is waited for.
    QStringList outOfOrder;
    m_browser->beforeWait = [&](const QString&) {
        const int n = first + int(m_browser->opened.size()) - 1;
        if (n > first && (!QFileInfo::exists(pageFile(n - 1)) || storedSaveCurrent() != n - 1))
            outOfOrder << QString::number(n);
    };
    QCOMPARE(start(), Refusal::None);

    QStringList expectedOpened, expectedFiles;
    for (int n = first; n <= count; ++n) {
        expectedOpened << address(n);
        expectedFiles << QStringLiteral("%1.Htm").arg(n);
    }
    expectedFiles.sort();
    QCOMPARE(m_browser->opened, expectedOpened);
    QCOMPARE(savedFiles(), expectedFiles);
    QCOMPARE(test::contents(pageFile(count)), "<html>" + address(count).toUtf8() + "</html>");
    QVERIFY(outOfOrder.isEmpty());
    QCOMPARE(storedSaveCurrent(), count);
    QCOMPARE(m_host->gauge, std::make_pair(count, count));
    QCOMPARE(m_host->passes, count - first + 1);
    QVERIFY(m_browser->failures.isEmpty());
    QVERIFY(m_browser->dropped.isEmpty());
}

void TstPageSaver::stopAndResume_data()
{
    QTest::addColumn<bool>("duringLoad"); // else while events run after the save
    QTest::addColumn<int>("savedAfterStop");
    QTest::addColumn<int>("started"); // page 3 was started before the stop was seen
    QTest::newRow("stop while page 2 loads") << true << 1 << 2;
    QTest::newRow("stop after page 2 was saved") << false << 2 << 3;
}

void TstPageSaver::stopAndResume()
{
    QFETCH(bool, duringLoad);
    QFETCH(int, savedAfterStop);
    QFETCH(int, started);
    writeList(4);
    if (duringLoad)
        m_browser->outcomes[address(2)] = Outcome::StopsLoading;
    else
        m_host->onEvents = [&] {
            if (m_host->passes == 2)
                m_host->running = false;
        };
    QCOMPARE(start(), Refusal::None);
    QCOMPARE(m_browser->opened.size(), started);
    QCOMPARE(m_browser->opened.first(), address(1));
    // A page started ahead of a stop is given up, never counted.
    QCOMPARE(m_browser->dropped, started > 2 ? QStringList{address(3)} : QStringList());
    QCOMPARE(storedSaveCurrent(), savedAfterStop);
    QCOMPARE(savedFiles().size(), savedAfterStop);
    QCOMPARE(m_host->gauge.second, savedAfterStop);

    // The next run goes on with the page after the counter: none skipped, none
    // fetched twice but the one the stop interrupted.
    m_browser->outcomes.clear();
    m_host->onEvents = nullptr;
    m_browser->opened.clear();
    m_browser->dropped.clear();
    QCOMPARE(start(), Refusal::None);
    QCOMPARE(m_browser->opened.first(), address(savedAfterStop + 1));
    QCOMPARE(m_browser->opened.size(), 4 - savedAfterStop);
    QCOMPARE(savedFiles(), QStringList({QStringLiteral("1.Htm"), QStringLiteral("2.Htm"),
                                        QStringLiteral("3.Htm"), QStringLiteral("4.Htm")}));
    QCOMPARE(storedSaveCurrent(), 4);
}

void TstPageSaver::pageThatCannotBeSaved_data()
{
    QTest::addColumn<int>("outcome");
    QTest::newRow("document not handed out") << int(Outcome::NoDocument);
    QTest::newRow("address refused") << int(Outcome::Refused);
    QTest::newRow("address refused at once") << int(Outcome::RefusedAtOnce);
}

void TstPageSaver::pageThatCannotBeSaved()
{
    QFETCH(int, outcome);
    writeList(3);
    m_browser->outcomes[address(2)] = Outcome(outcome);
    QCOMPARE(start(), Refusal::None);
    // Reported, counted, and the run went on.
    QCOMPARE(m_browser->failures, QStringList{address(2)});
    QCOMPARE(m_browser->opened.size(), 3);
    QCOMPARE(savedFiles(), QStringList({QStringLiteral("1.Htm"), QStringLiteral("3.Htm")}));
    QCOMPARE(storedSaveCurrent(), 3);
    QCOMPARE(logLines(), words("1 saved 0,2 not-saved 0,3 saved 0", ','));

    // A line a kill cut short stays apart from the next run's lines.
    QFile log(TaskFolder(taskFolder()).pageLog());
    QVERIFY(log.open(QIODevice::Append) && log.write("4\thttp://cut") > 0);
    log.close();
    setSaveCurrent(2);
    QCOMPARE(start(), Refusal::None);
    QCOMPARE(logLines().last(), QStringLiteral("3 saved 0"));
    QCOMPARE(logLines().size(), 4);
}

void TstPageSaver::folderOrFileFailureEndsTheRun_data()
{
    QTest::addColumn<QString>("blocked"); // a folder made where a file should go
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("savedBefore");
    QTest::addColumn<int>("started");
    QTest::newRow("HTML folder") << "HTML" << QStringLiteral("工作路径访问失败！") << 0 << 1;
    QTest::newRow("page file") << "HTML/2.Htm" << QStringLiteral("Cannot create file") << 1 << 3;
}

void TstPageSaver::folderOrFileFailureEndsTheRun()
{
    QFETCH(QString, blocked);
    QFETCH(QString, message);
    QFETCH(int, savedBefore);
    QFETCH(int, started);
    writeList(3);
    if (blocked == QLatin1String("HTML"))
        test::put(taskFolder() + QStringLiteral("/HTML"), "a file in the way");
    else
        QVERIFY(QDir().mkpath(taskFolder() + QLatin1Char('/') + blocked));
    try {
        start();
        QFAIL("no error");
    } catch (const Error& e) {
        QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
    }
    QCOMPARE(m_browser->opened.size(), started);
    // The page fetched ahead is given up with the run.
    QCOMPARE(m_browser->dropped.size(), started - savedBefore - 1);
    QCOMPARE(storedSaveCurrent(), savedBefore);
    QVERIFY(!m_task->isEditing());
}

void TstPageSaver::leftoverTemporariesGo()
{
    // What a run killed in the middle of replacing a page file leaves behind
    // goes; a user's files stay, even one named like a page and six letters.
    writeList(2);
    setSaveCurrent(1);
    const QString html = taskFolder() + QStringLiteral("/HTML/");
    QVERIFY(QDir().mkpath(html));
    for (const char* name :
         {"1.Htm", ".2.Htm.pagrim-Ab12Cd", "2.Htm.backup", ".x.Htm.pagrim-Ab12Cd"})
        test::put(html + QLatin1String(name), "kept?");
    QCOMPARE(start(), Refusal::None);
    QCOMPARE(savedFiles(),
             QStringList({QStringLiteral(".x.Htm.pagrim-Ab12Cd"), QStringLiteral("1.Htm"),
                          QStringLiteral("2.Htm"), QStringLiteral("2.Htm.backup")}));
}

void TstPageSaver::sideBySideRetriesLogsAndRetriesFailed()
{
    writeList(9);
    test::StandInFetcher fetcher(4);
    const Answer unreachable{Ending::Unreachable, 0, false};
    fetcher.answers[address(3)] = {{Ending::HttpError, 404, false}};
    fetcher.answers[address(5)] = {unreachable, unreachable, unreachable};
    fetcher.answers[address(6)] = {{Ending::HttpError, 503, false}};
    fetcher.answers[address(8)] = {
        {Ending::Loaded, 0, true}, {Ending::Loaded, 0, true}, {Ending::Loaded, 0, true}};
    fetcher.answers[address(9)] = {{Ending::Refused, 0, false}};
    SaveLimits limits{4, 0, 1, {10, 20}, 30};
    startSideBySide(fetcher, limits);

    QCOMPARE(fetcher.mostInFlight, 4);
    QStringList tries;
    for (const auto& start : fetcher.starts)
        tries << start.first.section(QLatin1Char('='), 1);
    tries.sort();
    // A 404 and a refusal are final; a 503 answered on the second try; an
    // unreachable page and one that times out are tried three times.
    QCOMPARE(tries.join(QString()), QStringLiteral("12345556678889"));
    QCOMPARE(fetcher.stopped, QStringList(3, address(8)));
    QCOMPARE(savedFiles(), words("1.Htm 2.Htm 4.Htm 6.Htm 7.Htm"));
    QCOMPARE(test::contents(pageFile(6)), "<html>" + address(6).toUtf8() + "</html>");
    QCOMPARE(storedSaveCurrent(), 9);
    QStringList log = logLines();
    log.sort();
    QCOMPARE(log, words("1 saved 0,2 saved 0,3 http-error 404,4 saved 0,5 unreachable 0,"
                        "6 saved 0,7 saved 0,8 timeout 0,9 not-saved 0",
                        ','));

    // The failed lines again, with the counter left alone.
    setSaveCurrent(7);
    fetcher.answers.clear();
    PageSaver saver(*m_host, *m_browser);
    const std::vector<int> failed = saver.failedLines();
    QCOMPARE(failed, std::vector<int>({3, 5, 8, 9}));
    saver.retry(fetcher, limits, failed);
    QCOMPARE(savedFiles().size(), 9);
    QCOMPARE(storedSaveCurrent(), 7);
    QVERIFY(saver.failedLines().empty());
}

void TstPageSaver::retryHoldsNoOtherLine()
{
    // Line 2 is busy twice; the other slots go on with the lines after it.
    writeList(12);
    test::StandInFetcher fetcher(3);
    const Answer busy{Ending::HttpError, 503, false};
    fetcher.answers[address(2)] = {busy, busy};
    startSideBySide(fetcher, SaveLimits{3, 0, 0, {10, 20}, 200});

    QStringList order;
    for (const auto& start : fetcher.starts)
        order << start.first.section(QLatin1Char('='), 1);
    QCOMPARE(order.join(QLatin1Char(' ')), QStringLiteral("1 2 3 4 5 6 7 8 9 10 11 12 2 2"));
    QCOMPARE(savedFiles().size(), 12);
    QCOMPARE(storedSaveCurrent(), 12);
    QCOMPARE(logLines().last(), QStringLiteral("2 saved 0"));
}

void TstPageSaver::restartSkipsSavedLines()
{
    // Line 2 hangs while the lines after it are saved; the stop comes then.
    writeList(8);
    test::StandInFetcher fetcher(3);
    fetcher.answers[address(2)] = {{Ending::Loaded, 0, true}};
    fetcher.answers[address(4)] = {{Ending::HttpError, 404, false}};
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QFileInfo::exists(pageFile(6)))
            m_host->running = false;
    });
    watch.start(1);
    startSideBySide(fetcher, SaveLimits{3});
    watch.stop();
    QCOMPARE(storedSaveCurrent(), 1);
    QVERIFY(fetcher.stopped.contains(address(2)));
    QStringList before;
    for (const PageLogEntry& entry : readPageLog(TaskFolder(taskFolder()).pageLog()))
        before << QString::number(entry.line);
    QVERIFY(before.contains(QStringLiteral("4")) && before.contains(QStringLiteral("6")));

    // The next run fetches line 2 and what the stop left, nothing handled.
    test::StandInFetcher again(3);
    startSideBySide(again, SaveLimits{3});
    QStringList fetched;
    for (const auto& start : again.starts)
        fetched << start.first.section(QLatin1Char('='), 1);
    QCOMPARE(fetched.size(), 8 - before.size());
    QCOMPARE(fetched.first(), QStringLiteral("2"));
    for (const QString& line : fetched)
        QVERIFY2(!before.contains(line), qPrintable(line));
    QCOMPARE(storedSaveCurrent(), 8);

    // A counter set back asks for the pages again: they are all fetched.
    setSaveCurrent(0);
    test::StandInFetcher redo(3);
    startSideBySide(redo, SaveLimits{3});
    QCOMPARE(redo.starts.size(), 8);
    QCOMPARE(storedSaveCurrent(), 8);
}

void TstPageSaver::stopCountsNoCutLoad()
{
    // The stop comes as line 2's load is cut short: it ends without a
    // document, as one whose browser processes the stop's signal ended.
    writeList(4);
    test::StandInFetcher fetcher(1);
    fetcher.answers[address(2)] = {{Ending::NoDocument, 0, false}};
    fetcher.onAnswer = [&](const QString& answered) {
        if (answered == address(2))
            m_host->running = false;
    };
    startSideBySide(fetcher, SaveLimits{1, 0, 5});
    QCOMPARE(storedSaveCurrent(), 1);
    QCOMPARE(logLines(), QStringList{QStringLiteral("1 saved 0")});
    QVERIFY(!QFileInfo::exists(pageFile(2)));
}

void TstPageSaver::hostDelayCountsFromTheRequest()
{
    // The first request leaves late, as a page whose renderer starts first.
    writeList(5);
    test::StandInFetcher fetcher(4);
    fetcher.delayMs = 50;
    fetcher.sentDelays[address(1)] = 40;
    startSideBySide(fetcher, SaveLimits{4, 60});
    QCOMPARE(fetcher.sent.size(), 5);
    for (int i = 1; i < fetcher.sent.size(); ++i)
        QVERIFY2(fetcher.sent[i].second - fetcher.sent[i - 1].second >= 59,
                 qPrintable(QString::number(fetcher.sent[i].second)));
    QCOMPARE(storedSaveCurrent(), 5);
}

void TstPageSaver::contentWaitTakesThePageWhenItIsFilled()
{
    // Line 1 holds its value at once, line 2 gets it 300 ms after its load,
    // line 3 never; line 4, started after line 2, waits when the run is
    // stopped.
    writeList(4);
    test::StandInFetcher fetcher(2);
    fetcher.documentAt = [this](const QString& page, qint64 ms) {
        if (page == address(4) && QFileInfo::exists(pageFile(3)))
            m_host->running = false;
        const bool filled = page == address(1) || (page == address(2) && ms >= 300);
        return filled ? QStringLiteral("<b>99</b>") : QStringLiteral("<b></b>");
    };
    m_host->content = {800, [](const QString& html) { return html.contains(QLatin1String("99")); }};
    startSideBySide(fetcher, SaveLimits{2, 0, 5});
    const QList<PageLogEntry> log = readPageLog(TaskFolder(taskFolder()).pageLog());
    QCOMPARE(logLines(), words("1 saved 0|2 saved 0|3 saved 0", '|'));
    QVERIFY2(log[0].ms < 250, qPrintable(QString::number(log[0].ms)));
    QVERIFY2(log[1].ms >= 300 && log[1].ms < 700, qPrintable(QString::number(log[1].ms)));
    // Taken as it stands at the limit; the stop during line 4's wait keeps it.
    QVERIFY2(log[2].ms >= 800, qPrintable(QString::number(log[2].ms)));
    QCOMPARE(QFile(pageFile(2)).size(), 9);
    QCOMPARE(fetcher.stopped, QStringList{address(4)});
    QCOMPARE(storedSaveCurrent(), 3);

    // No ticked field: taken once the document has been steady for 500 ms.
    setSaveCurrent(0);
    QFile::remove(TaskFolder(taskFolder()).pageLog());
    fetcher.documentAt = [](const QString&, qint64 ms) {
        return QString::number(qMin(ms, 200LL) / 100);
    };
    m_host->content = {3000, nullptr};
    startSideBySide(fetcher, SaveLimits{4, 0, 5});
    for (const PageLogEntry& e : readPageLog(TaskFolder(taskFolder()).pageLog()))
        QVERIFY2(e.ms >= 700 && e.ms < 1200, qPrintable(QString::number(e.ms)));
    QCOMPARE(storedSaveCurrent(), 4);
}

void TstPageSaver::loggedOutTextStopsTheRun()
{
    // Page 3 shows the text; a new login that does not take finds it again.
    writeList(5);
    store::TaskOptions options;
    options.loggedOutText = QStringLiteral("nologin");
    store::writeTaskOptions(*m_conn, 1, options);
    m_browser->redirects[address(3)] = QStringLiteral("http://127.0.0.1/nologin.asp");
    int logins = 0;
    const auto save = [&] { QCOMPARE(start(), Refusal::None); };
    QVERIFY_THROWS_EXCEPTION(LoginLost,
                             runLoggedIn(save, [&](const LoginLost&) { return ++logins; }));
    QCOMPARE(logins, 1);
    QVERIFY(!m_browser->opened.contains(address(4)));
    QCOMPARE(savedFiles(), words("1.Htm 2.Htm"));
    QCOMPARE(storedSaveCurrent(), 2);
    QCOMPARE(logLines(), words("1 saved 0,2 saved 0,3 logged-out 0,3 logged-out 0", ','));

    // The run goes on from the page that found the login gone.
    m_browser->redirects.clear();
    save();
    QCOMPARE(savedFiles().size(), 5);
    QCOMPARE(storedSaveCurrent(), 5);
}

void TstPageSaver::redirectToLoginStopsTheQueue()
{
    // Pages 4 and 5 end at the login address; 6, in flight with them, is saved.
    writeList(8);
    m_task->edit();
    m_task->field(QStringLiteral("LoginAddr")).setValue(QStringLiteral("127.0.0.1/login.asp?a=1"));
    m_task->post();
    test::StandInFetcher fetcher(3);
    for (const int n : {4, 5})
        fetcher.redirects[address(n)] = QStringLiteral("http://127.0.0.1/login.asp?back=%1").arg(n);
    QStringList lost; // the line, the files and SaveCurrent at each login
    runLoggedIn(
        [&] {
            startSideBySide(fetcher, SaveLimits{3, 0, 0, {10, 20}, 200});
        },
        [&](const LoginLost& at) {
            lost << QString::number(at.line()) << savedFiles().join(QLatin1Char(' '))
                 << QString::number(storedSaveCurrent()) << QString::number(fetcher.starts.size());
            fetcher.redirects.clear();
            return true;
        });
    QCOMPARE(lost, words("4,1.Htm 2.Htm 3.Htm 6.Htm,3,6", ','));
    QCOMPARE(fetcher.starts.size(), 10); // 4 5 7 8 after the login, 6 not again
    QCOMPARE(savedFiles().size(), 8);
    QCOMPARE(storedSaveCurrent(), 8);
}

QTEST_GUILESS_MAIN(TstPageSaver)
#include "tst_pagesaver.moc"
