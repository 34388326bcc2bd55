// SPDX-License-Identifier: GPL-3.0-or-later
// The sound player against a sound server of the test's own, whose null sink
// is recorded and which is killed and started again, while ALSA's default
// device is a file. ctest runs it as nobody, since root reads any file.

#include "platform/sound/async_sound_player.h"
#include "platform/sound/sound_file_lookup.h"
#include "support/sink_recording.h"

#include <QtTest/QtTest>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <memory>

namespace zelmoro::test {

using platform::SND_ASYNC, platform::SND_LOOP, platform::SND_NOSTOP;
constexpr std::uint32_t kOnce = SND_ASYNC | SND_NOSTOP;
constexpr std::uint32_t kLoop = kOnce | SND_LOOP;
constexpr double kToneSeconds = 1.0;

bool streaming()
{
    return !pactl(u"list short sink-inputs"_qs).isEmpty();
}

class TestSoundPlayer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server;
    std::unique_ptr<SinkRecording> m_recorder;
    QElapsedTimer m_sinceAccepting; // since the server began to take connections

    QString path(const QString &name) const { return m_dir.filePath(name); }
    qint64 alsaBytes() const { return QFileInfo(path(u"alsa.raw"_qs)).size(); }
    void restartServer()
    {
        m_recorder.reset();
        startServer(m_server, m_dir.path(), u"-L \"module-null-sink sink_name=zelmoro_null\""_qs);
        m_sinceAccepting.start();
    }
    // A call as the window makes it: back at once, having done next to no work
    // (under 5 ms of the thread's time; the wall-clock bound leaves room for a
    // busy machine, not for blocking or for decoding).
    static bool play(platform::SoundPlayer &player, const std::optional<QString> &file,
                     std::uint32_t flags)
    {
        timespec cpu[2]{};
        QElapsedTimer wall;
        wall.start();
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu[0]);
        const bool accepted = player.play(file, flags);
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu[1]);
        [&] {
            QCOMPARE_LT((cpu[1].tv_sec - cpu[0].tv_sec) * 1'000'000'000 + cpu[1].tv_nsec -
                            cpu[0].tv_nsec,
                        5'000'000);
            QCOMPARE_LT(wall.elapsed(), 250);
        }();
        return accepted;
    }

