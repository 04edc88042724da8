// Runs killed at random moments and resumed until they end: the list
// generation, its update and the page saving with the real browser in a child
// process, and the extraction run. After every kill the files are whole and the
// counters of the store never run ahead of them; at the end the results equal
// those of a run that was never killed. A kill can leave the temporary file of
// a replacement beside its file; those are listed. The seed is printed;
// PAGRIM_KILL_SEED repeats a sequence.
#include "extract/core/extraction.h"
#include "harvest/core/pagelist.h"
#include "platform/codepage.h"
#include "platform/filewrite.h"
#include "platform/taskfolder.h"
#include "platform/text.h"
#include "support/coresupport.h"
#include "support/httpserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <csignal>
#include <httplib.h>
#include <map>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace pagrim;

namespace {

constexpr int MinKills = 20;
constexpr int ListPages = 40;
constexpr int NewLinksPerPage = 6;
constexpr int SavedPages = 60;
constexpr int ExtractPages = 1500;
// Every wait on a child has its own limit.
constexpr int StartLimitMs = 60000;
constexpr int RunLimitMs = 120000;
const QString TaskName = QStringLiteral("站点");

// A child run of pagrim-harvestchild in a process group of its own, so that a
// kill takes its browser processes too.
class Child
{
public:
    Child(const QString& kind, const test::TempWorld& world)
    {
        m_process.setProgram(test::builtProgram(QStringLiteral("pagrim-harvestchild")));
        m_process.setArguments(
            {kind, world.storePath(), world.workPath(), world.file(QStringLiteral("profile"))});
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
        // One time of making for every workbook: the same results, the same bytes.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SOURCE_DATE_EPOCH"), QStringLiteral("1700000000"));
        m_process.setProcessEnvironment(env);
        m_process.start();
    }
    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            kill();
        }
    }
    bool started() { return m_process.waitForStarted(StartLimitMs); }
    // Waits for a line of the child's output; false when it ended or the time
    // was up first.
    bool waitForLine(const QByteArray& line, int limitMs)
    {
        const QDeadlineTimer deadline(limitMs);
        while (!m_out.contains(line + '\n')) {
            if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            m_out += m_process.readAllStandardOutput();
        }
        return true;
    }
    // Waits up to ms for the child's end; true when it has ended.
    bool waitForEnd(int ms)
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
    }
    void kill()
    {
        ::kill(-pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(RunLimitMs);
    }
    bool succeeded() const
    {
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    QByteArray errors() { return m_process.readAllStandardError(); }

private:
    QProcess m_process;
    QByteArray m_out;
};

QString pageAddress(const test::HttpServer& server, int list, int k)
{
    return server.address(QStringLiteral("/page/%1_%2.htm").arg(list).arg(k));
}

// The files below folder, by path relative to it.
std::map<QString, QByteArray> filesBelow(const QString& folder)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // The page log grows with every run, pages fetched again included.
        if (it.fileName() != QLatin1String("ResHtmls.log"))
            files[QDir(folder).relativeFilePath(path)] = test::contents(path);
    }
    return files;
}

bool makesList(const QString& kind)
{
    return kind == QLatin1String("list") || kind == QLatin1String("update");
}

int storedNumber(const test::TempWorld& world, const char* column)
{
    return test::rowsOf(
               world.storePath(),
               QStringLiteral("select %1 from Tasks where TaskID = 1").arg(QLatin1String(column)))
        .value(0)
        .value(0)
        .toInt();
}

} // namespace

class TstKilledRuns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void harvestRuns_data();
    void harvestRuns();
    void extractionRun();

