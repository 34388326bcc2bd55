#include "wakeup/form5.h"

#include "alarm/module1.h"
#include "platform/default_instance.h"

#include <optional>

Form5::Form5()
    : MessageWindow({"正解です", {3936, 1476}, platform::Taskbar::None, "おはようございます",
                     {"ＤＦＰまるもじ体", 19.8, true, true}, {120, 240}, "Wave Stop",
                     {"Bauhaus 93", 12}, {240, 840, 3492, 492}})
{
    platform::handle(&Command1(), &QPushButton::clicked, this, &Form5::Command1_Click);
}

void Form5::Command1_Click()
{
    // The stop request goes out first; then the program ends, with every
    // window that is still loaded.
    Module1::sndPlaySoundA(std::nullopt, platform::SND_ASYNC);
    platform::End();
}
