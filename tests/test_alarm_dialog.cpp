// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm dialog with the real windows and an injected clock: the lists it
// opens with, the alarm that SET builds from the user's picks, and the road of
// one alarm from the dialog through the main window's ticks to the notice.

#include "alarm/form2.h"
#include "clock/form1.h"
#include "support/fakes.h"
#include "wakeup/form3.h"

#include <QTest>

namespace zelmoro::test {

using alarm::Form2;

namespace {

// Keys ("Up", "Tab", "Alt+Down", "7" ...) pressed on what has the focus in the
// dialog, once it is the active window.
void press(const QString &keys)
{
    for (const QString &key : keys.split(' ')) {
        QTRY_VERIFY2(qobject_cast<Form2 *>(QApplication::activeWindow()), qPrintable(key));
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::fromString(key));
    }
}

void checkAlarm(const QString &alarm)
{
    QCOMPARE(Module1::AlarmTime().text(), alarm);
    QCOMPARE(runtime::form<clock::Form1>().get().Label3().Caption(), alarm);
    QVERIFY(!runtime::form<Form2>().isLoaded());
}

} // namespace

class TestAlarmDialog : public QObject {
    Q_OBJECT

private slots:
    // Set 7:00:00 from the main window; Timer1 runs, and the test moves the clock
    // on to each tick it plans, from 6:59:57 to 7:00:02 on two days. Each tick
    // writes its state into four timelines; on the first day OK is clicked after
    // the ticks at 7:00:00.3 and 7:00:01, on the second Wave Test after those at
    // 6:59:59 and 7:00:00.3. The sound is stopped between the days.
    void wholeRoad()
    {
        FakeRuntime runtime;
        runtime.clock.set(6, 58, 30);
        runtime::form<clock::Form1>().Show();
        clock::Form1 &main = runtime::form<clock::Form1>().get();
        // The dialog opens at the clock's time; keys on the focused list, Tab to
        // the next, Space on SET. Reopened, SET replaces the alarm; reopened
        // again, Cancel (after Return and Escape, which close nothing) keeps it.
        QTest::mouseClick(&main.Command2(), Qt::LeftButton);
        Form2 &d = runtime::form<Form2>().get();
        QStringList lists; // first entry, last entry and count of each list
        for (QComboBox *l : {&d.cmbHour(), &d.cmbMinute(), &d.cmbSecond()})
            lists << l->itemText(0) << l->itemText(l->count() - 1) << QString::number(l->count());
        QCOMPARE(lists.join(' '), "0 23 24 00 59 60 00 59 60");
        press("Down Tab Tab Tab Space");
        checkAlarm("7:58:30");
        QTest::mouseClick(&main.Command2(), Qt::LeftButton);
        press("Down Tab Home Tab 0 Tab Space");
        checkAlarm("7:00:00");
        QTest::mouseClick(&main.Command2(), Qt::LeftButton);
        press("Down Return Esc Tab Tab Tab Tab Space");
        checkAlarm("7:00:00");
        auto &form3 = runtime::form<wakeup::Form3>();
        // |: the first tick of a second, within 100 ms of its start, -: a further
        // tick; L: loop request, N: notice shown, o: hidden by OK, ~: loop sounding
        QString ticks, requests, notice, looping;
        for (int day = 1; day <= 2; ++day) {
            runtime.clock.set(QDateTime(QDate(2026, 6, day), QTime(6, 59, 57, 50)));
            for (QTime last; runtime.clock.localTime().time() < QTime(7, 0, 2);
                 runtime.clock.advanceMs(main.Timer1().interval())) {
                const QTime now = runtime.clock.localTime().time();
                ticks += now.second() == last.second() ? '-' : now.msec() < 100 ? '|' : '?';
                last = now;
                const std::size_t before = runtime.sound.calls().size();
                main.Timer1_Timer();
                requests += runtime.sound.calls().size() == before ? '.' : 'L';
                notice += form3.isShown() ? 'N' : '.';
                looping += runtime.sound.isLooping() ? '~' : '.';
                if (day == 1 && (now == QTime(7, 0, 0, 301) || now == QTime(7, 0, 1, 1))) {
                    QTest::mouseClick(&form3.get().Command1(), Qt::LeftButton);
                    notice += form3.isShown() || !form3.isLoaded() ? '!' : 'o';
                }
                if (day == 2 && (now == QTime(6, 59, 59, 1) || now == QTime(7, 0, 0, 301))) {
                    QTest::mouseClick(&main.Command3(), Qt::LeftButton); // Wave Test
                    looping += runtime.sound.isLooping() ? '~' : '.';
                }
            }
            Module1::stopSound(); // as Wave Stop does
        }
        // (On the second day each Wave Test adds the state right after it.)
        // clang-format off
        QCOMPARE(ticks,    "|||---------|---------|" "|||---------|---------|");
        QCOMPARE(requests, "............LLLLLLLLLL." "............LLLLLLLLLL.");
        QCOMPARE(notice,   "............NNNNoNNNNNNNo" "............NNNNNNNNNNN");
        QCOMPARE(looping,  "............~~~~~~~~~~~" "..." "." "........." "~~~~" "~" "~~~~~~~");
        // clang-format on
        // Each request is the loop of the alarm sound, one more on the second day
        // where Wave Test sounded, gave way and was refused while the loop sounds.
        const auto loop = platform::SND_ASYNC | platform::SND_LOOP | platform::SND_NOSTOP;
        QCOMPARE(runtime.sound.count(loop), 21);
        QCOMPARE(runtime.sound.calls().front().file, "belora.wav");
    }
};

} // namespace zelmoro::test

QTEST_MAIN(zelmoro::test::TestAlarmDialog)
#include "test_alarm_dialog.moc"
