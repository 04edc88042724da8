// Saves the 300 pages of a local site through pagrim-run --save, 8 pages at
// once, no pause between requests and a 3-second time limit, and prints the
// time each run took to exit and the requests the site received.
//
// - faults: 34 of the pages, every ninth from the second, fail on purpose, the
//   kinds in turn: 503 once, the connection dropped once without an answer,
//   no answer within the time limit once, 500 twice, and 404 always. Each
//   answers its page after that, except the 404 pages, which are never saved.
// - plain: the same pages without faults.
// - kills: the faulty site again, with the program and its browser killed
//   three times at seeded random moments (1 to 8 s after the start of a run),
//   each run started again on the same task, and a last run to the end.
//
// The requests above what the faults explain are those a run made beyond one
// request a page and the retries of its fault: pages fetched again after a
// kill, or retries the browser made on its own.
//
//   bench_stalls [--only faults|plain|kills] [--seed N]
#include "harvest/core/pagelog.h"
#include "pagesite.h"
#include "pagrimrun.h"
#include "support/coresupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <httplib.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace pagrim;
using bench::SaveRun;

namespace {

constexpr int Pages = 300;
constexpr int ParallelPages = 8;
constexpr int TimeoutSeconds = 3;
// A page that hangs answers after this, long after the run has given up on it.
constexpr int HangMs = 5000;
constexpr int Kills = 3;
constexpr int FirstKillMs = 1000, LastKillMs = 8000;
// A run past this limit is killed.
constexpr int RunLimitMs = 15 * 60 * 1000;
const QString TaskName = QStringLiteral("stalls");

enum class Fault
{
    None,
    BusyOnce,   // 503, then the page
    DropOnce,   // the connection closed without an answer, then the page
    HangOnce,   // no answer within the time limit, then the page
    ErrorTwice, // 500 twice, then the page
    Missing,    // 404 always
};
constexpr std::array<Fault, 5> FaultKinds{Fault::BusyOnce, Fault::DropOnce, Fault::HangOnce,
                                          Fault::ErrorTwice, Fault::Missing};

// Every ninth page from the second fails, the kinds in turn: 34 pages, seven
// of each kind but six answering 404.
Fault faultOf(int n)
{
    return n % 9 == 2 ? FaultKinds[size_t(n / 9 % FaultKinds.size())] : Fault::None;
}

const char* faultName(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return "no fault";
    case Fault::BusyOnce:
        return "503 once";
    case Fault::DropOnce:
        return "dropped once";
    case Fault::HangOnce:
        return "hung once";
    case Fault::ErrorTwice:
        return "500 twice";
    case Fault::Missing:
        return "404";
    }
    return "";
}

// The requests a page takes in a run that is not interrupted: a 429, a 5xx,
// a time limit passed or a connection that gave no answer is tried again
// (twice at most), a 404 is not.
int expectedRequests(Fault fault)
{
    switch (fault) {
    case Fault::BusyOnce:
    case Fault::DropOnce:
    case Fault::HangOnce:
        return 2;
    case Fault::ErrorTwice:
        return 3;
    case Fault::None:
    case Fault::Missing:
        break;
    }
    return 1;
}

// About 5 KB naming the page.
std::string pageBody(int n)
{
    const std::string num = std::to_string(n);
    std::string text =
        "<html><head><title>Page " + num + "</title></head><body><h1>Page " + num + "</h1>\n";
    for (int p = 0; p < 64; ++p)
        text += "<p>Page " + num + ", paragraph " + std::to_string(p) +
                ": text of the site to give the page its size.</p>\n";
    return text + "</body></html>";
}

// Shuts down the socket of the request's connection without an answer, so
// that the browser reads the end of the stream where the status line should
// be. The socket is the one of this process whose two ends are the server's
// port and the request's remote port. False when none is found.
bool dropConnection(const httplib::Request& rq, int serverPort)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
            local.sin_family != AF_INET || ntohs(local.sin_port) != serverPort ||
            ntohs(peer.sin_port) != rq.remote_port)
            continue;
        return ::shutdown(fd, SHUT_RDWR) == 0;
    }
    return false;
}

