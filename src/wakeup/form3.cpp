#include "wakeup/form3.h"

#include "platform/default_instance.h"

Form3::Form3()
    : MessageWindow({"時間ですよ～", {3168, 1488}, platform::Taskbar::Entry, "起きろ～",
                     {"ＤＦＰまるもじ体", 36, true, true}, {120, 120}, "OK", {"Bauhaus 93", 9},
                     {120, 960, 2892, 372}})
{
    platform::handle(&Command1(), &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::Command1_Click()
{
    platform::form<Form3>().Hide();
}