private slots:
    void initTestCase()
    {
        const QByteArray alsa = "{ type file; slave.pcm { type null }; format raw; file \"" +
                                path(u"alsa.raw"_qs).toUtf8() + "\" }";
        if (!useOwnSound(m_dir.path(), alsa))
            QSKIP("pulseaudio is not installed");
        restartServer();
        // A second of a steady tone (its peak at 0.31 of full scale), told from the 2.6 s
        // chime by its length; the same in floating point; the same size twice as loud.
        const QString tone = u"-n -r44100 -c2 %1 %2 synth 1 square vol %3"_qs;
        for (const auto &[format, name, volume] :
             {std::tuple{"-b16", "tone.wav", "0.25"},
              std::tuple{"-efloating-point -b32", "float.wav", "0.25"},
              std::tuple{"-b16", "loud.wav", "0.5"}})
            QCOMPARE(QProcess::execute(u"sox"_qs,
                                       QProcess::splitCommand(tone.arg(QLatin1String(format),
                                                                       path(QLatin1String(name)),
                                                                       QLatin1String(volume)))),
                     0);
    }

    void fileIsLookedForInOrder_data()
    {
        QTest::addColumn<QString>("first");   // what the current directory holds under the name
        QTest::addColumn<QList<int>>("good"); // places with a good file: 0 here, 1 program, 2 share
        QTest::addColumn<int>("found");       // the place it is found in; -1: nowhere
        QTest::newRow("current directory first") << "file" << QList<int>{1, 2} << 0;
        QTest::newRow("then the program's") << "" << QList<int>{1, 2} << 1;
        QTest::newRow("then ../share/zelmoro beside it") << "" << QList<int>{2} << 2;
        QTest::newRow("nowhere") << "" << QList<int>{} << -1;
        QTest::newRow("FIFO passed over") << "fifo" << QList<int>{1} << 1;
        QTest::newRow("directory passed over") << "dir" << QList<int>{2} << 2;
        QTest::newRow("unreadable file passed over") << "unreadable" << QList<int>{1} << 1;
    }

    void fileIsLookedForInOrder()
    {
        QFETCH(QString, first);
        QFETCH(QList<int>, good);
        QFETCH(int, found);
        if (first == u"unreadable" && ::geteuid() == 0)
            QSKIP("root reads any file");
        QTemporaryDir root;
        QStringList places{u"here"_qs, u"bin"_qs, u"share/zelmoro"_qs};
        for (QString &place : places)
            QVERIFY(QDir().mkpath(place = root.filePath(place)));
        QVERIFY(QDir::setCurrent(places[0]));
        for (int place : good)
            QVERIFY(QFile::copy(path(u"tone.wav"_qs), places[place] + u"/belora.wav"_qs));
        if (first == u"fifo")
            QCOMPARE(::mkfifo("belora.wav", 0644), 0);
        if (first == u"dir")
            QCOMPARE(::mkdir("belora.wav", 0755), 0);
        if (first == u"file" || first == u"unreadable")
            QVERIFY(QFile::copy(path(u"tone.wav"_qs), u"belora.wav"_qs));
        if (first == u"unreadable")
            QVERIFY(QFile::setPermissions(u"belora.wav"_qs, {}));
        QCOMPARE(platform::findSoundFile(u"belora.wav"_qs, platform::soundFileFolders(places[1])),
                 found < 0 ? QString() : places[found] + u"/belora.wav"_qs);
    }

    // Played to its end (once) or for a little longer than the clip (a loop),
    // then stopped: all of it, or up to the stop, at its own level, then silence.
    void soundPlaysAsRequested_data()
    {
        QTest::addColumn<QString>("file"); // a bare name, looked for in the test's folder
        QTest::addColumn<std::uint32_t>("flags");
        QTest::addColumn<QString>("role");   // as a mixer reads it
        QTest::addColumn<double>("length");  // of the clip, in seconds
        QTest::addColumn<double>("level");   // its loudest sample, as a fraction of full scale
        QTest::addColumn<QString>("before"); // the file the name held when it was played before
        QTest::newRow("once") << "tone.wav" << kOnce << "event" << kToneSeconds << 0.31 << "";
        QTest::newRow("loop") << "tone.wav" << kLoop << "alarm" << kToneSeconds << 0.31 << "";
        QTest::newRow("floating point") << "float.wav" << kOnce << "event" << 1.0 << 0.31 << "";
        QTest::newRow("loop of a missing file, the chime")
            << "none.wav" << kLoop << "alarm" << 2.6 << 0.6 << "";
        QTest::newRow("once, changed since at the same size")
            << "loud.wav" << kOnce << "event" << kToneSeconds << 0.63 << "tone.wav";
    }

    void soundPlaysAsRequested()
    {
        QFETCH(QString, file);
        QFETCH(std::uint32_t, flags);
        QFETCH(QString, role);
        QFETCH(double, length);
        QFETCH(double, level);
        QFETCH(QString, before);
        platform::AsyncSoundPlayer player({m_dir.path()});
        if (!before.isEmpty()) { // played to its end, then rewritten in place and played again
            QFile::remove(path(u"changing.wav"_qs));
            QVERIFY(QFile::copy(path(before), path(u"changing.wav"_qs)));
            QVERIFY(play(player, u"changing.wav"_qs, kOnce));
            QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
            QFile changing(path(u"changing.wav"_qs)), replacement(path(file));
            QVERIFY(replacement.open(QIODevice::ReadOnly) && changing.open(QIODevice::ReadWrite));
            QCOMPARE(changing.write(replacement.readAll()), changing.size());
            const QDateTime modified = changing.fileTime(QFileDevice::FileModificationTime);
            QVERIFY(changing.setFileTime(modified.addSecs(1), QFileDevice::FileModificationTime));
            file = u"changing.wav"_qs;
        }
        if (!m_recorder)
            m_recorder = std::make_unique<SinkRecording>(u"zelmoro_null"_qs, path(u"rec.raw"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(!streaming(), 3000);
        const double from = m_recorder->seconds();
        QVERIFY(play(player, file, flags));
        QTRY_VERIFY_WITH_TIMEOUT(
            pactl(u"list sink-inputs"_qs).contains(u"media.role = \"%1\""_qs.arg(role)), 3000);
        QVERIFY(!play(player, file, kOnce)); // asked again, as on every tick: not restarted
        if (flags & SND_LOOP)                // on past the clip's end, then stopped
            QTRY_VERIFY_WITH_TIMEOUT(m_recorder->seconds() >= from + length + 1.2, 10000);
        else // a single play ends by itself
            QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        const double stopAt = m_recorder->seconds();
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->seconds() >= stopAt + 0.6, 10000);
        const SinkRecording::Heard heard = m_recorder->heard(from);
        if (flags & SND_LOOP)
            length = stopAt - heard.start;
        QCOMPARE_GT(heard.length, length - 0.15);     // all, or up to the stop,
        QCOMPARE_LT(heard.length, length + 0.25);     // then silence,
        QCOMPARE_LT(heard.gap, 0.012);                // with no gap,
        QCOMPARE_GT(heard.peak, 0.9 * level * 32767); // as loud as the clip
        QCOMPARE_LT(heard.peak, 1.1 * level * 32767);
    }

    // Every call returns at once while a long file (GSM 6.10 in WAVE: 65 bytes for 320
    // samples, 27 minutes of it; little to write, much to decode) is being decoded.
    void callsReturnWhileAFileDecodes()
    {
        QFile file(path(u"long.wav"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray::fromHex("5249464674ac270057415645666d742014000000310001"
                                               "00401f000059060000410000000200400166616374040000"
                                               "000050c3006461746140ac2700") +
                           QByteArray(65 * 40000, '\0')) == 60 + 65 * 40000);
        file.close();
        platform::AsyncSoundPlayer player({m_dir.path()});
        QElapsedTimer decoding;
        decoding.start();
        QVERIFY(play(player, u"long.wav"_qs, kLoop));
        while (decoding.elapsed() < 300 && !QTest::currentTestFailed()) {
            QVERIFY(!play(player, u"long.wav"_qs, kLoop));
            QTest::qWait(10);
        }
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }

    void soundOutlivesTheServer_data()
    {
        QTest::addColumn<bool>("atStart"); // no server when the player starts: Wave Test first
        QTest::newRow("away 5 s") << false;
        QTest::newRow("none at start") << true;
    }

    // Meanwhile ALSA plays (the loop for as long as the server is away, Wave
    // Test once); the loop is back on the server within a second of it, and
    // ALSA is let go of.
    void soundOutlivesTheServer()
    {
        QFETCH(bool, atStart);
        if (m_server.state() != QProcess::Running) // a row before failed while it was away
            restartServer();
        if (atStart)
            m_server.kill();
        platform::AsyncSoundPlayer player({});
        QFile::remove(path(u"alsa.raw"_qs));
        QVERIFY(play(player, path(u"tone.wav"_qs), atStart ? kOnce : kLoop));
        if (!atStart) {
            QTRY_VERIFY_WITH_TIMEOUT(streaming(), 3000);
            m_server.kill();
        }
        QTest::qWait(atStart ? 2500 : 5000); // the time away is what this test is about
        const double alsaSeconds = double(alsaBytes()) / (4.0 * SinkRecording::kRate);
        if (atStart) // once, and no more
            QCOMPARE_LT(std::abs(alsaSeconds - kToneSeconds - 0.05), 0.2);
        else // most of the time away, however late the loss was noticed
            QCOMPARE_GT(alsaSeconds, 3.0);
        restartServer();
        if (atStart)
            QVERIFY(play(player, path(u"tone.wav"_qs), kLoop));
        // Back once the server has the stream (its null sink's monitor starts too late to tell).
        QTRY_VERIFY_WITH_TIMEOUT(streaming(), 3000);
        QCOMPARE_LT(m_sinceAccepting.elapsed(), 1500);
        const qint64 alsaAfter = alsaBytes();
        m_recorder = std::make_unique<SinkRecording>(u"zelmoro_null"_qs, path(u"rec.raw"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(m_recorder->seconds() >= kToneSeconds + 0.6, 10000);
        QCOMPARE_GT(m_recorder->heard(0).length, kToneSeconds + 0.4); // the loop goes on
        QCOMPARE(alsaBytes(), alsaAfter);                             // on the server alone
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }
};

} // namespace zelmoro::test

QTEST_GUILESS_MAIN(zelmoro::test::TestSoundPlayer)
#include "test_sound_player.moc"
