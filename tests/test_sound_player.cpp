// SPDX-License-Identifier: GPL-3.0-or-later
// The sound player against a sound server of the test's own, whose null sink
// is recorded and which is killed and started again, while ALSA's default
// device is a file. ctest runs it as nobody, since root reads any file.

#include "platform/sound/async_sound_player.h"
#include "platform/sound/chime_synth.h"
#include "platform/sound/sound_file_lookup.h"
#include "support/pulse_recorder.h"

#include <QElapsedTimer>
#include <QtTest/QtTest>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using platform::SND_ASYNC, platform::SND_LOOP, platform::SND_NOSTOP;
constexpr std::uint32_t kOnce = SND_ASYNC | SND_NOSTOP, kLoop = kOnce | SND_LOOP;
constexpr double kToneSeconds = 1.0;

class TestSoundPlayer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server;
    std::unique_ptr<test::PulseRecorder> m_recorder;
    QElapsedTimer m_sinceAccepting; // since the server began to take connections

    QString path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    qint64 alsaBytes() const { return QFileInfo(path("alsa.raw")).size(); }
    QString pactl(const QStringList &arguments)
    {
        QProcess process;
        process.start(u"pactl"_qs, arguments);
        process.waitForFinished(5000);
        return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : "";
    }
    void startServer(bool record)
    {
        m_server.start(u"pulseaudio"_qs,
                       {u"--daemonize=no"_qs, u"--exit-idle-time=-1"_qs, u"-n"_qs, u"-L"_qs,
                        u"module-native-protocol-unix auth-anonymous=1 socket="_qs + path("native"),
                        u"-L"_qs, u"module-null-sink sink_name=zelmoro_null"_qs});
        while (m_server.waitForStarted() && pactl({u"info"_qs}).isEmpty())
            test::letSoundPlay(20);
        m_sinceAccepting.start();
        m_recorder = std::make_unique<test::PulseRecorder>(u"zelmoro_null"_qs);
        QVERIFY(!record || m_recorder->start(0));
    }
    // A call as the window makes it: back at once, having done next to no work
    // (under 5 ms of the thread's time; the wall-clock bound leaves room for a
    // busy machine, not for blocking or decoding).
    bool play(platform::SoundPlayer &player, const std::optional<QString> &file,
              std::uint32_t flags)
    {
        const auto cpu = [] {
            timespec t{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return t.tv_sec * 1'000'000'000 + t.tv_nsec;
        };
        QElapsedTimer wall;
        wall.start();
        const qint64 before = cpu();
        const bool accepted = player.play(file, flags);
        [&] {
            QCOMPARE_LT(cpu() - before, 5'000'000);
            QCOMPARE_LT(wall.elapsed(), 100);
        }();
        return accepted;
    }
    // How long the sound that starts at or after `from` (recording time)
    // lasts, once the recording has reached `through` (an idle null sink's
    // monitor may lag behind by seconds).
    double heardFrom(double from, double through)
    {
        for (int i = 0; i < 100 && m_recorder->load() < through; ++i)
            test::letSoundPlay(50);
        const double start = m_recorder->firstSound(from);
        return start < 0 ? 0 : m_recorder->endOfSound(start) - start;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"pulseaudio"_qs).isEmpty() && !test::desktopRequired())
            QSKIP("pulseaudio is not installed");
        QFile alsa(path("asound.conf")); // ALSA's default device: a raw file
        QVERIFY(alsa.open(QIODevice::WriteOnly));
        alsa.write("pcm.!default { type file; slave.pcm { type null }; format raw; file \"" +
                   path("alsa.raw").toUtf8() + "\" }\n");
        alsa.close();
        qputenv("ALSA_CONFIG_PATH", alsa.fileName().toUtf8());
        for (const char *home : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            qputenv(home, m_dir.path().toUtf8()); // none of the caller's, whoever runs this
        qputenv("PULSE_SERVER", "unix:" + path("native").toUtf8());
        startServer(true);
        // A second of a steady tone, told from the 2.6 s built-in chime by its length.
        QCOMPARE(QProcess::execute(u"sox"_qs, {u"-n"_qs, u"-r44100"_qs, u"-c2"_qs, u"-b16"_qs,
                                               path("tone.wav"), u"synth"_qs, u"1"_qs, u"square"_qs,
                                               u"vol"_qs, u"0.25"_qs}),
                 0);
    }

    void fileIsLookedForInOrder_data()
    {
        QTest::addColumn<QString>("first");   // what the current directory holds under the name
        QTest::addColumn<QList<int>>("good"); // places with a good file: 0 here, 1 program, 2 share
        QTest::addColumn<int>("found");       // the place played from; -1: the built-in chime
        QTest::newRow("current directory first") << "file" << QList<int>{1, 2} << 0;
        QTest::newRow("then the program's") << "" << QList<int>{1, 2} << 1;
        QTest::newRow("then ../share/zelmoro beside it") << "" << QList<int>{2} << 2;
        QTest::newRow("nowhere") << "" << QList<int>{} << -1;
        QTest::newRow("FIFO passed over") << "fifo" << QList<int>{1} << 1;
        QTest::newRow("directory passed over") << "dir" << QList<int>{2} << 2;
        QTest::newRow("unreadable file passed over") << "unreadable" << QList<int>{1} << 1;
        QTest::newRow("only a FIFO") << "fifo" << QList<int>{} << -1;
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

        const QStringList folders = platform::soundFileFolders(places[1]);
        const QString expected = found < 0 ? QString() : places[found] + u"/belora.wav"_qs;
        QCOMPARE(platform::findSoundFile(u"belora.wav"_qs, folders), expected);
        platform::AsyncSoundPlayer player(folders);
        const double from = m_recorder->load();
        QVERIFY(play(player, u"belora.wav"_qs, kOnce)); // the chime is made off this thread too
        const double length = found < 0 ? platform::builtInChime()->seconds() : kToneSeconds;
        test::letSoundPlay(int(length * 1000) + 900);
        QCOMPARE(player.isPlaying(), false);
        QCOMPARE_GT(heardFrom(from, from + length + 0.9), length - 0.15);
        QCOMPARE_LT(heardFrom(from, from + length + 0.9), length + 0.05);
    }

    void soundPlaysAsRequested_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::uint32_t>("flags");
        QTest::addColumn<QString>("role"); // as a mixer reads it
        QTest::newRow("once") << path("tone.wav") << kOnce << "event";
        QTest::newRow("loop") << path("tone.wav") << kLoop << "alarm";
        QTest::newRow("loop of a missing file") << path("none.wav") << kLoop << "alarm";
    }

    void soundPlaysAsRequested()
    {
        QFETCH(QString, file);
        QFETCH(std::uint32_t, flags);
        QFETCH(QString, role);
        const bool loop = flags & SND_LOOP;
        platform::AsyncSoundPlayer player({});
        const double from = m_recorder->load();
        QVERIFY(play(player, file, flags));
        test::letSoundPlay(300);
        const QString inputs = pactl({u"list"_qs, u"sink-inputs"_qs});
        QVERIFY(inputs.contains(u"application.name = \"Zelmoro\""_qs));
        QVERIFY(inputs.contains(u"application.icon_name = \"io.github.zelmoro.Zelmoro\""_qs));
        QVERIFY(inputs.contains(u"media.role = \"%1\""_qs.arg(role)));
        // Asked again, as on every tick of the alarm second: refused, not restarted.
        QVERIFY(!play(player, file, kLoop));
        QVERIFY(!play(player, file, kOnce));
        test::letSoundPlay(6000);
        QCOMPARE(player.isPlaying(), loop);
        QCOMPARE(player.isLooping(), loop);
        const double stopAt = m_recorder->load();
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
        QVERIFY(!player.isPlaying());
        const double start = m_recorder->firstSound(from);
        const double end = loop ? stopAt : start + kToneSeconds;
        QCOMPARE_GT(heardFrom(from, stopAt + 0.6), end - start - 0.15); // all, or up to the stop,
        QCOMPARE_LT(heardFrom(from, stopAt + 0.6), end - start + 0.25); // then silence,
        QCOMPARE_LT(m_recorder->longestQuietStretch(start + 0.01, end - 0.05), 0.012); // no gap
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
        test::letSoundPlay(1000);
        m_server.kill();
        test::letSoundPlay(awayMs);
        QCOMPARE_GT(alsaBytes(), 0); // the fallback played meanwhile
        startServer(false);
        if (atStart)
            QVERIFY(play(player, path("tone.wav"), kLoop));
        // Back once the server has the stream (its null sink's monitor starts
        // too late to tell).
        while (pactl({u"list"_qs, u"short"_qs, u"sink-inputs"_qs}).isEmpty() &&
               m_sinceAccepting.elapsed() < 3000)
            test::letSoundPlay(20);
        QCOMPARE_LT(m_sinceAccepting.elapsed(), 1500);
        QVERIFY(m_recorder->start(0));
        const qint64 alsaAfter = alsaBytes();
        test::letSoundPlay(5000);
        QCOMPARE(alsaBytes(), alsaAfter);    // ALSA was let go of
        QCOMPARE_GT(heardFrom(0, 5.2), 5.0); // and the loop goes on
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }
};

QTEST_GUILESS_MAIN(TestSoundPlayer)
#include "test_sound_player.moc"
