#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"

#include <QCloseEvent>
#include <QTest>

using platform::SND_ASYNC;
using platform::SND_LOOP;
using platform::SND_NOSTOP;

namespace {

constexpr std::uint32_t playOnce = SND_ASYNC | SND_NOSTOP;
constexpr std::uint32_t playLoop = SND_ASYNC | SND_LOOP | SND_NOSTOP;

int px(int twips)
{
    return qRound(twips / 15.0);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowAndFocus();
    void labelsSizeThemselves();
    void tickWithoutAlarmMovesOnlyHandsAndTime();
    void faceRepaintsOnlyWhenAHandMoves();
    void alarmSecondRequestsLoopAndNoticeOnEveryTick();
    void noticeHiddenWithinTheSecondComesBack();
    void skippedAlarmSecond_data();
    void skippedAlarmSecond();
    void testSoundGivesWayToTheAlarm();
    void waveTestDuringTheAlarmLeavesTheLoop();
    void closeRequestsAreRefused();

private:
    Form1 &showMain();
    void tickAt(int h, int m, int s, int ms = 0);

    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

void TestMainWindow::init()
{
    m_runtime = std::make_unique<testing::FakeRuntime>();
    m_runtime->clock.set(10, 10, 10);
}

void TestMainWindow::cleanup()
{
    m_runtime.reset();
}

Form1 &TestMainWindow::showMain()
{
    platform::form<Form1>().Show();
    Form1 &form = platform::form<Form1>().get();
    form.Timer1().stop(); // the test drives the ticks
    return form;
}

void TestMainWindow::tickAt(int h, int m, int s, int ms)
{
    m_runtime->clock.set(h, m, s, ms);
    platform::form<Form1>().get().Timer1_Timer();
}

void TestMainWindow::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("pointSize");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("Wave Test") << "Command3" << QRect(3120, 120, 972, 492) << "Wave Test" << 9.0
                               << "音が鳴るかテストします";
    QTest::newRow("CLOSE") << "Command1" << QRect(3120, 720, 972, 492) << "CLOSE" << 9.0 << "終了します";
    QTest::newRow("Alarm-SET") << "Command2" << QRect(120, 5880, 3972, 852) << "Alarm-SET" << 10.2
                               << "アラームのなる時間をＳＥＴします";
    QTest::newRow("Now") << "Label1" << QRect(120, 120, 0, 0) << "Now" << 19.8 << "";
    QTest::newRow("Alarm") << "Label4" << QRect(120, 720, 0, 0) << "Alarm" << 19.8 << "";
    QTest::newRow("None") << "Label3" << QRect(1320, 720, 0, 0) << "None" << 19.8 << "";
    QTest::newRow("time display") << "Label2" << QRect(1320, 120, 0, 0) << "" << 19.8 << "";
}

void TestMainWindow::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(double, pointSize);
    QFETCH(QString, toolTip);
    Form1 &form = showMain();
    const QHash<QString, QWidget *> controls{
        {"Command1", &form.Command1()}, {"Command2", &form.Command2()},
        {"Command3", &form.Command3()}, {"Label1", &form.Label1()},
        {"Label2", &form.Label2()},     {"Label3", &form.Label3()},
        {"Label4", &form.Label4()},
    };
    QWidget *widget = controls.value(control);
    QCOMPARE(widget->pos(), QPoint(px(twips.left()), px(twips.top())));
    if (twips.width() > 0)
        QCOMPARE(widget->size(), QSize(px(twips.width()), px(twips.height())));
    const QString text = widget->property("text").toString();
    QCOMPARE(text, caption);
    QCOMPARE(widget->font().family(), QStringLiteral("Bauhaus 93"));
    QCOMPARE(widget->font().pointSizeF(), pointSize);
    QCOMPARE(widget->toolTip(), toolTip);
    QVERIFY(widget->isVisible());
}

