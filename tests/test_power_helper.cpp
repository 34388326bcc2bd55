// SPDX-License-Identifier: GPL-3.0-or-later
// zelmoro-wake, the helper holding the wake timer: it arms on a UTC second in
// the next 48 hours, ignores every other line with a message, survives any
// input and exits when its input closes.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class TestPowerHelper : public QObject {
    Q_OBJECT

    QProcess m_helper;

    static qint64 nowSeconds() { return QDateTime::currentSecsSinceEpoch(); }

    // Seconds until the helper's wake timer expires, read from its file
    // descriptors: -1 when it holds none that is armed.
    qint64 secondsLeft() const
    {
        const QString fdinfo = QStringLiteral("/proc/%1/fdinfo").arg(m_helper.processId());
        for (const QString &fd : QDir(fdinfo).entryList(QDir::Files)) {
            QFile file(fdinfo + u'/' + fd);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromLatin1(file.readAll());
            const auto left =
                QRegularExpression(QStringLiteral("it_value: \\((\\d+),")).match(text);
            if (text.contains(QLatin1String("clockid: 8")) && left.hasMatch())
                return left.captured(1).toLongLong();
        }
        return -1;
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
        QTest::newRow("trailing space") << ahead(3600).replace('\n', " \n") << qint64(0);
        QTest::newRow("fraction") << ahead(3600).replace('\n', ".5\n") << qint64(0);
        QTest::newRow("empty") << QByteArray("\n") << qint64(0);
        QTest::newRow("overlong, digits hidden inside")
            << QByteArray(40, '0') + ahead(3600) << qint64(0);
        QTest::newRow("NUL") << QByteArray("17\0"
                                           "00000000\n",
                                           12)
                             << qint64(0);
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

    void endOfInputEnds()
    {
        send(QByteArray::number(nowSeconds() + 600)); // no newline: read at the end
        m_helper.closeWriteChannel();
        QVERIFY(m_helper.waitForFinished(2000));
        QCOMPARE(m_helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_helper.exitCode(), 0);
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
        send(input);
        m_helper.closeWriteChannel();
        QVERIFY(m_helper.waitForFinished(5000));
        QCOMPARE(m_helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_helper.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPowerHelper)
#include "test_power_helper.moc"
