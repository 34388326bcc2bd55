#include "wakeup/form4.h"

Form4::Form4() : Form(QStringLiteral("本当に起きてるの??"), 2844, 1392, platform::Taskbar::Entry) {}
