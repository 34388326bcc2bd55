#include "platform/default_instance.h"

#include <QCoreApplication>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

bool ended = false;

std::vector<InstanceSlot *> &allSlots()
{
    static std::vector<InstanceSlot *> all;
    return all;
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
    if (ended)
        return;
    ended = true;
    for (InstanceSlot *slot : allSlots()) {
        if (QWidget *window = slot->widget())
            window->hide();
    }
    QCoreApplication::exit(0);
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
}

} // namespace platform
