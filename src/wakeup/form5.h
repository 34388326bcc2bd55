#pragma once

#include "wakeup/message_window.h"

// The correct-answer window: its one button stops the alarm sound and ends the
// program.
class Form5 : public MessageWindow {
    Q_OBJECT

public:
    Form5();
    void Command1_Click();
};
