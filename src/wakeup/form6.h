#pragma once

#include "platform/controls.h"
#include "platform/form.h"

// The wrong-answer window: One More closes it and leaves the quiz as it was.
class Form6 : public platform::Form {
    Q_OBJECT

public:
    Form6();

    void Command1_Click();

    platform::CommandButton &Command1() { return m_Command1; }
    platform::Label &Label1() { return m_Label1; }

private:
    platform::CommandButton m_Command1;
    platform::Label m_Label1;
};
