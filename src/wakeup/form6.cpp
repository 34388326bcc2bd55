#include "wakeup/form6.h"

#include "platform/default_instance.h"

Form6::Form6()
    : MessageWindow({"間違えています", {3912, 1452}, platform::Taskbar::None,
                     "あなたの脳は未だ寝てます", {"ＤＦＰまるもじ体", 13.8, true, true}, {240, 240},
                     "One More", {"Bauhaus 93", 12}, {240, 840, 3492, 492}})
{
    platform::handle(&Command1(), &QPushButton::clicked, this, &Form6::Command1_Click);
}

void Form6::Command1_Click()
{
    platform::form<Form6>().Unload();
}
