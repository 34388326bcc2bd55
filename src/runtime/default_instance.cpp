// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/default_instance.h"

#include <algorithm>
#include <vector>

namespace zelmoro::runtime {

namespace {

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

void hideEveryForm()
{
    for (InstanceSlot *slot : allSlots()) {
        if (QWidget *window = slot->widget())
            window->hide();
    }
}

void unloadEveryForm()
{
    for (InstanceSlot *slot : allSlots()) {
        if (QWidget *window = slot->widget()) {
            slot->Unload();
            delete window;
        }
    }
}

} // namespace zelmoro::runtime
