// SPDX-License-Identifier: GPL-3.0-or-later
// The sound player without a sound server, and how a requested file is found
// and decoded.

#include "platform/sound/pulse_sound_player.h"
#include "platform/sound/sound_clip.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QtTest/QtTest>

#include <sndfile.h>

#include <vector>

using namespace zelmoro;

namespace {

// Writes `name`: 2000 stereo frames at a quarter of full scale (belora.wav is
// stereo too).
bool writeFile(const QString &name, int format)
{
    SF_INFO info{0, 44100, 2, format, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(name).constData(), SFM_WRITE, &info);
    const std::vector<float> samples(4000, 0.25f);
    return file && sf_writef_float(file, samples.data(), 2000) == 2000 && sf_close(file) == 0;
}

} // namespace

class TestSoundPlayer : public QObject {
    Q_OBJECT

private slots:
    void noServerLeavesTheProgramRunning()
    {
        qputenv("PULSE_SERVER", "unix:/nonexistent/zelmoro/native"); // before the audio starts
        QVERIFY(QMediaDevices::defaultAudioOutput().isNull());
        platform::PulseSoundPlayer player;
        QElapsedTimer call;
        // Wave Test, then the alarm's loop request on every tick for 4 s (past
        // the audio backend's 3 s reconnect delay), then Wave Stop.
        for (int tick = 0; tick <= 16; ++tick) {
            call.start();
            player.play(qEnvironmentVariable("ZELMORO_SOUND"), tick == 0 ? 17 : 25);
            QCOMPARE_LT(call.elapsed(), 200);
            QVERIFY(!player.isPlaying()); // never busy: the next request is taken
            QTest::qWait(250);
        }
        QVERIFY(player.play(std::nullopt, 1));
    }

    void fileIsFoundAndDecoded_data()
    {
        QTest::addColumn<QString>("name"); // as the sound call gets it
        QTest::addColumn<int>("format");   // of the file written under that name here; -1: none
        QTest::addColumn<int>("sample");   // decoded, -1: unplayable (the fallback plays instead)
        const QString belora = QStringLiteral("belora.wav");
        QTest::newRow("float WAVE scaled to 16 bits")
            << "a.wav" << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 8192;
        QTest::newRow("AIFF is no WAVE") << "a.wav" << (SF_FORMAT_AIFF | SF_FORMAT_PCM_16) << -1;
        QTest::newRow("current directory first")
            << belora << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 8192;
        // Else the copy next to the program (the test programs have one).
        const auto shipped =
            platform::loadWaveFile(QCoreApplication::applicationDirPath() + "/" + belora);
        QTest::newRow("then the program's directory")
            << belora << -1 << int(shipped.value().samples.at(2000));
    }

    void fileIsFoundAndDecoded()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        QFETCH(int, sample);
        QTemporaryDir here;
        QVERIFY(QDir::setCurrent(here.path()));
        QVERIFY(format < 0 || writeFile(name, format));
        const auto clip = platform::loadWaveFile(platform::findSoundFile(name));
        QCOMPARE(clip ? clip->samples.at(2000) : -1, sample); // frame 1000, left channel
    }
};

QTEST_GUILESS_MAIN(TestSoundPlayer)
#include "test_sound_player.moc"
