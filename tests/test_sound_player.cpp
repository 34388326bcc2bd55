// SPDX-License-Identifier: GPL-3.0-or-later
// The sound player against a sound server of the test's own, whose null sink
// is recorded and which is killed and started again; ALSA's default device is
// a file meanwhile. Runs as nobody when started as root: root reads any file.

#include "platform/sound/async_sound_player.h"
#include "platform/sound/chime_synth.h"
#include "platform/sound/sound_file_lookup.h"
#include "support/pulse_recorder.h"

#include <QElapsedTimer>
#include <QtTest/QtTest>

#include <sndfile.h>

#include <grp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

using platform::SND_ASYNC, platform::SND_LOOP, platform::SND_NOSTOP;
constexpr std::uint32_t kOnce = SND_ASYNC | SND_NOSTOP, kLoop = kOnce | SND_LOOP;
constexpr double kToneSeconds = 1.0;

class TestSoundPlayer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::SoundServer> m_server;
    std::unique_ptr<test::PulseRecorder> m_recorder;
    QElapsedTimer m_clock;
    qint64 m_accepted = 0; // when the server last began to accept connections, ms

    QString path(const QString &name) const { return m_dir.filePath(name); }
    qint64 alsaBytes() const { return QFileInfo(path(u"alsa.raw"_qs)).size(); }
    void startServer()
    {
        m_server = std::make_unique<test::SoundServer>(path(u"native"_qs));
        QVERIFY(m_server->start());
        m_accepted = m_clock.elapsed();
    }
    void startRecorder()
    {
        m_recorder = std::make_unique<test::PulseRecorder>(u"zelmoro_null"_qs);
        QVERIFY(m_recorder->start(0));
    }
    static qint64 threadNsecs()
    {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1'000'000'000 + now.tv_nsec;
    }
    // A call as the window makes it: it must come back at once, having done
    // next to no work (under 5 ms of the thread's time; the wall-clock bound
    // leaves room for a busy machine but not for blocking or decoding).
    bool play(platform::SoundPlayer &player, const std::optional<QString> &file,
              std::uint32_t flags)
    {
        QElapsedTimer wall;
        wall.start();
        const qint64 work = threadNsecs();
        const bool accepted = player.play(file, flags);
        [&] {
            QCOMPARE_LT(threadNsecs() - work, 5'000'000);
            QCOMPARE_LT(wall.elapsed(), 100);
        }();
        return accepted;
    }
    // Seconds the sound started at `from` (recording time) lasts.
    double heardFrom(double from)
    {
        m_recorder->load();
        const double start = m_recorder->firstSound(from);
        return start < 0 ? 0 : m_recorder->endOfSound(start) - start;
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"pulseaudio"_qs).isEmpty() && !test::desktopRequired())
            QSKIP("pulseaudio is not installed");
        QFile alsa(path(u"asound.conf"_qs)); // ALSA's default device: a file at real speed
        QVERIFY(alsa.open(QIODevice::WriteOnly));
        alsa.write("pcm.!default { type file; slave.pcm { type null }; format raw; file \"" +
                   QFile::encodeName(path(u"alsa.raw"_qs)) + "\" }\n");
        alsa.close();
        qputenv("ALSA_CONFIG_PATH", QFile::encodeName(alsa.fileName()));
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(path(u"native"_qs)));
        m_clock.start();
        startServer();
        startRecorder();
        // A second of a steady quarter of full scale, known by its length.
        SF_INFO info{0, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
        SNDFILE *file = sf_open(QFile::encodeName(path(u"tone.wav"_qs)), SFM_WRITE, &info);
        const std::vector<float> samples(88200, 0.25f);
        QCOMPARE(sf_writef_float(file, samples.data(), 44100), 44100);
        QCOMPARE(sf_close(file), 0);
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
        QTemporaryDir root;
        const QStringList places{root.filePath(u"here"_qs), root.filePath(u"bin"_qs),
                                 root.filePath(u"share/zelmoro"_qs)};
        for (const QString &place : places)
            QVERIFY(QDir().mkpath(place));
        QVERIFY(QDir::setCurrent(places[0]));
        for (int place : good)
            QVERIFY(QFile::copy(path(u"tone.wav"_qs), places[place] + u"/belora.wav"_qs));
        const QString name = u"belora.wav"_qs;
        if (first == u"fifo")
            QCOMPARE(::mkfifo("belora.wav", 0644), 0);
        if (first == u"dir")
            QVERIFY(QDir().mkdir(name));
        if (first == u"file" || first == u"unreadable")
            QVERIFY(QFile::copy(path(u"tone.wav"_qs), name));
        if (first == u"unreadable")
            QVERIFY(QFile(name).setPermissions({}));

        const QStringList folders = platform::soundFileFolders(places[1]);
        const QString expected = found < 0 ? QString() : places[found] + u"/belora.wav"_qs;
        QCOMPARE(platform::findSoundFile(u"belora.wav"_qs, folders), expected);
        platform::AsyncSoundPlayer player(folders);
        const double from = m_recorder->load();
        QVERIFY(play(player, u"belora.wav"_qs, kOnce)); // the chime is made off this thread too
        const double length = found < 0 ? platform::builtInChime()->seconds() : kToneSeconds;
        test::letSoundPlay(int(length * 1000) + 900);
        QCOMPARE(player.isPlaying(), false);
        QCOMPARE_GT(heardFrom(from), length - 0.15);
        QCOMPARE_LT(heardFrom(from), length + 0.05);
    }

    void soundPlaysAsRequested_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::uint32_t>("flags");
        QTest::addColumn<QString>("role"); // as a mixer reads it
        QTest::newRow("once") << path(u"tone.wav"_qs) << kOnce << "event";
        QTest::newRow("loop") << path(u"tone.wav"_qs) << kLoop << "alarm";
        QTest::newRow("loop of a missing file") << path(u"none.wav"_qs) << kLoop << "alarm";
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
        const QString inputs = m_server->pactl({u"list"_qs, u"sink-inputs"_qs});
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
        test::letSoundPlay(1000);
        const double start = m_recorder->firstSound(from);
        const double end = loop ? stopAt : start + kToneSeconds;
        QCOMPARE_GT(heardFrom(from), end - start - 0.15); // all of it, or up to the stop,
        QCOMPARE_LT(heardFrom(from), end - start + 0.1);  // then silence,
        QCOMPARE_LT(m_recorder->longestQuietStretch(start + 0.01, end - 0.05), 0.012); // no gap
    }

    void soundOutlivesTheServer_data()
    {
        QTest::addColumn<int>("awayMs");
        QTest::addColumn<bool>("atStart"); // no server when the player starts, one-shot first
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
            m_server->kill();
        platform::AsyncSoundPlayer player({});
        QFile::remove(path(u"alsa.raw"_qs));
        QVERIFY(play(player, path(u"tone.wav"_qs), atStart ? kOnce : kLoop));
        test::letSoundPlay(1000);
        if (!atStart)
            m_server->kill();
        test::letSoundPlay(awayMs);
        QCOMPARE_GT(alsaBytes(), 0); // the fallback plays meanwhile
        startServer();
        if (atStart)
            QVERIFY(play(player, path(u"tone.wav"_qs), kLoop));
        // Back when the server has the stream (its null sink's monitor starts too
        // late to tell).
        while (m_server->pactl({u"list"_qs, u"short"_qs, u"sink-inputs"_qs}).isEmpty() &&
               m_clock.elapsed() - m_accepted < 3000)
            test::letSoundPlay(20);
        QCOMPARE_LT(m_clock.elapsed() - m_accepted, 1500);
        startRecorder();
        const qint64 alsaAfter = alsaBytes();
        test::letSoundPlay(5000);
        QCOMPARE(alsaBytes(), alsaAfter); // ALSA was let go of
        QCOMPARE_GT(heardFrom(0), 5.0);   // and the loop goes on
        QVERIFY(play(player, std::nullopt, SND_ASYNC));
    }
};

int main(int argc, char **argv)
{
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
        return 1;
    ::prctl(PR_SET_DUMPABLE, 1); // leak checking inspects the process's own threads
    QCoreApplication app(argc, argv);
    TestSoundPlayer test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_sound_player.moc"
