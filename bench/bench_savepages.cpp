// Saves local pages of about 20 KB of Chinese text through the execution
// window's "保存网页" handler and through a bare WebEngine page loop (load,
// serialize, write) on the same pages, in alternating rounds, and prints pages
// per second of each and their ratio. The bare loop runs twice per round: on a
// page of its own, which lays documents out in no width at all, and on a page
// shown at the size of the window's browser, which makes the like-for-like
// figure. Then a long run through the handler prints the resident size
// of the program and of the browser's processes every 500 pages.
//
//   bench_savepages [pages per loop, default 1000] [pages of the long run, default 5000]
#include "bareloop.h"
#include "harvest/browserprofile.h"
#include "memory.h"
#include "platform/codepage.h"
#include "support/httpserver.h"
#include "support/taskwindow.h"
#include "windowrun.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <httplib.h>
#include <memory>
#include <unistd.h>

using namespace pagrim;

namespace {

QString pagePath(int n)
{
    return QStringLiteral("/p/%1.htm").arg(n);
}

// About 20 KB in UTF-8: a title and paragraphs of Chinese sentences.
std::string pageBody(int n)
{
    const std::string num = std::to_string(n);
    std::string body = "<html><head><meta charset=\"utf-8\"><title>第" + num +
                       "页</title></head><body><h1>内容页 " + num + "</h1>";
    for (int p = 0; p < 27; ++p) {
        body += "<p>";
        for (int s = 0; s < 10; ++s)
            body += "这是第" + num + "页的正文内容，用来测量保存网页的速度和内存。";
        body += "</p>";
    }
    return body + "</body></html>";
}

// The pages 1 to pages of the server through the window; pages per second.
double run(test::TaskWindow& window, test::HttpServer& server, int pages)
{
    QStringList addresses;
    for (int n = 1; n <= pages; ++n)
        addresses << server.address(pagePath(n));
    return bench::saveRun(window, addresses);
}

// The execution window on its task.
std::unique_ptr<test::TaskWindow> openWindow()
{
    auto window = std::make_unique<test::TaskWindow>();
    test::addTask(window->world.storePath(), 1, test::TaskWindow::Task);
    window->open();
    return window;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int pages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int longPages = argc > 2 ? std::atoi(argv[2]) : 5000;

    QTemporaryDir dir;
    harvest::setBrowserProfileFolderForTesting(dir.filePath(QStringLiteral("profile")));
    int boxes = 0;
    codepage::setCurrentForTesting(codepage::Gbk);

    test::HttpServer server;
    for (int n = 1; n <= qMax(pages, longPages); ++n)
        server.setHandler(pagePath(n), [n](const httplib::Request&, httplib::Response& rs) {
            rs.set_header("Cache-Control", "no-store");
            rs.set_content(pageBody(n), "text/html; charset=utf-8");
        });
    std::printf("page size %zu bytes (UTF-8), served from 127.0.0.1\n", pageBody(1).size());
    QDir(dir.path()).mkpath(QStringLiteral("bare"));

    {
        const auto window = openWindow();
        // Alternating rounds of a fifth of the pages each, so that neither loop
        // has the warm engine alone and a slow spell of the machine weighs on
        // both alike.
        constexpr int Rounds = 5;
        const int perRound = qMax(1, pages / Rounds);
        const auto urlOf = [&](int i) { return server.url(pagePath(i + 1)); };
        const QString bareFolder = dir.filePath(QStringLiteral("bare"));
        // The window's browser lays pages out at this size.
        const QSize windowSize(1024, 768);
        double bareSeconds = 0, sizedSeconds = 0, handlerSeconds = 0;
        for (int round = 1; round <= Rounds; ++round) {
            const double bare = bench::bareLoop(urlOf, perRound, bareFolder);
            const double sized = bench::bareLoop(urlOf, perRound, bareFolder, windowSize);
            const double handler = run(*window, server, perRound);
            bareSeconds += perRound / bare;
            sizedSeconds += perRound / sized;
            handlerSeconds += perRound / handler;
            std::printf("round %d, %d pages each: bare page %.1f pages/s, bare page at 1024x768 "
                        "%.1f pages/s, 保存网页 handler %.1f pages/s, handler/bare %.3f, "
                        "handler/bare at 1024x768 %.3f\n",
                        round, perRound, bare, sized, handler, handler / bare, handler / sized);
            std::fflush(stdout);
        }
        const int all = Rounds * perRound;
        const double bareRate = all / bareSeconds;
        const double sizedRate = all / sizedSeconds;
        const double handlerRate = all / handlerSeconds;
        std::printf("all rounds, %d pages each: bare %.1f pages/s, bare at 1024x768 %.1f pages/s, "
                    "handler %.1f pages/s, ratio %.3f, ratio to the bare page at 1024x768 %.3f\n",
                    all, bareRate, sizedRate, handlerRate, handlerRate / bareRate,
                    handlerRate / sizedRate);
        boxes += window->boxes.count();
    }

    if (longPages > 0) {
        const auto window = openWindow();
        const auto saved = [&] {
            return window->tasks->field(QStringLiteral("SaveCurrent")).asInteger();
        };
        std::printf("long run of %d pages through the handler (resident size, MB):\n", longPages);
        std::printf("%8s %10s %10s %10s\n", "pages", "program", "browser", "total");
        int next = 0;
        QTimer sampler;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (saved() < next)
                return;
            const double program = bench::residentKb(getpid()) / 1024.0;
            const double browser = bench::browserKb() / 1024.0;
            std::printf("%8d %10.1f %10.1f %10.1f   (%.0f s)\n", saved(), program, browser,
                        program + browser, clock.elapsed() / 1000.0);
            std::fflush(stdout);
            next += 500;
        });
        sampler.start(50);
        const double rate = run(*window, server, longPages);
        sampler.stop();
        const double program = bench::residentKb(getpid()) / 1024.0;
        const double browser = bench::browserKb() / 1024.0;
        std::printf("%8d %10.1f %10.1f %10.1f   (%.0f s)\n", saved(), program, browser,
                    program + browser, clock.elapsed() / 1000.0);
        std::printf("long run: %.1f pages/s\n", rate);
        boxes += window->boxes.count();
    }
    std::printf("message boxes shown: %d\n", boxes);
    return 0;
}
