// SPDX-License-Identifier: GPL-3.0-or-later
// When the computer is asked to wake for the alarm, in Berlin's zone: a minute
// before the next alarm second on the local clock, across both
// daylight-saving days.

#include "clock/wake_instant.h"
#include "runtime/time_text.h"

#include <QDateTime>
#include <QTest>

#include <ctime>

using namespace zelmoro;

class TestPowerLogic : public QObject {
    Q_OBJECT

    static QDateTime utc(const char *text)
    {
        return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void wakeSecond_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("alarm");
        QTest::addColumn<QDateTime>("wake");
        // Summer: Berlin is two hours ahead of UTC; winter one.
        QTest::newRow("set at 23:00 for 6:30:00")
            << utc("2026-06-01T21:00:00Z") << "6:30:00" << utc("2026-06-02T04:29:00Z");
        QTest::newRow("set 2 s ahead: the alarm second itself")
            << utc("2026-06-01T10:00:00.300Z") << "12:00:02" << utc("2026-06-01T10:00:02Z");
        QTest::newRow("a lead of exactly a minute left")
            << utc("2026-06-01T10:00:00Z") << "12:01:00" << utc("2026-06-01T10:01:00Z");
        QTest::newRow("a lead of a minute and a second")
            << utc("2026-06-01T10:00:00Z") << "12:01:01" << utc("2026-06-01T10:00:01Z");
        QTest::newRow("the alarm second begins: tomorrow's")
            << utc("2026-06-02T04:30:00Z") << "6:30:00" << utc("2026-06-03T04:29:00Z");
        QTest::newRow("after ringing: tomorrow's")
            << utc("2026-06-02T04:30:00.999Z") << "6:30:00" << utc("2026-06-03T04:29:00Z");
        QTest::newRow("a second before the alarm second")
            << utc("2026-06-02T04:29:59.999Z") << "6:30:00" << utc("2026-06-02T04:30:00Z");
        QTest::newRow("clocks go forward overnight")
            << utc("2026-03-28T22:00:00Z") << "6:30:00" << utc("2026-03-29T04:29:00Z");
        QTest::newRow("2:30 skipped: rings when the clock jumps at 1:00 UTC")
            << utc("2026-03-28T22:00:00Z") << "2:30:00" << utc("2026-03-29T00:59:00Z");
        QTest::newRow("clocks go back overnight")
            << utc("2026-10-24T21:00:00Z") << "6:30:00" << utc("2026-10-25T05:29:00Z");
        QTest::newRow("2:30 twice: first in summer time")
            << utc("2026-10-24T21:00:00Z") << "2:30:00" << utc("2026-10-25T00:29:00Z");
        QTest::newRow("2:30 twice: after the first, the second")
            << utc("2026-10-25T00:30:00.500Z") << "2:30:00" << utc("2026-10-25T01:29:00Z");
        QTest::newRow("2:30 twice: after both, the next day's")
            << utc("2026-10-25T01:30:00.500Z") << "2:30:00" << utc("2026-10-26T01:29:00Z");
    }
    void wakeSecond()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, alarm);
        QFETCH(QDateTime, wake);
        const std::int64_t second =
            clock::wakeSecondFor(now.toMSecsSinceEpoch(), *runtime::readTimeText(alarm));
        QCOMPARE(QDateTime::fromSecsSinceEpoch(second, Qt::UTC), wake);
    }
};

QTEST_GUILESS_MAIN(TestPowerLogic)
#include "test_power_logic.moc"
