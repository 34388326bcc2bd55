// SPDX-License-Identifier: GPL-3.0-or-later
// Zelmoro in a real desktop session: the shipped program under the X server and
// window manager, and what the sound server's null sink plays, recorded.

#include "clock/form1.h"
#include "module1.h"
#include "platform/sound/sndfile_reader.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "support/pulse_recorder.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest/QtTest>

using test::letSoundPlay;
using test::PulseRecorder;

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The mapped window with exactly this title, waiting for it up to 10 s.
QString waitForWindow(const QString &title)
{
    const QDeadlineTimer deadline(10000);
    QString id;
    while (
        (id = run("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"})).isEmpty() &&
        !deadline.hasExpired())
        QTest::qWait(50);
    return id.section('\n', 0, 0);
}

QSize clientSize(const QString &window)
{
    const QString info = run("xwininfo", {"-id", window});
    const auto number = [&](const char *key) {
        return QRegularExpression(QString(key) + ": (\\d+)").match(info).captured(1).toInt();
    };
    return QSize(number("Width"), number("Height"));
}

// Clicks the middle of a control laid out at these twips (15 to a pixel).
void click(const QString &window, int left, int top, int width, int height)
{
    run("xdotool", {"mousemove", "--window", window, QString::number((left + width / 2) / 15),
                    QString::number((top + height / 2) / 15), "click", "1"});
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void shippedProgram();
    void alarmLoopOverTestSoundUntilWaveStop();

private:
    QString m_sound;
    int m_lengthMs = 0;
};

void TestDesktop::initTestCase()
{
    ZELMORO_REQUIRE_TEST_SINK();
    m_sound = qEnvironmentVariable("ZELMORO_SOUND");
    const auto clip = platform::loadWaveFile(m_sound);
    QVERIFY2(clip, "ZELMORO_SOUND must name the generated belora.wav");
    m_lengthMs = int(clip->seconds() * 1000);
}

void TestDesktop::shippedProgram()
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(qEnvironmentVariable("ZELMORO_BINARY"), {});
    const QString main = waitForWindow("Zelmoro");
    QVERIFY2(!main.isEmpty(), "the window \"Zelmoro\" did not appear");
    QCOMPARE(clientSize(main), QSize(275, 454)); // 4128 x 6816 twips
    QVERIFY(run("xprop", {"-id", main}).contains("_NET_WM_WINDOW_TYPE_NORMAL"));
    // Title and border only, movable: no menu, minimize, maximize or close.
    QVERIFY(run("xprop", {"-id", main, "_MOTIF_WM_HINTS"}).endsWith("0x3, 0x4, 0xa, 0x0, 0x0"));

    // Wave Test plays the chime once.
    PulseRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    click(main, 3120, 120, 972, 492);
    letSoundPlay(m_lengthMs + 1200);

    // The window manager's close and Alt+F4 end nothing.
    run("xdotool", {"windowactivate", "--sync", main, "key", "alt+F4"});
    QTest::qWait(200);
    QCOMPARE(waitForWindow("Zelmoro"), main);

    // Alarm-SET opens the dialog, without a taskbar entry; SET closes it.
    click(main, 120, 5880, 3972, 852);
    const QString dialog = waitForWindow("Alarm - Set");
    QVERIFY2(!dialog.isEmpty(), "Alarm-SET opened no dialog");
    QCOMPARE(clientSize(dialog), QSize(250, 90)); // 3744 x 1356 twips
    QVERIFY(run("xprop", {"-id", dialog}).contains(QRegularExpression("UTILITY|SKIP_TASKBAR")));
    click(dialog, 240, 720, 1572, 372);
    QTRY_VERIFY(run("xdotool", {"search", "--onlyvisible", "--name", "^Alarm - Set$"}).isEmpty());
    QCOMPARE(program.state(), QProcess::Running);

    // The session's termination request ends it at once, with the sound.
    click(main, 3120, 120, 972, 492);
    letSoundPlay(700);
    program.terminate();
    QVERIFY2(program.waitForFinished(1000), "still running a second after SIGTERM");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    letSoundPlay(1000);
    QVERIFY(recorder.stop());

    const double first = recorder.firstSound();
    QVERIFY2(first > 0, qPrintable("Wave Test was not heard: " + recorder.fileName()));
    const double firstEnd = recorder.endOfSound(first);
    QVERIFY(qAbs(firstEnd - first - m_lengthMs / 1000.0) < 0.3); // once, to its end
    const double second = recorder.firstSound(firstEnd + 0.5);
    QVERIFY(second > 0);
    QVERIFY2(recorder.endOfSound(second) < second + 1.0, "the sound outlived the program");
    QVERIFY(recorder.silentBetween(recorder.endOfSound(second), recorder.duration()));
}

// The test sound gives way to the alarm loop, which sounds on until the quiz
// is solved and Wave Stop pressed.
void TestDesktop::alarmLoopOverTestSoundUntilWaveStop()
{
    test::FakeRuntime runtime;
    platform::setSoundPlayer(nullptr); // the real player on the session's sound server
    runtime.clock.set(6, 59, 59, 500);
    Module1::AlarmTime = "7:00:00";
    runtime::form<Form1>().Show();
    Form1 &main = runtime::form<Form1>().get();
    main.Timer1().stop();
    main.Text1().setText(m_sound);

    PulseRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    QElapsedTimer sinceWaveTest;
    sinceWaveTest.start();
    QTest::mouseClick(&main.Command3(), Qt::LeftButton);
    letSoundPlay(300);
    for (int ms = 0; ms < 1000; ms += 100) {
        runtime.clock.set(7, 0, 0, ms);
        main.Timer1_Timer();
    }
    QVERIFY(platform::soundPlayer().isLooping());
    letSoundPlay(2 * m_lengthMs);

    runtime.random.queue({0.3f, 0.6f}); // 37 + 64
    QTest::mouseClick(&main.Command1(), Qt::LeftButton);
    Form4 &quiz = runtime::form<Form4>().get();
    quiz.Text1().setText("101");
    QTest::mouseClick(&quiz.Command1(), Qt::LeftButton);
    QVERIFY(runtime::form<Form5>().isShown());
    QVERIFY(platform::soundPlayer().isLooping());
    const double stopAfter = double(sinceWaveTest.elapsed()) / 1000;
    QTest::mouseClick(&runtime::form<Form5>().get().Command1(), Qt::LeftButton);
    QVERIFY(runtime::hasEnded());
    letSoundPlay(1000);
    QVERIFY(recorder.stop());

    const double start = recorder.firstSound();
    QVERIFY2(start > 0, qPrintable(recorder.fileName()));
    // One unbroken sound from the test sound through the loop to Wave Stop.
    const double end = recorder.endOfSound(start);
    qInfo("sound %.2f s long, Wave Stop %.2f s after Wave Test", end - start, stopAfter);
    QVERIFY(qAbs(end - start - stopAfter) < 0.3);
    // (The hand-over from the test sound to the loop takes a few hundredths.)
    QVERIFY(recorder.longestQuietStretch(start, end) < 0.15);
    QVERIFY(recorder.silentBetween(end, recorder.duration()));
    QVERIFY(recorder.duration() - end > 0.8);
}

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
