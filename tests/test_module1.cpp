// SPDX-License-Identifier: GPL-3.0-or-later
// The one road to the sound, with the recording sound player: when the alarm
// counts as ringing, and when that is told.

#include "support/fakes.h"

#include <QTest>

namespace zelmoro::test {

class TestModule1 : public QObject {
    Q_OBJECT

private slots:
    // Requests in turn (o: play once, L: loop, s: stop), the ringing changes
    // told (t, f), and whether it rings at the end.
    void ringing_data()
    {
        QTest::addColumn<QString>("requests");
        QTest::addColumn<QString>("told");
        // clang-format off
        QTest::newRow("Wave Test") << "o" << "";
        QTest::newRow("every tick of the second") << "LLL" << "t";
        QTest::newRow("Wave Test during the alarm") << "LoL" << "t";
        QTest::newRow("Wave Stop, next day") << "LsL" << "tft";
        // clang-format on
    }
    void ringing()
    {
        QFETCH(QString, requests);
        FakeRuntime rt;
        QString told;
        connect(&Module1::AlarmTime(), &Module1::Alarm::ringingChanged, this,
                [&told](bool on) { told += on ? 't' : 'f'; });
        for (const QChar r : requests) {
            if (r == 'o')
                Module1::playOnce("belora.wav");
            else if (r == 'L')
                Module1::playLoop("belora.wav");
            else
                Module1::stopSound();
        }
        disconnect(&Module1::AlarmTime(), &Module1::Alarm::ringingChanged, this, nullptr);
        QTEST(told, "told");
        QCOMPARE(Module1::AlarmTime().ringing(), told.endsWith('t'));
        QCOMPARE(rt.sound.isLooping(), told.endsWith('t'));
    }
};

} // namespace zelmoro::test

QTEST_MAIN(zelmoro::test::TestModule1)
#include "test_module1.moc"
