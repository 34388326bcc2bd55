// SPDX-License-Identifier: GPL-3.0-or-later
// A long run of the real windows on the injected clock: a tick every 100 ms of
// simulated time, the alarm set to 7:00:00, the notice put away
// with OK five seconds into each alarm, the quiz opened and cancelled every hour
// with its 30-second redraw running. The alarm must come once a simulated day,
// in its second, and the resident memory must stay flat.
//
// ZELMORO_SOAK_HOURS sets the simulated span in whole hours: 25 (two alarms)
// unless given; bench/soak.sh runs the full 48.

#include "clock/form1.h"
#include "module1.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"
#include "wakeup/form4.h"

#include <QTest>

#include <sys/resource.h>

using runtime::form;

class TestSoak : public QObject {
    Q_OBJECT

    static void click(QWidget &button) { QTest::mouseClick(&button, Qt::LeftButton); }
    // The peak resident memory so far, in megabytes.
    static double peakMb()
    {
        rusage use{};
        return getrusage(RUSAGE_SELF, &use), double(use.ru_maxrss) / 1024;
    }

private slots:
    void alarmComesOncePerDayAndMemoryStaysFlat()
    {
        const int hours = qEnvironmentVariable("ZELMORO_SOAK_HOURS", QStringLiteral("25")).toInt();
        test::FakeRuntime rt;
        rt.clock.set(6, 30, 0);
        form<Form1>().Show();
        Form1 &main = form<Form1>().get();
        main.Timer1().stop();                           // the ticks are driven below
        Module1::AlarmTime = QStringLiteral("7:00:00"); // as SET leaves it
        click(main.Command1());                         // CLOSE loads the quiz
        Form4 &quiz = form<Form4>().get();
        quiz.Timer1().stop(); // its 30-second redraw is driven below
        click(quiz.Command2());
        QCoreApplication::processEvents();

        [[maybe_unused]] const double startMb = peakMb(); // unused under ASan, below
        int notices = 0;
        for (qint64 tick = 1; tick <= hours * 36000LL; ++tick) {
            rt.clock.advanceMs(100);
            const std::size_t calls = rt.sound.calls().size();
            const bool noticeWasShown = form<Form3>().isShown();
            main.Timer1_Timer();
            const QString now = runtime::timeText(rt.clock.timeOfDay());
            notices += !noticeWasShown && form<Form3>().isShown();
            if (form<Form3>().isShown() > noticeWasShown || rt.sound.calls().size() > calls)
                QCOMPARE(now, QStringLiteral("7:00:00"));
            if (now == "7:00:05" && form<Form3>().isShown())
                click(form<Form3>().get().Command1()); // OK
            // Twenty minutes into each hour CLOSE opens the quiz; CANCEL ten seconds later.
            if (tick % 36000 == 12000 || tick % 36000 == 12100)
                click(tick % 36000 == 12000 ? main.Command1() : quiz.Command2());
            if (tick % 300 == 0)
                quiz.Timer1_Timer();
            if (tick % 10 == 0)
                QCoreApplication::processEvents(); // paints, as the event loop does between ticks
        }
        // The first alarm comes half an hour in, then one a day; each of its ten
        // ticks asks for the sound.
        const int days = (hours - 1) / 24 + 1;
        QCOMPARE(notices, days);
        QCOMPARE(int(rt.sound.calls().size()), 10 * days);
#if !defined(__SANITIZE_ADDRESS__) // its quarantine keeps freed memory resident
        QCOMPARE_LT(peakMb() - startMb, 8.0);
#endif
    }
};

QTEST_MAIN(TestSoak)
#include "test_soak.moc"
