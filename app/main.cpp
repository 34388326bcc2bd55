// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/form1.h"
#include "platform/app_icon.h"
#include "platform/single_instance.h"
#include "platform/termination.h"
#include "program_end.h"
#include "runtime/default_instance.h"
#include "runtime/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPixmap>

#include <cstring>
#include <memory>

namespace {

constexpr char kApplicationId[] = ZELMORO_APP_ID;

void describe(QCoreApplication &app, QCommandLineParser &parser)
{
    app.setApplicationName(QStringLiteral("zelmoro"));
    app.setApplicationVersion(QStringLiteral(ZELMORO_VERSION));
    parser.setApplicationDescription(
        QStringLiteral("Alarm clock that makes sure you are awake: the alarm stops only "
                       "after an addition quiz is solved."));
    parser.addHelpOption();
    parser.addVersionOption();
}

// --help and --version print and exit without a display: they are answered
// before the windowing system is reached.
void answerInformationOptions(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0) {
                QCoreApplication app(argc, argv);
                QCommandLineParser parser;
                describe(app, parser);
                parser.process(app); // prints and exits
            }
        }
    }
}

// The frames without buttons and the taskbar hints are X11 requests, which
// Wayland compositors do not take. On a Wayland session with Xwayland the
// program therefore runs on X11; without Xwayland, natively. An explicit
// choice of platform is kept.
void preferXwayland()
{
    const bool waylandSession =
        qgetenv("XDG_SESSION_TYPE") == "wayland" || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (waylandSession && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {32, 16})
        icon.addPixmap(QPixmap::fromImage(zelmoro::platform::drawIcon(size)));
    return icon;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace zelmoro;
    answerInformationOptions(argc, argv);
    preferXwayland();
    // Once a second the clock sends the X server a few small repainted areas; as
    // plain requests they cost less than through shared memory, whose completion
    // message would wake the program a second time.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    {
        QCommandLineParser parser; // rejects what Qt did not take for itself
        describe(app, parser);
        parser.process(app);
    }
    // One id names the desktop file, the icons and the metadata; Wayland
    // compositors and taskbars match the window to them by it.
    QApplication::setDesktopFileName(QString::fromLatin1(kApplicationId));
    QApplication::setQuitOnLastWindowClosed(false);

    // A second copy would ring a second alarm that solving the first quiz
    // leaves ringing: the running copy shows its window instead.
    platform::SingleInstance instance{QString::fromLatin1(kApplicationId)};
    if (!instance.claim())
        return 0;

    runtime::prepareRuntime();
    platform::installTerminationHandler(app::endOnRequest);
    QApplication::setWindowIcon(applicationIcon());

    runtime::form<clock::Form1>().Show();
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, [] {
        if (!runtime::form<clock::Form1>().isShown())
            return;
        QWidget &main = runtime::form<clock::Form1>().get();
        main.raise();
        main.activateWindow();
    });
    // An error while the main window loaded has already been reported and ended
    // the program.
    const int status = runtime::hasEnded() ? runtime::endStatus() : QApplication::exec();

    // The program has ended: no window, no sound left behind.
    app::leaveNothingBehind();
    return status;
}
