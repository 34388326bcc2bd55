#include "wakeup/form5.h"

#include "alarm/module1.h"
#include "platform/default_instance.h"

#include <optional>

Form5::Form5()
    : Form(QStringLiteral("正解です"), 3936, 1476, platform::Taskbar::None),
      m_Command1(this, QStringLiteral("Wave Stop"), {"Bauhaus 93", 12}),
      m_Label1(this, QStringLiteral("おはようございます"), {"ＤＦＰまるもじ体", 19.8, true, true},
               platform::Label::Sizing::AutoSize, QColor(255, 0, 0))
{
    place(m_Command1, 240, 840, 3492, 492);
    placeAt(m_Label1, 120, 240);
    setTabOrder({&m_Label1, &m_Command1});
    platform::handle(&m_Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
}

void Form5::Command1_Click()
{
    // The stop request goes out first; then the program ends, with every
    // window that is still loaded.
    Module1::sndPlaySoundA(std::nullopt, platform::SND_ASYNC);
    platform::End();
}
