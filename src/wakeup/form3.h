#pragma once

#include "platform/controls.h"
#include "platform/form.h"

// The notice that the alarm has come. OK only takes the notice away; the sound
// goes on until the wake-up quiz is solved.
class Form3 : public platform::Form {
    Q_OBJECT

public:
    Form3();

    void Command1_Click();

    platform::CommandButton &Command1() { return m_Command1; }
    platform::Label &Label1() { return m_Label1; }

private:
    platform::CommandButton m_Command1;
    platform::Label m_Label1;
};
