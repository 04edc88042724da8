// The browser pool against a web server of the test's own on 127.0.0.1.
#include "harvest/browserpool.h"
#include "harvest/browserprofile.h"
#include "harvest/directengine.h"
#include "platform/codepage.h"
#include "support/httpserver.h"
#include "support/testsupport.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <httplib.h>
#include <memory>

using namespace pagrim;
using harvest::PageLoad;

Q_DECLARE_METATYPE(PageLoad::Ending)

namespace {

constexpr int Timeout = 20000;

// The loads a slot has ended with, in order.
struct Ends
{
    QList<PageLoad> loads;
    harvest::PageFetcher::Done done()
    {
        return [this](const PageLoad& load) { loads.append(load); };
    }
};

} // namespace

class TstBrowserPool : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init() { m_pool = std::make_unique<harvest::BrowserPool>(3); }
    void cleanup() { m_pool.reset(); }

    void pagesLoadSideBySide();
    void ending_data();
    void ending();
    void stopEndsAPageThatNeverAnswers();
    void directFetchesShareTheProfilesCookies();

private:
    test::MessageRecorder m_boxes;
    QTemporaryDir m_profileDir;
    std::unique_ptr<test::HttpServer> m_server;
    std::unique_ptr<harvest::BrowserPool> m_pool;
};

void TstBrowserPool::initTestCase()
{
    QVERIFY(m_profileDir.isValid());
    harvest::setBrowserProfileFolderForTesting(m_profileDir.path());
    m_server = std::make_unique<test::HttpServer>();
    for (const char* status : {"200", "404", "500", "503", "429"})
        m_server->setPage(QStringLiteral("/%1.htm").arg(QLatin1String(status)),
                          QByteArray("<html><body><p>status ") + status + "</p></body></html>",
                          "text/html; charset=utf-8", QByteArray(status).toInt());
    m_server->setHandler(QStringLiteral("/report.zip"),
                         [](const httplib::Request&, httplib::Response& rs) {
                             rs.set_header("Content-Disposition", "attachment; filename=\"r.zip\"");
                             rs.set_content("PK", "application/zip");
                         });
}

void TstBrowserPool::pagesLoadSideBySide()
{
    // Held until every slot has asked: the three are in flight together, and
    // each has told that its request left while its answer is held.
    Ends ends[3];
    int sent[3] = {};
    for (int slot = 0; slot < 3; ++slot) {
        const QString path = QStringLiteral("/held%1.htm").arg(slot);
        m_server->setHeldPage(path, "<html><body><p>第" + QByteArray::number(slot) +
                                        "页</p></body></html>");
        m_pool->start(slot, m_server->address(path), ends[slot].done(),
                      [&, slot] { ++sent[slot]; });
    }
    for (int slot = 0; slot < 3; ++slot) {
        QTRY_COMPARE_WITH_TIMEOUT(m_server->hits(QStringLiteral("/held%1.htm").arg(slot)), 1,
                                  Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(sent[slot], 1, Timeout);
    }
    for (int slot = 0; slot < 3; ++slot)
        m_server->release(QStringLiteral("/held%1.htm").arg(slot));
    for (int slot = 0; slot < 3; ++slot) {
        QTRY_COMPARE_WITH_TIMEOUT(ends[slot].loads.size(), 1, Timeout);
        const PageLoad& load = ends[slot].loads.first();
        QCOMPARE(load.ending, PageLoad::Ending::Loaded);
        QVERIFY(load.document.contains(codepage::fromUnicode(QStringLiteral("第%1页").arg(slot))));
    }
}

void TstBrowserPool::ending_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<PageLoad::Ending>("ending");
    QTest::addColumn<int>("status");
    // "@": on the test's server; "#": on a port nobody listens on.
    QTest::newRow("200") << QStringLiteral("@/200.htm") << PageLoad::Ending::Loaded << 200;
    QTest::newRow("404 with a body")
        << QStringLiteral("@/404.htm") << PageLoad::Ending::HttpError << 404;
    QTest::newRow("500") << QStringLiteral("@/500.htm") << PageLoad::Ending::HttpError << 500;
    QTest::newRow("503") << QStringLiteral("@/503.htm") << PageLoad::Ending::HttpError << 503;
    QTest::newRow("429") << QStringLiteral("@/429.htm") << PageLoad::Ending::HttpError << 429;
    QTest::newRow("refused port") << QStringLiteral("#/a.htm") << PageLoad::Ending::Unreachable
                                  << 0;
    QTest::newRow("malformed") << QStringLiteral("http://[::1/x.htm") << PageLoad::Ending::Refused
                               << 0;
    QTest::newRow("unknown scheme")
        << QStringLiteral("nosuchscheme:page") << PageLoad::Ending::Refused << 0;
    QTest::newRow("download") << QStringLiteral("@/report.zip") << PageLoad::Ending::Refused << 0;
}

