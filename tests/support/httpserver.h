#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace pagrim::test {

// A web server for tests on 127.0.0.1 with a port of the system's choosing,
// answering GET from its own thread. Routes are looked up by path at every
// request, so a test may change them while the server runs. Paths without a
// route answer 404.
//
// Built in:
//   /setcookie?name=N&value=V   sets cookie N=V (with an expiry, so it persists)
//   /echocookie                 a page whose body is the request's Cookie header
class HttpServer
{
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return m_port; }
    // http://127.0.0.1:port + path (path starts with "/", may carry a query).
    QUrl url(const QString& path) const;
    QString address(const QString& path) const { return url(path).toString(); }

    // A page with the given body, content type and status.
    void setPage(const QString& path, const QByteArray& body,
                 const QByteArray& contentType = "text/html; charset=utf-8", int status = 200);
    // A page the server holds back until release(path) or the server stops.
    void setHeldPage(const QString& path, const QByteArray& body,
                     const QByteArray& contentType = "text/html; charset=utf-8");
    void release(const QString& path);
    // How many requests for path have been received so far.
    int hits(const QString& path) const;
    // Any handler of the test's own.
    void setHandler(const QString& path, Handler handler);

private:
    void dispatch(const httplib::Request& request, httplib::Response& response);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::map<std::string, Handler> m_routes;
    std::map<std::string, int> m_hits;
    std::set<std::string> m_held;
    bool m_stopping = false;
};

} // namespace pagrim::test
