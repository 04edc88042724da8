// pagrim-demosite [port]: serves the example site on 127.0.0.1 (port 8808 by
// default; 0 lets the system choose) until SIGINT or SIGTERM.
#include "demosite/server.h"
#include "demosite/site.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>

int main(int argc, char** argv)
{
    int port = pagrim::demosite::DefaultPort;
    if (argc > 2 || (argc == 2 && std::strcmp(argv[1], "--help") == 0)) {
        std::fprintf(stderr, "usage: pagrim-demosite [port]\n");
        return 2;
    }
    if (argc == 2) {
        char* end = nullptr;
        const long value = std::strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || value < 0 || value > 65535) {
            std::fprintf(stderr, "pagrim-demosite: not a port: %s\n", argv[1]);
            return 2;
        }
        port = int(value);
    }

    // The signals are taken by sigwait below; blocked before any thread starts,
    // so that the server's threads inherit the mask and none of them is hit.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    pagrim::demosite::Server server;
    const int bound = server.start(port);
    if (bound < 0) {
        std::fprintf(stderr, "pagrim-demosite: cannot serve on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("pagrim-demosite: serving %s\n",
                pagrim::demosite::siteAddress(bound).toUtf8().constData());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    std::printf("pagrim-demosite: stopped\n");
    return 0;
}
