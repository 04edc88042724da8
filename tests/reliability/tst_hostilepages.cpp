// Pages that would sink a harvesting run: a list page of 100,000 links, a
// 50 MB page, a page that never finishes loading, a script that never ends, a
// redirect loop. A run completes or stops on a click, the window keeps
// handling events, and the memory of the program and its browser processes
// stays bounded. Figures are printed.
#include "harvest/browserprofile.h"
#include "platform/codepage.h"
#include "support/httpserver.h"
#include "support/taskwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <httplib.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <utility>

using namespace pagrim;
using test::child;

namespace {

constexpr int Watchdog = 60000;
constexpr int ManyLinks = 100000;
constexpr qint64 BigPage = 50LL * 1024 * 1024;
// Far above what the runs need (a few hundred MB), far below what a run
// holding several copies of every page it met would take.
constexpr qint64 MemoryCeilingKb = 3LL * 1024 * 1024;

// The resident memory in kB of this process and every process below it (the
// browser's).
qint64 residentKb()
{
    std::map<int, int> parents;
    std::map<int, qint64> resident;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        bool ok = false;
        const int p = pid.toInt(&ok);
        if (!ok)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(p));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:"))
                parents[p] = line.mid(5).trimmed().toInt();
            else if (line.startsWith("VmRSS:"))
                resident[p] = line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    qint64 sum = 0;
    for (const auto& [p, kb] : resident) {
        for (int up = p; up > 1; up = parents.count(up) ? parents[up] : 0) {
            if (up == int(::getpid())) {
                sum += kb;
                break;
            }
        }
    }
    return sum;
}

// Samples during a run: the longest time between two ticks of a 20 ms timer
// and the most memory seen.
class RunWatch
{
public:
    RunWatch()
    {
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            ++ticks;
            longestGapMs = qMax(longestGapMs, m_sinceTick.restart());
        });
        QObject::connect(&m_sample, &QTimer::timeout,
                         [this] { peakKb = qMax(peakKb, residentKb()); });
        m_sinceTick.start();
        m_tick.start(20);
        m_sample.start(100);
        peakKb = residentKb();
    }
    int ticks = 0;
    qint64 longestGapMs = 0;
    qint64 peakKb = 0;

private:
    QTimer m_tick;
    QTimer m_sample;
    QElapsedTimer m_sinceTick;
};

} // namespace

class TstHostilePages : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void hostilePage_data();
    void hostilePage();

private:
    QTemporaryDir m_profileDir;
    std::unique_ptr<test::HttpServer> m_server;
    std::atomic<bool> m_serverStopping{false};
    std::unique_ptr<test::TaskWindow> m_w;
};

void TstHostilePages::initTestCase()
{
    QVERIFY(m_profileDir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    m_server = std::make_unique<test::HttpServer>();
    m_server->setPage(QStringLiteral("/a.htm"), "<html><body><p>page a</p></body></html>");
    m_server->setPage(QStringLiteral("/b.htm"), "<html><body><p>page b</p></body></html>");

    QByteArray links = "<html><body>";
    for (int i = 0; i < ManyLinks; ++i)
        links +=
            "<a href=\"/c/" + QByteArray::number(i) + ".htm\">" + QByteArray::number(i) + "</a>\n";
    m_server->setPage(QStringLiteral("/links.htm"), links + "</body></html>");

    QByteArray big = "<html><body>";
    const QByteArray paragraph = "<p>" + QByteArray(1000, 'w') + "</p>\n";
    while (big.size() < BigPage)
        big += paragraph;
    m_server->setPage(QStringLiteral("/big.htm"), big + "</body></html>");

    // The start of a document, then nothing more until the server stops.
    m_server->setHandler(
        QStringLiteral("/endless.htm"), [this](const httplib::Request&, httplib::Response& rs) {
            rs.set_chunked_content_provider(
                "text/html", [this, sent = false](size_t, httplib::DataSink& sink) mutable {
                    if (!std::exchange(sent, true)) {
                        const std::string start = "<html><body><p>begun</p>";
                        return sink.write(start.data(), start.size());
                    }
                    m_serverStopping.wait(false);
                    sink.done();
                    return false;
                });
        });
    m_server->setPage(QStringLiteral("/loop.htm"),
                      "<html><body><p>looping</p><script>const r = new XMLHttpRequest();"
                      "r.open('GET', '/looping', false); r.send(); for (;;) {}</script>"
                      "</body></html>");
    for (const auto& [from, to] : {std::pair{"/r1.htm", "/r2.htm"}, {"/r2.htm", "/r1.htm"}}) {
        const std::string target = to;
        m_server->setHandler(
            QLatin1String(from),
            [target](const httplib::Request&, httplib::Response& rs) { rs.set_redirect(target); });
    }
}

void TstHostilePages::cleanupTestCase()
{
    m_serverStopping = true;
    m_serverStopping.notify_all();
}

void TstHostilePages::init()
{
    m_w = std::make_unique<test::TaskWindow>();
}

void TstHostilePages::cleanup()
{
    m_w.reset();
}

void TstHostilePages::hostilePage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("stop"); // a click stops the run on it; else it completes
    QTest::newRow("list page of 100,000 links") << "/links.htm" << false;
    QTest::newRow("50 MB page") << "/big.htm" << false;
    QTest::newRow("page that never finishes loading") << "/endless.htm" << true;
    QTest::newRow("script that loops forever") << "/loop.htm" << true;
    QTest::newRow("redirect loop") << "/r1.htm" << false;
}

