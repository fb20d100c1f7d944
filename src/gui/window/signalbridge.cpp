#include "gui/window/signalbridge.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QScopeGuard>
#include <QSocketNotifier>

namespace plovern {

namespace {

int g_pipe[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno; // the interrupted code may be about to read it
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

constexpr int kCaught[] = {SIGTERM, SIGHUP, SIGINT, SIGUSR1};

sigset_t caughtSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCaught)
        sigaddset(&set, signal);
    return set;
}

} // namespace

void SignalBridge::holdSignals()
{
    const sigset_t set = caughtSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalBridge::SignalBridge(QObject* parent)
    : QObject(parent)
{
    // Threads started meanwhile keep the signals held, so they reach this one.
    const auto release = qScopeGuard([] {
        const sigset_t set = caughtSignals();
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    });
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_pipe[1], &byte, 1) == 1 && byte == SIGUSR1)
            emit raiseRequested();
        else
            emit terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kCaught) {
        if (::sigaction(signal, &action, nullptr) != 0)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
}

SignalBridge::~SignalBridge()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int signal : kCaught)
        ::sigaction(signal, &action, nullptr);
}

} // namespace plovern
