// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm against the mixer: a sound server of the test's own with two null
// sinks and stream-restore, each sink recorded at its monitor (which carries
// what the sink plays after its volume and mute).

#include "platform/sound/async_sound_player.h"
#include "platform/sound/chime_synth.h"
#include "platform/sound/pulse_sink_floor.h"
#include "support/sink_recording.h"

#include <QtTest/QtTest>

#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <memory>

using namespace zelmoro;
using platform::OutputLevel, platform::SND_ASYNC, platform::SND_LOOP, platform::SND_NOSTOP;
using test::SinkRecording;
Q_DECLARE_METATYPE(OutputLevel)

namespace {

constexpr std::uint32_t kLoop = SND_ASYNC | SND_LOOP | SND_NOSTOP;
constexpr int kTonePeak = 8192;   // tone.wav: a square wave at a quarter of full scale
constexpr int kChimePeak = 19660; // the built-in chime peaks at 0.6 of full scale
constexpr std::uint32_t k5 = 3277, k20 = 13107, k30 = 19661, k40 = 26214, k49 = 32113, k50 = 32768,
                        k80 = 52429, k100 = 65536;

OutputLevel level(std::vector<std::uint32_t> volumes, bool muted = false)
{
    return {muted, std::move(volumes)};
}

// The loudest sample a source peaking at `source` gives through a sink at
// `sink` (the server's volumes are cubic in amplitude).
int heardAt(int source, const OutputLevel &sink)
{
    const double v = double(*std::max_element(sink.volumes.begin(), sink.volumes.end())) / k100;
    return sink.muted ? 0 : int(source * v * v * v);
}

// One second of a square wave, 44.1 kHz stereo 16-bit, whose samples are all
// +amplitude or -amplitude: told from the chime by its steadiness.
void writeTone(const QString &file, qint16 amplitude)
{
    QByteArray samples;
    QDataStream out(&samples, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    for (int f = 0; f < SinkRecording::kRate; ++f) {
        const qint16 sample = f % 100 < 50 ? amplitude : qint16(-amplitude);
        out << sample << sample;
    }
    QByteArray wave;
    QDataStream head(&wave, QIODevice::WriteOnly);
    head.setByteOrder(QDataStream::LittleEndian);
    head.writeRawData("RIFF", 4);
    head << quint32(36 + samples.size());
    head.writeRawData("WAVEfmt ", 8);
    head << quint32(16) << quint16(1) << quint16(2) << quint32(SinkRecording::kRate)
         << quint32(SinkRecording::kRate * 4) << quint16(4) << quint16(16);
    head.writeRawData("data", 4);
    head << quint32(samples.size());
    QFile wav(file);
    QVERIFY(wav.open(QIODevice::WriteOnly) &&
            wav.write(wave + samples) == wave.size() + samples.size());
}

QString pactl(const QString &arguments)
{
    QProcess process;
    process.start(u"pactl"_qs, QProcess::splitCommand(arguments));
    process.waitForFinished(5000);
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : "";
}

OutputLevel parseLevel(const QString &volumeText, const QString &muteText)
{
    OutputLevel parsed{muteText.contains(u"Mute: yes"_qs), {}};
    static const QRegularExpression channel(u":\\s*(\\d+) /"_qs);
    for (const auto &m : channel.globalMatch(volumeText))
        parsed.volumes.push_back(m.captured(1).toUInt());
    return parsed;
}

OutputLevel sinkLevel(const QString &sink)
{
    return parseLevel(pactl(u"get-sink-volume "_qs + sink), pactl(u"get-sink-mute "_qs + sink));
}

void setSink(const QString &sink, const OutputLevel &to)
{
    QStringList volumes;
    for (std::uint32_t v : to.volumes)
        volumes << QString::number(v);
    pactl(u"set-sink-volume %1 %2"_qs.arg(sink, volumes.join(' ')));
    pactl(u"set-sink-mute %1 %2"_qs.arg(sink).arg(int(to.muted)));
}

// The alarm's stream, as the server holds it (the only stream playing).
OutputLevel streamLevel()
{
    const QString inputs = pactl(u"list sink-inputs"_qs);
    const auto volume = inputs.indexOf(u"\tVolume:"_qs);
    return volume < 0
               ? OutputLevel{}
               : parseLevel(inputs.mid(volume, inputs.indexOf('\n', volume) - volume), inputs);
}

// What the program logs, as the user's journal would get it.
QStringList logged;
QMutex loggedMutex;
QtMessageHandler passOn = nullptr;

void keepLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        const QMutexLocker lock(&loggedMutex);
        logged << message;
    }
    passOn(type, context, message);
}

