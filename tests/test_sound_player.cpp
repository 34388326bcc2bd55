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

using namespace zelmoro;
using platform::SND_ASYNC, platform::SND_LOOP, platform::SND_NOSTOP;
constexpr std::uint32_t kOnce = SND_ASYNC | SND_NOSTOP, kLoop = kOnce | SND_LOOP;
constexpr double kToneSeconds = 1.0;

// Records what the null sink plays (its monitor, through this process's
// PULSE_SERVER) as the end-to-end script's Recorder does: parec writes raw
// 16-bit stereo at 44.1 kHz to a file, measured as it grows.
struct PulseRecorder {
    static constexpr int kRate = 44100;
    static constexpr int kFaint = 66; // 0.2 % of full scale: near silence
    struct Heard {
        double start = -1, length = 0; // seconds from the recording's start
        double gap = 0; // longest faint stretch within: a break in what should be continuous
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
        const QByteArray raw =
            recording.open(QIODevice::ReadOnly) ? recording.readAll() : QByteArray();
        const auto *samples = reinterpret_cast<const qint16 *>(raw.constData());
        peaks.resize(std::size_t(raw.size()) / 4);
        for (std::size_t f = 0; f < peaks.size(); ++f)
            peaks[f] = std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1]));
        return double(peaks.size()) / kRate;
    }
    // The first sound at or after `from`, up to the first 0.3 s of near
    // silence, once the recording has reached `through` (an idle sink's
    // monitor may lag behind by seconds).
    Heard heard(double from, double through)
    {
        for (int i = 0; i < 100 && load() < through; ++i)
            QTest::qWait(50);
        Heard h;
        long quiet = 0, longest = 0;
        for (auto f = std::size_t(from * kRate); f < peaks.size() && quiet < kRate * 3 / 10; ++f) {
            if (h.start < 0 && peaks[f] == 0)
                continue;
            if (h.start < 0)
                h.start = double(f) / kRate;
            // A faint stretch counts as a gap once sound follows it.
            longest = peaks[f] < kFaint ? longest : std::max(longest, quiet);
            quiet = peaks[f] < kFaint ? quiet + 1 : 0;
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
    // busy machine, not for blocking or decoding).
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
            QCOMPARE_LT(wall.elapsed(), 100);
        }();
        return accepted;
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
        // A second of a steady tone, told from the 2.6 s built-in chime by its length.
        const QString tone = u"-n -r44100 -c2 -b16 \"%1\" synth 1 square vol 0.25"_qs;
        QCOMPARE(QProcess::execute(u"sox"_qs, QProcess::splitCommand(tone.arg(path("tone.wav")))),
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
        const QStringList places{root.filePath(u"here"_qs), root.filePath(u"bin"_qs),
                                 root.filePath(u"share/zelmoro"_qs)};
        for (const QString &place : places)
            QVERIFY(QDir().mkpath(place) && QDir::setCurrent(places[0]));
        for (int place : good)
            QVERIFY(QFile::copy(path("tone.wav"), places[place] + u"/belora.wav"_qs));
        if (first == u"fifo")
            QCOMPARE(::mkfifo("belora.wav", 0644), 0);
        if (first == u"dir")
            QCOMPARE(::mkdir("belora.wav", 0755), 0);
        if (first == u"file" || first == u"unreadable")
            QVERIFY(QFile::copy(path("tone.wav"), u"belora.wav"_qs) &&
                    (first == u"file" || QFile::setPermissions(u"belora.wav"_qs, {})));
        const QString expected = found < 0 ? QString() : places[found] + u"/belora.wav"_qs;
        QCOMPARE(platform::findSoundFile(u"belora.wav"_qs, platform::soundFileFolders(places[1])),
                 expected);
    }

    void soundPlaysAsRequested_data()
    {
        QTest::addColumn<QString>("file"); // a bare name, looked for in the test's folder
        QTest::addColumn<std::uint32_t>("flags");
        QTest::addColumn<QString>("role"); // as a mixer reads it
        QTest::newRow("once") << "tone.wav" << kOnce << "event";
        QTest::newRow("loop") << "tone.wav" << kLoop << "alarm";
        QTest::newRow("loop of a missing file") << "none.wav" << kLoop << "alarm";
    }

    void soundPlaysAsRequested()
    {
        QFETCH(QString, file);
        QFETCH(std::uint32_t, flags);
        QFETCH(QString, role);
        const bool loop = flags & SND_LOOP;
        platform::AsyncSoundPlayer player({m_dir.path()});
        const double from = m_recorder.load();
        QVERIFY(play(player, file, flags));
        QTest::qWait(300);
        const QString inputs = pactl(u"list sink-inputs"_qs);
        QVERIFY(inputs.contains(u"application.name = \"Zelmoro\""_qs));
        QVERIFY(inputs.contains(u"application.icon_name = \"io.github.zelmoro.Zelmoro\""_qs));
        QVERIFY(inputs.contains(u"media.role = \"%1\""_qs.arg(role)));
        // Asked again, as on every tick of the alarm second: refused, not restarted.
        QVERIFY(!play(player, file, kLoop));
        QVERIFY(!play(player, file, kOnce));
        QTest::qWait(6000);
        QCOMPARE(player.isPlaying(), loop);
        QCOMPARE(player.isLooping(), loop);
        const double stopAt = m_recorder.load();
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
        QVERIFY(!player.isPlaying());
        const PulseRecorder::Heard heard = m_recorder.heard(from, stopAt + 0.6);
        const double length = loop ? stopAt - heard.start : kToneSeconds;
        QCOMPARE_GT(heard.length, length - 0.15); // all, or up to the stop,
        QCOMPARE_LT(heard.length, length + 0.25); // then silence,
        QCOMPARE_LT(heard.gap, 0.012);            // with no gap
    }

    void soundOutlivesTheServer_data()
    {
        QTest::addColumn<int>("awayMs");
        QTest::addColumn<bool>("atStart"); // no server when the player starts: Wave Test first
        QTest::newRow("away 1 s") << 1000 << false;
        QTest::newRow("away 5 s") << 5000 << false;
        QTest::newRow("away 30 s") << 30000 << false;
        QTest::newRow("none at start") << 5000 << true;
    }

    void soundOutlivesTheServer()
    {
        QFETCH(int, awayMs);
        QFETCH(bool, atStart);
        if (atStart)
            m_server.kill();
        platform::AsyncSoundPlayer player({});
        QFile::remove(path("alsa.raw"));
        QVERIFY(play(player, path("tone.wav"), atStart ? kOnce : kLoop));
        QTest::qWait(1000);
        m_server.kill();
        QTest::qWait(awayMs);
        QCOMPARE_GT(alsaBytes(), 0); // the fallback played meanwhile
        startServer();
        if (atStart)
            QVERIFY(play(player, path("tone.wav"), kLoop));
        // Back once the server has the stream (its null sink's monitor starts
        // too late to tell).
        QTRY_VERIFY_WITH_TIMEOUT(!pactl(u"list short sink-inputs"_qs).isEmpty(), 3000);
        QCOMPARE_LT(m_sinceAccepting.elapsed(), 1500);
        m_recorder.start();
        const qint64 alsaAfter = alsaBytes();
        QTest::qWait(5000);
        QCOMPARE(alsaBytes(), alsaAfter);                  // ALSA was let go of
        QCOMPARE_GT(m_recorder.heard(0, 5.2).length, 5.0); // and the loop goes on
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }
};

QTEST_GUILESS_MAIN(TestSoundPlayer)
#include "test_sound_player.moc"
