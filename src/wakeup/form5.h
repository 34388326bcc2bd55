// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wakeup/message_window.h"

namespace zelmoro::wakeup {

// The correct-answer window: its one button stops the alarm sound and ends the
// program.
class Form5 : public MessageWindow {
    Q_OBJECT

public:
    Form5();
    void Command1_Click();
};

} // namespace zelmoro::wakeup
