// SPDX-License-Identifier: GPL-3.0-or-later
// zelmoro-wake, the helper holding the wake timer: it arms on a UTC second in
// the next 48 hours, ignores every other line with a message, survives any
// input and exits when its input closes.

#include "support/wake_timer_probe.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

class TestPowerHelper : public QObject {
    Q_OBJECT

    QProcess m_helper;

    static qint64 nowSeconds() { return QDateTime::currentSecsSinceEpoch(); }

    qint64 secondsLeft() const
    {
        return zelmoro::test::wakeTimerLeft(QString::number(m_helper.processId()));
    }
    void send(const QByteArray &bytes)
    {
        m_helper.write(bytes);
        QVERIFY(m_helper.waitForBytesWritten(2000));
    }
    // What the helper said on standard error by now, once it had time to read.
    QByteArray complaints()
    {
        m_helper.waitForReadyRead(300);
        return m_helper.readAllStandardError();
    }

private slots:
    void init()
    {
        m_helper.setProgram(QCoreApplication::applicationDirPath() + "/zelmoro-wake");
        m_helper.setReadChannel(QProcess::StandardOutput);
        m_helper.start();
        QVERIFY(m_helper.waitForStarted());
        if (!m_helper.waitForReadyRead(2000) || m_helper.readLine() != "ready\n")
            QSKIP("no wake timer here (needs cap_wake_alarm)");
        m_helper.setReadChannel(QProcess::StandardError);
    }
    void cleanup()
    {
        m_helper.closeWriteChannel();
        if (!m_helper.waitForFinished(2000))
            m_helper.kill();
    }

    void line_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("armedFor"); // seconds ahead; 0: ignored
        const auto ahead = [](qint64 s) { return QByteArray::number(nowSeconds() + s) + '\n'; };
        QTest::newRow("an hour ahead") << ahead(3600) << qint64(3600);
        QTest::newRow("48 hours ahead") << ahead(48 * 3600 - 5) << qint64(48 * 3600 - 5);
        QTest::newRow("past") << ahead(-60) << qint64(0);
        QTest::newRow("beyond 48 hours") << ahead(48 * 3600 + 60) << qint64(0);
        QTest::newRow("far future") << QByteArray("99999999999999999999999\n") << qint64(0);
        QTest::newRow("signed") << "+" + ahead(3600) << qint64(0);
        QTest::newRow("colon for the last digit") << ahead(3600).chopped(2) + ":\n" << qint64(0);
        QTest::newRow("fraction") << ahead(3600).replace('\n', ".5\n") << qint64(0);
        QTest::newRow("empty") << QByteArray("\n") << qint64(0);
        QTest::newRow("overlong, digits hidden inside")
            << QByteArray(40, '0') + ahead(3600) << qint64(0);
    }
    void line()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint64, armedFor);
        send(QByteArray::number(nowSeconds() + 600) + '\n');
        QTRY_VERIFY(qAbs(secondsLeft() - 600) <= 2);
        QCOMPARE(m_helper.readAllStandardError(), QByteArray());
        send(line);
        const QByteArray said = complaints();
        QCOMPARE(said.isEmpty(), armedFor != 0);
        QVERIFY2(qAbs(secondsLeft() - (armedFor ? armedFor : 600)) <= 2, said.constData());
    }

    void randomLinesNeverCrash()
    {
        QByteArray input;
        QRandomGenerator random(18);
        for (int i = 0; i < 5000; ++i) {
            QByteArray line(int(random.bounded(40)), '\0');
            for (char &c : line)
                c = char(random.bounded(i % 2 ? 256 : 12) + (i % 2 ? 0 : '0'));
            input += line.replace('\n', ' ') + '\n';
        }
        send(input + QByteArray::number(nowSeconds() + 600)); // the last line unended
        m_helper.closeWriteChannel();
        QVERIFY(m_helper.waitForFinished(5000));
        QCOMPARE(m_helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_helper.exitCode(), 0);
        QVERIFY(m_helper.readAllStandardError().contains("ignored"));
    }
};

QTEST_GUILESS_MAIN(TestPowerHelper)
#include "test_power_helper.moc"