// The pages /p/1.htm to /p/300.htm, answered at once, or with their faults
// while faulty is set. The fault of a page follows from the number of its
// request, so reset() starts the faults over with the counts.
class Site
{
public:
    QString address(int n) const { return m_pages.address(n); }
    void reset(bool faulty)
    {
        m_faulty = faulty;
        for (std::atomic<int>& count : m_requests)
            count = 0;
        m_pages.takeMostInFlight();
    }
    Fault fault(int n) const { return m_faulty ? faultOf(n) : Fault::None; }
    int requests(int n) const { return m_requests[size_t(n)]; }
    // Requests whose answer has not been written yet; a hung page counts until
    // its answer, also after the browser has given up on it.
    int inFlight() const { return m_pages.inFlight(); }
    // The most requests answered at once since the last call or reset.
    int takeMostInFlight() { return m_pages.takeMostInFlight(); }
    int missedDrops() const { return m_missedDrops; }

private:
    void answer(int n, int request, const httplib::Request& rq, httplib::Response& rs)
    {
        switch (fault(n)) {
        case Fault::BusyOnce:
            if (request == 1)
                return error(rs, 503);
            break;
        case Fault::DropOnce:
            if (request == 1) {
                if (dropConnection(rq, m_pages.port()))
                    return;
                ++m_missedDrops;
                return error(rs, 503);
            }
            break;
        case Fault::HangOnce:
            if (request == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(HangMs));
            break;
        case Fault::ErrorTwice:
            if (request <= 2)
                return error(rs, 500);
            break;
        case Fault::Missing:
            return error(rs, 404);
        case Fault::None:
            break;
        }
        rs.set_header("Cache-Control", "no-store");
        rs.set_content(pageBody(n), "text/html; charset=utf-8");
    }
    static void error(httplib::Response& rs, int status)
    {
        rs.status = status;
        rs.set_header("Cache-Control", "no-store");
        rs.set_content("<html><body>error " + std::to_string(status) + "</body></html>",
                       "text/html; charset=utf-8");
    }

    std::atomic<bool> m_faulty{false};
    std::array<std::atomic<int>, Pages + 1> m_requests{};
    std::atomic<int> m_missedDrops{0};
    // Last: it stops answering before the counts above go.
    bench::PageSite m_pages{[this](int n, const httplib::Request& rq, httplib::Response& rs) {
        if (n < 1 || n > Pages)
            return error(rs, 404);
        answer(n, ++m_requests[size_t(n)], rq, rs);
    }};
};

// The task of the runs on the site's pages, with the views of its state that
// the runs print.
class World : public bench::TaskWorld
{
public:
    explicit World(const Site& site)
        : bench::TaskWorld(TaskName, addresses(site), ParallelPages, TimeoutSeconds)
    {
    }

    int saveCurrent() const
    {
        return test::rowsOf(temp().storePath(),
                            QStringLiteral("select SaveCurrent from Tasks where TaskID = 1"))
            .value(0)
            .value(0)
            .toInt();
    }
    // The page numbers with a file in HTML/.
    QSet<int> savedPages() const
    {
        QSet<int> pages;
        for (const QString& name :
             QDir(taskFolder() + QStringLiteral("/HTML")).entryList(QDir::Files)) {
            bool ok = false;
            const int n = name.chopped(4).toInt(&ok);
            if (ok && name.endsWith(QLatin1String(".Htm")))
                pages << n;
        }
        return pages;
    }
    // The last outcome of every line in the page log, counted by name.
    QString logOutcomes() const
    {
        QMap<int, harvest::PageOutcome> last;
        for (const harvest::PageLogEntry& entry :
             harvest::readPageLog(taskFolder() + QStringLiteral("/ResHtmls.log")))
            last[entry.line] = entry.outcome;
        QMap<QByteArray, int> counts;
        for (const harvest::PageOutcome outcome : std::as_const(last))
            ++counts[harvest::outcomeName(outcome)];
        QStringList parts;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.value()).arg(QString::fromLatin1(it.key()));
        return QStringLiteral("%1 lines logged, the last outcome of each: %2")
            .arg(last.size())
            .arg(parts.join(QStringLiteral(", ")));
    }

private:
    static QStringList addresses(const Site& site)
    {
        QStringList list;
        for (int n = 1; n <= Pages; ++n)
            list << site.address(n);
        return list;
    }
};

// The requests the site received, in all and beyond those the faults of its
// pages explain.
struct Requests
{
    int total = 0;
    int over = 0;  // requests a page received beyond its expected ones
    int under = 0; // pages that received fewer than expected
    QString byKind;
};

Requests countRequests(const Site& site)
{
    Requests counted;
    QMap<int, std::pair<int, int>> kinds; // received and expected, by kind
    for (int n = 1; n <= Pages; ++n) {
        const int got = site.requests(n), expected = expectedRequests(site.fault(n));
        counted.total += got;
        counted.over += qMax(0, got - expected);
        counted.under += got < expected;
        auto& [kindGot, kindExpected] = kinds[int(site.fault(n))];
        kindGot += got;
        kindExpected += expected;
    }
    QStringList parts;
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        parts << QStringLiteral("%1 %2/%3")
                     .arg(QLatin1String(faultName(Fault(it.key()))))
                     .arg(it.value().first)
                     .arg(it.value().second);
    counted.byKind = parts.join(QStringLiteral(", "));
    return counted;
}

QString requestsText(const Requests& requests)
{
    QString text =
        QStringLiteral("%1 requests (+%2 over the faults)").arg(requests.total).arg(requests.over);
    if (requests.under)
        text += QStringLiteral(", %1 pages fewer than expected").arg(requests.under);
    return text;
}

// The pages the site lets a run save: all but those answering 404.
QSet<int> savablePages(const Site& site)
{
    QSet<int> pages;
    for (int n = 1; n <= Pages; ++n)
        if (site.fault(n) != Fault::Missing)
            pages << n;
    return pages;
}

