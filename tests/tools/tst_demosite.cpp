// pagrim-demosite, run as the built program on a port of the system's choosing
// and asked over HTTP: its routes, the login and its cookie, the GBK pages, the
// links of the list pages, the slow page, and how it stops.
#include "demosite/site.h"
#include "support/testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <arpa/inet.h>
#include <csignal>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace pagrim;

namespace {

struct Answer
{
    int status = -1;
    QByteArray contentType;
    QByteArray setCookie;
    QString text; // the body, read as UTF-8
};

Answer answer(const httplib::Result& result)
{
    Answer a;
    if (!result)
        return a;
    a.status = result->status;
    a.contentType = QByteArray::fromStdString(result->get_header_value("Content-Type"));
    a.setCookie = QByteArray::fromStdString(result->get_header_value("Set-Cookie"));
    a.text = QString::fromStdString(result->body);
    return a;
}

} // namespace

class TstDemoSite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void routes_data();
    void routes();
    void login_data();
    void login();
    void gbkPages();
    void listPagesGiveTheArticles_data();
    void listPagesGiveTheArticles();
    void slowPage_data();
    void slowPage();
    void stopsOnSignal_data();
    void stopsOnSignal();
    void refusedStart_data();
    void refusedStart();

private:
    // Starts the program with args; gives the port it serves on, or 0.
    int start(QProcess& site, const QStringList& args);
    Answer get(const QString& path, const QByteArray& cookie = {});

    QString m_tool;
    QProcess m_site;
    int m_port = 0;
};

int TstDemoSite::start(QProcess& site, const QStringList& args)
{
    site.start(m_tool, args);
    if (!site.waitForStarted(10000))
        return 0;
    while (!site.canReadLine())
        if (!site.waitForReadyRead(10000))
            return 0;
    static const QRegularExpression line(
        QStringLiteral("^pagrim-demosite: serving http://127\\.0\\.0\\.1:(\\d+)/\\n$"));
    const QRegularExpressionMatch m = line.match(QString::fromUtf8(site.readLine()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

void TstDemoSite::initTestCase()
{
    m_tool = test::builtProgram(QStringLiteral("pagrim-demosite"));
    if (m_tool.isEmpty())
        QSKIP("pagrim-demosite is not built");
    m_port = start(m_site, {QStringLiteral("0")});
    QVERIFY(m_port > 0);
}

void TstDemoSite::cleanupTestCase()
{
    m_site.terminate();
    m_site.waitForFinished(10000);
}

Answer TstDemoSite::get(const QString& path, const QByteArray& cookie)
{
    httplib::Client client("127.0.0.1", m_port);
    client.set_read_timeout(30, 0);
    httplib::Headers headers;
    if (!cookie.isEmpty())
        headers.emplace("Cookie", cookie.toStdString());
    return answer(client.Get(path.toStdString(), headers));
}

void TstDemoSite::routes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("contains");

    const QString title = QStringLiteral("<h1 id=\"title\">");
    QTest::newRow("root") << "/" << 200 << QStringLiteral("<h1>Pagrim 示例站点</h1>");
    QTest::newRow("first article") << "/article/1.html" << 200 << title + demosite::articleTitle(1);
    QTest::newRow("last article, other case")
        << "/ARTICLE/30.html" << 200 << title + demosite::articleTitle(30);
    QTest::newRow("article past the end")
        << "/article/31.html" << 404 << QStringLiteral("页面不存在");
    QTest::newRow("leading zero") << "/article/01.html" << 404 << QString();
    QTest::newRow("last list page") << "/list/5.html" << 200 << QStringLiteral("文章列表 第5页");
    QTest::newRow("list past the end") << "/list/6.html" << 404 << QString();
    QTest::newRow("member, no login") << "/member/5.html" << 200 << QStringLiteral("请先登录");
    QTest::newRow("login form") << "/login.html" << 200
                                << QStringLiteral(
                                       "<form id=\"login\" method=\"post\" action=\"/dologin\">");
    QTest::newRow("frames") << "/frames.html" << 200
                            << QStringLiteral("<frame src=\"/frame/left.html\" name=\"left\">");
    QTest::newRow("left frame") << "/frame/left.html" << 200 << demosite::articleTitle(3);
}

void TstDemoSite::routes()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(QString, contains);
    const Answer a = get(path);
    QCOMPARE(a.status, status);
    QCOMPARE(a.contentType, QByteArray("text/html; charset=utf-8"));
    QVERIFY(a.setCookie.isEmpty());
    QVERIFY2(a.text.contains(contains), qPrintable(a.text));
    QVERIFY(
        a.text.startsWith(QLatin1String("<!DOCTYPE html><html><head><meta charset=\"utf-8\">")));
    QVERIFY(a.text.endsWith(QLatin1String("</html>")));
}

void TstDemoSite::login_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    const QString demo = QStringLiteral("demo");
    QTest::newRow("form") << true << demo << demo << true;
    QTest::newRow("query") << false << demo << demo << true;
    QTest::newRow("wrong password") << true << demo << QStringLiteral("Demo") << false;
    QTest::newRow("nothing") << false << QString() << QString() << false;
}

