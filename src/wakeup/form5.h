#pragma once

#include "platform/controls.h"
#include "platform/form.h"

// The correct-answer window: its one button stops the alarm sound and ends the
// program.
class Form5 : public platform::Form {
    Q_OBJECT

public:
    Form5();

    void Command1_Click();

    platform::CommandButton &Command1() { return m_Command1; }
    platform::Label &Label1() { return m_Label1; }

private:
    platform::CommandButton m_Command1;
    platform::Label m_Label1;
};
