// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wakeup/message_window.h"

namespace zelmoro::wakeup {

// The notice that the alarm has come. OK only takes the notice away; the sound
// goes on until the wake-up quiz is solved.
class Form3 : public MessageWindow {
    Q_OBJECT

public:
    Form3();
    void Command1_Click();
};

} // namespace zelmoro::wakeup
