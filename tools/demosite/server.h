#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

namespace pagrim::demosite {

// Serves the example site on 127.0.0.1 from threads of its own until stop()
// or destruction. A page held back (the slow page) is let go at once by stop().
class Server
{
public:
    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1:port (0: a free port of the system's choosing) and starts
    // serving; gives the port it serves on, or -1 when it cannot bind.
    int start(int port);
    int port() const { return m_port; }
    void stop();

private:
    // Holds the calling thread for ms milliseconds or until stop().
    void hold(int ms);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
};

} // namespace pagrim::demosite
