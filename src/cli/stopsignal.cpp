#include "cli/stopsignal.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pagrim::cli {

namespace {

volatile std::sig_atomic_t g_requested = 0;
int g_pipe[2] = {-1, -1};

void onSignal(int signal)
{
    // A second stop, of either kind, ends the program at once.
    if (g_requested) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_requested = 1;
    const int saved = errno;
    const char byte = 1;
    // A full pipe has a wake-up waiting already.
    if (g_pipe[1] >= 0 && ::write(g_pipe[1], &byte, 1) < 0)
        errno = saved;
    errno = saved;
}

} // namespace

StopSignal::StopSignal(QObject* parent) : QObject(parent)
{
    // Without the pipe the runs still read the flag, only later.
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
            }
            Q_EMIT stopRequested();
        });
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

StopSignal::~StopSignal()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_pipe)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
}

bool StopSignal::requested()
{
    return g_requested != 0;
}

} // namespace pagrim::cli