private:
    // A world with the task of the kind: a list page task over the list pages,
    // or a task with a page list of content pages to save.
    std::unique_ptr<test::TempWorld> harvestWorld(const QString& kind);
    QString taskFolder(const test::TempWorld& world) const { return world.workPath() + TaskName; }
    // A run that is not killed; its time from "ready" to its end in ms, and
    // for the extraction the time of its writing in writeMs.
    qint64 runWhole(const QString& kind, const test::TempWorld& world, qint64* writeMs = nullptr);
    // After a kill: what stands in the task folder is whole, and the counter
    // does not run ahead of it.
    void checkHarvestState(const QString& kind, const test::TempWorld& world,
                           const std::map<QString, QByteArray>& reference);

    std::unique_ptr<test::HttpServer> m_server;
    // A temporary file of a replacement: the name of a file of reference and
    // six more characters. A kill between its making and its renaming leaves
    // it; it is counted and reported.
    bool isTemporary(const QString& name, const std::map<QString, QByteArray>& reference)
    {
        static const QRegularExpression temporary(
            QStringLiteral("^(.*/)?\\.\\.?(.+?)(?:\\.pagrim-new)?\\.pagrim-[A-Za-z0-9]{6}$"));
        const QRegularExpressionMatch m = temporary.match(name);
        if (!m.hasMatch() || !reference.count(m.captured(1) + m.captured(2)))
            return false;
        m_temporaries << name;
        return true;
    }

    quint32 m_seed = 0;
    QStringList m_temporaries;
    QByteArray m_pageList;          // the list of the page saving task
    std::atomic<int> m_requests{0}; // of list and content pages
};

void TstKilledRuns::initTestCase()
{
    QVERIFY2(!test::builtProgram(QStringLiteral("pagrim-harvestchild")).isEmpty(),
             "pagrim-harvestchild is not built");
    m_seed = qEnvironmentVariableIsSet("PAGRIM_KILL_SEED")
                 ? quint32(qEnvironmentVariableIntValue("PAGRIM_KILL_SEED"))
                 : QRandomGenerator::global()->generate();
    qInfo("kill seed %u (set PAGRIM_KILL_SEED to repeat it)", m_seed);

    m_server = std::make_unique<test::HttpServer>();
    const auto slowPage = [this](std::string body, int delayMs) {
        return [this, body, delayMs](const httplib::Request&, httplib::Response& rs) {
            ++m_requests;
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            rs.set_content(body, "text/html; charset=utf-8");
        };
    };
    // List page n: its new links, one that an earlier page had (in capitals),
    // and one that is not a content page.
    for (int n = 1; n <= ListPages; ++n) {
        QByteArray body = "<html><body><h1>list " + QByteArray::number(n) + "</h1>";
        for (int k = 1; k <= NewLinksPerPage; ++k)
            body += "<a href=\"/page/" + QByteArray::number(n) + "_" + QByteArray::number(k) +
                    ".htm\">page</a>";
        body += "<a href=\"/PAGE/" + QByteArray::number(qMax(1, n - 1)) + "_1.htm\">again</a>";
        body += "<a href=\"/other.htm\">other</a></body></html>";
        m_server->setHandler(QStringLiteral("/list_%1.htm").arg(n),
                             slowPage(body.toStdString(), 40));
    }
    QByteArray list;
    for (int i = 0; i < SavedPages; ++i) {
        const int n = i / NewLinksPerPage + 1, k = i % NewLinksPerPage + 1;
        const QByteArray body = "<html><head><title>" + QByteArray::number(i) +
                                "</title></head><body><p>page " + QByteArray::number(n) + "_" +
                                QByteArray::number(k) + "</p><p>" + QByteArray(2000, 'x') +
                                "</p></body></html>";
        m_server->setHandler(QStringLiteral("/page/%1_%2.htm").arg(n).arg(k),
                             slowPage(body.toStdString(), 25));
        list += pageAddress(*m_server, n, k).toLatin1() + "\r\n";
    }
    m_pageList = list + codepage::fromUnicode(harvest::summaryLine(SavedPages)) + "\r\n";
}

