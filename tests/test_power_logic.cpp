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

    static void row(const char *name, const char *now, const char *alarm, const char *wake)
    {
        const auto utc = [](const char *text) { // in 2026, in UTC
            return QDateTime::fromString("2026-" + QString::fromLatin1(text) + 'Z',
                                         Qt::ISODateWithMs);
        };
        QTest::newRow(name) << utc(now) << QString::fromLatin1(alarm) << utc(wake);
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
        row("2 s ahead: the alarm second", "06-01T10:00:00.300", "12:00:02", "06-01T10:00:02");
        row("a lead of exactly a minute left", "06-01T10:00:00", "12:01:00", "06-01T10:01:00");
        row("a lead of a minute and 1 s", "06-01T10:00:00", "12:01:01", "06-01T10:00:01");
        row("alarm second begun: tomorrow's", "06-02T04:30:00", "6:30:00", "06-03T04:29:00");
        row("a second before the alarm", "06-02T04:29:59.999", "6:30:00", "06-02T04:30:00");
        row("clocks go forward overnight", "03-28T22:00:00", "6:30:00", "03-29T04:29:00");
        row("2:30 skipped: when the clock jumps", "03-28T22:00:00", "2:30:00", "03-29T00:59:00");
        row("clocks go back overnight", "10-24T21:00:00", "6:30:00", "10-25T05:29:00");
        row("2:30 twice: first in summer time", "10-24T21:00:00", "2:30:00", "10-25T00:29:00");
        row("2:30 twice: then the second", "10-25T00:30:00.500", "2:30:00", "10-25T01:29:00");
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
