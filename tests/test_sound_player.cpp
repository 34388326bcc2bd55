// SPDX-License-Identifier: GPL-3.0-or-later
// The sound player against a sound server of the test's own, whose null sink
// is recorded and which is killed and started again, while ALSA's default
// device is a file. ctest runs it as nobody, since root reads any file.

#include "platform/sound/async_sound_player.h"
#include "platform/sound/sound_file_lookup.h"

#include <QtTest/QtTest>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace zelmoro::test {

using platform::SND_ASYNC, platform::SND_LOOP, platform::SND_NOSTOP;
constexpr std::uint32_t kOnce = SND_ASYNC | SND_NOSTOP;
constexpr std::uint32_t kLoop = kOnce | SND_LOOP;
constexpr double kToneSeconds = 1.0;
constexpr double kChimeSeconds = 2.6;
constexpr double kFullScale = 32767;

// Records what the null sink plays (its monitor, through this process's
// PULSE_SERVER) as the end-to-end script's Recorder does: parec writes raw
// 16-bit stereo at 44.1 kHz to a file, measured as it grows.
struct PulseRecorder {
    static constexpr int kRate = 44100;
    static constexpr int kFaint = 66; // 0.2 % of full scale: near silence
    struct Heard {
        double start = -1, length = 0; // seconds from the recording's start
        double gap = 0; // longest faint stretch within: a break in what should be continuous
        int peak = 0;   // the loudest sample
    };

    // Records afresh once sound flows (a fresh null sink's monitor starts late).
    void start()
    {
        parec.kill();
        parec.waitForFinished();
        parec.setStandardOutputFile(file);
        parec.start(u"parec"_qs, QProcess::splitCommand(u"-d zelmoro_null.monitor --rate=44100 "
                                                        "--format=s16le --channels=2 "
                                                        "--latency-msec=20"_qs));
        QTRY_VERIFY_WITH_TIMEOUT(load() >= 0.5, 10000);
    }
    // Reads what has been recorded so far; returns its length in seconds.
    double load()
    {
        QFile recording(file);
        QByteArray raw;
        if (recording.open(QIODevice::ReadOnly))
            raw = recording.readAll();
        const auto *samples = reinterpret_cast<const qint16 *>(raw.constData());
        peaks.resize(std::size_t(raw.size()) / 4);
        for (std::size_t f = 0; f < peaks.size(); ++f)
            peaks[f] = std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1]));
        return double(peaks.size()) / kRate;
    }
    // Waits until the recording has reached `through` seconds (an idle sink's
    // monitor may lag behind by seconds).
    bool reach(double through)
    {
        QElapsedTimer waited;
        waited.start();
        while (load() < through && waited.elapsed() < 10000)
            QTest::qWait(20);
        return load() >= through;
    }
    // The first sound at or after `from`, up to the first 0.3 s of near
    // silence, once the recording has reached `through`.
    Heard heard(double from, double through)
    {
        reach(through);
        Heard h;
        long quiet = 0;
        long longest = 0;
        for (auto f = std::size_t(from * kRate); f < peaks.size() && quiet < kRate * 3 / 10; ++f) {
            if (h.start < 0 && peaks[f] == 0)
                continue;
            if (h.start < 0)
                h.start = double(f) / kRate;
            h.peak = std::max(h.peak, peaks[f]);
            // A faint stretch counts as a gap once sound follows it.
            if (peaks[f] < kFaint) {
                ++quiet;
            } else {
                longest = std::max(longest, quiet);
                quiet = 0;
            }
            h.length = double(f + 1 - std::size_t(quiet)) / kRate - h.start;
        }
        h.gap = double(longest) / kRate;
        return h;
    }

    QString file;
    QProcess parec;
    std::vector<int> peaks; // the louder channel of each frame
};

