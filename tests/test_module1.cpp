// SPDX-License-Identifier: GPL-3.0-or-later
// The owner of the alarm time and the one road to the sound, with the
// recording sound player: what SET's text becomes, when a change is told, and
// when the alarm counts as ringing.

#include "support/fakes.h"

#include <QSignalSpy>
#include <QTest>

class TestModule1 : public QObject {
    Q_OBJECT

private slots:
    void init() { m_rt.emplace(); }
    void cleanup() { m_rt.reset(); }

    // Each row sets the texts in turn, from no alarm.
    void set_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QTime>("time"); // null: no alarm time
        QTest::addColumn<int>("changes");
        QTest::newRow("one digit hour") << QStringList{"7:05:09"} << QTime(7, 5, 9) << 1;
        QTest::newRow("two digit hour") << QStringList{"23:00:00"} << QTime(23, 0, 0) << 1;
        QTest::newRow("same again") << QStringList{"7:00:00", "7:00:00"} << QTime(7, 0, 0) << 1;
        QTest::newRow("then another") << QStringList{"7:00:00", "7:00:01"} << QTime(7, 0, 1) << 2;
        QTest::newRow("empty is no change") << QStringList{""} << QTime() << 0;
        QTest::newRow("back to empty") << QStringList{"7:00:00", ""} << QTime() << 2;
        QTest::newRow("hour out of range") << QStringList{"24:00:00"} << QTime() << 1;
        QTest::newRow("short minute") << QStringList{"7:5:09"} << QTime() << 1;
    }
    void set()
    {
        QFETCH(QStringList, texts);
        QFETCH(QTime, time);
        QFETCH(int, changes);
        Module1::Alarm &alarm = Module1::AlarmTime();
        QSignalSpy changed(&alarm, &Module1::Alarm::changed);
        for (const QString &text : texts)
            alarm.set(text);
        QCOMPARE(alarm.text(), texts.last());
        QCOMPARE(alarm.time().value_or(QTime()), time);
        QCOMPARE(changed.count(), changes);
    }

    // Requests in turn: o play once, L loop, s stop; then whether it rings,
    // and the ringing changes told.
    void ringing_data()
    {
        QTest::addColumn<QString>("requests");
        QTest::addColumn<bool>("ringing");
        QTest::addColumn<QString>("told"); // t: true, f: false
        QTest::newRow("nothing") << "" << false << "";
        QTest::newRow("Wave Test") << "o" << false << "";
        QTest::newRow("alarm") << "L" << true << "t";
        QTest::newRow("every tick of the second") << "LLL" << true << "t";
        QTest::newRow("Wave Test during the alarm") << "LoL" << true << "t";
        QTest::newRow("alarm over Wave Test") << "oL" << true << "t";
        QTest::newRow("Wave Stop") << "Ls" << false << "tf";
        QTest::newRow("next day") << "LsL" << true << "tft";
        QTest::newRow("stop while quiet") << "s" << false << "";
    }
    void ringing()
    {
        QFETCH(QString, requests);
        QFETCH(bool, ringing);
        QFETCH(QString, told);
        Module1::Alarm &alarm = Module1::AlarmTime();
        QString seen;
        connect(&alarm, &Module1::Alarm::ringingChanged, this,
                [&seen](bool on) { seen += on ? 't' : 'f'; });
        for (const QChar request : requests) {
            if (request == 'o')
                Module1::playOnce(QStringLiteral("belora.wav"));
            else if (request == 'L')
                Module1::playLoop(QStringLiteral("belora.wav"));
            else
                Module1::stopSound();
        }
        disconnect(&alarm, &Module1::Alarm::ringingChanged, this, nullptr);
        QCOMPARE(alarm.ringing(), ringing);
        QCOMPARE(seen, told);
        QCOMPARE(m_rt->sound.isLooping(), ringing);
    }

private:
    std::optional<test::FakeRuntime> m_rt;
};

QTEST_MAIN(TestModule1)
#include "test_module1.moc"
