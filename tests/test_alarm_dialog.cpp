// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm dialog with the real windows and an injected clock: the lists it
// opens with, the alarm that SET builds from the user's picks, and the road of
// one alarm from the dialog through the main window's ticks to the notice.

#include "alarm/form2.h"
#include "clock/form1.h"
#include "support/fakes.h"
#include "wakeup/form3.h"

#include <QAbstractItemView>
#include <QTest>

namespace zelmoro::test {

using alarm::Form2;
using clock::Form1;
using wakeup::Form3;

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
    QCOMPARE(runtime::form<Form1>().get().Label3().Caption(), alarm.isEmpty() ? "None" : alarm);
}

} // namespace

class TestAlarmDialog : public QObject {
    Q_OBJECT

private slots:
    // Opened with a clock that moves 1 ms at each reading (each list reads the
    // time afresh, so a clock passing 8:00 gives a mix), then keys on the focused list, Tab to the
    // next, Space on SET (or on Cancel). Neither Return nor Escape closes the dialog.
    void openPickAndSet_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("alarm");
        // clang-format off
        QTest::newRow("midnight") << "00:00:00" << "Tab Tab Tab Space" << "0:00:00";
        QTest::newRow("end of day") << "23:59:59.990" << "Tab Tab Tab Space" << "23:59:59";
        QTest::newRow("hour early") << "07:59:59.999" << "Tab Tab Tab Space" << "7:00:00";
        QTest::newRow("second late") << "07:59:59.998" << "Tab Tab Tab Space" << "7:59:00";
        QTest::newRow("arrows") << "09:05:07" << "Up Up Tab Tab Down Down Tab Space" << "7:05:09";
        QTest::newRow("type-ahead") << "09:05:07" << "1 2 Tab 3 Tab 4 Tab Space" << "12:30:40";
        QTest::newRow("ends") << "09:05:07" << "End Down Tab Home Up Tab Tab Space" << "23:00:07";
        QTest::newRow("list") << "09:05" << "Tab Alt+Down Up Enter Tab Tab Space" << "9:04:00";
        // Cancel on a first opening: no alarm, Label3 keeps "None".
        QTest::newRow("Cancel") << "09:05:07" << "Down Return Esc Tab Tab Tab Tab Space" << "";
        // clang-format on
    }
    void openPickAndSet()
    {
        QFETCH(QString, start);
        QFETCH(QString, keys);
        FakeRuntime runtime;
        runtime.clock.msPerRead = 1;
        runtime.clock.set(
            QDateTime(QDate(2026, 6, 1), QTime::fromString(start, Qt::ISODateWithMs)));
        runtime::form<Form2>().Show();
        Form2 &d = runtime::form<Form2>().get();
        QStringList lists; // first entry, last entry and count of each list
        for (QComboBox *l : {&d.cmbHour(), &d.cmbMinute(), &d.cmbSecond()})
            lists << l->itemText(0) << l->itemText(l->count() - 1) << QString::number(l->count());
        QCOMPARE(lists.join(' '), "0 23 24 00 59 60 00 59 60");
        press(keys);
        QVERIFY(!runtime::form<Form2>().isLoaded());
        QFETCH(QString, alarm);
        checkAlarm(alarm);
    }

    // Set 7:00:00 from the main window; Timer1 runs, and the test moves the clock
    // on to each tick it plans, from 6:59:57 to 7:00:02 on two days. Each tick
    // writes its state into four timelines; on the first day OK is clicked after
    // the ticks at 7:00:00.3 and 7:00:01, on the second Wave Test after those at
    // 6:59:59 and 7:00:00.3. The sound is stopped between the days.
    void wholeRoad()
    {
        FakeRuntime runtime;
        runtime.clock.set(6, 58, 30);
        runtime::form<Form1>().Show();
        Form1 &main = runtime::form<Form1>().get();
        // An alarm set, then the dialog reopened at the clock's time: one down, its
        // list dropped below the field from the pick, shown once more (the pick
        // stays), SET replaces the alarm with 7:00:00; reopened again, Cancel keeps it.
        QTest::mouseClick(&main.Command2(), Qt::LeftButton);
        press("Down Tab Tab Tab Space");
        checkAlarm("7:58:30");
        QTest::mouseClick(&main.Command2(), Qt::LeftButton);
        press("Down Alt+Down");
        QComboBox &hours = runtime::form<Form2>().get().cmbHour();
        QWidget *popup = QApplication::activePopupWidget();
        QVERIFY(popup && popup->isAncestorOf(hours.view()));
        QVERIFY(popup->y() >= hours.mapToGlobal(QPoint(0, hours.height() - 1)).y());
        QCOMPARE(hours.view()->indexAt(QPoint(1, 1)).data().toString(), "7");
        QTest::keyClick(popup, Qt::Key_Escape);
        runtime::form<Form2>().Show();
        press("Tab Home Tab 0 Tab Space");
        checkAlarm("7:00:00");
        QTest::mouseClick(&main.Command2(), Qt::LeftButton);
        press("Tab Tab Tab Tab Space");
        checkAlarm("7:00:00");
        auto &form3 = runtime::form<Form3>();
        // |: the first tick of a second, within 100 ms of its start, -: a further
        // tick; L: loop request, N: notice shown, o: hidden by OK, ~: loop sounding
        QString ticks, requests, notice, looping;
        for (int day = 1; day <= 2; ++day) {
            runtime.clock.set(QDateTime(QDate(2026, 6, day), QTime(6, 59, 57, 50)));
            for (QTime last; runtime.clock.timeOfDay() < QTime(7, 0, 2);
                 runtime.clock.advanceMs(main.Timer1().interval())) {
                const QTime now = runtime.clock.timeOfDay();
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
