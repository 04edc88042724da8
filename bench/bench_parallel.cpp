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
// With --direct, whole programs save the pages, each run timed from its start
// to its exit: the curl program with --parallel (the floor) and pagrim-run
// --save --parallel on a task of the direct engine and on one of the browser
// engine, 8 and 16 at once; it prints pages per second and the ratios to
// curl, the peak resident size of pagrim-run and its children (their process
// group summed every 50 ms) and their processor time a page. The direct
// engine runs again on pages answered at once, 200 and 2,000 of them, to show
// its peak stays flat.
//
//   bench_parallel [pages per run, default 200] [--memory | --direct]
#include "harvest/browserpool.h"
#include "harvest/browserprofile.h"
#include "memory.h"
#include "pagesite.h"
#include "pagrimrun.h"
#include "windowrun.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <httplib.h>
#include <map>
#include <sys/resource.h>
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

// A run of a whole program past this is killed.
constexpr int ProgramLimitMs = 10 * 60 * 1000;

// The processor time of the children this process has waited for, in ms.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// curl --parallel --parallel-max parallel on pages first .. first + count - 1,
// their bodies thrown away; pages per second from its start to its exit.
double curlRun(bench::PageSite& site, int parallel, int first, int count)
{
    site.takeMostInFlight();
    QTemporaryDir dir;
    QStringList config;
    for (int n = first; n < first + count; ++n)
        config << QStringLiteral("url = \"%1\"\noutput = \"/dev/null\"").arg(site.address(n));
    const QString configPath = dir.filePath(QStringLiteral("urls.conf"));
    test::put(configPath, config.join(QLatin1Char('\n')).toUtf8() + '\n');
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("--parallel"), QStringLiteral("--parallel-max"),
                QString::number(parallel), QStringLiteral("-s"), QStringLiteral("--fail"),
                QStringLiteral("-K"), configPath});
    if (!curl.waitForFinished(ProgramLimitMs)) {
        std::printf("curl did not end within %d s: killed\n", ProgramLimitMs / 1000);
        curl.kill();
        curl.waitForFinished(bench::StartLimitMs);
        return 0;
    }
    const qint64 ms = clock.elapsed();
    if (curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0)
        std::printf("warning: curl exited with %d: %s\n", curl.exitCode(),
                    curl.readAllStandardError().constData());
    return bench::perSecond(count, ms);
}

// A run of pagrim-run --save --parallel on a task of an engine.
struct ProgramRun
{
    double pagesPerSecond = 0;
    double peakMb = 0;
    // Processor time a page: of the children waited for, and summed over the
    // processes of the group as /proc last showed each.
    double cpuMsPerPage = 0;
    double groupCpuMsPerPage = 0;
};

ProgramRun pagrimRun(bench::PageSite& site, const char* engine, int parallel, int first, int count)
{
    QStringList addresses;
    for (int n = first; n < first + count; ++n)
        addresses << site.address(n);
    const bench::TaskWorld world(QStringLiteral("parallel"), addresses, parallel, 60);
    world.setPageEngine(QLatin1String(engine));
    site.takeMostInFlight();
    const double cpuBefore = childrenCpuMs();
    bench::SaveRun run(world, 1, {QStringLiteral("--parallel"), QString::number(parallel)});
    ProgramRun figures;
    if (!run.started()) {
        std::printf("pagrim-run did not start\n");
        return figures;
    }
    long peakKb = 0;
    std::map<pid_t, long long> ticks;
    run.finish(ProgramLimitMs, [&] {
        long kb = 0;
        for (const bench::ProcessStat& process : bench::groupStats(run.group())) {
            kb += process.residentKb;
            ticks[process.pid] = qMax(ticks[process.pid], process.cpuTicks);
        }
        peakKb = qMax(peakKb, kb);
    });
    long long groupTicks = 0;
    for (const auto& [pid, used] : ticks)
        groupTicks += used;
    const int saved = world.savedFiles();
    if (run.status() != 0 || saved != count)
        std::printf("warning: %s %d at once: exit %d, %d of %d pages saved: %s\n", engine, parallel,
                    run.status(), saved, count, qPrintable(run.summary()));
    figures.pagesPerSecond = run.seconds() > 0 ? count / run.seconds() : 0;
    figures.peakMb = peakKb / 1024.0;
    figures.cpuMsPerPage = (childrenCpuMs() - cpuBefore) / count;
    figures.groupCpuMsPerPage = groupTicks * 1000.0 / double(sysconf(_SC_CLK_TCK)) / count;
    std::printf("%-8s %3d at once %5d pages: %7.2f pages/s, peak %7.1f MB, cpu %6.2f ms/page "
                "(%6.2f by /proc), at most %d requests at once\n",
                engine, parallel, count, figures.pagesPerSecond, figures.peakMb,
                figures.cpuMsPerPage, figures.groupCpuMsPerPage, site.takeMostInFlight());
    std::fflush(stdout);
    return figures;
}

