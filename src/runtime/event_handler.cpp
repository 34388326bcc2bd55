// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/event_handler.h"

#include "runtime/end.h"
#include "runtime/runtime_error.h"

namespace zelmoro::runtime {

void runHandler(const std::function<void()> &handler)
{
    if (hasEnded())
        return;
    try {
        handler();
    } catch (const RuntimeError &error) {
        reportError(error);
        endAfterError();
    }
}

} // namespace zelmoro::runtime