std::unique_ptr<test::TempWorld> TstKilledRuns::harvestWorld(const QString& kind)
{
    auto world = std::make_unique<test::TempWorld>();
    if (!QDir().mkpath(taskFolder(*world)))
        qFatal("no task folder");
    if (makesList(kind)) {
        const bool update = kind == QLatin1String("update");
        test::addTask(
            world->storePath(), 1, TaskName,
            {{QStringLiteral("WebType"), 0},
             {QStringLiteral("ResAddr"), m_server->address(QStringLiteral("/page/*"))},
             {QStringLiteral("ResLstAddr"), m_server->address(QStringLiteral("/list_1.htm"))},
             {QStringLiteral("NextPageAddr"), m_server->address(QStringLiteral("/list_*.htm"))},
             {QStringLiteral("ResStart"), 1},
             {QStringLiteral("ResEnd"), ListPages},
             {QStringLiteral("ResCurrent"), update ? ListPages : 0}});
        QStringList older; // the site's older half: the update adds the newer one
        for (int n = ListPages / 2 + 1; update && n <= ListPages; ++n)
            for (int k = 1; k <= NewLinksPerPage; ++k)
                older << pageAddress(*m_server, n, k);
        if (update)
            test::put(taskFolder(*world) + QStringLiteral("/ResHtmls.lst"),
                      test::crlfLines(older << harvest::summaryLine(int(older.size()), 0)));
    } else {
        test::addTask(world->storePath(), 1, TaskName);
        test::put(taskFolder(*world) + QStringLiteral("/ResHtmls.lst"), m_pageList);
    }
    return world;
}

qint64 TstKilledRuns::runWhole(const QString& kind, const test::TempWorld& world, qint64* writeMs)
{
    Child child(kind, world);
    if (!child.started() || !child.waitForLine("ready", StartLimitMs))
        return -1;
    QElapsedTimer timer;
    timer.start();
    if (writeMs) {
        if (!child.waitForLine("writing", RunLimitMs))
            return -1;
        *writeMs = timer.elapsed();
    }
    if (!child.waitForEnd(RunLimitMs) || !child.succeeded()) {
        qWarning("%s", child.errors().constData());
        return -1;
    }
    if (writeMs)
        *writeMs = timer.elapsed() - *writeMs;
    return timer.elapsed();
}

void TstKilledRuns::checkHarvestState(const QString& kind, const test::TempWorld& world,
                                      const std::map<QString, QByteArray>& reference)
{
    QCOMPARE(test::rowsOf(world.storePath(), QStringLiteral("pragma integrity_check"))
                 .value(0)
                 .value(0)
                 .toString(),
             QStringLiteral("ok"));
    const std::map<QString, QByteArray> files = filesBelow(taskFolder(world));
    if (!makesList(kind)) {
        const int saved = storedNumber(world, "SaveCurrent");
        QVERIFY(saved >= 0 && saved <= SavedPages);
        for (const auto& [name, bytes] : files) {
            // Every file stands under a name the reference run made, whole,
            // or is a temporary file left beside one.
            if (isTemporary(name, reference))
                continue;
            QVERIFY2(reference.count(name), qPrintable(name));
            QVERIFY2(bytes == reference.at(name), qPrintable(name));
        }
        for (int n = 1; n <= saved; ++n)
            QVERIFY2(files.count(QStringLiteral("HTML/%1.Htm").arg(n)),
                     qPrintable(QString::number(n)));
        return;
    }
    const int current = storedNumber(world, "ResCurrent");
    for (const auto& [name, bytes] : files)
        QVERIFY2(name == QLatin1String("ResHtmls.lst") || name == QLatin1String("ResHtmls.pos") ||
                     isTemporary(name, reference),
                 qPrintable(name));
    if (!files.count(QStringLiteral("ResHtmls.lst"))) {
        QCOMPARE(current, 0);
        return;
    }
    const QByteArray text = files.at(QStringLiteral("ResHtmls.lst"));
    QVERIFY(text.endsWith("\r\n"));
    QList<QByteArray> lines = text.chopped(1).split('\n');
    for (QByteArray& line : lines) {
        QVERIFY(line.endsWith('\r'));
        line.chop(1);
    }
    const QString summary = codepage::toUnicode(lines.takeLast());
    QVERIFY2(summary.startsWith(harvest::summaryLine(int(lines.size())) + QLatin1Char(' ')),
             qPrintable(summary));
    // The addresses so far are the first ones of the whole list, and every page
    // up to the counter has given its links.
    const QList<QByteArray> whole = reference.at(QStringLiteral("ResHtmls.lst")).split('\n');
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines.at(i) + '\r', whole.at(i));
    QVERIFY2(lines.size() >= (kind == QLatin1String("update") ? ListPages / 2 : current) *
                                 qsizetype(NewLinksPerPage),
             qPrintable(QStringLiteral("%1 addresses at page %2").arg(lines.size()).arg(current)));
}

