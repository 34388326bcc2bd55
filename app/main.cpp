#include "clock/form1.h"
#include "platform/default_instance.h"
#include "platform/sound_player.h"
#include "platform/startup.h"
#include "platform/termination.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelmoro"));
    QApplication::setDesktopFileName(QStringLiteral("zelmoro"));
    QApplication::setQuitOnLastWindowClosed(false);
    platform::prepareRuntime();
    platform::installTerminationHandler();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zelmoro.svg")));

    platform::form<Form1>().Show();
    // An error while the main window loaded has already been reported and ended
    // the program.
    const int status = platform::hasEnded() ? platform::endStatus() : QApplication::exec();

    // The program has ended: no window, no sound left behind.
    platform::unloadAll();
    platform::soundPlayer().play(std::nullopt, platform::SND_ASYNC);
    return status;
}
