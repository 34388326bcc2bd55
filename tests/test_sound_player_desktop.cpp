// The sound player against the real sound server of the desktop session: what
// reaches the null sink is recorded from its monitor and measured.

#include "platform/pulse_sound_player.h"
#include "platform/sound_clip.h"
#include "support/pulse_recorder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include <memory>

using platform::PulseSoundPlayer;
using testing::letSoundPlay;
using testing::PulseRecorder;

namespace {

constexpr std::uint32_t kPlayOnce = 17; // SND_ASYNC + SND_NOSTOP
constexpr std::uint32_t kPlayLoop = 25; // SND_ASYNC + SND_LOOP + SND_NOSTOP
constexpr std::uint32_t kStop = 1;      // SND_ASYNC
constexpr qint64 kPromptMs = 200;       // longest time any call may take
constexpr double kMaxGap = 0.012;       // longer quiet stretches in a loop are gaps

// Plays and reports how long the call took.
bool timedPlay(PulseSoundPlayer &player, const std::optional<QString> &file, std::uint32_t flags,
               qint64 *ms)
{
    QElapsedTimer timer;
    timer.start();
    const bool accepted = player.play(file, flags);
    *ms = timer.elapsed();
    return accepted;
}

int streamsOnServer()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")});
    if (!pactl.waitForFinished(5000) || pactl.exitCode() != 0)
        return -1;
    return static_cast<int>(pactl.readAllStandardOutput().count('\n'));
}

} // namespace

class TestSoundPlayerDesktop : public QObject {
    Q_OBJECT

private:
    QString m_sound;       // belora.wav
    double m_length = 0.0; // its length in seconds
    long m_frames = 0;

private slots:
    void initTestCase()
    {
        ZELMORO_REQUIRE_TEST_SINK();
        m_sound = qEnvironmentVariable("ZELMORO_SOUND");
        QVERIFY2(QFileInfo::exists(m_sound), "ZELMORO_SOUND must name the generated belora.wav");
        const auto clip = platform::loadWaveFile(m_sound);
        QVERIFY(clip);
        m_length = clip->seconds();
        m_frames = static_cast<long>(clip->frames());
    }

