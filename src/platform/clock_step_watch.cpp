// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/clock_step_watch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>
#include <sys/timerfd.h>
#include <unistd.h>

namespace zelmoro::platform {

ClockStepWatch::ClockStepWatch(QObject *parent) : QObject(parent)
{
    m_fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0)
        return;
    arm();
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ClockStepWatch::readStep);
}

ClockStepWatch::~ClockStepWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void ClockStepWatch::arm()
{
    // A timer that never expires, on the wall clock, cancelled by the kernel
    // whenever that clock is set.
    itimerspec never{};
    never.it_value.tv_sec = std::numeric_limits<time_t>::max();
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &never, nullptr);
}

void ClockStepWatch::readStep()
{
    std::uint64_t expirations = 0;
    const ssize_t got = ::read(m_fd, &expirations, sizeof expirations);
    if (got < 0 && errno == ECANCELED) {
        arm();
        emit stepped();
    }
}

} // namespace zelmoro::platform
