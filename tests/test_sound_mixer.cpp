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

#include <memory>

using namespace zelmoro;
using platform::OutputLevel, platform::SND_ASYNC, test::pactl;
Q_DECLARE_METATYPE(OutputLevel)

namespace {

constexpr std::uint32_t kLoop = SND_ASYNC | platform::SND_LOOP | platform::SND_NOSTOP;
constexpr int kTonePeak = 8192;   // tone.wav: a square wave at a quarter of full scale
constexpr int kChimePeak = 19660; // the built-in chime peaks at 0.6 of full scale
constexpr std::uint32_t k5 = 3277, k20 = 13107, k30 = 19661, k40 = 26214, k49 = 32113, k50 = 32768,
                        k80 = 52429, k100 = 65536;

OutputLevel level(std::vector<std::uint32_t> volumes, bool muted = false)
{
    return {muted, std::move(volumes)};
}

// The loudest sample of a source through a sink (the server's volume is cubic).
int heardAt(int source, const OutputLevel &sink)
{
    const double v = double(*std::max_element(sink.volumes.begin(), sink.volumes.end())) / k100;
    return sink.muted ? 0 : int(source * v * v * v);
}

// One second of 44.1 kHz 16-bit stereo, every sample +amplitude or -amplitude.
void writeTone(const QString &file, qint16 amplitude)
{
    QFile wav(file);
    QVERIFY(wav.open(QIODevice::WriteOnly));
    QByteArray samples(test::SinkRecording::kRate * 4, '\0');
    for (qsizetype f = 0; f < samples.size() / 2; ++f) // a 441 Hz square wave on both channels
        qToLittleEndian<qint16>(f / 2 % 100 < 50 ? amplitude : -amplitude, samples.data() + 2 * f);
    QVERIFY(wav.write(QByteArray::fromHex("5249464634b1020057415645666d7420100000000100020044ac"
                                          "000010b10200040010006461746110b10200") +
                      samples) == 44 + samples.size());
}

// A sink's or the one stream's ("sink-input") volumes and mute, as pactl lists them.
OutputLevel levelOf(const QString &kind, const QString &name)
{
    const QString list = pactl(u"list %1s"_qs.arg(kind));
    const auto at = list.indexOf(name), volume = list.indexOf(u"\tVolume:"_qs, at);
    OutputLevel found{list.indexOf(u"Mute: yes"_qs, at) == list.indexOf(u"Mute: "_qs, at), {}};
    static const QRegularExpression channel(u":\\s*(\\d+) /"_qs);
    for (const auto &m : channel.globalMatch(list.mid(volume, list.indexOf('\n', volume) - volume)))
        found.volumes.push_back(m.captured(1).toUInt());
    return at < 0 ? OutputLevel{} : found;
}

void setSink(const QString &sink, const OutputLevel &to)
{
    pactl(u"set-sink-volume %1 %2 %3"_qs.arg(sink).arg(to.volumes[0]).arg(to.volumes[1]));
    pactl(u"set-sink-mute %1 %2"_qs.arg(sink).arg(int(to.muted)));
}

QString streamIndex()
{
    return pactl(u"list short sink-inputs"_qs).section('\t', 0, 0);
}

QStringList logged; // what the program logs
QMutex loggedMutex;
QtMessageHandler passOn = nullptr;

qsizetype timesLogged(const QString &text)
{
    const QMutexLocker lock(&loggedMutex);
    return logged.filter(text).size();
}

} // namespace

class TestSoundMixer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_server, m_strace;
    std::unique_ptr<test::SinkRecording> m_recorded[2]; // zelmoro_a, zelmoro_b

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Both sinks there and recorded, `a` the default (a row takes one away).
    void provideSinks()
    {
        for (int i = 0; i < 2; ++i) {
            const QString name = u"zelmoro_"_qs + QChar(u'a' + i);
            if (!pactl(u"list short sinks"_qs).contains(name)) {
                pactl(u"load-module module-null-sink sink_name="_qs + name);
                m_recorded[i].reset();
            }
            if (!m_recorded[i])
                m_recorded[i] = std::make_unique<test::SinkRecording>(name, path(name));
        }
        pactl(u"set-default-sink zelmoro_a"_qs);
    }