void direct(Site& site, int pages)
{
    if (test::builtProgram(QStringLiteral("pagrim-run")).isEmpty()) {
        std::printf("pagrim-run is not built\n");
        return;
    }
    bench::quietBrowserFlags();
    std::printf("%d pages of %zu bytes, each answered after %d ms\n", pages, pageBody(0).size(),
                site.delayMs.load());
    // Programs and libraries read once from the disk before the measured runs.
    curlRun(site.pages, 8, 0, 16);
    pagrimRun(site.pages, "direct", 8, 0, 16);
    pagrimRun(site.pages, "browser", 8, 0, 16);
    std::printf("-- the runs above warm up\n");
    std::map<int, double> curl;
    std::map<int, ProgramRun> byDirect, byBrowser;
    for (int parallel : {8, 16}) {
        curl[parallel] = curlRun(site.pages, parallel, 0, pages);
        std::printf("curl     %3d at once %5d pages: %7.2f pages/s, at most %d requests at once\n",
                    parallel, pages, curl[parallel], site.pages.takeMostInFlight());
        byDirect[parallel] = pagrimRun(site.pages, "direct", parallel, 0, pages);
        byBrowser[parallel] = pagrimRun(site.pages, "browser", parallel, 0, pages);
    }
    site.delayMs = 0;
    std::printf("pages answered at once:\n");
    const ProgramRun few = pagrimRun(site.pages, "direct", 16, 0, 200);
    const ProgramRun many = pagrimRun(site.pages, "direct", 16, 0, 2000);
    std::printf("\nsummary\n");
    for (int parallel : {8, 16})
        std::printf("%2d at once: curl %.2f, direct %.2f, browser %.2f pages/s; direct/curl %.3f "
                    "(goal >= 0.95), browser/curl %.3f\n",
                    parallel, curl[parallel], byDirect[parallel].pagesPerSecond,
                    byBrowser[parallel].pagesPerSecond,
                    byDirect[parallel].pagesPerSecond / curl[parallel],
                    byBrowser[parallel].pagesPerSecond / curl[parallel]);
    std::printf("peak memory at 16 at once: direct %.1f MB (goal <= 250), browser %.1f MB; "
                "direct, pages at once: %.1f MB over 200, %.1f MB over 2000\n",
                byDirect[16].peakMb, byBrowser[16].peakMb, few.peakMb, many.peakMb);
    for (int parallel : {8, 16})
        std::printf("cpu a page at %d at once: direct %.2f ms, browser %.2f ms, direct/browser "
                    "%.3f (goal <= 0.1); by /proc %.2f ms, %.2f ms, %.3f\n",
                    parallel, byDirect[parallel].cpuMsPerPage, byBrowser[parallel].cpuMsPerPage,
                    byDirect[parallel].cpuMsPerPage / byBrowser[parallel].cpuMsPerPage,
                    byDirect[parallel].groupCpuMsPerPage, byBrowser[parallel].groupCpuMsPerPage,
                    byDirect[parallel].groupCpuMsPerPage / byBrowser[parallel].groupCpuMsPerPage);
    std::printf("cpu a page, direct, pages at once: %.2f ms over 200, %.2f ms over 2000\n",
                few.cpuMsPerPage, many.cpuMsPerPage);
}

} // namespace

int main(int argc, char** argv)
{
    bool memoryMode = false, directMode = false;
    int pages = 200;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--memory"))
            memoryMode = true;
        else if (!std::strcmp(argv[i], "--direct"))
            directMode = true;
        else
            pages = std::atoi(argv[i]);
    }
    if (directMode) {
        // The programs run as children; this one needs no window.
        QCoreApplication app(argc, argv);
        // A write to a connection a client has closed must not end the program.
        std::signal(SIGPIPE, SIG_IGN);
        Site site;
        direct(site, pages);
        return 0;
    }
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
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
