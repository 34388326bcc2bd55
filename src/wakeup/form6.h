// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wakeup/message_window.h"

namespace zelmoro::wakeup {

// The wrong-answer window: its one button closes it and leaves the quiz as it
// was for another try.
class Form6 : public MessageWindow {
    Q_OBJECT

public:
    Form6();
    void Command1_Click();
};

} // namespace zelmoro::wakeup