void TstDemoSite::login()
{
    QFETCH(bool, post);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, accepted);

    httplib::Client client("127.0.0.1", m_port);
    client.set_read_timeout(30, 0);
    Answer a;
    if (post) {
        a = answer(client.Post("/dologin", httplib::Params{{"user", user.toStdString()},
                                                           {"password", password.toStdString()}}));
    } else {
        const std::string query =
            user.isEmpty() ? std::string()
                           : "?user=" + user.toStdString() + "&password=" + password.toStdString();
        a = answer(client.Get("/dologin" + query));
    }
    QCOMPARE(a.status, 200);
    QCOMPARE(a.text.contains(QStringLiteral("登录成功")), accepted);
    QCOMPARE(a.text.contains(QStringLiteral("用户名或密码错误")), !accepted);
    if (!accepted) {
        QVERIFY(a.setCookie.isEmpty());
        return;
    }
    // A cookie with an expiry, so the browser keeps it on disk.
    QCOMPARE(a.setCookie, QByteArray("demo_session=member-7d1c2b; Path=/; Max-Age=86400"));
    const QByteArray cookie = a.setCookie.left(a.setCookie.indexOf(';'));
    QVERIFY(get(QStringLiteral("/member/2.html"), cookie)
                .text.contains(QStringLiteral("<h1 id=\"title\">") + demosite::memberTitle(2)));

    const Answer out = get(QStringLiteral("/logout.html"), cookie);
    QCOMPARE(out.setCookie, QByteArray("demo_session=; Path=/; Max-Age=0"));
}

void TstDemoSite::gbkPages()
{
    for (int n = 1; n <= demosite::GbkCount; ++n) {
        httplib::Client client("127.0.0.1", m_port);
        const auto result = client.Get(QStringLiteral("/gbk/%1.html").arg(n).toStdString());
        QVERIFY(result);
        QCOMPARE(result->get_header_value("Content-Type"), std::string("text/html; charset=GBK"));
        const QByteArray body = QByteArray::fromStdString(result->body);
        QVERIFY(body.contains("<meta charset=\"gbk\">"));
        // "价格：" in GBK bytes.
        QVERIFY(body.contains("\xBC\xDB\xB8\xF1\xA3\xBA" + demosite::articlePrice(n).toLatin1()));
    }
}

void TstDemoSite::listPagesGiveTheArticles_data()
{
    QTest::addColumn<int>("lastPage");
    QTest::addColumn<int>("articles");
    QTest::addColumn<int>("repeats");
    // Every page repeats the two most read; page 2 repeats article 3 in other case.
    QTest::newRow("pages 1 to 3") << 3 << 18 << 7;
    QTest::newRow("all pages") << demosite::ListPageCount << demosite::ArticleCount << 11;
}

