// The sound server goes away in the middle of the alarm loop and comes back:
// the player gives up the lost sound at once (nothing stays busy), and once the
// server is back the next request sounds again. The test runs a server of its
// own, and the player in a child process (this program started again).

#include "support/pulse_recorder.h"
#include "support/sound_child.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest/QtTest>

using testing::ChildReport;
using testing::letSoundPlay;

namespace
{

constexpr int kChildRunMs = 12000;
constexpr qint64 kPromptMs = 200;

// A PulseAudio server with one null sink, listening on a fixed socket, that can
// be killed and started again on the same socket.
class SoundServer
{
public:
    static constexpr char kSink[] = "restart_null";

    SoundServer() { m_process.setProcessChannelMode(QProcess::MergedChannels); }
    ~SoundServer() { kill(); }

    QString address() const
    {
        return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
    }

    bool start()
    {
        // A fresh runtime directory each time: the killed server's pid file
        // must not stop the new one.
        const QString runtime = m_dir.filePath(QStringLiteral("run%1").arg(++m_starts));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        // Off the session's bus and display: the session's own server holds
        // the bus name a server takes.
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("DISPLAY"));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral("pulseaudio"),
                        {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                         QStringLiteral("--disallow-exit"), QStringLiteral("-n"),
                         QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1")
                             .arg(m_dir.filePath(QStringLiteral("native"))),
                         QStringLiteral("-L"),
                         QStringLiteral("module-null-sink sink_name=%1 rate=44100 channels=2")
                             .arg(QLatin1String(kSink)),
                         QStringLiteral("-L"), QStringLiteral("module-always-sink")});
        if (!m_process.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100; ++i) {
            QProcess pactl;
            QProcessEnvironment pactlEnv = QProcessEnvironment::systemEnvironment();
            pactlEnv.insert(QStringLiteral("PULSE_SERVER"), address());
            pactl.setProcessEnvironment(pactlEnv);
            pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
            if (pactl.waitForFinished(2000) && pactl.exitCode() == 0)
                return true;
            if (m_process.state() == QProcess::NotRunning) {
                qWarning() << "pulseaudio ended:" << m_process.readAll();
                return false;
            }
            letSoundPlay(50);
        }
        return false;
    }

    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_starts = 0;
};

// Waits until the child has reported a line that satisfies `wanted`, from the
// report at `from` on; returns its index or -1.
template <typename Predicate>
qsizetype waitForReport(QProcess &child, QByteArray &output, qsizetype from, int timeoutMs,
                        Predicate wanted)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        output += child.readAllStandardOutput();
        const QList<ChildReport> reports = testing::parseChildReports(output);
        for (qsizetype i = from; i < reports.size(); ++i) {
            if (wanted(reports[i]))
                return i;
        }
        letSoundPlay(50);
    }
    return -1;
}

} // namespace

class TestSoundPlayerRestart : public QObject
{
    Q_OBJECT

private slots:
    void soundReturnsWithTheServer()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
            if (testing::desktopRequired())
                QFAIL("pulseaudio is not installed");
            QSKIP("pulseaudio is not installed");
        }
        const QString sound = qEnvironmentVariable("ZELMORO_SOUND");
        QVERIFY2(QFileInfo::exists(sound), "ZELMORO_SOUND must name the generated belora.wav");

        SoundServer server;
        QVERIFY(server.start());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), server.address());
        child.setProcessEnvironment(env);
        child.start(
            QCoreApplication::applicationFilePath(),
            {QString::fromLatin1(testing::kSoundChildArg), sound, QString::number(kChildRunMs)});
        QVERIFY(child.waitForStarted(5000));

        QByteArray output;
        const qsizetype looping = waitForReport(child, output, 0, 5000, [](const ChildReport &r) {
            return r.kind == "tick" && r.looping;
        });
        QVERIFY2(looping >= 0, "the loop did not start");

        // The server dies in the middle of the loop and is back a second later.
        letSoundPlay(1000);
        server.kill();
        const qsizetype lost =
            waitForReport(child, output, looping, 3000,
                          [](const ChildReport &r) { return r.kind == "tick" && !r.playing; });
        QVERIFY2(lost >= 0, "the player still claims to play after the server died");
        letSoundPlay(1000);
        QVERIFY(server.start());
        testing::PulseRecorder recorder(QLatin1String(SoundServer::kSink), server.address());
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));

        const qsizetype back = waitForReport(child, output, lost, 8000, [](const ChildReport &r) {
            return r.kind == "call" && r.what == "loop" && r.accepted;
        });
        QVERIFY2(back >= 0, "requests were not taken again after the server came back");
        // A freshly started null sink plays its first stream late.
        letSoundPlay(3000);
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));
        QVERIFY2(recorder.firstSound() >= 0.0, "the loop is not heard on the new server");
        QCOMPARE_GT(recorder.duration(), 2.0);
        QCOMPARE_LT(recorder.longestQuietStretch(recorder.duration() - 2.0, recorder.duration()),
                    0.012);

        QVERIFY(child.waitForFinished(kChildRunMs + 5000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        output += child.readAllStandardOutput();
        for (const ChildReport &report : testing::parseChildReports(output)) {
            if (report.kind == "call")
                QCOMPARE_LT(report.ms, kPromptMs);
        }
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], testing::kSoundChildArg) == 0)
        return testing::runSoundChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestSoundPlayerRestart test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_sound_player_restart_desktop.moc"
