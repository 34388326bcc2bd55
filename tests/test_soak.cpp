// SPDX-License-Identifier: GPL-3.0-or-later
// A long run of the main window on the injected clock: a tick every 100 ms of
// simulated time, the alarm set to 7:00:00 and its notice put away with OK five
// seconds into each alarm. The alarm must come once a simulated day, and the
// resident memory must stay flat over the million ticks of a few days.
//
// ZELMORO_SOAK_HOURS sets the simulated span in whole hours: 25 (two alarms)
// unless given; bench/soak.sh runs the full 48.
#include "clock/form1.h"
#include "module1.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"

#include <QTest>

#include <sys/resource.h>

using runtime::form;

class TestSoak : public QObject {
    Q_OBJECT

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
        QCoreApplication::processEvents();
        [[maybe_unused]] const double startMb = peakMb(); // unused under ASan, below
        int notices = 0;
        for (qint64 tick = 1; tick <= hours * 36000LL; ++tick) {
            rt.clock.advanceMs(100);
            const bool noticeWasShown = form<Form3>().isShown();
            main.Timer1_Timer();
            notices += !noticeWasShown && form<Form3>().isShown();
            if (form<Form3>().isShown() && rt.clock.timeOfDay() == QTime(7, 0, 5))
                QTest::mouseClick(&form<Form3>().get().Command1(), Qt::LeftButton); // OK
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