    void playOnceIsHeardToTheLastSampleAndEnds()
    {
        PulseSoundPlayer player;
        PulseRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));

        qint64 ms = 0;
        QVERIFY(timedPlay(player, m_sound, kPlayOnce, &ms));
        QCOMPARE_LT(ms, kPromptMs);
        QVERIFY(player.isPlaying());
        QVERIFY(!player.isLooping());
        letSoundPlay(500);
        // A request while the sound plays is refused and leaves it alone.
        QVERIFY(!timedPlay(player, m_sound, kPlayOnce, &ms));
        QCOMPARE_LT(ms, kPromptMs);
        QVERIFY(!player.play(m_sound, kPlayLoop));

        letSoundPlay(static_cast<int>(m_length * 1000) + 1500);
        QVERIFY(!player.isPlaying());
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));

        const double heard = recorder.firstSound();
        QVERIFY2(heard > 0.0, "nothing was heard");
        const double start = recorder.alignWith(m_sound, heard);
        QCOMPARE_GT(start, 0.5); // the recording began well before the sound
        // Every sample of the file arrives unchanged, the closing ones too
        // (the monitor may miss the first moments, see kMonitorLoss).
        QCOMPARE_LT(recorder.mismatchWith(m_sound, start, PulseRecorder::kMonitorLoss, m_length),
                    0.01);
        QCOMPARE_LT(recorder.mismatchWith(m_sound, start, m_length - 0.1, m_length), 0.01);
        qInfo("once: heard from %.3f s to %.3f s (file %.3f s); mismatch of the last 0.1 s %.5f",
              start, recorder.lastSound(), m_length,
              recorder.mismatchWith(m_sound, start, m_length - 0.1, m_length));
        // Then nothing more: it was played once and not restarted.
        QCOMPARE_LE(recorder.lastSound(), start + m_length);
        QVERIFY(recorder.silentBetween(start + m_length, recorder.duration()));
        QCOMPARE_GT(recorder.duration() - (start + m_length), 1.0);
    }

    void loopRepeatsWithoutGapsUntilStopped()
    {
        PulseSoundPlayer player;
        PulseRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));

        QElapsedTimer sincePlay;
        qint64 ms = 0;
        QVERIFY(timedPlay(player, m_sound, kPlayLoop, &ms));
        sincePlay.start();
        QCOMPARE_LT(ms, kPromptMs);
        QVERIFY(player.isLooping());

        // Requests during the loop are refused and do not restart it.
        letSoundPlay(static_cast<int>(m_length * 1000 * 1.4));
        QVERIFY(!timedPlay(player, m_sound, kPlayLoop, &ms));
        QCOMPARE_LT(ms, kPromptMs);
        QVERIFY(!timedPlay(player, m_sound, kPlayOnce, &ms));
        QCOMPARE_LT(ms, kPromptMs);
        QVERIFY(player.isLooping());

        letSoundPlay(static_cast<int>(m_length * 1000 * 2.0) + 1000);
        QVERIFY(player.isLooping());
        const double stopAt = static_cast<double>(sincePlay.elapsed()) / 1000.0;
        QVERIFY(timedPlay(player, std::nullopt, kStop, &ms));
        QCOMPARE_LT(ms, kPromptMs);
        QVERIFY(!player.isPlaying());

        // Stopped, the player takes the next request.
        letSoundPlay(1200);
        QVERIFY(player.play(m_sound, kPlayOnce));
        letSoundPlay(400);
        QVERIFY(player.play(std::nullopt, kStop));
        letSoundPlay(500);
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));

        const double heard = recorder.firstSound();
        QVERIFY2(heard > 0.0, "nothing was heard");
        const double start = recorder.alignWith(m_sound, heard);
        QCOMPARE_GT(start, 0.5); // the recording began well before the sound
        QCOMPARE_LT(recorder.mismatchWith(m_sound, start, PulseRecorder::kMonitorLoss, m_length),
                    0.01);
        // The loop ends where stop was called, after more than three lengths.
        const double loopEnd = recorder.endOfSound(start);
        QCOMPARE_GT(loopEnd - start, 3.0 * m_length);
        QCOMPARE_LT(loopEnd - start, stopAt + 0.25);
        qInfo(
            "loop: %.2f s heard, ended %+.3f s from the stop call; longest quiet stretch %.1f ms; "
            "period mismatch %.5f",
            loopEnd - start, loopEnd - start - stopAt,
            1000 * recorder.longestQuietStretch(heard, loopEnd - 0.05),
            recorder.periodMismatch(heard, loopEnd - 0.05, m_frames));
        // Without a gap, and repeating the file exactly: never restarted.
        QCOMPARE_LT(recorder.longestQuietStretch(heard, loopEnd - 0.05), kMaxGap);
        QCOMPARE_LT(recorder.periodMismatch(heard, loopEnd - 0.05, m_frames), 0.01);
        // Silence after stop, until the next request sounds.
        const double nextHeard = recorder.firstSound(loopEnd + 0.6);
        QVERIFY2(nextHeard > 0.0, "the request after stop was not heard");
        const double next = recorder.alignWith(m_sound, nextHeard);
        QCOMPARE_GT(next - loopEnd, 0.9);
        QCOMPARE_LT(recorder.mismatchWith(m_sound, next, PulseRecorder::kMonitorLoss, 0.3), 0.01);
    }

    void unusableFileLoopsTheFallback_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing file") << QStringLiteral("/nonexistent/zelmoro/belora.wav");
        QTest::newRow("not a WAVE file") << QStringLiteral("text");
    }

    void unusableFileLoopsTheFallback()
    {
        QFETCH(QString, file);
        QTemporaryDir dir;
        if (file == QLatin1String("text")) {
            file = dir.filePath(QStringLiteral("belora.wav"));
            QFile text(file);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write(QByteArray("RIFF? no, just some text that is not a sound\n").repeated(50));
        }
        PulseSoundPlayer player;
        PulseRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
        QVERIFY(player.play(file, kPlayLoop));
        QVERIFY(player.isLooping());
        letSoundPlay(3000);
        QVERIFY(player.isLooping());
        QVERIFY(player.play(std::nullopt, kStop));
        letSoundPlay(800);
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));

        const double start = recorder.firstSound();
        QVERIFY2(start > 0.0, "nothing was heard");
        QCOMPARE_GT(start, 0.5); // the recording began well before the sound
        const double end = recorder.endOfSound(start);
        const auto &bell = platform::fallbackChime();
        QCOMPARE_GT(end - start, 2.0); // four times the bell and more
        QCOMPARE_LT(recorder.longestQuietStretch(start + 0.01, end - 0.05), kMaxGap);
        QCOMPARE_LT(recorder.periodMismatch(start, end - 0.05, static_cast<long>(bell.frames())),
                    0.01);
        QVERIFY(recorder.silentBetween(end, recorder.duration()));
        QCOMPARE_GT(recorder.duration() - end, 0.5);
    }

    void noStreamIsLeftOnTheServer_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("stop request") << false;
        QTest::newRow("player destroyed") << true;
    }

    void noStreamIsLeftOnTheServer()
    {
        QFETCH(bool, destroy);
        QCOMPARE(streamsOnServer(), 0);
        auto player = std::make_unique<PulseSoundPlayer>();
        QVERIFY(player->play(m_sound, kPlayLoop));
        letSoundPlay(300);
        QCOMPARE(streamsOnServer(), 1);
        if (destroy)
            player.reset();
        else
            QVERIFY(player->play(std::nullopt, kStop));
        QCOMPARE(streamsOnServer(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSoundPlayerDesktop)
#include "test_sound_player_desktop.moc"
