// SPDX-License-Identifier: GPL-3.0-or-later
// The claim of the one copy, with the real program on the offscreen platform:
// a first start and a second one, each with or without a session bus (a
// private one), after something was left in the lock file's place.

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestSingleInstance : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QString m_busAddress;

    // A copy of the program in the row's folder; "bus" gives it the private bus.
    static void start(QProcess &copy, const QString &dir, bool bus, bool runtimeDir,
                      const QString &busAddress)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(QString::fromLatin1(name));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", "zelmoro.instance.info=true");
        env.insert("HOME", dir);
        env.insert("TMPDIR", dir + "/tmp");
        runtimeDir ? env.insert("XDG_RUNTIME_DIR", dir) : env.remove("XDG_RUNTIME_DIR");
        if (bus)
            env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        copy.setProcessEnvironment(env);
        copy.setReadChannel(QProcess::StandardError);
        copy.start(ZELMORO_BINARY, {});
        copy.waitForStarted();
    }

private slots:
    void initTestCase()
    {
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    }
    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void claim_data()
    {
        QTest::addColumn<bool>("firstBus");
        QTest::addColumn<bool>("secondBus");
        QTest::addColumn<QString>("inPlace"); // what is left where the lock file goes
        QTest::addColumn<bool>("runtimeDir"); // XDG_RUNTIME_DIR set
        QTest::addColumn<bool>("starts");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("secondStatus");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<QString>("askedThrough"); // how the first copy was asked to show itself
        QTest::newRow("bus, then bus")
            << true << true << "" << true << true << 1 << 0 << 0 << "bus";
        QTest::newRow("bus, then none")
            << true << false << "" << true << true << 1 << 0 << 0 << "socket";
        QTest::newRow("none, then bus")
            << false << true << "" << true << true << 1 << 0 << 0 << "socket";
        QTest::newRow("none, then none")
            << false << false << "" << true << true << 1 << 0 << 0 << "socket";
        QTest::newRow("empty") << false << false << "empty" << true << true << 1 << 0 << 1
                               << "socket";
        QTest::newRow("corrupt") << false << false << "corrupt" << true << true << 1 << 0 << 1
                                 << "socket";
        QTest::newRow("stale, process ended")
            << false << false << "dead" << true << true << 1 << 0 << 1 << "socket";
        QTest::newRow("stale, live unrelated process")
            << false << false << "unrelated" << true << true << 1 << 0 << 1 << "socket";
        QTest::newRow("unreadable")
            << false << false << "unreadable" << true << true << 1 << 0 << 1 << "socket";
        QTest::newRow("folder, no bus")
            << false << false << "folder" << true << true << 1 << 0 << 1 << "socket";
        QTest::newRow("folder, bus")
            << true << true << "folder" << true << true << 1 << 0 << 1 << "bus";
        QTest::newRow("no XDG_RUNTIME_DIR")
            << false << false << "" << false << true << 1 << 0 << 0 << "socket";
    }
    void claim()
    {
        QFETCH(bool, firstBus);
        QFETCH(bool, secondBus);
        QFETCH(QString, inPlace);
        QFETCH(bool, runtimeDir);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("tmp"));
        const QString lock = dir.filePath(ZELMORO_APP_ID ".offscreen.lock");
        QFile file(lock);
        if (inPlace == "folder") {
            QVERIFY(QDir(dir.path()).mkpath(lock + "/kept"));
        } else if (!inPlace.isEmpty()) {
            QProcess ended;
            ended.start("true");
            ended.waitForFinished();
            const QByteArray contents = inPlace == "corrupt" ? "zelmoro\n\x01\x02"
                                        : inPlace == "dead"  ? QByteArray::number(ended.processId())
                                        : inPlace == "empty" ? ""
                                                             : QByteArray::number(getpid());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
            file.close();
            QVERIFY(inPlace != "unreadable" || file.setPermissions({}));
        }

        QProcess first, second;
        start(first, dir.path(), firstBus, runtimeDir, m_busAddress);
        QByteArray firstOutput; // until it says it runs, or ends
        for (QDeadlineTimer limit(10000); !firstOutput.contains("This copy runs") &&
                                          first.state() == QProcess::Running && !limit.hasExpired();
             first.waitForReadyRead(100))
            firstOutput += first.readAllStandardError();
        QTEST(first.state() == QProcess::Running, "starts");
        start(second, dir.path(), secondBus, runtimeDir, m_busAddress);
        second.waitForFinished(5000);
        QTEST(int(first.state() == QProcess::Running) + int(second.state() == QProcess::Running),
              "copies");
        QTEST(second.exitCode(), "secondStatus");
        second.kill();
        first.terminate();
        QVERIFY(first.waitForFinished(5000));
        firstOutput += first.readAllStandardError();
        QTEST(int(firstOutput.count("lock file")), "warnings");
        QTEST(QString::fromUtf8(firstOutput).contains("through the socket") ? QString("socket")
              : firstOutput.contains("on the session bus")                  ? QString("bus")
                                                                            : QString("none"),
              "askedThrough");
        if (!runtimeDir) { // the user's own folder under the temporary folder, closed to others
            struct stat own {};
            QCOMPARE(::stat(qPrintable(dir.filePath("tmp/zelmoro-%1").arg(geteuid())), &own), 0);
            QCOMPARE(own.st_mode & 0777, 0700u);
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