void TestMainWindow::windowAndFocus()
{
    Form1 &form = showMain();
    QCOMPARE(form.windowTitle(), QStringLiteral("Zelmoro"));
    // 4128 x 6816 twips at 15 twips a pixel; the width obtained is 4125 twips.
    QCOMPARE(form.size(), QSize(275, 454));
    QCOMPARE(form.ScaleWidth(), 4125.0f);
    QCOMPARE(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
                       | Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint)));
    QCOMPARE(form.windowType(), Qt::Window); // has a taskbar entry
    QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(form.Text1().isHidden());
    QCOMPARE(form.Text1().text(), QStringLiteral("belora.wav"));
    QCOMPARE(form.Timer1().interval(), 100);

    // The labels take no focus: CLOSE has it, and Tab walks the buttons in the
    // layout's order, passing over the hidden text box.
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget(), &form.Command1());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), &form.Command2());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), &form.Command3());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), &form.Command2());

    // The face is sized from the width obtained; the hands are placed before any tick.
    QCOMPARE(form.shpShape().Left, 5.0f);
    QCOMPARE(form.shpShape().Top, 1500.0f);
    QCOMPARE(form.shpShape().Width, 4074.0f);
    QVERIFY(qAbs(form.linSec().Y1 - (2062 * 0.1f + 1500 + 2062)) > 1); // moved from design points
    QCOMPARE(form.Label2().text(), QString());
}

void TestMainWindow::labelsSizeThemselves()
{
    Form1 &form = showMain();
    const QPoint topLeft = form.Label2().pos();
    tickAt(7, 5, 9);
    const QSize short_ = form.Label2().size();
    QCOMPARE(form.Label2().text(), QStringLiteral("7:05:09"));
    tickAt(23, 58, 58);
    QCOMPARE(form.Label2().text(), QStringLiteral("23:58:58"));
    QVERIFY(form.Label2().width() > short_.width());
    QCOMPARE(form.Label2().pos(), topLeft);
    QCOMPARE(form.Label2().size(), form.Label2().sizeHint());
}

void TestMainWindow::tickWithoutAlarmMovesOnlyHandsAndTime()
{
    Form1 &form = showMain();
    tickAt(3, 0, 0);
    const Form1::LineControl hourAtThree = form.linHour();
    tickAt(6, 0, 0);
    QCOMPARE(form.Label2().text(), QStringLiteral("6:00:00"));
    // The width obtained is 4125 twips, so the pivot is c = 2062 (2062.5 to even).
    QVERIFY(qAbs(form.linHour().Y1 - (2062 * 0.6f + 2062 + 1500)) < 0.01f);
    QVERIFY(hourAtThree.X1 != form.linHour().X1);
    QCOMPARE(form.Label3().text(), QStringLiteral("None"));
    QVERIFY(m_runtime->sound.calls().empty());
    QVERIFY(!platform::form<Form3>().isLoaded());
}

void TestMainWindow::faceRepaintsOnlyWhenAHandMoves()
{
    Form1 &form = showMain();
    tickAt(8, 0, 0, 0);
    const int before = form.faceRepaints();
    for (int ms = 100; ms < 1000; ms += 100)
        tickAt(8, 0, 0, ms);
    QCOMPARE(form.faceRepaints(), before);
    tickAt(8, 0, 1, 0);
    QVERIFY(form.faceRepaints() > before);
}

void TestMainWindow::alarmSecondRequestsLoopAndNoticeOnEveryTick()
{
    showMain();
    Module1::AlarmTime = QStringLiteral("7:00:00");
    for (int ms = 0; ms < 1000; ms += 100)
        tickAt(6, 59, 59, ms);
    QVERIFY(m_runtime->sound.calls().empty());
    QVERIFY(!platform::form<Form3>().isLoaded());

    for (int ms = 0; ms < 1000; ms += 100) {
        tickAt(7, 0, 0, ms);
        QVERIFY(platform::form<Form3>().isShown());
    }
    QCOMPARE(m_runtime->sound.count(playLoop), 10);
    QCOMPARE(m_runtime->sound.calls().front().file, std::optional(QStringLiteral("belora.wav")));
    QVERIFY(m_runtime->sound.calls().front().accepted);
    QVERIFY(m_runtime->sound.isLooping());

    tickAt(7, 0, 1, 0);
    QCOMPARE(m_runtime->sound.count(playLoop), 10);
}

void TestMainWindow::noticeHiddenWithinTheSecondComesBack()
{
    showMain();
    Module1::AlarmTime = QStringLiteral("7:00:00");
    tickAt(7, 0, 0, 0);
    Form3 &notice = platform::form<Form3>().get();
    QTest::mouseClick(&notice.Command1(), Qt::LeftButton);
    QVERIFY(!notice.isVisible());
    QVERIFY(m_runtime->sound.isLooping());
    tickAt(7, 0, 0, 100);
    QVERIFY(notice.isVisible());
    QCOMPARE(&platform::form<Form3>().get(), &notice); // the same window, not a new one
}

