// SPDX-License-Identifier: GPL-3.0-or-later
// zelmoro-wake, the helper holding the wake timer: it arms on a UTC second in
// the next 48 hours and ignores every other line with a message. Any input at
// all is left to the fuzzer (tests/fuzz).

#include "support/wake_timer_probe.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QTest>

class TestPowerHelper : public QObject {
    Q_OBJECT

    QProcess m_helper;

    static QByteArray ahead(qint64 seconds)
    {
        return QByteArray::number(QDateTime::currentSecsSinceEpoch() + seconds) + '\n';
    }
    qint64 secondsLeft() const
    {
        return zelmoro::test::wakeTimerLeft(QString::number(m_helper.processId()));
    }

private slots:
    void init()
    {
        m_helper.start(QCoreApplication::applicationDirPath() + "/zelmoro-wake", {});
        if (!m_helper.waitForReadyRead(2000) || m_helper.readLine() != "ready\n")
            QSKIP("no wake timer here (needs cap_wake_alarm)");
        m_helper.setReadChannel(QProcess::StandardError);
    }
    void cleanup()
    {
        m_helper.closeWriteChannel();
        if (!m_helper.waitForFinished(2000))
            m_helper.kill();
        m_helper.setReadChannel(QProcess::StandardOutput);
    }

    void line_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("armedFor"); // seconds ahead; 0: ignored
        QTest::newRow("an hour ahead") << ahead(3600) << qint64(3600);
        QTest::newRow("48 hours ahead") << ahead(48 * 3600 - 5) << qint64(48 * 3600 - 5);
        QTest::newRow("past") << ahead(-60) << qint64(0);
        QTest::newRow("beyond 48 hours") << ahead(48 * 3600 + 60) << qint64(0);
        QTest::newRow("far future") << QByteArray("99999999999999999999999\n") << qint64(0);
        QTest::newRow("signed") << "+" + ahead(3600) << qint64(0);
        QTest::newRow("colon for the last digit") << ahead(3600).chopped(2) + ":\n" << qint64(0);
        QTest::newRow("fraction") << ahead(3600).replace('\n', ".5\n") << qint64(0);
        QTest::newRow("digits after zeros") << QByteArray(40, '0') + ahead(3600) << qint64(0);
    }
    void line()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint64, armedFor);
        m_helper.write(ahead(600));
        QTRY_VERIFY(qAbs(secondsLeft() - 600) <= 2);
        m_helper.write(line);
        QVERIFY(m_helper.waitForBytesWritten(2000));
        m_helper.waitForReadyRead(300); // time to read the line
        const QByteArray said = m_helper.readAllStandardError();
        QCOMPARE(said.isEmpty(), armedFor != 0);
        QVERIFY2(qAbs(secondsLeft() - (armedFor ? armedFor : 600)) <= 2, said.constData());
    }
};

QTEST_GUILESS_MAIN(TestPowerHelper)
#include "test_power_helper.moc"