qsizetype timesLogged(const QString &text)
{
    const QMutexLocker lock(&loggedMutex);
    return logged.filter(text).size();
}

QString streamIndex()
{
    return pactl(u"list short sink-inputs"_qs).section('\t', 0, 0);
}

} // namespace

class TestSoundMixer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server;
    QProcess m_strace;                            // holds the opening of a file
    std::unique_ptr<SinkRecording> m_recorded[2]; // zelmoro_a, zelmoro_b

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Both sinks there, recorded, `a` the default (the unloading row takes one away).
    void provideSinks()
    {
        const QString sinks = pactl(u"list short sinks"_qs);
        for (int i = 0; i < 2; ++i) {
            const QString name = i == 0 ? u"zelmoro_a"_qs : u"zelmoro_b"_qs;
            if (sinks.contains(name) && m_recorded[i])
                continue;
            if (!sinks.contains(name))
                pactl(u"load-module module-null-sink sink_name="_qs + name);
            m_recorded[i] = std::make_unique<SinkRecording>(name, path(name + u".raw"_qs));
            m_recorded[i]->start();
        }
        pactl(u"set-default-sink zelmoro_a"_qs);
    }

    // Holds every openat() of `file` in this process for `ms` after it returns.
    void stallOpens(QProcess &strace, const QString &file, int ms)
    {
        ::prctl(PR_SET_DUMPABLE, 1);
        strace.setProcessChannelMode(QProcess::MergedChannels);
        strace.start(u"strace"_qs, {u"-f"_qs, u"-e"_qs, u"trace=openat"_qs, u"-P"_qs, file,
                                    u"-e"_qs, u"inject=openat:delay_exit=%1"_qs.arg(ms * 1000),
                                    u"-p"_qs, QString::number(::getpid())});
        QVERIFY(strace.waitForStarted());
        QByteArray said; // "Process N attached with M threads", once all are
        QTRY_VERIFY_WITH_TIMEOUT((said += strace.readAll()).contains("attached"), 5000);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"pulseaudio"_qs).isEmpty() &&
            qgetenv("ZELMORO_REQUIRE_DESKTOP") != "1")
            QSKIP("pulseaudio is not installed");
        for (const char *home : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
            qputenv(home, m_dir.path().toUtf8()); // none of the caller's
        qputenv("PULSE_SERVER", "unix:" + path(u"native"_qs).toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path(u"none"_qs).toUtf8());
        QFile alsa(path(u"asound.conf"_qs)); // ALSA's default device: one that is not there
        QVERIFY(alsa.open(QIODevice::WriteOnly) &&
                alsa.write("pcm.!default { type hw; card 99 }\n"));
        qputenv("ALSA_CONFIG_PATH", alsa.fileName().toUtf8());
        passOn = qInstallMessageHandler(keepLog);
        m_server.start(u"pulseaudio"_qs,
                       QProcess::splitCommand(
                           u"--daemonize=no --exit-idle-time=-1 -n -L "
                           "\"module-native-protocol-unix auth-anonymous=1 "
                           "socket='%1'\" -L module-stream-restore"_qs.arg(path(u"native"_qs))));
        QTRY_VERIFY_WITH_TIMEOUT(!pactl(u"info"_qs).isEmpty(), 10000);
        provideSinks();
        writeTone(path(u"tone.wav"_qs), kTonePeak);
        writeTone(path(u"silent.wav"_qs), 32); // just under -60 dBFS
        QVERIFY(QFile::copy(path(u"tone.wav"_qs), path(u"slow.wav"_qs)));
    }

    void cleanupTestCase()
    {
        m_recorded[0].reset();
        m_recorded[1].reset();
        m_server.kill();
        m_server.waitForFinished();
    }

    // No server and no ALSA device while the alarm rings: said once, and the
    // user is told on the desktop (here: no session bus, so that is logged).
    void noOutputIsToldOnce()
    {
        qputenv("PULSE_SERVER", "unix:" + path(u"gone"_qs).toUtf8());
        platform::AsyncSoundPlayer player({m_dir.path()});
        QVERIFY(player.play(u"tone.wav"_qs, kLoop));
        const QString silent = u"the alarm cannot be heard"_qs;
        QTRY_COMPARE(timesLogged(silent), 1);
        QTest::qWait(2000); // four retries of each output
        QCOMPARE(timesLogged(silent), 1);
        QCOMPARE(timesLogged(u"cannot show: アラームの音を出せません"_qs), 1);
        qputenv("PULSE_SERVER", "unix:" + path(u"native"_qs).toUtf8());
        QTRY_COMPARE(timesLogged(u"the alarm can be heard again"_qs), 1);
        QVERIFY(player.play(std::nullopt, SND_ASYNC));
    }

    void floorIsWorkedOut_data()
    {
        QTest::addColumn<OutputLevel>("now");
        QTest::addColumn<OutputLevel>("raised"); // empty: left alone
        QTest::newRow("muted, loud") << level({k80, k80}, true) << level({k80, k80});
        QTest::newRow("5 %") << level({k5, k5}) << level({k50, k50});
        QTest::newRow("49 %") << level({k49, k49}) << level({k50, k50});
        QTest::newRow("50 %") << level({k50, k50}) << OutputLevel{};
        QTest::newRow("80 %, never lowered") << level({k80, k80}) << OutputLevel{};
        QTest::newRow("balance kept") << level({k20, k40}) << level({16384, k50});
        QTest::newRow("loud channel counts") << level({k5, k80}) << OutputLevel{};
        QTest::newRow("all at 0") << level({0, 0}) << level({k50, k50});
        QTest::newRow("one silent channel") << level({0, k5}) << level({0, k50});
    }

    void floorIsWorkedOut()
    {
        QFETCH(OutputLevel, now);
        QFETCH(OutputLevel, raised);
        QCOMPARE(platform::raisedToFloor(now).value_or(OutputLevel{}), raised);
    }

    void givenBackIsWorkedOut_data()
    {
        QTest::addColumn<OutputLevel>("now"); // before: muted at 5 %; set: 50 %
        QTest::addColumn<OutputLevel>("back");
        QTest::newRow("as the alarm left it") << level({k50, k50}) << level({k5, k5}, true);
        QTest::newRow("raised by the user") << level({k80, k80}) << level({k80, k80}, true);
        QTest::newRow("muted by the user") << level({k50, k50}, true) << level({k5, k5}, true);
    }

    void givenBackIsWorkedOut()
    {
        QFETCH(OutputLevel, now);
        QFETCH(OutputLevel, back);
        QCOMPARE(platform::givenBack(level({k5, k5}, true), level({k50, k50}), now), back);
    }

    void alarmIsHeard_data()
    {
        QTest::addColumn<OutputLevel>("before"); // the sink the alarm plays on
        QTest::addColumn<QString>("event");      // what happens while it rings
        QTest::addColumn<bool>("keepMixer");     // --keep-mixer
        QTest::addColumn<QString>("file");
        QTest::addColumn<OutputLevel>("ringing"); // the sink while it rings
        QTest::addColumn<int>("heard");           // the loudest sample at its monitor
        QTest::addColumn<bool>("exits");          // the program ends rather than stops it
        const OutputLevel muted = level({k30, k30}, true), floor = level({k50, k50});
        const OutputLevel loud = level({k80, k80});
        const auto row = [&](const char *name, const OutputLevel &before, const char *event,
                             bool keep, const char *file, const OutputLevel &ringing, int source,
                             bool exits = false) {
            QTest::newRow(name) << before << QString::fromLatin1(event) << keep
                                << QString::fromLatin1(file) << ringing << heardAt(source, ringing)
                                << exits;
        };
        row("muted sink", muted, "", false, "tone.wav", floor, kTonePeak);
        row("5 %, program ends", level({k5, k5}), "", false, "tone.wav", floor, kTonePeak, true);
        row("49 %", level({k49, k49}), "", false, "tone.wav", floor, kTonePeak);
        row("50 %", floor, "", false, "tone.wav", floor, kTonePeak);
        row("80 %", loud, "", false, "tone.wav", loud, kTonePeak);
        row("unbalanced, program ends", level({k20, k40}), "", false, "tone.wav",
            level({16384, k50}), kTonePeak, true);
        row("stream muted last time", loud, "restore muted", false, "tone.wav", loud, kTonePeak);
        row("sink muted while ringing", loud, "mute sink", false, "tone.wav", loud, kTonePeak);
        row("sink lowered while ringing", level({k5, k5}), "lower sink", false, "tone.wav", floor,
            kTonePeak);
        row("stream muted while ringing", loud, "mute stream", false, "tone.wav", loud, kTonePeak);
        row("--keep-mixer", muted, "mute stream", true, "tone.wav", muted, kTonePeak);
        row("silent file", loud, "", false, "silent.wav", loud, kChimePeak);
        row("open stalls", loud, "stall", false, "slow.wav", loud, kTonePeak);
        row("sink unloaded", loud, "unload sink", false, "tone.wav", floor, kTonePeak);
    }

    void alarmIsHeard()
    {
        QFETCH(OutputLevel, before);
        QFETCH(QString, event);
        QFETCH(bool, keepMixer);
        QFETCH(QString, file);
        QFETCH(OutputLevel, ringing);
        QFETCH(int, heard);
        QFETCH(bool, exits);
        provideSinks();
        QString sink = u"zelmoro_a"_qs;
        SinkRecording *recorded = m_recorded[0].get();
        setSink(sink, before);
        const OutputLevel otherBefore = level({k5, k5}, true);
        setSink(u"zelmoro_b"_qs, otherBefore);
        if (event == u"restore muted") { // a mixer muted the alarm's stream last time
            QProcess paplay;
            paplay.start(u"paplay"_qs, {u"--property=media.role=alarm"_qs, path(u"tone.wav"_qs)});
            QTRY_VERIFY(!streamIndex().isEmpty());
            pactl(u"set-sink-input-mute %1 1"_qs.arg(streamIndex()));
            QVERIFY(paplay.waitForFinished());
        }
        if (event == u"stall")
            stallOpens(m_strace, path(file), 1500);
        platform::setMixerLeftAlone(keepMixer);
        auto player = std::make_unique<platform::AsyncSoundPlayer>(QStringList{m_dir.path()});
        const double asked = recorded->seconds();
        QVERIFY(player->play(file, kLoop));

        // Ringing: the stream at 100 %, the sink at least at the floor.
        QTRY_COMPARE(streamLevel(), level({k100, k100}));
        QTRY_COMPARE(sinkLevel(sink), event == u"unload sink" ? before : ringing);
        QElapsedTimer restored;
        if (event == u"mute sink" || event == u"lower sink") {
            setSink(sink, event == u"mute sink" ? level(ringing.volumes, true) : level({k20, k20}));
            restored.start();
            QTRY_COMPARE_WITH_TIMEOUT(sinkLevel(sink), ringing, 1000);
        } else if (event == u"mute stream") {
            pactl(u"set-sink-input-mute %1 1"_qs.arg(streamIndex()));
            restored.start();
            QTRY_COMPARE_WITH_TIMEOUT(streamLevel(), level({k100, k100}), 1000);
        } else if (event == u"unload sink") {
            const double away = m_recorded[1]->seconds();
            const QStringList modules = pactl(u"list short modules"_qs).split('\n');
            pactl(u"unload-module "_qs +
                  modules.filter(u"sink_name=zelmoro_a"_qs).value(0).section('\t', 0, 0));
            sink = u"zelmoro_b"_qs;
            recorded = m_recorded[1].get();
            before = otherBefore;
            QTRY_COMPARE(sinkLevel(sink), ringing);
            QTRY_VERIFY(recorded->seconds() > away + 1.5);
            const double back = recorded->firstAt(away, heard / 2);
            qInfo("heard again on the other sink %.0f ms after the first one went",
                  (back - away) * 1000);
            QVERIFY(back >= 0 && back - away < 1.0);
        }
        if (restored.isValid())
            qInfo("floor back after %lld ms", restored.elapsed());

        // What is heard.
        double from = recorded->seconds();
        if (event == u"stall") { // the chime from 300 ms on, then the file after a whole chime
            QTRY_VERIFY_WITH_TIMEOUT(recorded->seconds() > asked + 4.5, 10000);
            const double chime = recorded->firstAt(asked, 200);
            const double tone = recorded->steadyAt(asked, heardAt(kTonePeak, ringing), 0.1);
            qInfo("chime after %.0f ms, the file %.0f ms after the chime", (chime - asked) * 1000,
                  (tone - chime) * 1000);
            QCOMPARE_GE(chime - asked, 0.25);
            QCOMPARE_LE(chime - asked, 0.8);
            QCOMPARE_LT(std::abs(tone - chime - platform::builtInChime()->seconds()), 0.05);
            QCOMPARE_LT(recorded->longestQuiet(chime, tone + 0.5, 30), 0.05);
            from = tone + 0.1;
        }
        const double window = file == u"silent.wav"_qs ? 3.0 : 1.0; // a whole chime, or tone
        QTRY_VERIFY_WITH_TIMEOUT(recorded->seconds() > from + window, 10000);
        QCOMPARE_GE(recorded->peak(from, from + window), heard * 9 / 10);
        QCOMPARE_LE(recorded->peak(from, from + window), heard * 11 / 10 + 40);

        // Stopped, or the program ended: the sink holds what it held before.
        if (exits) {
            player.reset();
            QCOMPARE(sinkLevel(sink), before);
        } else {
            QVERIFY(player->play(std::nullopt, SND_ASYNC));
            QTRY_COMPARE(sinkLevel(sink), before);
        }
    }

    void cleanup()
    {
        m_strace.kill();
        m_strace.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestSoundMixer)
#include "test_sound_mixer.moc"
