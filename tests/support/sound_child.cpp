#include "support/sound_child.h"

#include "platform/sound_player.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace testing
{

namespace
{

constexpr std::uint32_t kPlayOnce = 17;
constexpr std::uint32_t kPlayLoop = 25;
constexpr std::uint32_t kStop = 1;

void call(const char *what, const std::optional<QString> &file, std::uint32_t flags)
{
    platform::SoundPlayer &player = platform::soundPlayer();
    QElapsedTimer timer;
    timer.start();
    const bool accepted = player.play(file, flags);
    const qint64 ms = timer.elapsed();
    std::printf("call %s accepted=%d ms=%lld playing=%d\n", what, accepted ? 1 : 0,
                static_cast<long long>(ms), player.isPlaying() ? 1 : 0);
    std::fflush(stdout);
}

} // namespace

int runSoundChild(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s %s SOUND RUN_MS\n", argv[0], kSoundChildArg);
        return 2;
    }
    const QString sound = QString::fromLocal8Bit(argv[2]);
    const int runMs = std::atoi(argv[3]);

    QElapsedTimer clock;
    clock.start();
    call("once", sound, kPlayOnce);
    call("once", sound, kPlayOnce);
    call("stop", std::nullopt, kStop);

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        platform::SoundPlayer &player = platform::soundPlayer();
        if (!player.isPlaying())
            call("loop", sound, kPlayLoop);
        std::printf("tick t=%lld playing=%d looping=%d\n", static_cast<long long>(clock.elapsed()),
                    player.isPlaying() ? 1 : 0, player.isLooping() ? 1 : 0);
        std::fflush(stdout);
    });
    tick.start(250);
    QTimer::singleShot(runMs, &app, [&] {
        call("stop", std::nullopt, kStop);
        QCoreApplication::quit();
    });
    return app.exec();
}

QList<ChildReport> parseChildReports(const QByteArray &output)
{
    QList<ChildReport> reports;
    for (const QByteArray &line : output.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2 || (words[0] != "call" && words[0] != "tick"))
            continue;
        ChildReport report;
        report.kind = words[0];
        for (const QByteArray &word : words.mid(1)) {
            const qsizetype eq = word.indexOf('=');
            const QByteArray key = eq < 0 ? word : word.left(eq);
            const QByteArray value = eq < 0 ? QByteArray() : word.mid(eq + 1);
            if (eq < 0)
                report.what = key;
            else if (key == "accepted")
                report.accepted = value == "1";
            else if (key == "ms" || key == "t")
                report.ms = value.toLongLong();
            else if (key == "playing")
                report.playing = value == "1";
            else if (key == "looping")
                report.looping = value == "1";
        }
        reports.append(report);
    }
    return reports;
}

} // namespace testing
