// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakeup/form3.h"

#include "runtime/default_instance.h"

namespace zelmoro::wakeup {

Form3::Form3()
    : MessageWindow({
          .caption = "時間ですよ～",
          .clientTwips = {3168, 1488},
          .taskbar = runtime::Taskbar::Entry,
          .message = "起きろ～",
          .messageFont =
              {.family = "ＤＦＰまるもじ体", .pointSize = 36, .bold = true, .italic = true},
          .messageAt = {120, 120},
          .button = "OK",
          .buttonFont = {.family = "Bauhaus 93", .pointSize = 9},
          .buttonTwips = {120, 960, 2892, 372},
      })
{
    runtime::connectHandler(&Command1(), &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::Command1_Click()
{
    runtime::form<Form3>().Hide();
}

} // namespace zelmoro::wakeup