void TstKilledRuns::cleanupTestCase()
{
    m_temporaries.removeDuplicates();
    qInfo("temporary files left by kills: %s", qPrintable(m_temporaries.join(QLatin1Char(' '))));
}

void TstKilledRuns::harvestRuns_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("list generation") << QStringLiteral("list");
    QTest::newRow("list update") << QStringLiteral("update");
    QTest::newRow("page saving") << QStringLiteral("save");
    QTest::newRow("page saving, four at once") << QStringLiteral("parallel");
}

void TstKilledRuns::harvestRuns()
{
    QFETCH(QString, kind);
    std::map<QString, QByteArray> reference;
    qint64 wholeMs = 0;
    {
        const auto world = harvestWorld(kind);
        wholeMs = runWhole(kind, *world);
        QVERIFY(wholeMs >= 0);
        reference = filesBelow(taskFolder(*world));
    }
    // The list and its mark, or the saved pages and the list they came from.
    QCOMPARE(qsizetype(reference.size()), qsizetype(makesList(kind) ? 2 : SavedPages + 1));

    // A kill lands while the program starts, or at a random moment after the
    // run has asked for its first page (within about two pages, or for an
    // update, which reads from the first page again, half a run), so that
    // twenty of them leave work for the last run.
    QRandomGenerator random(m_seed ^ qHash(kind));
    const int window = kind == QLatin1String("update") ? int(wholeMs / 2)
                       : makesList(kind)               ? 150
                                                       : 90;
    const auto world = harvestWorld(kind);
    int kills = 0, runs = 0;
    QStringList counters; // after every kill
    for (;; ++runs) {
        QVERIFY2(runs < 10 * MinKills, "the runs do not come to an end");
        const int requests = m_requests;
        Child child(kind, *world);
        QVERIFY(child.started());
        if (kills >= MinKills) {
            QVERIFY(child.waitForEnd(RunLimitMs));
            QVERIFY2(child.succeeded(), child.errors().constData());
            break;
        }
        int delay = 0;
        if (random.bounded(5) == 0) {
            delay = int(random.bounded(400));
        } else {
            const QDeadlineTimer deadline(StartLimitMs);
            while (m_requests == requests && !deadline.hasExpired())
                QVERIFY2(!child.waitForEnd(5), child.errors().constData());
            QVERIFY(m_requests > requests);
            delay = int(random.bounded(window));
        }
        if (child.waitForEnd(delay)) { // pages side by side may save the rest meanwhile
            QVERIFY2(!makesList(kind) && child.succeeded(), "a run ended before it was killed");
            break;
        }
        child.kill();
        ++kills;
        checkHarvestState(kind, *world, reference);
        counters << QString::number(
            storedNumber(*world, makesList(kind) ? "ResCurrent" : "SaveCurrent"));
        if (QTest::currentTestFailed()) {
            qInfo("after kill %d (%d ms)", kills, delay);
            return;
        }
        if (!makesList(kind) && counters.last().toInt() == SavedPages)
            break; // pages side by side all saved before the twentieth kill
    }
    checkHarvestState(kind, *world, reference);
    const std::map<QString, QByteArray> final = filesBelow(taskFolder(*world));
    qInfo("%s: %d kills in %d runs, an unkilled run takes %lld ms; the counter after each kill: "
          "%s",
          qPrintable(kind), kills, runs + 1, wholeMs, qPrintable(counters.join(QLatin1Char(' '))));
    QVERIFY(final == reference);
    QCOMPARE(storedNumber(*world, makesList(kind) ? "ResCurrent" : "SaveCurrent"),
             makesList(kind) ? ListPages : SavedPages);
}

