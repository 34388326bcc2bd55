#include "platform/default_instance.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

bool ended = false;
int status = 0;

std::vector<InstanceSlot *> &allSlots()
{
    static std::vector<InstanceSlot *> all;
    return all;
}

void endWith(int exitStatus)
{
    if (ended)
        return;
    ended = true;
    status = exitStatus;
    for (InstanceSlot *slot : allSlots()) {
        if (QWidget *window = slot->widget())
            window->hide();
    }
    // Leave the event loop if one runs; outside one, exit() would make every
    // later event loop return at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(exitStatus);
}

} // namespace

InstanceSlot::InstanceSlot()
{
    allSlots().push_back(this);
}

InstanceSlot::~InstanceSlot()
{
    auto &all = allSlots();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

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
    for (InstanceSlot *slot : allSlots()) {
        if (QWidget *window = slot->widget()) {
            slot->Unload();
            delete window;
        }
    }
    ended = false;
    status = 0;
}

} // namespace platform
