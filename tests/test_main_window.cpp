// SPDX-License-Identifier: GPL-3.0-or-later
// The main window with an injected clock and a recording sound player: its
// layout, and the tick that moves the hands and sounds the alarm. (Every tick
// of the alarm second is followed through in the alarm dialog's road test.)

#include "clock/form1.h"
#include "module1.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"
#include "wakeup/form4.h"

#include <QCloseEvent>
#include <QTest>

using Pick = QWidget *(*)(Form1 &);
Q_DECLARE_METATYPE(Pick)

namespace {

constexpr std::uint32_t playOnce = 17; // SND_ASYNC + SND_NOSTOP
constexpr std::uint32_t playLoop = 25; // SND_ASYNC + SND_LOOP + SND_NOSTOP

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_runtime.reset(); }
    void layout_data();
    void layout();
    void windowAndFocus();
    void tickWithoutAlarmMovesHandsAndTimeOnly();
    void skippedAlarmSecond_data();
    void skippedAlarmSecond();
    void testSoundGivesWayButTheLoopDoesNot();

private:
    void tickAt(QTime time);

    std::unique_ptr<test::FakeRuntime> m_runtime;
    Form1 *m_form = nullptr;
};

void TestMainWindow::init()
{
    m_runtime = std::make_unique<test::FakeRuntime>();
    m_runtime->clock.set(10, 10, 10);
    runtime::form<Form1>().Show();
    m_form = &runtime::form<Form1>().get();
    m_form->Timer1().stop(); // the test drives the ticks
}

void TestMainWindow::tickAt(QTime time)
{
    m_runtime->clock.set(time);
    m_form->Timer1_Timer();
}

void TestMainWindow::layout_data()
{
    QTest::addColumn<Pick>("control");
    QTest::addColumn<QRect>("twips"); // an empty size: the label sizes itself
    QTest::addColumn<double>("points");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("Wave Test") << Pick([](Form1 &f) -> QWidget * { return &f.Command3(); })
                               << QRect(3120, 120, 972, 492) << 9.0 << "音が鳴るかテストします";
    QTest::newRow("CLOSE") << Pick([](Form1 &f) -> QWidget * { return &f.Command1(); })
                           << QRect(3120, 720, 972, 492) << 9.0 << "終了します";
    QTest::newRow("Alarm-SET") << Pick([](Form1 &f) -> QWidget * { return &f.Command2(); })
                               << QRect(120, 5880, 3972, 852) << 10.2
                               << "アラームのなる時間をＳＥＴします";
    QTest::newRow("Now") << Pick([](Form1 &f) -> QWidget * { return &f.Label1(); })
                         << QRect(120, 120, 0, 0) << 19.8 << "";
    QTest::newRow("Alarm") << Pick([](Form1 &f) -> QWidget * { return &f.Label4(); })
                           << QRect(120, 720, 0, 0) << 19.8 << "";
    QTest::newRow("None") << Pick([](Form1 &f) -> QWidget * { return &f.Label3(); })
                          << QRect(1320, 720, 0, 0) << 19.8 << "";
    QTest::newRow("time") << Pick([](Form1 &f) -> QWidget * { return &f.Label2(); })
                          << QRect(1320, 120, 0, 0) << 19.8 << "";
}

void TestMainWindow::layout()
{
    QFETCH(Pick, control);
    QFETCH(QRect, twips);
    QFETCH(double, points);
    QFETCH(QString, toolTip);
    const QWidget *widget = control(*m_form);
    const auto px = [](int t) { return qRound(t / 15.0); }; // 96 dpi
    QCOMPARE(widget->pos(), QPoint(px(twips.left()), px(twips.top())));
    if (twips.width() > 0)
        QCOMPARE(widget->size(), QSize(px(twips.width()), px(twips.height())));
    else
        QCOMPARE(widget->size(), widget->sizeHint());
    QCOMPARE(widget->font().family(), QStringLiteral("Bauhaus 93"));
    QCOMPARE(widget->font().pointSizeF(), points);
    QCOMPARE(widget->toolTip(), toolTip);
}

