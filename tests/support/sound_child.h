#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace testing
{

// A small program run by audio tests in a child process, so that it can be
// given its own sound server (or none) and its standard error can be read.
// It uses the program's default sound player, as the clock does:
//   - at once: play once (17), the same again, stop (1);
//   - then every 250 ms: if nothing plays, request the loop (25);
//   - after the given time: stop and end.
// Each call and each tick is reported on one line of standard output:
//   call <once|loop|stop> accepted=<0|1> ms=<duration of the call> playing=<0|1>
//   tick t=<ms since start> playing=<0|1> looping=<0|1>
// A test program hands over to it from main() when its first argument is
// kSoundChildArg:  <program> --sound-child <sound file> <run ms>
inline constexpr char kSoundChildArg[] = "--sound-child";
int runSoundChild(int argc, char **argv);

// One reported line, parsed.
struct ChildReport {
    QByteArray kind; // "call" or "tick"
    QByteArray what; // once, loop or stop (calls)
    bool accepted = false;
    qint64 ms = 0; // call duration, or time of the tick
    bool playing = false;
    bool looping = false;
};
QList<ChildReport> parseChildReports(const QByteArray &output);

} // namespace testing