void TstKilledRuns::extractionRun()
{
    const auto world = std::make_unique<test::TempWorld>();
    test::addTask(world->storePath(), 1, TaskName);
    test::execOn(world->storePath(),
                 QStringLiteral("insert into Descs (DescID, TaskID, DescName, DescNeed, DescStart, "
                                "DescEnd) values (1, 1, 'T', 1, '<t>', '</t>'), "
                                "(2, 1, 'B', 1, '<b>', '</b>')"));
    const QString pages = taskFolder(*world) + QStringLiteral("/HTML/");
    QVERIFY(QDir().mkpath(pages));
    const auto writePages = [&](const QByteArray& mark) {
        for (int n = 1; n <= ExtractPages; ++n)
            test::put(pages + QStringLiteral("%1.Htm").arg(n),
                      "<t>" + mark + QByteArray::number(n) + "</t><b>" + QByteArray(4000, 'b') +
                          "</b>");
    };
    const QString txt = taskFolder(*world) + QStringLiteral("/Infos.txt");
    const QString xls = taskFolder(*world) + QStringLiteral("/Infos.xls");
    const QString book = taskFolder(*world) + QStringLiteral("/Infos.xlsx");

    // The results of the pages before and after they change.
    writePages("old");
    QVERIFY(runWhole(QStringLiteral("extract"), *world) >= 0);
    const QByteArray oldTxt = test::contents(txt), oldXls = test::contents(xls),
                     oldBook = test::contents(book);
    writePages("new");
    qint64 writeMs = 0;
    const qint64 wholeMs = runWhole(QStringLiteral("extract"), *world, &writeMs);
    QVERIFY(wholeMs >= 0);
    const QByteArray newTxt = test::contents(txt), newXls = test::contents(xls),
                     newBook = test::contents(book);
    QVERIFY(newTxt != oldTxt && newXls != oldXls && newTxt != newXls && newBook != oldBook);
    QCOMPARE(newTxt.count("\r\n"), ExtractPages + 1);

    QRandomGenerator random(m_seed ^ 0x5eed);
    int kills = 0, replaced = 0, staged = 0, mixed = 0;
    for (int runs = 0; kills < MinKills; ++runs) {
        QVERIFY2(runs < 10 * MinKills, "the runs end before they are killed");
        test::put(txt, oldTxt);
        test::put(xls, oldXls);
        test::put(book, oldBook);
        Child child(QStringLiteral("extract"), *world);
        QVERIFY(child.started());
        // Half of the kills while the pages are read, half while the files are
        // written.
        const bool atWrite = random.bounded(2) == 0;
        QVERIFY2(child.waitForLine(atWrite ? "writing" : "ready", StartLimitMs),
                 child.errors().constData());
        const int delay = int(random.bounded(int(qMax<qint64>(5, atWrite ? writeMs : wholeMs))));
        if (child.waitForEnd(delay))
            continue;
        child.kill();
        ++kills;
        // What the program does first when it next opens the task or writes
        // its results.
        staged += QFileInfo::exists(stagedPath(book));
        extract::FinishResultFiles(TaskFolder(taskFolder(*world)));
        const QByteArray t = test::contents(txt), x = test::contents(xls), b = test::contents(book);
        QVERIFY2(t == oldTxt || t == newTxt, "Infos.txt is torn");
        QVERIFY2(x == oldXls || x == newXls, "Infos.xls is torn");
        QVERIFY2(b == oldBook || b == newBook, "Infos.xlsx is torn");
        replaced += t == newTxt;
        mixed += (t == newTxt) != (x == newXls) || (t == newTxt) != (b == newBook);
        const std::map<QString, QByteArray> results{{QStringLiteral("Infos.txt"), {}},
                                                    {QStringLiteral("Infos.xls"), {}},
                                                    {QStringLiteral("Infos.xlsx"), {}}};
        for (const auto& [name, bytes] : filesBelow(taskFolder(*world)))
            QVERIFY2(name.startsWith(QLatin1String("HTML/")) || results.count(name) ||
                         isTemporary(name, results),
                     qPrintable(name));
    }
    qInfo("extraction: %d kills, %d of them leaving the new files (%d of those staged and "
          "finished afterwards); an unkilled run takes %lld ms, %lld of them writing",
          kills, replaced, staged, wholeMs, writeMs);
    QCOMPARE(mixed, 0);
    QVERIFY(runWhole(QStringLiteral("extract"), *world) >= 0);
    QCOMPARE(test::contents(txt), newTxt);
    QCOMPARE(test::contents(xls), newXls);
    QCOMPARE(test::contents(book), newBook);
}

QTEST_MAIN(TstKilledRuns)
#include "tst_killedruns.moc"
