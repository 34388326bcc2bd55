// SPDX-License-Identifier: GPL-3.0-or-later
// zelmoro-wake: holds one timer that wakes the computer from suspend at the
// UTC second last written on standard input, one decimal number a line, and
// exits when its input closes. It carries the capability to wake the
// computer (cap_wake_alarm) and does nothing else with it.

#include "wake_line.h"

#include <sys/timerfd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

bool arm(int timer, std::string_view line)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::optional<std::int64_t> second = zelmoro::wake::parseWakeLine(line, now.tv_sec);
    if (!second) {
        std::fputs("zelmoro-wake: ignored a line that is not a UTC second within the next 48 "
                   "hours\n",
                   stderr);
        return false;
    }
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(*second);
    if (timerfd_settime(timer, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        std::fprintf(stderr, "zelmoro-wake: cannot set the wake timer: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

int main()
{
    const int timer = timerfd_create(CLOCK_REALTIME_ALARM, TFD_CLOEXEC);
    if (timer < 0) {
        std::fprintf(stderr, "zelmoro-wake: cannot hold a wake timer: %s\n", std::strerror(errno));
        return 1;
    }
    // Tells the clock that the timer is there.
    std::puts("ready");
    std::fflush(stdout);

    std::string line;
    bool tooLong = false;
    for (int c = std::getchar();; c = std::getchar()) {
        if (c == '\n' || (c == EOF && !line.empty())) {
            if (!tooLong)
                arm(timer, line);
            else
                std::fputs("zelmoro-wake: ignored an overlong line\n", stderr);
            line.clear();
            tooLong = false;
        } else if (c != EOF) {
            if (line.size() < zelmoro::wake::kMaxLineLength)
                line.push_back(static_cast<char>(c));
            else
                tooLong = true;
        }
        if (c == EOF)
            return 0;
    }
}