void TstHostilePages::hostilePage()
{
    QFETCH(QString, path);
    QFETCH(bool, stop);
    const bool list = path == QLatin1String("/links.htm");
    if (list) {
        // The first list page alone: the next page's number gives it again.
        test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task,
                      {{QStringLiteral("WebType"), 0},
                       {QStringLiteral("ResAddr"), m_server->address(QStringLiteral("/c/*"))},
                       {QStringLiteral("ResLstAddr"), m_server->address(path)},
                       {QStringLiteral("NextPageAddr"), m_server->address(path)},
                       {QStringLiteral("ResEnd"), 1}});
    } else {
        test::addTask(m_w->world.storePath(), 1, test::TaskWindow::Task);
        QByteArray bytes;
        for (const QString& p : {QStringLiteral("/a.htm"), path, QStringLiteral("/b.htm")})
            bytes += m_server->address(p).toLatin1() + "\r\n";
        QVERIFY(QDir().mkpath(m_w->taskFolder()));
        test::put(m_w->taskFolder() + QStringLiteral("/ResHtmls.lst"),
                  bytes + codepage::fromUnicode(QStringLiteral("有效列表条数：3")) + "\r\n");
    }
    m_w->open();
    const char* button = list ? "btnCreateLst" : "btnSaveHtml";
    auto* b = child<QPushButton>(m_w->frm.get(), button);
    if (stop) {
        // The user stops the run once the browser is stuck on the page: its
        // document begun, or its script in its loop (it asks for /looping first).
        const QString stuck =
            path == QLatin1String("/loop.htm") ? QStringLiteral("/looping") : path;
        const int hits = m_server->hits(stuck);
        test::when(
            m_w->frm.get(), [this, stuck, hits] { return m_server->hits(stuck) > hits; },
            [b] { QTest::mouseClick(b, Qt::LeftButton); });
    }
    QElapsedTimer timer;
    timer.start();
    RunWatch watch;
    const bool ended = m_w->click(button, Watchdog);
    const qint64 runMs = timer.elapsed();
    const qint64 peakKb = watch.peakKb;
    qInfo("%s: run %lld ms, %d ticks of 20 ms, longest gap %lld ms, peak memory %lld MB",
          qPrintable(path), runMs, watch.ticks, watch.longestGapMs, peakKb / 1024);
    QVERIFY(ended);
    QCOMPARE(b->text(), list ? QStringLiteral("生成列表") : QStringLiteral("保存网页"));
    // The window went on handling events during the run.
    QVERIFY(watch.ticks > 0);
    QVERIFY2(peakKb < MemoryCeilingKb, qPrintable(QString::number(peakKb)));

    if (list) {
        const QByteArray file = test::contents(m_w->taskFolder() + QStringLiteral("/ResHtmls.lst"));
        QCOMPARE(file.count("\r\n"), ManyLinks + 1);
        QVERIFY(file.startsWith(m_server->address(QStringLiteral("/c/0.htm")).toLatin1()));
        QCOMPARE(m_w->boxes.count(), 0);
        return;
    }
    if (stop) {
        // Stopped on the page: it is neither saved nor counted.
        QCOMPARE(m_w->stored("SaveCurrent"), 1);
        QVERIFY(!QFileInfo::exists(m_w->pageFile(2)));
        // The browser serves the next page of a run that skips it.
        m_w->tasks->edit();
        m_w->tasks->field(QStringLiteral("SaveCurrent")).setValue(2);
        m_w->tasks->post();
        QVERIFY(m_w->click(button, Watchdog));
    } else {
        QVERIFY(QFileInfo(m_w->pageFile(2)).size() > 0);
        if (path == QLatin1String("/big.htm"))
            QVERIFY(QFileInfo(m_w->pageFile(2)).size() >= BigPage);
    }
    QCOMPARE(m_w->stored("SaveCurrent"), 3);
    QVERIFY(test::contents(m_w->pageFile(3)).contains("page b"));
    QCOMPARE(m_w->boxes.count(), 0);
}

QTEST_MAIN(TstHostilePages)
#include "tst_hostilepages.moc"
