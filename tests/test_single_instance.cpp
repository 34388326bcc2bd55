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
        copy.start(ZELMORO_BINARY, {});
    }

private slots:
    void initTestCase()
    {
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForReadyRead(5000));
        m_busAddress = m_bus.readLine().trimmed();
    }
    void cleanupTestCase() { m_bus.kill(); }

    void claim_data()
    {
        QTest::addColumn<bool>("firstBus");
        QTest::addColumn<bool>("secondBus");
        QTest::addColumn<QString>("inPlace");    // what is left where the lock file goes
        QTest::addColumn<QString>("runtimeDir"); // which copies have XDG_RUNTIME_DIR
        QTest::addColumn<int>("warnings");
        QTest::addColumn<QString>("askedThrough"); // how the first copy was asked to show itself
        // clang-format off
        QTest::newRow("bus, then bus")                 << true  << true  << ""           << "both"    << 0 << "bus";
        QTest::newRow("bus, then none")                << true  << false << ""           << "both"    << 0 << "socket";
        QTest::newRow("empty")                         << false << false << "empty"      << "both"    << 1 << "socket";
        QTest::newRow("stale, live unrelated process") << false << false << "unrelated"  << "both"    << 1 << "socket";
        QTest::newRow("unreadable")                    << false << false << "unreadable" << "both"    << 1 << "socket";
        QTest::newRow("folder, bus")                   << true  << true  << "folder"     << "both"    << 1 << "bus";
        QTest::newRow("no XDG_RUNTIME_DIR")            << false << false << ""           << "neither" << 0 << "socket";
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
        QProcess first, second;
        if (inPlace == "folder")
            QVERIFY(QDir(m_dir).mkpath(lock.fileName() + "/kept"));
        else if (!inPlace.isEmpty())
            QVERIFY(lock.open(QIODevice::WriteOnly) &&
                    lock.write(inPlace == "empty" ? "" : QByteArray::number(getpid())) >= 0 &&
                    (inPlace != "unreadable" || lock.setPermissions({})));
        lock.close();

        start(first, firstBus, runtimeDir != "neither");
        QByteArray said; // until it says it runs
        QTRY_VERIFY_WITH_TIMEOUT((said += first.readAllStandardError()).contains("copy runs"),
                                 10000);
        start(second, secondBus, runtimeDir == "both");
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        first.waitForFinished();
        said += first.readAllStandardError();
        QTEST(int(said.count("lock file")), "warnings");
        QFETCH(QString, askedThrough);
        QVERIFY(said.contains(askedThrough == "bus" ? "on the session bus" : "through the socket"));
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
