#pragma once

// A local site of pages /p/N.htm for the benchmarks that load them.
#include <QString>
#include <atomic>
#include <functional>
#include <httplib.h>
#include <string>
#include <thread>

namespace pagrim::bench {

// An httplib server on 127.0.0.1 at a port of the system's choosing that
// answers /p/N.htm through a function of N, from a pool of 64 threads: idle
// keep-alive connections hold a thread each, and the browser keeps some open.
// It serves from the end of its constructor until its destructor has stopped
// it, so an owner declares it after whatever the function uses.
class PageSite
{
public:
    using Page = std::function<void(int n, const httplib::Request&, httplib::Response&)>;

    explicit PageSite(Page page) : m_page(std::move(page))
    {
        m_server.new_task_queue = [] { return new httplib::ThreadPool(64); };
        m_server.Get(R"(/p/(\d+)\.htm)", [this](const httplib::Request& rq, httplib::Response& rs) {
            const int now = ++m_inFlight;
            for (int most = m_mostInFlight; now > most;)
                m_mostInFlight.compare_exchange_weak(most, now);
            m_page(std::atoi(rq.matches[1].str().c_str()), rq, rs);
            --m_inFlight;
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~PageSite()
    {
        m_server.stop();
        m_thread.join();
    }
    PageSite(const PageSite&) = delete;
    PageSite& operator=(const PageSite&) = delete;

    int port() const { return m_port; }
    static std::string path(int n) { return "/p/" + std::to_string(n) + ".htm"; }
    QString address(int n) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_port)
            .arg(QString::fromStdString(path(n)));
    }
    // Requests whose answer is being made.
    int inFlight() const { return m_inFlight; }
    // The most requests answered at once since the last call.
    int takeMostInFlight() { return m_mostInFlight.exchange(0); }

private:
    Page m_page;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_mostInFlight{0};
};

} // namespace pagrim::bench
