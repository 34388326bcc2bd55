// SPDX-License-Identifier: GPL-3.0-or-later
#include "alarm/form2.h"

#include "clock/form1.h"
#include "module1.h"
#include "platform/time_source.h"
#include "runtime/conversions.h"
#include "runtime/default_instance.h"
#include "runtime/time_text.h"

#include <cstdint>

namespace zelmoro::alarm {

using runtime::Label;

namespace {

const platform::FontSpec kButtonFont{"Bauhaus 93", 12};
const platform::FontSpec kUnitFont{"ＭＳ Ｐゴシック", 12, true};

// Entries 00 ... 59, always two digits.
void fillSixty(QComboBox &list)
{
    for (std::int16_t n = 0; n <= 59; n = runtime::checkedAdd(n, 1)) {
        if (n < 10)
            list.addItem(QStringLiteral("0") + runtime::decimalText(n));
        else
            list.addItem(runtime::decimalText(n));
    }
}

} // namespace

Form2::Form2()
    : Form(QStringLiteral("Alarm - Set"), 3744, 1356, runtime::Taskbar::None),
      m_Command2(this, QStringLiteral("Cancel"), kButtonFont),
      m_Command1(this, QStringLiteral("SET"), kButtonFont), m_cmbSecond(this), m_cmbMinute(this),
      m_cmbHour(this), m_lblTime2(this, QStringLiteral("秒"), kUnitFont, Label::Sizing::Fixed),
      m_lblTime1(this, QStringLiteral("分"), kUnitFont, Label::Sizing::Fixed),
      m_lblTime0(this, QStringLiteral("時"), kUnitFont, Label::Sizing::Fixed)
{
    place(m_Command2, 1920, 720, 1572, 372);
    place(m_Command1, 240, 720, 1572, 372);
    place(m_cmbSecond, 2520, 240, 732, 276);
    place(m_cmbMinute, 1320, 240, 732, 276);
    place(m_cmbHour, 120, 240, 732, 276);
    place(m_lblTime2, 3360, 240, 252, 252);
    place(m_lblTime1, 2160, 240, 252, 252);
    place(m_lblTime0, 960, 240, 252, 252);

    m_cmbHour.setAccessibleName(QStringLiteral("時"));
    m_cmbMinute.setAccessibleName(QStringLiteral("分"));
    m_cmbSecond.setAccessibleName(QStringLiteral("秒"));
    // On Linux a screen reader names a list by the label that is its buddy
    // (a list's own name there is its selected entry).
    m_lblTime0.setBuddy(&m_cmbHour);
    m_lblTime1.setBuddy(&m_cmbMinute);
    m_lblTime2.setBuddy(&m_cmbSecond);
    setTabOrder({&m_cmbHour, &m_cmbMinute, &m_cmbSecond, &m_lblTime0, &m_lblTime1, &m_lblTime2,
                 &m_Command1, &m_Command2});

    runtime::connectHandler(&m_Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    runtime::connectHandler(&m_Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
}

void Form2::Form_Load()
{
    using namespace runtime;
    using platform::now;
    // Each list is preselected from its own reading of the time of day.
    for (std::int16_t n = 0; n <= 23; n = checkedAdd(n, 1))
        m_cmbHour.addItem(decimalText(n));
    m_cmbHour.setCurrentIndex(hourOf(now()));

    fillSixty(m_cmbMinute);
    m_cmbMinute.setCurrentIndex(minuteOf(now()));

    fillSixty(m_cmbSecond);
    m_cmbSecond.setCurrentIndex(secondOf(now()));
}

void Form2::Command1_Click()
{
    Module1::Alarm &alarm = Module1::AlarmTime();
    alarm.set(m_cmbHour.currentText() + QStringLiteral(":") + m_cmbMinute.currentText() +
              QStringLiteral(":") + m_cmbSecond.currentText());
    runtime::form<clock::Form1>().get().Label3().setCaption(alarm.text());
    runtime::form<Form2>().Unload();
}

void Form2::Command2_Click()
{
    runtime::form<Form2>().Unload();
}

} // namespace zelmoro::alarm
