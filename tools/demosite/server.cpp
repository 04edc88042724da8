#include "demosite/server.h"

#include "demosite/site.h"

#include <httplib.h>

namespace pagrim::demosite {

namespace {
constexpr int Threads = 8;
} // namespace

Server::Server() : m_server(std::make_unique<httplib::Server>())
{
    // Slow pages hold a thread each, so a browser fetching frames or pages
    // beside a slow one needs more than one per core.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(Threads); };
    // Only SO_REUSEADDR: a second server on a port in use must fail, not share it.
    m_server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Connections that stay open would hold stop() for the keep-alive time.
    m_server->set_keep_alive_max_count(1);
    const auto handler = [this](const httplib::Request& rq, httplib::Response& rs) {
        Request request;
        request.method = QString::fromStdString(rq.method);
        request.path = QString::fromStdString(rq.path);
        for (const auto& [name, value] : rq.params)
            request.params.insert(QString::fromStdString(name), QString::fromStdString(value));
        request.cookie = QByteArray::fromStdString(rq.get_header_value("Cookie"));
        const Response answer = page(request);
        if (answer.delayMs > 0)
            hold(answer.delayMs);
        rs.status = answer.status;
        if (!answer.setCookie.isEmpty())
            rs.set_header("Set-Cookie", answer.setCookie.toStdString());
        rs.set_content(answer.body.toStdString(), answer.contentType.toStdString());
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
}

Server::~Server()
{
    stop();
}

int Server::start(int port)
{
    if (m_thread.joinable())
        return m_port;
    const int bound = port == 0 ? m_server->bind_to_any_port("127.0.0.1")
                                : (m_server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        return -1;
    m_port = bound;
    // The socket listens already: a request made before the thread accepts
    // waits in the backlog.
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    return m_port;
}

void Server::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void Server::hold(int ms)
{
    std::unique_lock lock(m_mutex);
    m_stopped.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

} // namespace pagrim::demosite
