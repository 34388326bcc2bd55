#include "wakeup/form3.h"

#include "platform/default_instance.h"

Form3::Form3()
    : Form(QStringLiteral("時間ですよ～"), 3168, 1488, platform::Taskbar::Entry),
      m_Command1(this, QStringLiteral("OK"), {"Bauhaus 93", 9}),
      m_Label1(this, QStringLiteral("起きろ～"), {"ＤＦＰまるもじ体", 36, true, true},
               platform::Label::Sizing::AutoSize, QColor(255, 0, 0))
{
    place(m_Command1, 120, 960, 2892, 372);
    placeAt(m_Label1, 120, 120);
    setTabOrder({&m_Label1, &m_Command1});
    platform::handle(&m_Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::Command1_Click()
{
    platform::form<Form3>().Hide();
}
