#pragma once

#include "platform/controls.h"
#include "platform/form.h"

#include <QComboBox>

#include <cstddef>

// A combo box in drop-down-list style: the user picks an entry and cannot type
// free text. Its list opens below the closed field and starts at the selected
// entry, so the entries after it are in view.
class DropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit DropDownList(QWidget *parent);

    void showPopup() override;
};

// The alarm time dialog: three drop-down lists (hour, minute, second) that open
// on the current time of day. SET stores the choice as the alarm time and shows
// it in the main window; Cancel leaves everything as it was. Both close the
// dialog, so every opening starts afresh from the time of day.
class Form2 : public platform::Form {
    Q_OBJECT

public:
    Form2();

    void Form_Load();
    void Command1_Click();
    void Command2_Click();

    platform::CommandButton &Command2() { return m_Command2; }
    platform::CommandButton &Command1() { return m_Command1; }
    QComboBox &cmbSecond() { return m_cmbSecond; }
    QComboBox &cmbMinute() { return m_cmbMinute; }
    QComboBox &cmbHour() { return m_cmbHour; }
    // The unit labels after the lists: 0 "時", 1 "分", 2 "秒".
    platform::Label &lblTime(std::size_t index);

private:
    // Created in the layout's order.
    platform::CommandButton m_Command2;
    platform::CommandButton m_Command1;
    DropDownList m_cmbSecond;
    DropDownList m_cmbMinute;
    DropDownList m_cmbHour;
    platform::Label m_lblTime2;
    platform::Label m_lblTime1;
    platform::Label m_lblTime0;
};
