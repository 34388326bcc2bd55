// SPDX-License-Identifier: GPL-3.0-or-later
// The sound player against the desktop session's sound server: what reaches
// the null sink is recorded from its monitor and measured.

#include "platform/sound/pulse_sound_player.h"
#include "platform/sound/sound_clip.h"
#include "support/pulse_recorder.h"

#include <QElapsedTimer>
#include <QtTest/QtTest>

using test::letSoundPlay;

class TestSoundPlayerDesktop : public QObject {
    Q_OBJECT

    // Play once (SND_ASYNC + SND_NOSTOP), in a loop (+ SND_LOOP), stop (SND_ASYNC).
    static constexpr std::uint32_t kOnce = 17, kLoop = 25, kStop = 1;
    QString m_sound;
    double m_length = 0.0; // of belora.wav, in seconds
    qint64 m_slowest = 0;  // the longest call in the current test, ms

    bool play(auto &player, const std::optional<QString> &file, std::uint32_t flags)
    {
        QElapsedTimer call;
        call.start();
        const bool accepted = player.play(file, flags);
        m_slowest = std::max(m_slowest, call.elapsed());
        return accepted;
    }

private slots:
    void initTestCase()
    {
        ZELMORO_REQUIRE_TEST_SINK();
        m_sound = qEnvironmentVariable("ZELMORO_SOUND");
        const auto clip = platform::loadWaveFile(m_sound);
        QVERIFY2(clip, "ZELMORO_SOUND must name the generated belora.wav");
        m_length = clip->seconds();
    }

    void cleanup() { QCOMPARE_LT(std::exchange(m_slowest, 0), 200); } // every call returns at once

    void soundPlaysAsRequested_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::uint32_t>("flags");
        QTest::addColumn<double>("length"); // of the sound as it is heard each time round
        QTest::newRow("once") << m_sound << kOnce << m_length;
        QTest::newRow("loop") << m_sound << kLoop << m_length;
        QTest::newRow("loop of a missing file: the fallback bell")
            << QStringLiteral("/nonexistent/belora.wav") << kLoop
            << platform::fallbackChime().seconds();
    }

    void soundPlaysAsRequested()
    {
        QFETCH(QString, file);
        QFETCH(std::uint32_t, flags);
        QFETCH(double, length);
        const bool loop = flags & platform::SND_LOOP;
        platform::PulseSoundPlayer player;
        test::PulseRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
        QElapsedTimer playing;
        playing.start();
        QVERIFY(play(player, file, flags));
        letSoundPlay(static_cast<int>(length * 400));
        // Asked again, as on every tick of the alarm second: refused, not restarted.
        QVERIFY(!play(player, file, kLoop));
        QVERIFY(!play(player, m_sound, kOnce));
        letSoundPlay(static_cast<int>(length * 3000) + 500);
        QCOMPARE(player.isPlaying(), loop); // after three lengths and more
        const double stopAt = static_cast<double>(playing.elapsed()) / 1000;
        QVERIFY(play(player, std::nullopt, kStop));
        QVERIFY(!player.isPlaying());
        letSoundPlay(1000);
        QVERIFY(play(player, m_sound, kOnce)); // stopped, the next request is taken
        letSoundPlay(500);
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));

        const double start = recorder.firstSound();
        const double end = recorder.endOfSound(start);
        const double gap = recorder.longestQuietStretch(start + 0.01, end - 0.05);
        qInfo("%.3f s heard, stop after %.3f s; longest quiet stretch %.1f ms", end - start, stopAt,
              1000 * gap);
        QCOMPARE_GT(start, 0.3); // recorded from before the sound
        // All of it once, or the loop up to the stop (when a stream joins, the
        // sink's monitor may miss up to 0.1 s of its start); no gap; then
        // silence until the next request sounds.
        const double heard = loop ? stopAt : length;
        QCOMPARE_GT(end - start, heard - 0.2);
        QCOMPARE_LT(end - start, heard + 0.05);
        QCOMPARE_LT(gap, 0.012);
        if (!loop) // it fades out to its last sample, rather than breaking off
            QCOMPARE_GT(recorder.longestQuietStretch(end - 0.005, end), 0.001);
        QCOMPARE_GT(recorder.firstSound(end + 0.1) - end, 0.8);
    }
};

QTEST_GUILESS_MAIN(TestSoundPlayerDesktop)
#include "test_sound_player_desktop.moc"
