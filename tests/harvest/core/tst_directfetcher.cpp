// The direct fetcher against a web server of the test's own on 127.0.0.1:
// how answers end, their text, redirects, and cookies in and out of a jar.
#include "harvest/core/directfetcher.h"
#include "platform/codepage.h"
#include "support/httpserver.h"

#include <QtTest>
#include <httplib.h>

using namespace pagrim;
using harvest::PageLoad;
using Ending = PageLoad::Ending;

Q_DECLARE_METATYPE(PageLoad::Ending)

namespace {

constexpr int Timeout = 10000;

class StandInJar : public harvest::CookieJar
{
public:
    QList<QByteArray> cookieLines() override { return lines; }
    void storeCookieLine(const QByteArray& line) override { stored.append(line); }

    QList<QByteArray> lines;
    QList<QByteArray> stored;
};

} // namespace

class TstDirectFetcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void endings_data();
    void endings();
    void cookiesInAndOut();
    void stopEndsALoad();

private:
    // Fetches address in slot 0 and waits for its end.
    PageLoad fetch(harvest::DirectFetcher& fetcher, const QString& address, int* sent = nullptr);

    test::HttpServer m_server;
};

void TstDirectFetcher::initTestCase()
{
    m_server.setPage(QStringLiteral("/utf8.htm"),
                     QStringLiteral("<html><body>价格 12 元</body></html>").toUtf8());
    m_server.setPage(
        QStringLiteral("/gbk.htm"),
        codepage::fromUnicode(QStringLiteral("<html><body>价格 12 元</body></html>"), 936),
        "text/html; charset=GBK");
    m_server.setPage(QStringLiteral("/404.htm"), "<html>gone</html>", "text/html", 404);
    m_server.setPage(QStringLiteral("/503.htm"), "<html>busy</html>", "text/html", 503);
    m_server.setPage(QStringLiteral("/data.json"), "{\"a\": 1}", "application/json");
    m_server.setPage(QStringLiteral("/xhtml.htm"), "<html>x</html>",
                     "application/xhtml+xml; charset=utf-8");
    m_server.setHandler(
        QStringLiteral("/moved.htm"),
        [](const httplib::Request&, httplib::Response& rs) { rs.set_redirect("/utf8.htm", 302); });
}

PageLoad TstDirectFetcher::fetch(harvest::DirectFetcher& fetcher, const QString& address, int* sent)
{
    PageLoad result;
    bool ended = false;
    fetcher.start(
        0, address,
        [&](const PageLoad& load) {
            result = load;
            ended = true;
        },
        [sent] {
            if (sent)
                ++*sent;
        });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(ended, Timeout); }();
    return result;
}

void TstDirectFetcher::endings_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("utf-8") << "/utf8.htm" << Ending::Loaded << 200 << "价格 12 元";
    QTest::newRow("gbk by its header") << "/gbk.htm" << Ending::Loaded << 200 << "价格 12 元";
    QTest::newRow("redirect") << "/moved.htm" << Ending::Loaded << 200 << "价格 12 元";
    QTest::newRow("xhtml") << "/xhtml.htm" << Ending::Loaded << 200 << "x";
    QTest::newRow("404") << "/404.htm" << Ending::HttpError << 404 << "";
    QTest::newRow("503") << "/503.htm" << Ending::HttpError << 503 << "";
    QTest::newRow("not html") << "/data.json" << Ending::Refused << 200 << "";
}

void TstDirectFetcher::endings()
{
    QFETCH(QString, path);
    QFETCH(Ending, ending);
    QFETCH(int, status);
    QFETCH(QString, text);
    harvest::DirectFetcher fetcher(1, nullptr, "PagrimTest/1");
    int sent = 0;
    const PageLoad load = fetch(fetcher, m_server.address(path), &sent);
    QCOMPARE(load.ending, ending);
    QCOMPARE(load.status, status);
    QCOMPARE(sent, 1);
    if (text.isEmpty()) {
        QVERIFY(load.document.isEmpty());
        return;
    }
    // Written in the program code page, as the browser's pages are.
    QVERIFY(load.document.contains(codepage::fromUnicode(text)));
    QVERIFY(load.address.toString().endsWith(
        path == QLatin1String("/moved.htm") ? QStringLiteral("/utf8.htm") : path));
}

void TstDirectFetcher::cookiesInAndOut()
{
    // The jar's cookie is sent; one the site sets goes back to the jar.
    StandInJar jar;
    jar.lines << "127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tfrom-login";
    harvest::DirectFetcher fetcher(2, &jar, "PagrimTest/1");
    const PageLoad echoed = fetch(fetcher, m_server.address(QStringLiteral("/echocookie")));
    QVERIFY2(echoed.document.contains("session=from-login"), echoed.document.constData());
    QVERIFY(jar.stored.isEmpty());

    fetch(fetcher, m_server.address(QStringLiteral("/setcookie?name=fresh&value=42")));
    QCOMPARE(jar.stored.size(), 1);
    QVERIFY(jar.stored.first().endsWith("\tfresh\t42"));
    const PageLoad both = fetch(fetcher, m_server.address(QStringLiteral("/echocookie")));
    QVERIFY(both.document.contains("fresh=42"));
    QVERIFY(both.document.contains("session=from-login"));
    // The site's own User-Agent check sees the profile's.
    m_server.setHandler(
        QStringLiteral("/agent"), [](const httplib::Request& rq, httplib::Response& rs) {
            rs.set_content("<p>" + rq.get_header_value("User-Agent") + "</p>", "text/html");
        });
    QVERIFY(fetch(fetcher, m_server.address(QStringLiteral("/agent")))
                .document.contains("PagrimTest/1"));
}

void TstDirectFetcher::stopEndsALoad()
{
    // A stopped load says nothing more; the slot takes the next page.
    m_server.setHeldPage(QStringLiteral("/held.htm"), "<html>held</html>");
    harvest::DirectFetcher fetcher(1, nullptr, "PagrimTest/1");
    bool ended = false;
    fetcher.start(0, m_server.address(QStringLiteral("/held.htm")),
                  [&](const PageLoad&) { ended = true; }, {});
    QTRY_COMPARE_WITH_TIMEOUT(m_server.hits(QStringLiteral("/held.htm")), 1, Timeout);
    fetcher.stop(0);
    m_server.release(QStringLiteral("/held.htm"));
    QCOMPARE(fetch(fetcher, m_server.address(QStringLiteral("/utf8.htm"))).ending, Ending::Loaded);
    QVERIFY(!ended);
}

QTEST_GUILESS_MAIN(TstDirectFetcher)
#include "tst_directfetcher.moc"