private slots:
    void initTestCase()
    {
        if (!test::useOwnSound(m_dir.path(), "{ type hw; card 99 }")) // no ALSA device
            QSKIP("pulseaudio is not installed");
        passOn = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                {
                    const QMutexLocker lock(&loggedMutex);
                    logged << message;
                }
                passOn(type, context, message);
            });
        test::startServer(m_server, m_dir.path(), u"-L module-stream-restore"_qs);
        provideSinks();
        writeTone(path(u"tone.wav"_qs), kTonePeak);
        writeTone(path(u"slow.wav"_qs), kTonePeak);
        writeTone(path(u"silent.wav"_qs), 32); // just under -60 dBFS
    }

    void cleanupTestCase()
    {
        m_recorded[0].reset();
        m_recorded[1].reset();
        m_server.kill();
        m_server.waitForFinished();
    }

    void cleanup()
    {
        m_strace.kill();
        m_strace.waitForFinished();
    }

    // No server and no ALSA device while the alarm rings: said once, and told
    // on the desktop (here without a session bus, so that is logged).
    void noOutputIsToldOnce()
    {
        qputenv("PULSE_SERVER", "unix:" + path(u"gone"_qs).toUtf8());
        platform::AsyncSoundPlayer player({m_dir.path()});
        QVERIFY(player.play(u"tone.wav"_qs, kLoop));
        QTRY_COMPARE(timesLogged(u"the alarm cannot be heard"_qs), 1);
        QTest::qWait(2000); // four retries of each output
        QCOMPARE(timesLogged(u"the alarm cannot be heard"_qs), 1);
        QCOMPARE(timesLogged(u"cannot show: アラームの音を出せません"_qs), 1);
        qputenv("PULSE_SERVER", "unix:" + path(u"native"_qs).toUtf8());
        QTRY_COMPARE(timesLogged(u"the alarm can be heard again"_qs), 1);
    }

    void floorIsWorkedOut_data()
    {
        QTest::addColumn<OutputLevel>("now");
        QTest::addColumn<OutputLevel>("raised"); // empty: left alone
        QTest::newRow("muted, loud") << level({k80, k80}, true) << level({k80, k80});
        QTest::newRow("49 %") << level({k49, k49}) << level({k50, k50});
        QTest::newRow("50 %") << level({k50, k50}) << OutputLevel{};
        QTest::newRow("balance kept") << level({k20, k40}) << level({16384, k50});
        QTest::newRow("all at 0") << level({0, 0}) << level({k50, k50});
    }

    void floorIsWorkedOut()
    {
        QFETCH(OutputLevel, now);
        QFETCH(OutputLevel, raised);
        QCOMPARE(platform::raisedToFloor(now).value_or(OutputLevel{}), raised);
    }

    void alarmIsHeard_data()
    {
        QTest::addColumn<OutputLevel>("before"); // the sink the alarm plays on
        QTest::addColumn<QString>("event");      // what happens while it rings
        QTest::addColumn<QString>("file");
        QTest::addColumn<OutputLevel>("ringing"); // the sink while it rings
        QTest::addColumn<int>("heard");           // the loudest sample at its monitor
        const OutputLevel muted = level({k30, k30}, true), floor = level({k50, k50});
        const OutputLevel loud = level({k80, k80}), quiet = level({k5, k5});
        const auto row = [](const char *name, const OutputLevel &before, const char *event,
                            const OutputLevel &ringing, const char *file = "tone.wav") {
            QTest::newRow(name) << before << event << file << ringing
                                << heardAt(qstrcmp(file, "silent.wav") ? kTonePeak : kChimePeak,
                                           ringing);
        };
        row("muted sink", muted, "", floor);
        row("5 %, program ends", quiet, "exit", floor);
        row("stream muted last time", loud, "restore muted", loud);
        row("sink muted while ringing", loud, "mute sink", loud);
        row("sink lowered while ringing", quiet, "lower sink", floor);
        row("stream muted while ringing", loud, "mute stream", loud);
        row("--keep-mixer", muted, "keep", muted);
        row("silent file", loud, "", loud, "silent.wav");
        row("open stalls", loud, "stall", loud, "slow.wav");
        row("sink unloaded", loud, "unload sink", floor);
    }

    void alarmIsHeard()
    {
        QFETCH(OutputLevel, before);
        QFETCH(QString, event);
        QFETCH(QString, file);
        QFETCH(OutputLevel, ringing);
        QFETCH(int, heard);
        provideSinks();
        QString sink = u"zelmoro_a"_qs;
        test::SinkRecording *recorded = m_recorded[0].get();
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
        if (event == u"stall") { // every open of the file held for 1.5 s
            ::prctl(PR_SET_DUMPABLE, 1);
            m_strace.setProcessChannelMode(QProcess::MergedChannels);
            m_strace.start(u"strace"_qs,
                           {u"-f"_qs, u"-e"_qs, u"trace=openat"_qs, u"-P"_qs, path(file), u"-e"_qs,
                            u"inject=openat:delay_exit=1500000"_qs, u"-p"_qs,
                            QString::number(::getpid())});
            QByteArray said; // "Process N attached with M threads", once all are
            QTRY_VERIFY_WITH_TIMEOUT((said += m_strace.readAll()).contains("attached"), 5000);
        }
        const qsizetype putBack = timesLogged(u"the alarm's stream turned"_qs);
        platform::setMixerLeftAlone(event == u"keep");
        auto player = std::make_unique<platform::AsyncSoundPlayer>(QStringList{m_dir.path()});
        const double asked = recorded->seconds();
        QVERIFY(player->play(file, kLoop));

        // Ringing: the stream at 100 %, the sink at least at the floor.
        QTRY_COMPARE(levelOf(u"sink-input"_qs, u""_qs), level({k100, k100}));
        QTRY_COMPARE(levelOf(u"sink"_qs, sink), event == u"unload sink" ? before : ringing);
        if (event == u"restore muted") // audible from the start, not put back afterwards
            QCOMPARE(timesLogged(u"the alarm's stream turned"_qs), putBack);
        if (event == u"mute sink" || event == u"lower sink") {
            setSink(sink, event == u"mute sink" ? level(ringing.volumes, true) : level({k20, k20}));
            QTRY_COMPARE_WITH_TIMEOUT(levelOf(u"sink"_qs, sink), ringing, 1000);
        } else if (event == u"mute stream" || event == u"keep") {
            pactl(u"set-sink-input-mute %1 1"_qs.arg(streamIndex()));
            QTRY_COMPARE_WITH_TIMEOUT(levelOf(u"sink-input"_qs, u""_qs), level({k100, k100}), 1000);
        } else if (event == u"unload sink") {
            const double from = m_recorded[1]->seconds();
            QElapsedTimer unloading; // the sink goes at some instant within
            unloading.start();
            const QString modules = pactl(u"list short modules"_qs);
            pactl(u"unload-module "_qs +
                  modules.split('\n').filter(u"=zelmoro_a"_qs).value(0).section('\t', 0, 0));
            const double away = from + double(unloading.elapsed()) / 1000;
            sink = u"zelmoro_b"_qs;
            recorded = m_recorded[1].get();
            before = otherBefore;
            QTRY_COMPARE(levelOf(u"sink"_qs, sink), ringing);
            QTRY_VERIFY(recorded->seconds() > from + 1.5);
            const double back = recorded->firstAt(from, heard / 2);
            QVERIFY(back >= 0 && back - away < 1.0);
        }

        // What is heard: for a stalled file the chime from 300 ms on, then the file.
        double from = recorded->seconds();
        if (event == u"stall") {
            QTRY_VERIFY_WITH_TIMEOUT(recorded->seconds() > asked + 4.5, 10000);
            const double chime = recorded->firstAt(asked, 200);
            const double tone = recorded->firstAt(asked, heard, 0.1);
            QCOMPARE_GE(chime - asked, 0.25);
            QCOMPARE_LE(chime - asked, 0.8);
            QCOMPARE_LT(std::abs(tone - chime - platform::builtInChime()->seconds()), 0.05);
            from = tone + 0.1;
        }
        const double window = file == u"silent.wav"_qs ? 2.7 : 1.0; // a whole chime
        QTRY_VERIFY_WITH_TIMEOUT(recorded->seconds() > from + window, 10000);
        QCOMPARE_GE(recorded->peak(from, from + window), heard * 9 / 10);
        QCOMPARE_LE(recorded->peak(from, from + window), heard * 11 / 10 + 40);

        // Stopped, or the program ended: the sink holds what it held before.
        if (event == u"exit") {
            player.reset();
            QCOMPARE(levelOf(u"sink"_qs, sink), before);
        } else {
            QVERIFY(player->play(std::nullopt, SND_ASYNC));
            QTRY_COMPARE(levelOf(u"sink"_qs, sink), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestSoundMixer)
#include "test_sound_mixer.moc"
