// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/end.h"

#include "runtime/default_instance.h"

#include <QCoreApplication>
#include <QThread>

namespace zelmoro::runtime {

namespace {

bool ended = false;
int status = 0;

void endWith(int exitStatus)
{
    if (ended)
        return;
    ended = true;
    status = exitStatus;
    hideEveryForm();
    // Leave the event loop if one runs; outside one, exit() would make every
    // later event loop return at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(exitStatus);
}

} // namespace

bool hasEnded()
{
    return ended;
}

void End()
{
    endWith(0);
}

void endAfterError()
{
    endWith(1);
}

int endStatus()
{
    return status;
}

void unloadAll()
{
    unloadEveryForm();
    ended = false;
    status = 0;
}

} // namespace zelmoro::runtime