void TestMainWindow::windowAndFocus()
{
    QCOMPARE(m_form->size(), QSize(275, 454)); // 4128 x 6816 twips
    QCOMPARE(m_form->ScaleWidth(), 4125.0f);   // the width actually obtained
    QCOMPARE(m_form->shpShape().Width, 4074.0f);
    QVERIFY(!(m_form->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint)));
    QVERIFY(m_form->Text1().isHidden());
    QCOMPARE(m_form->Label2().text(), QString()); // until the first tick
    // Labels take no focus: CLOSE has it, and Tab passes over the hidden text box.
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    QCOMPARE(QApplication::focusWidget(), &m_form->Command1());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), &m_form->Command3());
    // Neither the window manager's close nor Escape ends or closes anything.
    QCloseEvent close;
    QApplication::sendEvent(m_form, &close);
    QTest::keyClick(m_form, Qt::Key_Escape);
    QVERIFY(!close.isAccepted() && m_form->isVisible() && !runtime::hasEnded());
    // Enter acts on the focused button, as Space does.
    QTest::keyClick(&m_form->Command1(), Qt::Key_Return);
    QTRY_VERIFY(runtime::form<Form4>().isShown());
}

void TestMainWindow::tickWithoutAlarmMovesHandsAndTimeOnly()
{
    tickAt(QTime(6, 0, 0));
    QCOMPARE(m_form->Label2().text(), QStringLiteral("6:00:00"));
    QCOMPARE(m_form->Label2().size(), m_form->Label2().sizeHint());
    // The pivot is c = 2062 for the width obtained (2062.5 to even).
    QVERIFY(qAbs(m_form->linHour().Y1 - (2062 * 0.6f + 2062 + 1500)) < 0.01f);
    QCOMPARE(m_form->Label3().text(), QStringLiteral("None"));
    QVERIFY(m_runtime->sound.calls().empty());
    QVERIFY(!runtime::form<Form3>().isLoaded());
    // Within one second nothing moves, so nothing is repainted.
    const int repaints = m_form->faceRepaints();
    for (int ms = 100; ms < 1000; ms += 100)
        tickAt(QTime(6, 0, 0, ms));
    QCOMPARE(m_form->faceRepaints(), repaints);
    tickAt(QTime(6, 0, 1));
    QVERIFY(m_form->faceRepaints() > repaints);
}

void TestMainWindow::skippedAlarmSecond_data()
{
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<QTime>("lastTick");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("fires");
    const QTime before(6, 59, 59, 500);
    QTest::newRow("1.5 s stall") << "7:00:00" << before << 1500 << true;
    QTest::newRow("30 s stall") << "7:00:00" << before << 30000 << true;
    QTest::newRow("59 s stall") << "7:00:00" << before << 59000 << true;
    QTest::newRow("61 s stall is too late") << "7:00:00" << before << 61000 << false;
    QTest::newRow("stall ending before the second")
        << "7:00:00" << QTime(6, 59, 57) << 2500 << false;
    QTest::newRow("across midnight") << "23:59:59" << QTime(23, 59, 58, 800) << 31200 << true;
    QTest::newRow("across midnight too late")
        << "23:59:59" << QTime(23, 59, 58, 800) << 61200 << false;
    QTest::newRow("asleep for hours, waking just after")
        << "7:00:00" << QTime(3, 0, 0) << 14430000 << true;
    QTest::newRow("asleep for hours, waking late")
        << "7:00:00" << QTime(3, 0, 0) << 14700000 << false;
}

void TestMainWindow::skippedAlarmSecond()
{
    QFETCH(QString, alarm);
    QFETCH(QTime, lastTick);
    QFETCH(int, gapMs);
    QFETCH(bool, fires);
    Module1::AlarmTime = alarm;
    tickAt(lastTick);
    tickAt(lastTick.addMSecs(gapMs));
    QCOMPARE(m_runtime->sound.count(playLoop), fires ? 1 : 0);
    QCOMPARE(runtime::form<Form3>().isShown(), fires);
    tickAt(lastTick.addMSecs(gapMs + 100)); // once for the stall, not again
    QCOMPARE(m_runtime->sound.count(playLoop), fires ? 1 : 0);
}

void TestMainWindow::testSoundGivesWayButTheLoopDoesNot()
{
    Module1::AlarmTime = "7:00:00";
    tickAt(QTime(6, 59, 59, 500));
    QTest::mouseClick(&m_form->Command3(), Qt::LeftButton);
    QCOMPARE(m_runtime->sound.count(playOnce), 1);
    tickAt(QTime(7, 0, 0));
    // The refused loop request, the stop of the test sound, the loop.
    const auto &calls = m_runtime->sound.calls();
    QCOMPARE(int(calls.size()), 4);
    QVERIFY(!calls[1].accepted && !calls[2].file && calls[3].accepted &&
            calls[3].flags == playLoop);
    // Wave Test and the next ticks leave the sounding loop alone.
    QTest::mouseClick(&m_form->Command3(), Qt::LeftButton);
    tickAt(QTime(7, 0, 0, 100));
    QCOMPARE(int(calls.size()), 6);
    QVERIFY(!calls[4].accepted && !calls[5].accepted && m_runtime->sound.isLooping());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
