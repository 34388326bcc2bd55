// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/form1.h"
#include "clock/wake_keeper.h"
#include "platform/app_icon.h"
#include "platform/display_probe.h"
#include "platform/single_instance.h"
#include "platform/sound/pulse_sink_floor.h"
#include "platform/termination.h"
#include "program_end.h"
#include "runtime/default_instance.h"
#include "runtime/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
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
    parser.addOption({QStringLiteral("keep-mixer"),
                      QStringLiteral("Leave the output's volume and mute as they are while the "
                                     "alarm rings (by default a muted or quiet output is raised "
                                     "to 50 % and given back afterwards).")});
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

// Before the toolkit starts: --help and --version answered, a display found
// (else one plain line and status 1, instead of the toolkit's abort), and no
// session bus started behind the user's back. Returns the display's name.
QString prepareStartUp(int argc, char *argv[])
{
    answerInformationOptions(argc, argv);
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            platform = QString::fromLocal8Bit(argv[i + 1]);
    }
    bool preferX11 = false;
    const QString display = zelmoro::platform::reachableDisplay(platform, &preferX11);
    if (display.isEmpty()) {
        const auto named = [](const char *name) {
            return qEnvironmentVariableIsEmpty(name) ? QByteArray(name) + " unset"
                                                     : QByteArray(name) + "=" + qgetenv(name);
        };
        std::fprintf(stderr,
                     "zelmoro: Zelmoro needs a graphical session, and no display could be "
                     "reached (%s, %s)\n",
                     named("DISPLAY").constData(), named("WAYLAND_DISPLAY").constData());
        std::exit(1);
    }
    // The frames without buttons and the taskbar hints are X11 requests, which
    // Wayland compositors do not take: on a Wayland session with Xwayland the
    // program runs on X11. An explicit choice of platform is kept.
    if (platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", preferX11 ? "xcb" : "wayland");
    zelmoro::platform::neverAutolaunchSessionBus();
    return display;
}

// Another start asked for the running clock: shown restored, in front, active.
void showAgain()
{
    if (!zelmoro::runtime::form<zelmoro::clock::Form1>().isShown())
        return;
    QWidget &main = zelmoro::runtime::form<zelmoro::clock::Form1>().get();
    main.setWindowState(main.windowState() & ~Qt::WindowMinimized);
    main.raise();
    main.activateWindow();
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {32, 16})
        icon.addPixmap(QPixmap::fromImage(zelmoro::platform::drawIcon(size)));
    return icon;
}

// The alarm is heard on a computer that sleeps: woken for it, kept awake
// while it rings. Lives until the program ends, which withdraws it all.
std::unique_ptr<zelmoro::clock::WakeKeeper> keepAwakeForTheAlarm()
{
    return std::make_unique<zelmoro::clock::WakeKeeper>();
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace zelmoro;
    const QString display = prepareStartUp(argc, argv);
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
        platform::setMixerLeftAlone(parser.isSet(QStringLiteral("keep-mixer")));
    }
    // One id names the desktop file, the icons and the metadata; Wayland
    // compositors and taskbars match the window to them by it.
    QApplication::setDesktopFileName(QString::fromLatin1(kApplicationId));
    QApplication::setQuitOnLastWindowClosed(false);

    // A second copy would ring a second alarm that solving the first quiz
    // leaves ringing: the running copy shows its window instead.
    platform::SingleInstance instance{QString::fromLatin1(kApplicationId), display};
    if (!instance.claim())
        return 0;

    runtime::prepareRuntime();
    platform::installTerminationHandler(app::endOnRequest);
    QApplication::setWindowIcon(applicationIcon());

    runtime::form<clock::Form1>().Show();
    const auto wakeKeeper = keepAwakeForTheAlarm();
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, showAgain);
    // An error while the main window loaded has already been reported and ended
    // the program.
    const int status = runtime::hasEnded() ? runtime::endStatus() : QApplication::exec();

    // The program has ended: no window, no sound left behind.
    app::leaveNothingBehind();
    return status;
}