class TestSoundPlayer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server;
    PulseRecorder m_recorder;
    QElapsedTimer m_sinceAccepting; // since the server began to take connections

    QString path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    qint64 alsaBytes() const { return QFileInfo(path("alsa.raw")).size(); }
    static QString pactl(const QString &arguments)
    {
        QProcess process;
        process.start(u"pactl"_qs, QProcess::splitCommand(arguments));
        process.waitForFinished(5000);
        return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : "";
    }
    void startServer()
    {
        m_server.start(u"pulseaudio"_qs,
                       QProcess::splitCommand(u"--daemonize=no --exit-idle-time=-1 -n -L "
                                              "\"module-native-protocol-unix auth-anonymous=1 "
                                              "socket='%1'\" -L \"module-null-sink "
                                              "sink_name=zelmoro_null\""_qs.arg(path("native"))));
        QTRY_VERIFY_WITH_TIMEOUT(!pactl(u"info"_qs).isEmpty(), 10000);
        m_sinceAccepting.start();
    }
    // A call as the window makes it: back at once, having done next to no work
    // (under 5 ms of the thread's time; the wall-clock bound leaves room for a
    // busy machine, not for blocking or for decoding, which takes seconds for
    // the long file below).
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

    // Writes a WAVE file of GSM 6.10 blocks (65 bytes for 320 samples at
    // 8 kHz, mono): little to write, much to decode.
    void writeGsmWave(const char *name, int blocks) const
    {
        QByteArray data(65 * blocks + (blocks % 2), '\0');
        QByteArray wave;
        QDataStream out(&wave, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        out.writeRawData("RIFF", 4);
        out << quint32(4 + 28 + 12 + 8 + data.size());
        out.writeRawData("WAVEfmt ", 8);
        out << quint32(20) << quint16(0x31) << quint16(1) << quint32(8000) << quint32(1625)
            << quint16(65) << quint16(0) << quint16(2) << quint16(320);
        out.writeRawData("fact", 4);
        out << quint32(4) << quint32(320 * blocks);
        out.writeRawData("data", 4);
        out << quint32(65 * blocks);
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(wave + data) == wave.size() + data.size());
    }
    static void sox(const QString &arguments)
    {
        QCOMPARE(QProcess::execute(u"sox"_qs, QProcess::splitCommand(arguments)), 0);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"pulseaudio"_qs).isEmpty() &&
            qgetenv("ZELMORO_REQUIRE_DESKTOP") != "1")
            QSKIP("pulseaudio is not installed");
        QFile alsa(path("asound.conf")); // ALSA's default device: a raw file
        QVERIFY(alsa.open(QIODevice::WriteOnly));
        alsa.write("pcm.!default { type file; slave.pcm { type null }; format raw; file \"" +
                   path("alsa.raw").toUtf8() + "\" }\n");
        qputenv("ALSA_CONFIG_PATH", alsa.fileName().toUtf8());
        for (const char *home : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(home, m_dir.path().toUtf8()); // none of the caller's, whoever runs this
        qputenv("PULSE_SERVER", "unix:" + path("native").toUtf8());
        startServer();
        m_recorder.file = path("monitor.raw");
        m_recorder.start();
        // A second of a steady tone (its peak at 0.31 of full scale), told from
        // the 2.6 s built-in chime by its length; the same as 32-bit floating
        // point; the same length twice as loud.
        const QString tone = u"-n -r44100 -c2 %1 \"%2\" synth 1 square vol %3"_qs;
        sox(tone.arg(u"-b16"_qs, path("tone.wav"), u"0.25"_qs));
        sox(tone.arg(u"-efloating-point -b32"_qs, path("float.wav"), u"0.25"_qs));
        sox(tone.arg(u"-b16"_qs, path("loud.wav"), u"0.5"_qs));
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
        const QStringList places{root.filePath(u"here"_qs), root.filePath(u"bin"_qs),
                                 root.filePath(u"share/zelmoro"_qs)};
        for (const QString &place : places)
            QVERIFY(QDir().mkpath(place));
        QVERIFY(QDir::setCurrent(places[0]));
        for (int place : good)
            QVERIFY(QFile::copy(path("tone.wav"), places[place] + u"/belora.wav"_qs));
        if (first == u"fifo")
            QCOMPARE(::mkfifo("belora.wav", 0644), 0);
        if (first == u"dir")
            QCOMPARE(::mkdir("belora.wav", 0755), 0);
        if (first == u"file" || first == u"unreadable")
            QVERIFY(QFile::copy(path("tone.wav"), u"belora.wav"_qs));
        if (first == u"unreadable")
            QVERIFY(QFile::setPermissions(u"belora.wav"_qs, {}));
        QString expected;
        if (found >= 0)
            expected = places[found] + u"/belora.wav"_qs;
        QCOMPARE(platform::findSoundFile(u"belora.wav"_qs, platform::soundFileFolders(places[1])),
                 expected);
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
        QTest::newRow("floating point")
            << "float.wav" << kOnce << "event" << kToneSeconds << 0.31 << "";
        QTest::newRow("loop of a missing file, the chime")
            << "none.wav" << kLoop << "alarm" << kChimeSeconds << 0.6 << "";
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
        const bool loop = flags & SND_LOOP;
        platform::AsyncSoundPlayer player({m_dir.path()});
        if (!before.isEmpty()) { // played to its end, then replaced and played again
            QFile::remove(path("changing.wav"));
            QVERIFY(QFile::copy(m_dir.filePath(before), path("changing.wav")));
            QVERIFY(play(player, u"changing.wav"_qs, kOnce));
            QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
            QFile changing(path("changing.wav"));
            QFile replacement(m_dir.filePath(file));
            QVERIFY(replacement.open(QIODevice::ReadOnly));
            QVERIFY(changing.open(QIODevice::ReadWrite));
            QCOMPARE(changing.size(), replacement.size());
            QCOMPARE(changing.write(replacement.readAll()), replacement.size());
            const QDateTime modified = changing.fileTime(QFileDevice::FileModificationTime);
            QVERIFY(changing.setFileTime(modified.addSecs(1), QFileDevice::FileModificationTime));
            file = u"changing.wav"_qs;
        }
        QTRY_VERIFY_WITH_TIMEOUT(pactl(u"list short sink-inputs"_qs).isEmpty(), 3000);
        const double from = m_recorder.load();
        QVERIFY(play(player, file, flags));
        QString inputs; // the server's streams, as a mixer lists them
        const auto listed = [&] {
            inputs = pactl(u"list sink-inputs"_qs);
            return inputs.contains(u"media.role = \"%1\""_qs.arg(role));
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(), 3000);
        QVERIFY(inputs.contains(u"application.name = \"Zelmoro\""_qs));
        QVERIFY(inputs.contains(u"application.icon_name = \"io.github.zelmoro.Zelmoro\""_qs));
        // Asked again, as on every tick of the alarm second: refused, not restarted.
        QVERIFY(!play(player, file, kLoop));
        QVERIFY(!play(player, file, kOnce));
        QCOMPARE(player.isLooping(), loop);
        if (loop) // on past the clip's end, then stopped
            QVERIFY(m_recorder.reach(from + length + 1.2));
        else // a single play ends by itself
            QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 5000);
        const double stopAt = m_recorder.load();
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
        QVERIFY(!player.isPlaying());
        const PulseRecorder::Heard heard = m_recorder.heard(from, stopAt + 0.6);
        if (loop)
            length = stopAt - heard.start;
        QCOMPARE_GT(heard.length, length - 0.15);          // all, or up to the stop,
        QCOMPARE_LT(heard.length, length + 0.25);          // then silence,
        QCOMPARE_LT(heard.gap, 0.012);                     // with no gap,
        QCOMPARE_GT(heard.peak, 0.9 * level * kFullScale); // as loud as the clip
        QCOMPARE_LT(heard.peak, 1.1 * level * kFullScale);
    }

    // Every call returns at once while a long file is being decoded.
    void callsReturnWhileAFileDecodes()
    {
        writeGsmWave("long.wav", 40000); // 27 minutes
        platform::AsyncSoundPlayer player({m_dir.path()});
        QElapsedTimer decoding;
        decoding.start();
        QVERIFY(play(player, u"long.wav"_qs, kLoop));
        while (decoding.elapsed() < 300) {
            QVERIFY(play(player, u"long.wav"_qs, kLoop) == false);
            QTest::qWait(10);
        }
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }

    void soundOutlivesTheServer_data()
    {
        QTest::addColumn<int>("awayMs");
        QTest::addColumn<bool>("atStart"); // no server when the player starts: Wave Test first
        QTest::newRow("away 1 s") << 1000 << false;
        QTest::newRow("away 5 s") << 5000 << false;
        QTest::newRow("away 12 s, two dozen retries") << 12000 << false;
        QTest::newRow("none at start") << 2500 << true;
    }

    // Meanwhile ALSA plays (the loop for as long as the server is away, Wave
    // Test once); the loop is back on the server within a second of it, and
    // ALSA is let go of.
    void soundOutlivesTheServer()
    {
        QFETCH(int, awayMs);
        QFETCH(bool, atStart);
        if (m_server.state() != QProcess::Running) // a row before failed while it was away
            startServer();
        if (atStart)
            m_server.kill();
        platform::AsyncSoundPlayer player({});
        QFile::remove(path("alsa.raw"));
        if (atStart) {
            QVERIFY(play(player, path("tone.wav"), kOnce));
        } else {
            QVERIFY(play(player, path("tone.wav"), kLoop));
            QTRY_VERIFY_WITH_TIMEOUT(!pactl(u"list short sink-inputs"_qs).isEmpty(), 3000);
            m_server.kill();
        }
        QTest::qWait(awayMs); // the time away is what this test is about
        const double alsaSeconds = double(alsaBytes()) / (4.0 * PulseRecorder::kRate);
        if (atStart) { // once, and no more
            QCOMPARE_GT(alsaSeconds, kToneSeconds - 0.15);
            QCOMPARE_LT(alsaSeconds, kToneSeconds + 0.25);
        } else { // most of the time away, however late the loss was noticed
            QCOMPARE_GT(alsaSeconds, 0.6 * awayMs / 1000.0);
        }
        startServer();
        if (atStart)
            QVERIFY(play(player, path("tone.wav"), kLoop));
        // Back once the server has the stream (its null sink's monitor starts
        // too late to tell).
        QTRY_VERIFY_WITH_TIMEOUT(!pactl(u"list short sink-inputs"_qs).isEmpty(), 3000);
        QCOMPARE_LT(m_sinceAccepting.elapsed(), 1500);
        const qint64 alsaAfter = alsaBytes();
        m_recorder.start();
        const double through = kToneSeconds + 0.6;
        QCOMPARE_GT(m_recorder.heard(0, through).length, through - 0.2); // the loop goes on
        QCOMPARE(alsaBytes(), alsaAfter);                                // on the server alone
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }
};

} // namespace zelmoro::test

QTEST_GUILESS_MAIN(zelmoro::test::TestSoundPlayer)
#include "test_sound_player.moc"
