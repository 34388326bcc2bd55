// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakeup/form5.h"

#include "module1.h"
#include "runtime/default_instance.h"

namespace zelmoro::wakeup {

Form5::Form5()
    : MessageWindow({
          .caption = "正解です",
          .clientTwips = {3936, 1476},
          .taskbar = runtime::Taskbar::None,
          .message = "おはようございます",
          .messageFont =
              {.family = "ＤＦＰまるもじ体", .pointSize = 19.8, .bold = true, .italic = true},
          .messageAt = {120, 240},
          .button = "Wave Stop",
          .buttonFont = {.family = "Bauhaus 93", .pointSize = 12},
          .buttonTwips = {240, 840, 3492, 492},
      })
{
    runtime::connectHandler(&Command1(), &QPushButton::clicked, this, &Form5::Command1_Click);
}

void Form5::Command1_Click()
{
    // The stop request goes out first; then the program ends, with every
    // window that is still loaded.
    Module1::stopSound();
    runtime::End();
}

} // namespace zelmoro::wakeup