void printDetails(Site& site, const World& world, const SaveRun& run)
{
    const QSet<int> saved = world.savedPages(), savable = savablePages(site);
    std::printf("  %s\n", qPrintable(world.logOutcomes()));
    std::printf("  SaveCurrent %d; %lld of the %lld savable pages saved, %lld other files; at most "
                "%d requests at once\n",
                world.saveCurrent(), qlonglong((saved & savable).size()), qlonglong(savable.size()),
                qlonglong((saved - savable).size()), site.takeMostInFlight());
    std::printf("  requests received/expected by page kind: %s\n",
                qPrintable(countRequests(site).byKind));
    std::printf("  pagrim-run: %s\n", qPrintable(run.summary()));
    if (site.missedDrops())
        std::printf("  warning: %d connections to drop were not found; they answered 503\n",
                    site.missedDrops());
}

// A whole run on a fresh task; prints its line and the details.
void wholeRun(Site& site, const char* name, bool faulty)
{
    site.reset(faulty);
    const World world(site);
    SaveRun run(world, 1);
    if (!run.started()) {
        std::printf("%s: pagrim-run did not start\n", name);
        return;
    }
    run.finish(RunLimitMs);
    std::printf("%s: %.1f s, exit %d, %lld saved, %s\n", name, run.seconds(), run.status(),
                qlonglong(world.savedPages().size()),
                qPrintable(requestsText(countRequests(site))));
    printDetails(site, world, run);
    std::fflush(stdout);
}

void killedRuns(Site& site, quint32 seed)
{
    site.reset(true);
    const World world(site);
    QRandomGenerator random(seed);
    std::printf("kills: seed %u, kills between %.0f and %.0f s after the start of a run\n", seed,
                FirstKillMs / 1000.0, LastKillMs / 1000.0);
    QElapsedTimer clock;
    clock.start();
    for (int kill = 1; kill <= Kills; ++kill) {
        const int moment = FirstKillMs + int(random.bounded(LastKillMs - FirstKillMs + 1));
        SaveRun run(world, kill);
        if (!run.started()) {
            std::printf("kills: pagrim-run did not start\n");
            return;
        }
        if (run.waitUntil(moment)) {
            std::printf("kill %d at %.2f s: the run had ended already, exit %d\n", kill,
                        moment / 1000.0, run.status());
            continue;
        }
        const int inFlight = site.inFlight();
        run.kill();
        std::printf("kill %d at %.2f s: %d requests in flight, SaveCurrent %d afterwards, %lld "
                    "pages saved\n",
                    kill, moment / 1000.0, inFlight, world.saveCurrent(),
                    qlonglong(world.savedPages().size()));
        std::fflush(stdout);
    }
    SaveRun last(world, Kills + 1);
    if (!last.started()) {
        std::printf("kills: pagrim-run did not start\n");
        return;
    }
    last.finish(RunLimitMs);
    const QSet<int> savable = savablePages(site);
    std::printf("kills: last run %.1f s, exit %d; %.1f s in all; %lld pages present of %lld "
                "expected (the %lld answering 404 are never saved), %s\n",
                last.seconds(), last.status(), clock.elapsed() / 1000.0,
                qlonglong((world.savedPages() & savable).size()), qlonglong(savable.size()),
                qlonglong(Pages - savable.size()), qPrintable(requestsText(countRequests(site))));
    printDetails(site, world, last);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // A write to a connection the browser has closed must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    QString only;
    quint32 seed = 1;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc)
            seed = quint32(std::strtoul(argv[++i], nullptr, 10));
        else
            only = QStringLiteral("?");
    }
    if (!only.isEmpty() && only != QLatin1String("faults") && only != QLatin1String("plain") &&
        only != QLatin1String("kills")) {
        std::fputs("usage: bench_stalls [--only faults|plain|kills] [--seed N]\n", stderr);
        return 2;
    }
    if (test::builtProgram(QStringLiteral("pagrim-run")).isEmpty()) {
        std::fputs("pagrim-run is not built\n", stderr);
        return 1;
    }
    bench::quietBrowserFlags();
    std::printf("%d pages of %zu bytes or so, %d at once, no pause, %d s time limit; faults: ",
                Pages, pageBody(Pages).size(), ParallelPages, TimeoutSeconds);
    for (const Fault fault : FaultKinds) {
        int pages = 0;
        for (int n = 1; n <= Pages; ++n)
            pages += faultOf(n) == fault;
        std::printf("%s%d %s", fault == FaultKinds.front() ? "" : ", ", pages, faultName(fault));
    }
    std::printf("\n");
    std::fflush(stdout);

    Site site;
    if (only.isEmpty() || only == QLatin1String("faults"))
        wholeRun(site, "faults", true);
    if (only.isEmpty() || only == QLatin1String("plain"))
        wholeRun(site, "plain", false);
    if (only.isEmpty() || only == QLatin1String("kills"))
        killedRuns(site, seed);
    return 0;
}
