// The main window in a real desktop session: the shipped program under the X
// server and window manager, and the alarm's sound at the sound server's null
// sink.

#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "platform/sound_clip.h"
#include "platform/sound_player.h"
#include "support/fakes.h"
#include "support/pulse_recorder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest/QtTest>

#include <csignal>

using testing::letSoundPlay;
using testing::PulseRecorder;

namespace {

QString run(const QString &program, const QStringList &arguments, int timeoutMs = 5000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The X window of a mapped top-level window with exactly this title, or empty.
QString findWindow(const QString &title, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QString ids = run(QStringLiteral("xdotool"),
                                {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)});
        if (!ids.trimmed().isEmpty())
            return ids.split(QLatin1Char('\n')).first().trimmed();
        QTest::qWait(50);
    }
    return QString();
}

QSize clientSize(const QString &window)
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    const auto width = QRegularExpression(QStringLiteral("Width: (\\d+)")).match(info);
    const auto height = QRegularExpression(QStringLiteral("Height: (\\d+)")).match(info);
    return QSize(width.captured(1).toInt(), height.captured(1).toInt());
}

void clickAt(const QString &window, int x, int y)
{
    run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                                    QString::number(x), QString::number(y), QStringLiteral("click"),
                                    QStringLiteral("1")});
}

} // namespace

class TestMainWindowDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void shippedProgramShowsTheClockAndPlaysTheTestSound();
    void testSoundGivesWayToTheAlarmLoop();

private:
    QString m_sound;
    double m_length = 0.0;
};

void TestMainWindowDesktop::initTestCase()
{
    ZELMORO_REQUIRE_TEST_SINK();
    testing::prepareOnce();
    m_sound = qEnvironmentVariable("ZELMORO_SOUND");
    const auto clip = platform::loadWaveFile(m_sound);
    QVERIFY2(clip, "ZELMORO_SOUND must name the generated belora.wav");
    m_length = clip->seconds();
}

void TestMainWindowDesktop::shippedProgramShowsTheClockAndPlaysTheTestSound()
{
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(qEnvironmentVariable("ZELMORO_BINARY"), {});
    QVERIFY(program.waitForStarted());
    const QString window = findWindow(QStringLiteral("Zelmoro"));
    QVERIFY2(!window.isEmpty(), "the window \"Zelmoro\" did not appear");
    // 4128 x 6816 twips at 15 twips a pixel.
    QCOMPARE(clientSize(window), QSize(275, 454));
    const QString props = run(QStringLiteral("xprop"), {QStringLiteral("-id"), window});
    QVERIFY2(props.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_NORMAL")), qPrintable(props));

    PulseRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    // Wave Test: 3120, 120 twips, 972 x 492.
    clickAt(window, 208 + 32, 8 + 16);
    letSoundPlay(int(m_length * 1000) + 1500);
    QVERIFY(recorder.stop());
    const double first = recorder.firstSound(1.0);
    QVERIFY2(first > 0, qPrintable(QStringLiteral("no sound at the sink: %1").arg(recorder.fileName())));
    QVERIFY(recorder.soundingAt(first + 0.5));
    // Played once: silent again after one length of the file.
    QVERIFY(recorder.silentBetween(first + m_length + 0.3, recorder.duration() - 0.1));

    // A close request from the window manager leaves the clock running.
    run(QStringLiteral("xdotool"), {QStringLiteral("windowclose"), window});
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--window"), window,
                                    QStringLiteral("alt+F4")});
    QTest::qWait(300);
    QCOMPARE(program.state(), QProcess::Running);

    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

void TestMainWindowDesktop::testSoundGivesWayToTheAlarmLoop()
{
    testing::FakeClock clock;
    platform::setClock(&clock);
    clock.set(6, 59, 59, 500);
    Module1::AlarmTime = QStringLiteral("7:00:00");
    platform::form<Form1>().Show();
    Form1 &form = platform::form<Form1>().get();
    form.Timer1().stop();
    form.Text1().setText(m_sound);

    PulseRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    QTest::mouseClick(&form.Command3(), Qt::LeftButton);
    letSoundPlay(300);
    QVERIFY(platform::soundPlayer().isPlaying());
    QVERIFY(!platform::soundPlayer().isLooping());

    for (int ms = 0; ms < 1000; ms += 100) {
        clock.set(7, 0, 0, ms);
        form.Timer1_Timer();
    }
    QVERIFY(platform::soundPlayer().isLooping());
    // Well past where the test sound would have ended, the alarm still sounds.
    letSoundPlay(int(m_length * 2000));
    QVERIFY(recorder.stop());
    const double end = recorder.duration();
    QVERIFY2(recorder.soundingAt(end - 0.2), qPrintable(recorder.fileName()));
    QVERIFY(recorder.longestQuietStretch(end - m_length, end - 0.05) < 0.05);

    platform::soundPlayer().play(std::nullopt, platform::SND_ASYNC);
    platform::unloadAll();
    Module1::AlarmTime.clear();
    platform::setClock(nullptr);
}

QTEST_MAIN(TestMainWindowDesktop)
#include "test_main_window_desktop.moc"
