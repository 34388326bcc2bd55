#include "wakeup/form6.h"

#include "platform/default_instance.h"

Form6::Form6()
    : Form(QStringLiteral("間違えています"), 3912, 1452, platform::Taskbar::None),
      m_Command1(this, QStringLiteral("One More"), {"Bauhaus 93", 12}),
      m_Label1(this, QStringLiteral("あなたの脳は未だ寝てます"),
               {"ＤＦＰまるもじ体", 13.8, true, true}, platform::Label::Sizing::AutoSize,
               QColor(255, 0, 0))
{
    place(m_Command1, 240, 840, 3492, 492);
    placeAt(m_Label1, 240, 240);
    setTabOrder({&m_Label1, &m_Command1});
    platform::handle(&m_Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
}

void Form6::Command1_Click()
{
    platform::form<Form6>().Unload();
}
