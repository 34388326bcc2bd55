// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/form1.h"
#include "platform/sound/sound_player.h"
#include "platform/termination.h"
#include "runtime/default_instance.h"
#include "runtime/startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    using namespace zelmoro;
    // Once a second the clock sends the X server a few small repainted areas; as
    // plain requests they cost less than through shared memory, whose completion
    // message would wake the program a second time.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelmoro"));
    QApplication::setDesktopFileName(QStringLiteral("zelmoro"));
    QApplication::setQuitOnLastWindowClosed(false);
    runtime::prepareRuntime();
    platform::installTerminationHandler(runtime::endOnRequest);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zelmoro.svg")));

    runtime::form<clock::Form1>().Show();
    // An error while the main window loaded has already been reported and ended
    // the program.
    const int status = runtime::hasEnded() ? runtime::endStatus() : QApplication::exec();

    // The program has ended: no window, no sound left behind.
    runtime::unloadAll();
    platform::soundPlayer().play(std::nullopt, platform::SND_ASYNC);
    return status;
}
