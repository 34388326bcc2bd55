// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/termination.h"

#include "platform/self_pipe.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QtGlobal>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace zelmoro::platform {

namespace {

// The two ends of the pipe from the signal handler to the event loop.
int wakeRead = -1;
volatile sig_atomic_t wakeWrite = -1;

constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};

extern "C" void onTerminationSignal(int signalNumber)
{
    // Only async-signal-safe calls here: one byte down the pipe. A full pipe
    // means a wake-up is already pending, so a failed write loses nothing.
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    if (wakeWrite >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

void installTerminationHandler(std::function<void()> onRequest)
{
    if (wakeRead >= 0)
        return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("zelmoro: no pipe for termination requests; the session's signals end the "
                 "program without stopping its sound");
        return;
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];

    auto *notifier =
        new QSocketNotifier(wakeRead, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [onRequest = std::move(onRequest)] {
                         drainSelfPipe(wakeRead);
                         onRequest();
                     });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals) {
        // A hang-up or interrupt that whoever started the program chose to
        // ignore (nohup, a background job) stays ignored.
        struct sigaction previous = {};
        ::sigaction(signalNumber, nullptr, &previous);
        if (signalNumber != SIGTERM && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

} // namespace zelmoro::platform
