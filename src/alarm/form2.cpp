#include "alarm/form2.h"

Form2::Form2() : Form(QStringLiteral("Alarm - Set"), 3744, 1356, platform::Taskbar::None) {}
