// Loads and saves local pages through the browser driver and through a bare
// WebEngine page on the same pages, and prints pages per second of each; then
// how long the driver waits on a slow page and after a stop.
#include "bareloop.h"
#include "demosite/server.h"
#include "demosite/site.h"
#include "harvest/browserdriver.h"
#include "harvest/browserprofile.h"
#include "platform/codepage.h"
#include "support/coresupport.h"
#include "support/httpserver.h"
#include "support/standins.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <httplib.h>
#include <memory>

namespace {

constexpr int Pages = 500;

QString pagePath(int n)
{
    return QStringLiteral("/pages/%1.htm").arg(n);
}

// A list-like page of about 6 KB with Chinese text and links.
std::string pageBody(int n)
{
    std::string body = "<html><head><meta charset=\"utf-8\"><title>第" + std::to_string(n) +
                       "页</title></head><body><h1>内容页 " + std::to_string(n) + "</h1>";
    for (int i = 0; i < 60; ++i)
        body += "<p><a href=\"/pages/" + std::to_string(i) + ".htm\">新闻标题 " +
                std::to_string(i) + "</a> 这是一段用来填充页面的中文正文。</p>";
    return body + "</body></html>";
}

double driverLoop(pagrim::test::HttpServer& server, const QString& folder)
{
    QWebEngineView view;
    pagrim::harvest::BrowserDriver driver(
        &view, nullptr, [](const QString&) {}, [] { return true; });
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < Pages; ++n) {
        driver.OpenPage(server.address(pagePath(n)));
        pagrim::test::savePage(driver, QDir(folder).filePath(QStringLiteral("%1.Htm").arg(n + 1)));
    }
    return Pages * 1000.0 / double(qMax<qint64>(1, clock.elapsed()));
}

// OpenPage on pages that take their time: a page of the example site that
// answers after 700 ms, and a page held back on which the run is stopped (the
// time from the stop to the return).
void waits(pagrim::test::HttpServer& server)
{
    pagrim::demosite::Server site;
    site.start(0);
    QWebEngineView view;
    bool running = true;
    pagrim::harvest::BrowserDriver driver(
        &view, nullptr, [](const QString&) {}, [&running] { return running; });
    QElapsedTimer clock;
    clock.start();
    driver.OpenPage(pagrim::demosite::siteAddress(site.port()) +
                    QStringLiteral("slow.html?ms=700"));
    std::printf("OpenPage of the example site's page that answers after 700 ms: %lld ms\n",
                clock.elapsed());

    const QString held = QStringLiteral("/held.htm");
    server.setHeldPage(held, "<html><body>held</body></html>");
    pagrim::test::when(
        &driver, [&] { return server.hits(held) > 0; },
        [&] {
            running = false;
            clock.restart();
        });
    driver.OpenPage(server.address(held));
    std::printf("OpenPage of a page held back, from the stop to its return: %.1f ms\n",
                double(clock.nsecsElapsed()) / 1e6);
    server.release(held);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    pagrim::harvest::setBrowserProfileFolderForTesting(dir.filePath(QStringLiteral("profile")));
    pagrim::ui::setBeepHandler([] {});
    pagrim::codepage::setCurrentForTesting(pagrim::codepage::Gbk);

    pagrim::test::HttpServer server;
    for (int n = 0; n < Pages; ++n) {
        const std::string body = pageBody(n);
        server.setHandler(pagePath(n), [body](const httplib::Request&, httplib::Response& rs) {
            rs.set_header("Cache-Control", "no-store");
            rs.set_content(body, "text/html; charset=utf-8");
        });
    }
    QDir(dir.path()).mkpath(QStringLiteral("bare"));
    QDir(dir.path()).mkpath(QStringLiteral("driver"));

    // Both loops run twice, alternating, so that neither has the warm engine alone.
    double bare = 0, driver = 0;
    for (int round = 0; round < 2; ++round) {
        bare = pagrim::bench::bareLoop([&](int i) { return server.url(pagePath(i)); }, Pages,
                                       dir.filePath(QStringLiteral("bare")));
        driver = driverLoop(server, dir.filePath(QStringLiteral("driver")));
        std::printf("round %d: bare page %.1f pages/s, driver %.1f pages/s, driver/bare %.3f\n",
                    round + 1, bare, driver, driver / bare);
    }
    std::printf(
        "%d pages each: bare QWebEnginePage %.1f pages/s, OpenPage and a page file %.1f pages/s, "
        "ratio %.3f\n",
        Pages, bare, driver, driver / bare);
    waits(server);
    return 0;
}
