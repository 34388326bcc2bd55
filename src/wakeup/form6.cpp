// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakeup/form6.h"

#include "runtime/default_instance.h"

namespace zelmoro::wakeup {

Form6::Form6()
    : MessageWindow({
          .caption = "間違えています",
          .clientTwips = {3912, 1452},
          .taskbar = runtime::Taskbar::None,
          .message = "あなたの脳は未だ寝てます",
          .messageFont =
              {.family = "ＤＦＰまるもじ体", .pointSize = 13.8, .bold = true, .italic = true},
          .messageAt = {240, 240},
          .button = "One More",
          .buttonFont = {.family = "Bauhaus 93", .pointSize = 12},
          .buttonTwips = {240, 840, 3492, 492},
      })
{
    runtime::connectHandler(&Command1(), &QPushButton::clicked, this, &Form6::Command1_Click);
}

void Form6::Command1_Click()
{
    runtime::form<Form6>().Unload();
}

} // namespace zelmoro::wakeup
