#include "alarm/form2.h"
#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"

#include <QTest>

#include <functional>
#include <memory>

using platform::SND_ASYNC;
using platform::SND_LOOP;
using platform::SND_NOSTOP;

namespace {

constexpr std::uint32_t playLoop = SND_ASYNC | SND_LOOP | SND_NOSTOP;

} // namespace

// One alarm from start to end with the real windows: the user sets 7:00:00 in
// the dialog, the main window's tick (driven by hand, with the clock injected)
// sounds it and shows the notice, and the notice's OK takes only the notice away.
class TestAlarmRoad : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneAlarmFromDialogToNotice();

private:
    Form1 &showMain();
    void setAlarmWithTheKeyboard(Form1 &main);
    // Ticks every 100 ms from 6:59:59.000 through 7:00:01.900. After the tick
    // at each time, `afterTick` may act (as the user would at that moment).
    void runAlarmSecond(const std::function<void(QTime)> &afterTick);
    void clickOk();

    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

void TestAlarmRoad::init()
{
    m_runtime = std::make_unique<testing::FakeRuntime>();
    m_runtime->clock.set(6, 58, 30);
}

void TestAlarmRoad::cleanup()
{
    m_runtime.reset();
}

Form1 &TestAlarmRoad::showMain()
{
    platform::form<Form1>().Show();
    Form1 &main = platform::form<Form1>().get();
    main.Timer1().stop(); // the test drives the ticks
    return main;
}

void TestAlarmRoad::setAlarmWithTheKeyboard(Form1 &main)
{
    QTest::mouseClick(&main.Command2(), Qt::LeftButton);
    QVERIFY(platform::form<Form2>().isShown());
    Form2 &dialog = platform::form<Form2>().get();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Opened at 6:58:30: one down to hour 7, Home to minute 00, and "0"
    // typed in the seconds (the next entry starting with 0 after 30 is 00).
    QCOMPARE(dialog.focusWidget(), &dialog.cmbHour());
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Down);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Home);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(dialog.focusWidget(), QStringLiteral("0"));
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    QCOMPARE(dialog.focusWidget(), &dialog.Command1());
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);

    QCOMPARE(Module1::AlarmTime, QStringLiteral("7:00:00"));
    QCOMPARE(main.Label3().Caption(), QStringLiteral("7:00:00"));
    QVERIFY(!platform::form<Form2>().isLoaded());
}

void TestAlarmRoad::runAlarmSecond(const std::function<void(QTime)> &afterTick)
{
    const QTime alarmSecond(7, 0, 0);
    QTime at(6, 59, 59);
    for (int tick = 0; tick < 30; ++tick, at = at.addMSecs(100)) {
        m_runtime->clock.set(at);
        const int before = m_runtime->sound.count(playLoop);
        platform::form<Form1>().get().Timer1_Timer();
        const bool inAlarmSecond = at.hour() == 7 && at.minute() == 0 && at.second() == 0;
        const QByteArray where = at.toString(QStringLiteral("H:mm:ss.zzz")).toLatin1();
        QVERIFY2(m_runtime->sound.count(playLoop) == before + (inAlarmSecond ? 1 : 0),
                 where.constData());
        if (inAlarmSecond) {
            const auto &last = m_runtime->sound.calls().back();
            QCOMPARE(last.file, std::optional<QString>(QStringLiteral("belora.wav")));
            QVERIFY2(platform::form<Form3>().isShown(), where.constData());
        }
        if (at >= alarmSecond)
            QVERIFY2(m_runtime->sound.isLooping(), where.constData());
        afterTick(at);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestAlarmRoad::clickOk()
{
    const std::size_t calls = m_runtime->sound.calls().size();
    const bool looping = m_runtime->sound.isLooping();
    QTest::mouseClick(&platform::form<Form3>().get().Command1(), Qt::LeftButton);
    QVERIFY(!platform::form<Form3>().isShown());
    QVERIFY(platform::form<Form3>().isLoaded());
    QCOMPARE(m_runtime->sound.calls().size(), calls);
    QCOMPARE(m_runtime->sound.isLooping(), looping);
}

void TestAlarmRoad::oneAlarmFromDialogToNotice()
{
    Form1 &main = showMain();
    setAlarmWithTheKeyboard(main);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_runtime->sound.calls().empty());

    // First day: OK inside the alarm second (after the tick at .300) is undone
    // by the next tick; OK after the second (after the tick at 7:00:01.000)
    // keeps the notice hidden.
    runAlarmSecond([this](QTime at) {
        if (at < QTime(7, 0, 0))
            QVERIFY(!platform::form<Form3>().isLoaded());
        if (at == QTime(7, 0, 0, 300))
            clickOk();
        if (at == QTime(7, 0, 1, 0)) {
            QVERIFY(platform::form<Form3>().isShown());
            clickOk();
        }
        if (at > QTime(7, 0, 1, 0))
            QVERIFY(!platform::form<Form3>().isShown());
    });
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_runtime->sound.count(playLoop), 10);
    // Only the first request of the second started the loop; the others found
    // it sounding and left it alone.
    QCOMPARE(m_runtime->sound.calls().size(), std::size_t(10));
    QVERIFY(m_runtime->sound.calls().front().accepted);
    QVERIFY(m_runtime->sound.isLooping());

    // A day later (the clock is only a time of day) the same alarm comes again:
    // the hidden notice is shown again on its first tick.
    runAlarmSecond([](QTime at) {
        QCOMPARE(platform::form<Form3>().isShown(), at >= QTime(7, 0, 0));
    });
    QCOMPARE(m_runtime->sound.count(playLoop), 20);
    QCOMPARE(Module1::AlarmTime, QStringLiteral("7:00:00"));
    QCOMPARE(main.Label3().Caption(), QStringLiteral("7:00:00"));
}

QTEST_MAIN(TestAlarmRoad)
#include "test_alarm_road.moc"