void TestMainWindow::skippedAlarmSecond_data()
{
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<QTime>("lastTickBefore");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("fires");
    const QTime before(6, 59, 59, 500);
    QTest::newRow("1.5 s stall") << "7:00:00" << before << 1500 << true;
    QTest::newRow("30 s stall") << "7:00:00" << before << 30000 << true;
    QTest::newRow("59 s stall") << "7:00:00" << before << 59000 << true;
    QTest::newRow("61 s stall is too late") << "7:00:00" << before << 61000 << false;
    QTest::newRow("stall ending inside the second")
        << "7:00:00" << QTime(6, 59, 58, 900) << 1500 << true; // lands at 7:00:00.400
    QTest::newRow("stall ending before the second") << "7:00:00" << QTime(6, 59, 57) << 2500 << false;
    QTest::newRow("across midnight") << "23:59:59" << QTime(23, 59, 58, 800) << 31200 << true;
    QTest::newRow("across midnight too late") << "23:59:59" << QTime(23, 59, 58, 800) << 61200 << false;
    QTest::newRow("alarm just after midnight") << "0:00:00" << QTime(23, 59, 59, 900) << 1200 << true;
    QTest::newRow("machine asleep for hours, waking just after")
        << "7:00:00" << QTime(3, 0, 0) << 4 * 3600 * 1000 + 30000 << true;
    QTest::newRow("machine asleep for hours, waking late")
        << "7:00:00" << QTime(3, 0, 0) << 4 * 3600 * 1000 + 300000 << false;
}

void TestMainWindow::skippedAlarmSecond()
{
    QFETCH(QString, alarm);
    QFETCH(QTime, lastTickBefore);
    QFETCH(int, gapMs);
    QFETCH(bool, fires);
    showMain();
    Module1::AlarmTime = alarm;
    m_runtime->clock.set(lastTickBefore);
    platform::form<Form1>().get().Timer1_Timer();
    m_runtime->clock.advanceMs(gapMs);
    platform::form<Form1>().get().Timer1_Timer();
    QCOMPARE(m_runtime->sound.count(playLoop) > 0, fires);
    QCOMPARE(platform::form<Form3>().isShown(), fires);

    // It fires once for the stall, not again on the ticks that follow.
    const int requests = m_runtime->sound.count(playLoop);
    m_runtime->clock.advanceMs(100);
    platform::form<Form1>().get().Timer1_Timer();
    if (platform::timeText(m_runtime->clock.timeOfDay()) != alarm)
        QCOMPARE(m_runtime->sound.count(playLoop), requests);
}

void TestMainWindow::testSoundGivesWayToTheAlarm()
{
    Form1 &form = showMain();
    Module1::AlarmTime = QStringLiteral("7:00:00");
    tickAt(6, 59, 59, 500);
    QTest::mouseClick(&form.Command3(), Qt::LeftButton);
    QCOMPARE(m_runtime->sound.count(playOnce), 1);
    QVERIFY(m_runtime->sound.isPlaying() && !m_runtime->sound.isLooping());

    tickAt(7, 0, 0, 0);
    QVERIFY(m_runtime->sound.isLooping());
    const auto &calls = m_runtime->sound.calls();
    QVERIFY(calls.size() >= 3);
    // The refused loop request, the stop of the test sound, the loop.
    QCOMPARE(calls[calls.size() - 2].file, std::nullopt);
    QVERIFY(calls.back().accepted);
    QCOMPARE(calls.back().flags, playLoop);
}

void TestMainWindow::waveTestDuringTheAlarmLeavesTheLoop()
{
    Form1 &form = showMain();
    Module1::AlarmTime = QStringLiteral("7:00:00");
    tickAt(7, 0, 0, 0);
    tickAt(7, 0, 0, 100);
    QTest::mouseClick(&form.Command3(), Qt::LeftButton);
    tickAt(7, 0, 0, 200);
    QVERIFY(m_runtime->sound.isLooping());
    for (const auto &call : m_runtime->sound.calls()) {
        QVERIFY2(call.file.has_value(), "nothing may stop the alarm loop");
        if (&call != &m_runtime->sound.calls().front())
            QVERIFY(!call.accepted); // every later request was refused
    }
}

void TestMainWindow::closeRequestsAreRefused()
{
    Form1 &form = showMain();
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCloseEvent event;
    QApplication::sendEvent(&form, &event);
    QVERIFY(!event.isAccepted());
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(form.isVisible());
    QVERIFY(!platform::hasEnded());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
