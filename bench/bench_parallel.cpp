// Loads pages of about 20 KB side by side from a local server that answers
// every page after 300 ms: through the execution window's 保存网页 with
// 同时打开网页数 1, 2, 4 and 8 (1 is the run of one page at a time), through
// the browser pool alone with as many slots
// (each slot starts its next page as soon as its page has ended) and through
// 8 plain HTTP clients on threads of their own, and prints pages per second of
// each, the most requests the server held at once, and the ratios. With
// --memory, the server answers at once and the resident size of the program
// and of the browser's processes is printed after 200 and after 2,000 pages,
// at 1, 4 and 8 slots.
//
//   bench_parallel [pages per run, default 200] [--memory]
#include "harvest/browserpool.h"
#include "harvest/browserprofile.h"
#include "memory.h"
#include "pagesite.h"
#include "windowrun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <httplib.h>
#include <thread>
#include <vector>

using namespace pagrim;
using harvest::PageLoad;

namespace {

// About 20 KB naming the page.
std::string pageBody(int n)
{
    const std::string num = std::to_string(n);
    std::string text = "<html><head><title>" + num + "</title></head><body>";
    for (int p = 0; p < 310; ++p)
        text += "<p>Page " + num + ", a paragraph of about a hundred bytes to fill it.</p>\n";
    return text + "</body></html>";
}

// The pages /p/N.htm, each answered after a delay.
struct Site
{
    std::atomic<int> delayMs{300};
    bench::PageSite pages{[this](int n, const httplib::Request&, httplib::Response& rs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
        rs.set_header("Cache-Control", "no-store");
        rs.set_content(pageBody(n), "text/html; charset=utf-8");
    }};
};

// Loads pages first .. first + count - 1 through pool, every slot going on
// with the next page as its page ends; gives pages per second.
double poolRun(harvest::BrowserPool& pool, const bench::PageSite& site, int first, int count)
{
    int next = 0, ended = 0, failed = 0;
    QEventLoop loop;
    std::function<void(int)> feed = [&](int slot) {
        if (next >= count)
            return;
        pool.start(slot, site.address(first + next++),
                   [&, slot](const PageLoad& load) {
                       if (load.ending != PageLoad::Ending::Loaded || load.document.size() < 18000)
                           ++failed;
                       if (++ended == count)
                           loop.quit();
                       feed(slot);
                   },
                   {});
    };
    QElapsedTimer clock;
    clock.start();
    for (int slot = 0; slot < pool.slotCount(); ++slot)
        feed(slot);
    if (ended < count)
        loop.exec();
    if (failed)
        std::printf("warning: %d of %d pages did not load whole\n", failed, count);
    return bench::perSecond(count, clock.elapsed());
}

// Fetches pages 0 .. count - 1 with clients plain HTTP clients, each on a
// thread of its own with a connection kept alive; gives pages per second.
double plainRun(const bench::PageSite& site, int clients, int count)
{
    std::atomic<int> next{0}, failed{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int t = 0; t < clients; ++t)
        threads.emplace_back([&] {
            httplib::Client client("127.0.0.1", site.port());
            client.set_keep_alive(true);
            for (int n = next++; n < count; n = next++) {
                const auto reply = client.Get(bench::PageSite::path(n));
                if (!reply || reply->status != 200)
                    ++failed;
            }
        });
    for (std::thread& t : threads)
        t.join();
    if (failed)
        std::printf("warning: %d of %d plain fetches failed\n", failed.load(), count);
    return bench::perSecond(count, clock.elapsed());
}

// 保存网页 in the execution window, its pages written and counted, with
// 同时打开网页数 at slots; pages per second.
double windowRun(const bench::PageSite& site, int slots, int pages)
{
    test::TaskWindow window;
    test::addTask(window.world.storePath(), 1, test::TaskWindow::Task);
    window.settings.setParallelPages(slots);
    window.open();
    QStringList addresses;
    for (int n = 0; n < pages; ++n)
        addresses << site.address(n);
    return bench::saveRun(window, addresses);
}

void speed(Site& site, int pages)
{
    {
        // The browser's processes start before the first measured run.
        harvest::BrowserPool warm(8);
        poolRun(warm, site.pages, 0, 16);
    }
    site.pages.takeMostInFlight();
    double rate[9] = {}, saving[9] = {};
    for (int slots : {1, 2, 4, 8}) {
        saving[slots] = windowRun(site.pages, slots, pages);
        harvest::BrowserPool pool(slots);
        rate[slots] = poolRun(pool, site.pages, 0, pages);
        std::printf("%d at once: 保存网页 %6.2f pages/s, the bare pool %6.2f pages/s, at most %d "
                    "requests at once\n",
                    slots, saving[slots], rate[slots], site.pages.takeMostInFlight());
        std::fflush(stdout);
    }
    const double plain = plainRun(site.pages, 8, pages);
    std::printf("plain 8: %6.2f pages/s, at most %d requests at once\n", plain,
                site.pages.takeMostInFlight());
    std::printf(
        "保存网页 8/1 %.2f (goal >= 6), 8/plain 8 %.2f (goal >= 0.75); 2/1 %.2f, 4/1 %.2f\n",
        saving[8] / saving[1], saving[8] / plain, saving[2] / saving[1], saving[4] / saving[1]);
}

void memory(Site& site)
{
    site.delayMs = 0;
    std::printf("resident size, MB, pages answered at once:\n");
    std::printf("%6s %8s %10s %10s %10s %8s\n", "slots", "pages", "program", "browser", "total",
                "pages/s");
    for (int slots : {1, 4, 8}) {
        harvest::BrowserPool pool(slots);
        int done = 0;
        for (int upTo : {200, 2000}) {
            const double rate = poolRun(pool, site.pages, done, upTo - done);
            done = upTo;
            const double program = bench::residentKb(getpid()) / 1024.0;
            const double browser = bench::browserKb() / 1024.0;
            std::printf("%6d %8d %10.1f %10.1f %10.1f %8.1f\n", slots, done, program, browser,
                        program + browser, rate);
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    bool memoryMode = false;
    int pages = 200;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--memory"))
            memoryMode = true;
        else
            pages = std::atoi(argv[i]);
    }
    QTemporaryDir dir;
    harvest::setBrowserProfileFolderForTesting(dir.filePath(QStringLiteral("profile")));
    std::printf("QTWEBENGINE_CHROMIUM_FLAGS=%s\n",
                qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").constData());
    Site site;
    if (memoryMode)
        memory(site);
    else
        speed(site, pages);
    return 0;
}
