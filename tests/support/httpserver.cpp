#include "support/httpserver.h"

#include <httplib.h>

namespace pagrim::test {

namespace {
std::string key(const QString& path)
{
    return path.toStdString();
}
} // namespace

HttpServer::HttpServer() : m_server(std::make_unique<httplib::Server>())
{
    // Without a limit every keep-alive connection holds stop() for seconds.
    m_server->set_keep_alive_max_count(1);
    m_server->Get(".*",
                  [this](const httplib::Request& rq, httplib::Response& rs) { dispatch(rq, rs); });

    setHandler(QStringLiteral("/setcookie"), [](const httplib::Request& rq, httplib::Response& rs) {
        const std::string cookie = rq.get_param_value("name") + "=" + rq.get_param_value("value") +
                                   "; Path=/; Max-Age=86400";
        rs.set_header("Set-Cookie", cookie);
        rs.set_content("<html><body>cookie set</body></html>", "text/html; charset=utf-8");
    });
    setHandler(QStringLiteral("/echocookie"),
               [](const httplib::Request& rq, httplib::Response& rs) {
                   const std::string cookie = rq.get_header_value("Cookie");
                   rs.set_content("<html><body><p id=\"cookie\">" + cookie + "</p></body></html>",
                                  "text/html; charset=utf-8");
               });

    m_port = m_server->bind_to_any_port("127.0.0.1");
    // The socket is bound and listening already: a request made before the
    // thread accepts waits in the backlog.
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

HttpServer::~HttpServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_released.notify_all();
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

QUrl HttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void HttpServer::setPage(const QString& path, const QByteArray& body, const QByteArray& contentType,
                         int status)
{
    const std::string content = body.toStdString();
    const std::string type = contentType.toStdString();
    setHandler(path, [content, type, status](const httplib::Request&, httplib::Response& rs) {
        rs.status = status;
        rs.set_content(content, type);
    });
}

void HttpServer::setHeldPage(const QString& path, const QByteArray& body,
                             const QByteArray& contentType)
{
    const std::string name = key(path);
    const std::string content = body.toStdString();
    const std::string type = contentType.toStdString();
    {
        std::lock_guard lock(m_mutex);
        m_held.insert(name);
    }
    setHandler(path, [this, name, content, type](const httplib::Request&, httplib::Response& rs) {
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [&] { return m_stopping || !m_held.count(name); });
        rs.set_content(content, type);
    });
}

void HttpServer::release(const QString& path)
{
    {
        std::lock_guard lock(m_mutex);
        m_held.erase(key(path));
    }
    m_released.notify_all();
}

int HttpServer::hits(const QString& path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_hits.find(key(path));
    return it == m_hits.end() ? 0 : it->second;
}

void HttpServer::setHandler(const QString& path, Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_routes[key(path)] = std::move(handler);
}

void HttpServer::dispatch(const httplib::Request& request, httplib::Response& response)
{
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        ++m_hits[request.path];
        const auto it = m_routes.find(request.path);
        if (it != m_routes.end())
            handler = it->second;
    }
    if (handler) {
        handler(request, response);
    } else {
        response.status = 404;
        response.set_content("<html><body>not found</body></html>", "text/html");
    }
}

} // namespace pagrim::test
