// SPDX-License-Identifier: GPL-3.0-or-later
// Times the player from a play request to the first non-silent sample that
// reaches an output, where the output is a raw file that grows as sound
// arrives (a null sink's monitor recorded by parec, or ALSA's file device).
//
//   sound_latency WAVE_FILE RAW_OUTPUT LABEL
//
// Prints one line per request: the first with the file not yet decoded, the
// next two with it kept from before. A RAW_OUTPUT that does not exist yet is
// made afresh by each request (ALSA's file device writes it from the start).

#include "platform/sound/async_sound_player.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>

using namespace zelmoro::platform;

namespace {

// Bytes in the output file so far, rounded down to whole 16-bit samples.
qint64 sizeOf(const QString &path)
{
    return QFile(path).size() / 2 * 2;
}

// Whether any sample from `offset` on is not zero.
bool soundAfter(const QString &path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return false;
    const QByteArray data = file.readAll();
    const auto *samples = reinterpret_cast<const qint16 *>(data.constData());
    for (qsizetype i = 0; i < data.size() / 2; ++i) {
        if (samples[i] != 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: sound_latency WAVE_FILE RAW_OUTPUT LABEL\n");
        return 2;
    }
    const QString wave = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const bool fresh = !QFile::exists(output);
    AsyncSoundPlayer player({});
    QThread::msleep(1500); // the connection settles (or is found missing)
    for (int run = 0; run < 3; ++run) {
        if (fresh)
            QFile::remove(output);
        const qint64 offset = fresh ? 0 : sizeOf(output);
        QElapsedTimer clock;
        clock.start();
        player.play(wave, SND_ASYNC | SND_NOSTOP);
        const qint64 callUs = clock.nsecsElapsed() / 1000;
        while (!soundAfter(output, offset) && clock.elapsed() < 20000)
            QThread::msleep(1);
        std::printf("%-28s %-7s call %5lld us, first sound after %6.1f ms\n", argv[3],
                    run == 0 ? "first" : "kept", static_cast<long long>(callUs),
                    static_cast<double>(clock.nsecsElapsed()) / 1e6);
        player.play(std::nullopt, SND_ASYNC);
        QThread::msleep(3000); // what a null sink's monitor still holds comes out first
    }
    return 0;
}
