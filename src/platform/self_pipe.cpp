// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/self_pipe.h"

#include <unistd.h>

namespace zelmoro::platform {

void drainSelfPipe(int readEnd)
{
    char buffer[64];
    while (::read(readEnd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace zelmoro::platform
