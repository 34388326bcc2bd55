// The way out with real sound: Wave Stop silences the alarm loop on the
// desktop's sound server and ends the program, and the real program asked to
// terminate by the session stops its sound and exits with status 0.

#include "alarm/module1.h"
#include "platform/default_instance.h"
#include "platform/sound_clip.h"
#include "support/fakes.h"
#include "support/pulse_recorder.h"
#include "support/quiz_driver.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtTest/QtTest>

using platform::form;
using testing::letSoundPlay;
using testing::PulseRecorder;

namespace {

// Runs xdotool; its exit status, and what it printed.
int xdotool(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(5000))
        return -1;
    if (output)
        *output = tool.readAllStandardOutput().trimmed();
    return tool.exitCode();
}

// The visible windows of a process, as X window ids.
QList<QByteArray> windowsOf(qint64 pid)
{
    QByteArray out;
    xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
             QString::number(pid)},
            &out);
    return out.isEmpty() ? QList<QByteArray>{} : out.split('\n');
}

} // namespace

class TestWaveStopDesktop : public QObject {
    Q_OBJECT

private:
    QString m_sound;
    double m_length = 0.0;

private slots:
    void initTestCase()
    {
        ZELMORO_REQUIRE_TEST_SINK();
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            if (testing::desktopRequired())
                QFAIL("ZELMORO_REQUIRE_DESKTOP=1 but DISPLAY is not set");
            QSKIP("no desktop session: DISPLAY is not set");
        }
        m_sound = qEnvironmentVariable("ZELMORO_SOUND");
        QVERIFY2(QFileInfo::exists(m_sound), "ZELMORO_SOUND must name the generated belora.wav");
        const auto clip = platform::loadWaveFile(m_sound);
        QVERIFY(clip);
        m_length = clip->seconds();
    }

    void waveStopSilencesTheAlarmLoop()
    {
        testing::FakeRuntime runtime;
        platform::setSoundPlayer(nullptr); // the real player on the session's sound server
        PulseRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));

        runtime.random.queue({testing::randomFor(35), testing::randomFor(48)});
        form<Form4>().Show();
        Form4 &quiz = form<Form4>().get();
        QElapsedTimer sincePlay;
        Module1::sndPlaySoundA(m_sound, 25);
        sincePlay.start();
        QVERIFY(platform::soundPlayer().isLooping());

        // More than one length of the loop, then the right answer.
        letSoundPlay(static_cast<int>(m_length * 1000) + 600);
        testing::typeAnswer(quiz.Text1(), QStringLiteral("83"));
        QTest::mouseClick(&quiz.Command1(), Qt::LeftButton);
        QVERIFY(form<Form5>().isShown());
        letSoundPlay(400);
        QVERIFY(platform::soundPlayer().isLooping());

        const double stopAt = static_cast<double>(sincePlay.elapsed()) / 1000.0;
        QTest::mouseClick(&form<Form5>().get().Command1(), Qt::LeftButton);
        QVERIFY(platform::hasEnded());
        QVERIFY(!platform::soundPlayer().isPlaying());
        QVERIFY(!form<Form5>().isShown());
        letSoundPlay(1500);
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));

        const double start = recorder.firstSound();
        QVERIFY2(start > 0.0, "the alarm loop was not heard");
        const double end = recorder.endOfSound(start);
        qInfo("loop heard from %.3f s to %.3f s; Wave Stop %.3f s after the start", start, end,
              stopAt);
        // It sounded on, looping, until Wave Stop, and went silent right after.
        QCOMPARE_GT(end - start, stopAt - 0.3);
        QCOMPARE_LT(end - start, stopAt + 0.3);
        QVERIFY(recorder.silentBetween(end, recorder.duration()));
        QCOMPARE_GT(recorder.duration() - end, 1.0);
        QVERIFY(runtime.reportedErrors.isEmpty());
    }

    void sessionTerminationStopsTheProgramAndItsSound()
    {
        const QString binary = qEnvironmentVariable("ZELMORO_BINARY");
        QVERIFY2(QFileInfo(binary).isExecutable(), "ZELMORO_BINARY must name the zelmoro program");
        QProcess zelmoro;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        zelmoro.setProcessEnvironment(env);
        zelmoro.setWorkingDirectory(QFileInfo(m_sound).absolutePath());
        zelmoro.setProcessChannelMode(QProcess::ForwardedChannels);
        zelmoro.start(binary, {});
        QVERIFY(zelmoro.waitForStarted(5000));
        const qint64 pid = zelmoro.processId();
        QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(pid).isEmpty(), 10000);
        const QByteArray window = windowsOf(pid).first();
        QByteArray title;
        xdotool({QStringLiteral("getwindowname"), QString::fromLatin1(window)}, &title);
        QCOMPARE(title, QByteArray("Zelmoro"));

        PulseRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
        // Wave Test (3120, 120, 972 x 492 twips; 15 twips to the pixel): the
        // sound file once, which takes longer than what follows.
        QElapsedTimer sincePlay;
        QCOMPARE(xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                          QString::fromLatin1(window), QStringLiteral("240"), QStringLiteral("24"),
                          QStringLiteral("click"), QStringLiteral("1")}),
                 0);
        sincePlay.start();
        letSoundPlay(700);

        const double termAt = static_cast<double>(sincePlay.elapsed()) / 1000.0;
        QElapsedTimer toExit;
        toExit.start();
        zelmoro.terminate(); // SIGTERM
        QVERIFY2(zelmoro.waitForFinished(1000), "still running a second after SIGTERM");
        qInfo("exited %lld ms after SIGTERM", toExit.elapsed());
        QCOMPARE(zelmoro.exitStatus(), QProcess::NormalExit);
        QCOMPARE(zelmoro.exitCode(), 0);
        QVERIFY(windowsOf(pid).isEmpty());
        QVERIFY(xdotool({QStringLiteral("getwindowname"), QString::fromLatin1(window)}) != 0);

        letSoundPlay(1200);
        QVERIFY2(recorder.stop(), qPrintable(recorder.errorString()));
        const double start = recorder.firstSound();
        QVERIFY2(start > 0.0, "Wave Test was not heard");
        const double end = recorder.endOfSound(start);
        qInfo("sound heard from %.3f s to %.3f s; SIGTERM %.3f s after the click", start, end,
              termAt);
        // Cut off at the end of the program, long before the file's own end.
        QCOMPARE_LT(end - start, termAt + 0.3);
        QCOMPARE_LT(end - start, m_length - 1.0);
        QVERIFY(recorder.silentBetween(end, recorder.duration()));
    }
};

QTEST_MAIN(TestWaveStopDesktop)
#include "test_wave_stop_desktop.moc"
