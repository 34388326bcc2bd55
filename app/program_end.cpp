// SPDX-License-Identifier: GPL-3.0-or-later
#include "program_end.h"

#include "module1.h"
#include "runtime/end.h"

namespace zelmoro::app {

void endOnRequest()
{
    if (runtime::hasEnded())
        return;
    Module1::stopSound();
    runtime::End();
}

void leaveNothingBehind()
{
    runtime::unloadAll();
    Module1::stopSound();
}

} // namespace zelmoro::app
