// SPDX-License-Identifier: GPL-3.0-or-later
// A long run of the real windows on the injected clock: a tick every 100 ms of
// simulated time, the alarm set to 7:00:00 from the dialog, the notice put away
// with OK five seconds into each alarm, the quiz opened and cancelled every hour
// with its 30-second redraw running. The alarm must come once a simulated day,
// in its second, and the resident memory must stay flat.
//
// ZELMORO_SOAK_HOURS sets the simulated span in whole hours: 25 (two alarms)
// unless given; bench/soak.sh runs the full 48.

#include "alarm/form2.h"
#include "clock/form1.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"
#include "wakeup/form4.h"

#include <QTest>

#include <unistd.h>

#include <fstream>
#include <map>

using runtime::form;

namespace {

constexpr qint64 kTicksPerHour = 36000;
constexpr double kMaxGrowthMb = 8.0;

double residentMb()
{
    std::ifstream statm("/proc/self/statm");
    double size = 0, pages = -1;
    statm >> size >> pages;
    return pages * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { test::prepareOnce(); }
    void alarmComesOncePerDayAndMemoryStaysFlat();
};

void TestSoak::alarmComesOncePerDayAndMemoryStaysFlat()
{
    const int hours = qEnvironmentVariable("ZELMORO_SOAK_HOURS", QStringLiteral("25")).toInt();
    QVERIFY2(hours >= 1, "ZELMORO_SOAK_HOURS must be a whole number of hours");
    const qint64 ticks = hours * kTicksPerHour;
    const QString alarm = QStringLiteral("7:00:00");
    const std::uint32_t loop = platform::SND_ASYNC | platform::SND_LOOP | platform::SND_NOSTOP;
    test::FakeRuntime runtime;
    runtime.clock.set(6, 30, 0);

    form<Form1>().Show();
    Form1 &main = form<Form1>().get();
    main.Timer1().stop();                                // the ticks are driven below
    QTest::mouseClick(&main.Command2(), Qt::LeftButton); // Alarm-SET
    Form2 &dialog = form<Form2>().get();
    QTest::keyClick(&dialog.cmbHour(), Qt::Key_Down);      // 6 -> 7
    QTest::keyClick(&dialog.cmbMinute(), Qt::Key_Home);    // 30 -> 00
    QTest::mouseClick(&dialog.Command1(), Qt::LeftButton); // SET
    QCOMPARE(main.Label3().Caption(), alarm);
    QTest::mouseClick(&main.Command1(), Qt::LeftButton); // CLOSE loads the quiz
    Form4 &quiz = form<Form4>().get();
    quiz.Timer1().stop(); // its 30-second redraw is driven below
    QTest::mouseClick(&quiz.Command2(), Qt::LeftButton);
    QCoreApplication::processEvents();

    const double startMb = residentMb();
    std::map<qint64, int> notices, loops; // simulated day -> times
    std::size_t calls = 0;
    bool noticeShown = false;
    for (qint64 tick = 1; tick <= ticks; ++tick) {
        runtime.clock.advanceMs(100);
        main.Timer1_Timer();
        const QString now = runtime::timeText(runtime.clock.timeOfDay());
        const qint64 day = (tick + 13 * kTicksPerHour / 2) / (24 * kTicksPerHour);
        for (; calls < runtime.sound.calls().size(); ++calls) {
            QCOMPARE(runtime.sound.calls()[calls].flags, loop);
            QCOMPARE(now, alarm);
            ++loops[day];
        }
        Form3 *notice = form<Form3>().loaded();
        const bool shown = notice && notice->isVisible();
        if (shown && !noticeShown) {
            QCOMPARE(now, alarm);
            ++notices[day];
        }
        noticeShown = shown;
        if (shown && now == QStringLiteral("7:00:05")) {
            QTest::mouseClick(&notice->Command1(), Qt::LeftButton); // OK
        }
        // Twenty minutes into each hour CLOSE opens the quiz; CANCEL ten seconds later.
        if (tick % kTicksPerHour == 12000)
            QTest::mouseClick(&main.Command1(), Qt::LeftButton);
        else if (tick % kTicksPerHour == 12100)
            QTest::mouseClick(&quiz.Command2(), Qt::LeftButton);
        if (tick % 300 == 0)
            quiz.Timer1_Timer();
        if (tick % 10 == 0)
            QCoreApplication::processEvents(); // paints, as the event loop does between ticks
    }
    const double endMb = residentMb();
    qInfo("soak: %d simulated hours, %lld ticks; resident memory %.1f MB at the start, "
          "%.1f MB at the end (%+.1f MB)",
          hours, static_cast<long long>(ticks), startMb, endMb, endMb - startMb);

    // The first alarm comes half an hour in, then one a day; each of its ten
    // ticks asks for the loop.
    const qint64 days = (hours - 1) / 24 + 1;
    QCOMPARE(qint64(notices.size()), days);
    QCOMPARE(qint64(loops.size()), days);
    for (const auto &[day, shows] : notices) {
        QCOMPARE(shows, 1);
        QCOMPARE(loops[day], 10);
    }
#if !defined(__SANITIZE_ADDRESS__) // its quarantine keeps freed memory resident
    QVERIFY2(endMb - startMb < kMaxGrowthMb, qPrintable(QString::number(endMb - startMb)));
#endif
}

QTEST_MAIN(TestSoak)
#include "test_soak.moc"