// The links of the list pages taken as the example list task takes them: a
// whole address that matches the article pattern without regard to case, and
// a repeat (without regard to case) counted and dropped.
void TstDemoSite::listPagesGiveTheArticles()
{
    QFETCH(int, lastPage);
    QFETCH(int, articles);
    QFETCH(int, repeats);
    static const QRegularExpression href(QStringLiteral("<a href=\"([^\"]*)\">"));
    static const QRegularExpression pattern(QStringLiteral("^/article/.*\\.html$"),
                                            QRegularExpression::CaseInsensitiveOption);
    QStringList taken;
    int repeated = 0;
    for (int p = 1; p <= lastPage; ++p) {
        const Answer a = get(QStringLiteral("/list/%1.html").arg(p));
        QCOMPARE(a.status, 200);
        int others = 0;
        for (const QRegularExpressionMatch& m : href.globalMatch(a.text)) {
            const QString link = m.captured(1);
            if (!pattern.match(link).hasMatch())
                ++others;
            else if (taken.contains(link, Qt::CaseInsensitive))
                ++repeated;
            else
                taken << link;
        }
        QVERIFY(others > 0);
    }
    QStringList expected;
    for (int n = 1; n <= articles; ++n)
        expected << QStringLiteral("/article/%1.html").arg(n);
    QCOMPARE(taken, expected);
    QCOMPARE(repeated, repeats);
}

void TstDemoSite::slowPage_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("ms");
    QTest::newRow("given") << "?ms=700" << 700;
    QTest::newRow("default") << "" << demosite::SlowDefaultMs;
    QTest::newRow("negative") << "?ms=-5" << 0;
}

void TstDemoSite::slowPage()
{
    QFETCH(QString, query);
    QFETCH(int, ms);
    const Answer a = get(QStringLiteral("/slow.html") + query);
    QCOMPARE(a.status, 200);
    QVERIFY2(a.text.contains(QStringLiteral("等了 %1 毫秒").arg(ms)), qPrintable(a.text));
}

void TstDemoSite::stopsOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TstDemoSite::stopsOnSignal()
{
    QFETCH(int, signal);
    QProcess site;
    const int port = start(site, {QStringLiteral("0")});
    QVERIFY(port > 0);
    QVERIFY(port != m_port);

    // A page held back for a minute does not hold the stop. The site has taken
    // its request once a quick one asked after it has been answered.
    const int held = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(held, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    const std::string request = "GET /slow.html?ms=60000 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    QCOMPARE(::write(held, request.data(), request.size()), ssize_t(request.size()));
    QVERIFY(httplib::Client("127.0.0.1", port).Get("/"));
    ::kill(pid_t(site.processId()), signal);
    const bool ended = site.waitForFinished(10000);
    if (!ended)
        site.kill();
    ::close(held);
    QVERIFY(ended);
    QCOMPARE(site.exitStatus(), QProcess::NormalExit);
    QCOMPARE(site.exitCode(), 0);
    QCOMPARE(site.readAll(), QByteArray("pagrim-demosite: stopped\n"));
}

void TstDemoSite::refusedStart_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("port in use") << QStringList{QString::number(m_port)} << 1
                                 << QByteArray("cannot serve on 127.0.0.1:");
    QTest::newRow("not a number") << QStringList{QStringLiteral("80a")} << 2
                                  << QByteArray("not a port: 80a");
}

void TstDemoSite::refusedStart()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    QProcess site;
    site.start(m_tool, args);
    const bool ended = site.waitForFinished(10000);
    if (!ended)
        site.kill();
    QVERIFY(ended);
    QCOMPARE(site.exitCode(), exitCode);
    const QByteArray err = site.readAllStandardError();
    QVERIFY2(err.contains(message), err.constData());
    QVERIFY(site.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TstDemoSite)
#include "tst_demosite.moc"
