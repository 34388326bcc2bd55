#pragma once

#include "platform/controls.h"
#include "platform/form.h"

#include <QLineEdit>
#include <QTimer>

// The wake-up quiz: the sum of two random numbers, drawn anew every 30
// seconds. Only the right sum leads on to the window that stops the alarm; any
// other answer, whatever it is, leads to the wrong-answer window.
class Form4 : public platform::Form {
    Q_OBJECT

public:
    Form4();

    void Form_Load();
    void Timer1_Timer();
    void Command1_Click();
    void Command2_Click();

    QTimer &Timer1() { return m_Timer1; }
    QLineEdit &Text1() { return m_Text1; }
    platform::CommandButton &Command1() { return m_Command1; }
    platform::CommandButton &Command2() { return m_Command2; }
    platform::Label &Label1() { return m_Label1; }
    platform::Label &Label2() { return m_Label2; }
    platform::Label &Label3() { return m_Label3; }
    platform::Label &Label4() { return m_Label4; }

private:
    // Created in the layout's order.
    QTimer m_Timer1;
    QLineEdit m_Text1;
    platform::CommandButton m_Command2;
    platform::CommandButton m_Command1;
    platform::Label m_Label4;
    platform::Label m_Label3;
    platform::Label m_Label2;
    platform::Label m_Label1;
};