void TstBrowserPool::ending()
{
    QFETCH(QString, address);
    QFETCH(PageLoad::Ending, ending);
    QFETCH(int, status);
    if (address.startsWith(QLatin1Char('@')))
        address = m_server->address(address.mid(1));
    if (address.startsWith(QLatin1Char('#'))) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        address =
            QStringLiteral("http://127.0.0.1:%1%2").arg(closed.serverPort()).arg(address.mid(1));
    }
    Ends ends;
    m_pool->start(1, address, ends.done(), {});
    QVERIFY(ends.loads.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(ends.loads.size(), 1, Timeout);
    QCOMPARE(ends.loads.first().ending, ending);
    QCOMPARE(ends.loads.first().status, status);
    QCOMPARE(ends.loads.first().document.isEmpty(), ending != PageLoad::Ending::Loaded);
}

void TstBrowserPool::stopEndsAPageThatNeverAnswers()
{
    m_server->setHeldPage(QStringLiteral("/never.htm"), "<html></html>");
    Ends stopped;
    m_pool->start(0, m_server->address(QStringLiteral("/never.htm")), stopped.done(), {});
    QTRY_COMPARE_WITH_TIMEOUT(m_server->hits(QStringLiteral("/never.htm")), 1, Timeout);
    m_pool->stop(0);
    // The slot's next page loads, and only its done comes.
    Ends next;
    m_pool->start(0, m_server->address(QStringLiteral("/200.htm")), next.done(), {});
    QTRY_COMPARE_WITH_TIMEOUT(next.loads.size(), 1, Timeout);
    QCOMPARE(next.loads.first().ending, PageLoad::Ending::Loaded);
    QVERIFY(stopped.loads.isEmpty());

    // Another fragment of the page the slot shows loads too.
    Ends fragments;
    m_pool->start(0, m_server->address(QStringLiteral("/200.htm#one")), fragments.done(), {});
    QTRY_COMPARE_WITH_TIMEOUT(fragments.loads.size(), 1, Timeout);
    m_pool->start(0, m_server->address(QStringLiteral("/200.htm#two")), fragments.done(), {});
    QTRY_COMPARE_WITH_TIMEOUT(fragments.loads.size(), 2, Timeout);
    QCOMPARE(fragments.loads.last().ending, PageLoad::Ending::Loaded);
}

void TstBrowserPool::directFetchesShareTheProfilesCookies()
{
    // A cookie the browser got (as from a login) goes with a direct fetch, and
    // one a direct fetch got comes back to the browser.
    Ends login;
    m_pool->start(0, m_server->address(QStringLiteral("/setcookie?name=login&value=browser")),
                  login.done(), {});
    QTRY_COMPARE_WITH_TIMEOUT(login.loads.size(), 1, Timeout);
    const auto fetched = [this](const QString& path) {
        harvest::DirectFetcher direct(1, &harvest::profileCookies(), harvest::profileUserAgent());
        Ends ends;
        direct.start(0, m_server->address(path), ends.done(), {});
        [&] { QTRY_COMPARE_WITH_TIMEOUT(ends.loads.size(), 1, Timeout); }();
        return ends.loads.value(0).document;
    };
    QTRY_VERIFY_WITH_TIMEOUT(fetched(QStringLiteral("/echocookie")).contains("login=browser"),
                             Timeout);
    fetched(QStringLiteral("/setcookie?name=refreshed&value=direct"));
    Ends echoed;
    m_pool->start(1, m_server->address(QStringLiteral("/echocookie")), echoed.done(), {});
    QTRY_COMPARE_WITH_TIMEOUT(echoed.loads.size(), 1, Timeout);
    QVERIFY2(echoed.loads.first().document.contains("refreshed=direct"),
             echoed.loads.first().document.constData());
}

QTEST_MAIN(TstBrowserPool)
#include "tst_browserpool.moc"
