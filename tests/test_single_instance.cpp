// SPDX-License-Identifier: GPL-3.0-or-later
// The claim of the one copy, with the real program on the offscreen platform:
// a first start and a second one, each with or without a session bus (a
// private one), after something was left in the lock file's place.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestSingleInstance : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QByteArray m_busAddress;
    QString m_dir; // the row's folder: home, temporary and runtime folder

    void start(QProcess &copy, bool bus, bool runtimeDir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(name);
        for (const char *name : {"HOME", "TMPDIR", runtimeDir ? "XDG_RUNTIME_DIR" : "HOME"})
            env.insert(name, m_dir);
        if (bus)
            env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
        env.insert("QT_LOGGING_RULES", "zelmoro.instance.info=true");
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
        m_busAddress = m_bus.readLine().trimmed();
    }
    void cleanupTestCase() { m_bus.kill(), m_bus.waitForFinished(); }

    void claim_data()
    {
        QTest::addColumn<bool>("firstBus");
        QTest::addColumn<bool>("secondBus");
        QTest::addColumn<QString>("inPlace");    // what is left where the lock file goes
        QTest::addColumn<QString>("runtimeDir"); // which copies have XDG_RUNTIME_DIR
        QTest::addColumn<bool>("starts");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("secondStatus");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<QString>("askedThrough"); // how the first copy was asked to show itself
        // clang-format off
        QTest::newRow("bus, then bus")                  << true  << true  << ""           << "both"    << true << 1 << 0 << 0 << "bus";
        QTest::newRow("bus, then none")                 << true  << false << ""           << "both"    << true << 1 << 0 << 0 << "socket";
        QTest::newRow("none, then bus")                 << false << true  << ""           << "both"    << true << 1 << 0 << 0 << "socket";
        QTest::newRow("none, then none")                << false << false << ""           << "both"    << true << 1 << 0 << 0 << "socket";
        QTest::newRow("empty")                          << false << false << "empty"      << "both"    << true << 1 << 0 << 1 << "socket";
        QTest::newRow("corrupt")                        << false << false << "corrupt"    << "both"    << true << 1 << 0 << 1 << "socket";
        QTest::newRow("stale, process ended")           << false << false << "dead"       << "both"    << true << 1 << 0 << 1 << "socket";
        QTest::newRow("stale, live unrelated process")  << false << false << "unrelated"  << "both"    << true << 1 << 0 << 1 << "socket";
        QTest::newRow("unreadable")                     << false << false << "unreadable" << "both"    << true << 1 << 0 << 1 << "socket";
        QTest::newRow("folder, no bus")                 << false << false << "folder"     << "both"    << true << 1 << 0 << 1 << "socket";
        QTest::newRow("folder, bus")                    << true  << true  << "folder"     << "both"    << true << 1 << 0 << 1 << "bus";
        QTest::newRow("no XDG_RUNTIME_DIR")             << false << false << ""           << "neither" << true << 1 << 0 << 0 << "socket";
        QTest::newRow("bus, then bus, no XDG dir")      << true  << true  << ""           << "first"   << true << 1 << 0 << 0 << "bus";
        // clang-format on
    }
    void claim()
    {
        QFETCH(bool, firstBus);
        QFETCH(bool, secondBus);
        QFETCH(QString, inPlace);
        QFETCH(QString, runtimeDir);
        QTemporaryDir dir;
        m_dir = dir.path();
        QFile lock(dir.filePath(ZELMORO_APP_ID ".offscreen.lock"));
        QProcess ended, first, second;
        ended.start("true"), ended.waitForFinished();
        const QByteArray pid = QByteArray::number(inPlace == "dead" ? ended.processId() : getpid());
        const QByteArray contents = inPlace == "empty" ? "" : inPlace == "corrupt" ? "?\n\1" : pid;
        if (inPlace == "folder")
            QVERIFY(QDir(m_dir).mkpath(lock.fileName() + "/kept"));
        else if (!inPlace.isEmpty())
            QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(contents) >= 0 &&
                    (inPlace != "unreadable" || lock.setPermissions({})));
        lock.close();

        start(first, firstBus, runtimeDir != "neither");
        QByteArray said; // until it says it runs
        for (QDeadlineTimer limit(10000); !said.contains("copy runs") && !limit.hasExpired();)
            said += first.waitForReadyRead(100) ? first.readAllStandardError() : "";
        QTEST(first.state() == QProcess::Running, "starts");
        start(second, secondBus, runtimeDir == "both");
        second.waitForFinished(5000);
        QTEST(int(first.state() == QProcess::Running) + int(second.state() == QProcess::Running),
              "copies");
        QTEST(second.exitCode(), "secondStatus");
        second.kill(), first.terminate(), first.waitForFinished();
        said += first.readAllStandardError();
        QTEST(int(said.count("lock file")), "warnings");
        QTEST(QString(said.contains("through the socket")   ? "socket"
                      : said.contains("on the session bus") ? "bus"
                                                            : "none"),
              "askedThrough");
        // The user's own folder under the temporary folder, closed to others,
        // is made only when the runtime folder will not do.
        struct stat own {};
        const QString folder = m_dir + "/zelmoro-" + QString::number(geteuid());
        QCOMPARE(::stat(qPrintable(folder), &own) == 0 && (own.st_mode & 0777) == 0700,
                 runtimeDir != "both" || inPlace == "folder");
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_single_instance.moc"
