// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runtime/command_button.h"
#include "runtime/form.h"
#include "runtime/label.h"

#include "runtime/drop_down_list.h"

namespace zelmoro::alarm {

// The alarm time dialog: three drop-down lists (hour, minute, second) that open
// on the current time of day. SET stores the choice as the alarm time and shows
// it in the main window; Cancel leaves everything as it was. Both close the
// dialog, so every opening starts afresh from the time of day.
class Form2 : public runtime::Form {
    Q_OBJECT

public:
    Form2();

    void Form_Load();
    void Command1_Click();
    void Command2_Click();

    runtime::CommandButton &Command2() { return m_Command2; }
    runtime::CommandButton &Command1() { return m_Command1; }
    QComboBox &cmbSecond() { return m_cmbSecond; }
    QComboBox &cmbMinute() { return m_cmbMinute; }
    QComboBox &cmbHour() { return m_cmbHour; }

private:
    // Created in the layout's order.
    runtime::CommandButton m_Command2;
    runtime::CommandButton m_Command1;
    runtime::DropDownList m_cmbSecond;
    runtime::DropDownList m_cmbMinute;
    runtime::DropDownList m_cmbHour;
    runtime::Label m_lblTime2;
    runtime::Label m_lblTime1;
    runtime::Label m_lblTime0;
};

} // namespace zelmoro::alarm
