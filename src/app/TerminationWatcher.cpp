// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TerminationWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace keld {

namespace {

// The write end of the pipe; the handler may only touch async-signal-safe things.
volatile sig_atomic_t g_writeFd = -1;

void OnSignal(int)
{
    const int fd = g_writeFd;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(fd, &byte, 1);
    }
}

void SetHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent)
{
    if (g_writeFd >= 0 || ::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_fds[0] = m_fds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationWatcher::Drain);
    g_writeFd = m_fds[1];
    SetHandler(OnSignal);
}

TerminationWatcher::~TerminationWatcher()
{
    if (m_fds[0] < 0)
        return;
    SetHandler(SIG_DFL);
    g_writeFd = -1;
    delete m_notifier;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void TerminationWatcher::Drain()
{
    char buffer[16];
    bool signalled = false;
    while (::read(m_fds[0], buffer, sizeof buffer) > 0)
        signalled = true;
    if (signalled)
        emit terminationRequested();
}

} // namespace keld
