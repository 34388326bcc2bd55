#include "alarm/form2.h"

#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/conversions.h"
#include "platform/default_instance.h"
#include "platform/time_of_day.h"

#include <QAbstractItemView>

#include <cstdint>
#include <stdexcept>

using platform::Label;

namespace {

const platform::FontSpec buttonFont{"Bauhaus 93", 12};
const platform::FontSpec unitFont{"ＭＳ Ｐゴシック", 12, true};

// Entries 00 ... 59, always two digits.
void fillSixty(QComboBox &list)
{
    for (std::int16_t n = 0; n <= 59; n = platform::checkedAdd(n, 1)) {
        if (n < 10)
            list.addItem(QStringLiteral("0") + platform::decimalText(n));
        else
            list.addItem(platform::decimalText(n));
    }
}

} // namespace

DropDownList::DropDownList(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    // Below the field, whatever the style's habit of opening the list over it.
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

void DropDownList::showPopup()
{
    QComboBox::showPopup();
    view()->scrollTo(view()->currentIndex(), QAbstractItemView::PositionAtTop);
}

Form2::Form2()
    : Form(QStringLiteral("Alarm - Set"), 3744, 1356, platform::Taskbar::None),
      m_Command2(this, QStringLiteral("Cancel"), buttonFont),
      m_Command1(this, QStringLiteral("SET"), buttonFont),
      m_cmbSecond(this),
      m_cmbMinute(this),
      m_cmbHour(this),
      m_lblTime2(this, QStringLiteral("秒"), unitFont, Label::Sizing::Fixed),
      m_lblTime1(this, QStringLiteral("分"), unitFont, Label::Sizing::Fixed),
      m_lblTime0(this, QStringLiteral("時"), unitFont, Label::Sizing::Fixed)
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

    platform::handle(&m_Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    platform::handle(&m_Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
}

platform::Label &Form2::lblTime(std::size_t index)
{
    switch (index) {
    case 0:
        return m_lblTime0;
    case 1:
        return m_lblTime1;
    case 2:
        return m_lblTime2;
    default:
        throw std::out_of_range("lblTime has the indexes 0 to 2");
    }
}

void Form2::Form_Load()
{
    using namespace platform;
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
    Module1::AlarmTime = m_cmbHour.currentText() + QStringLiteral(":");
    Module1::AlarmTime = Module1::AlarmTime + m_cmbMinute.currentText() + QStringLiteral(":");
    Module1::AlarmTime = Module1::AlarmTime + m_cmbSecond.currentText();
    platform::form<Form1>().get().Label3().setCaption(Module1::AlarmTime);
    platform::form<Form2>().Unload();
}

void Form2::Command2_Click()
{
    platform::form<Form2>().Unload();
}
