// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runtime/command_button.h"
#include "runtime/form.h"
#include "runtime/label.h"

#include <QLineEdit>
#include <QTimer>

namespace zelmoro::wakeup {

// The wake-up quiz: the sum of two random numbers, drawn anew every 30
// seconds. Only the right sum leads on to the window that stops the alarm; any
// other answer, whatever it is, leads to the wrong-answer window.
class Form4 : public runtime::Form {
    Q_OBJECT

public:
    Form4();

    void Form_Load();
    void Timer1_Timer();
    void Command1_Click();
    void Command2_Click();

    QTimer &Timer1() { return m_Timer1; }
    QLineEdit &Text1() { return m_Text1; }
    runtime::CommandButton &Command1() { return m_Command1; }
    runtime::CommandButton &Command2() { return m_Command2; }
    runtime::Label &Label1() { return m_Label1; }
    runtime::Label &Label2() { return m_Label2; }
    runtime::Label &Label3() { return m_Label3; }
    runtime::Label &Label4() { return m_Label4; }

private:
    // Created in the layout's order.
    QTimer m_Timer1;
    QLineEdit m_Text1;
    runtime::CommandButton m_Command2;
    runtime::CommandButton m_Command1;
    runtime::Label m_Label4;
    runtime::Label m_Label3;
    runtime::Label m_Label2;
    runtime::Label m_Label1;
};

} // namespace zelmoro::wakeup
