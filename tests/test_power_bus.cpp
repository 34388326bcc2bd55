// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm and sleep, against stand-ins for logind (as the system bus), the
// portal, KDE's power manager and the notification server on private buses.
// ZELMORO_TEST_ROUTE names the way to wake that this run's privileges leave:
// inprocess (root), helper (zelmoro-wake with the file capability), kde or
// none (no cap_wake_alarm at all; kde starts the power manager's stand-in).

#include "clock/form1.h"
#include "clock/wake_instant.h"
#include "clock/wake_keeper.h"
#include "support/fakes.h"
#include "support/wake_timer_probe.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <list>

#include <unistd.h>

using namespace zelmoro; // the fakes bring in no names of the program

using Route = platform::WakeTimer::Route;

namespace {

const QString kRoute = qEnvironmentVariable("ZELMORO_TEST_ROUTE", QStringLiteral("inprocess"));
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kKde = QStringLiteral("org.kde.Solid.PowerManagement");
std::list<QProcess> processes; // the buses and stand-ins, ended with the test
QTemporaryDir logs;            // what each stand-in was asked, by service name

QString startBus(const char *variable)
{
    QProcess &bus = processes.emplace_back();
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    bus.waitForReadyRead(5000);
    const QByteArray address = bus.readLine().trimmed();
    qputenv(variable, address);
    return QString::fromLatin1(address);
}

QDBusMessage mockCall(QDBusConnection bus, const QString &service, const QString &path,
                      const QString &method, const QVariantList &args)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Mock", method);
    call.setArguments(args);
    return bus.call(call);
}

void startMock(QDBusConnection bus, const QStringList &args, const QString &service)
{
    processes.emplace_back().start(QStringLiteral("/usr/bin/python3"),
                                   QStringList{"-m", "dbusmock", "-l", logs.filePath(service)} +
                                       args);
    QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered(service), 10000);
}

} // namespace

class TestPowerBus : public QObject {
    Q_OBJECT

    QDBusConnection system() { return QDBusConnection::systemBus(); }
    QDBusConnection session() { return QDBusConnection::sessionBus(); }

    // logind's locks now held: "what who why mode" each.
    QStringList locks()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogind, "/org/freedesktop/login1",
                                                           kLogind + ".Manager", "ListInhibitors");
        const QDBusArgument reply = system().call(call).arguments().value(0).value<QDBusArgument>();
        QStringList found;
        reply.beginArray();
        while (!reply.atEnd()) {
            QString what, who, why, mode;
            uint uid, pid;
            reply.beginStructure();
            reply >> what >> who >> why >> mode >> uid >> pid;
            reply.endStructure();
            found << QStringList{what, who, why, mode}.join(u' ');
        }
        reply.endArray();
        return found;
    }
    // The calls a stand-in had, one a line: "time method arguments".
    static QString log(const QString &service)
    {
        QFile file(logs.filePath(service));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // Whether a zelmoro-wake started by this process runs with cap_wake_alarm.
    static bool helperHasWakeCap()
    {
        for (const QString &pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
            QFile status("/proc/" + pid + "/status");
            const QString text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
            const auto field = [&](const char *name) {
                return text.section(name, 1).section('\n', 0, 0).trimmed();
            };
            if (field("Name:") == "zelmoro-wake" && field("PPid:").toLongLong() == getpid())
                return field("CapEff:").toULongLong(nullptr, 16) & (1ull << 35); // CAP_WAKE_ALARM
        }
        return false;
    }
    static QString inTwoHours() { return runtime::timeText(QTime::currentTime().addSecs(7200)); }

    std::unique_ptr<clock::WakeKeeper> m_keeper;

private slots:
    void initTestCase()
    {
        if (kRoute == "inprocess" && geteuid() != 0)
            QSKIP("the own timer needs root here");
        startMock(system(), {"--system", "--template", "logind"}, kLogind);
        startMock(session(), {"--template", "notification_daemon"},
                  "org.freedesktop.Notifications");
        startMock(session(),
                  {kPortal, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit"},
                  kPortal);
        mockCall(session(), kPortal, "/org/freedesktop/portal/desktop", "AddMethod",
                 {"", "Inhibit", "sua{sv}", "o", "ret = dbus.ObjectPath('/request/1')"});
        if (kRoute == "kde") {
            const QString path = "/org/kde/Solid/PowerManagement";
            startMock(session(), {kKde, path, kKde}, kKde);
            mockCall(session(), kKde, path, "AddMethod",
                     {"", "scheduleWakeup", "sot", "u", "ret = 7"});
            mockCall(session(), kKde, path, "AddMethod", {"", "clearWakeup", "i", "", ""});
        }
        m_keeper = std::make_unique<clock::WakeKeeper>();
        QTRY_VERIFY(m_keeper->wakeTimer().route() != Route::Probing);
    }
    void cleanupTestCase() { m_keeper.reset(); }

    void routeFollowsPrivilege()
    {
        const QMap<QString, Route> wanted{{"inprocess", Route::InProcess},
                                          {"helper", Route::Helper},
                                          {"kde", Route::PowerManager},
                                          {"none", Route::None}};
        QCOMPARE(m_keeper->wakeTimer().route(), wanted.value(kRoute));
        QVERIFY(locks().contains("sleep Zelmoro アラームの時刻を確かめます delay"));
    }

    void alarmSetRequestsWake()
    {
        const QString alarm = inTwoHours();
        Module1::AlarmTime().set(alarm);
        const qint64 wake = clock::wakeSecondFor(QDateTime::currentMSecsSinceEpoch(),
                                                 *runtime::readTimeText(alarm));
        const QString block = "sleep Zelmoro " + alarm + " のアラームを待っています block";
        if (kRoute == "none") {
            QTRY_VERIFY(locks().contains(block));
            QTRY_VERIFY2(log(kPortal).contains(" Inhibit \"\" 4 "), qPrintable(log(kPortal)));
            return;
        }
        if (kRoute == "kde") {
            QTRY_VERIFY(log(kKde).contains(QStringLiteral("/Wakeup\" %1\n").arg(wake)));
            Module1::AlarmTime().set(runtime::timeText(QTime::currentTime().addSecs(3600)));
            QTRY_COMPARE(log(kKde).count(" scheduleWakeup "), 2);
            QTRY_VERIFY2(log(kKde).contains(" clearWakeup 7\n"), qPrintable(log(kKde)));
        }
        if (kRoute == "inprocess")
            QVERIFY(qAbs(test::wakeTimerLeft() - (wake - QDateTime::currentSecsSinceEpoch())) <= 2);
        if (kRoute == "helper") {
            QCOMPARE(test::wakeTimerLeft(), -1);
            QVERIFY(helperHasWakeCap());
        }
        QVERIFY(!locks().contains(block));
    }

    void ringingHoldsLocks()
    {
        test::FakeRuntime fakes; // records the sound
        Module1::AlarmTime().set(QStringLiteral("6:30:00"));
        const QString lock = "sleep Zelmoro 6:30:00 のアラームが鳴っています block";
        Module1::playLoop(QStringLiteral("belora.wav"));
        QTRY_VERIFY(locks().contains(lock));
        QTRY_VERIFY2(log(kPortal).contains(" Inhibit \"\" 12 "), qPrintable(log(kPortal)));
        Module1::stopSound();
        QTRY_VERIFY(!locks().contains(lock));
    }

    void suspendReleasesDelayLock()
    {
        const QString delay = "sleep Zelmoro アラームの時刻を確かめます delay";
        const auto prepare = [&](bool sleeping) {
            mockCall(system(), kLogind, "/org/freedesktop/login1", "EmitSignal",
                     {kLogind + ".Manager", "PrepareForSleep", "b", QVariantList{sleeping}});
        };
        QTRY_VERIFY(locks().contains(delay));
        prepare(true);
        QTRY_VERIFY(!locks().contains(delay));
        prepare(false);
        QTRY_VERIFY(locks().contains(delay));
    }

    void alarmSleptThroughIsTold()
    {
        test::FakeRuntime fakes;
        fakes.clock.set(6, 0, 0);
        Module1::AlarmTime().set(QStringLiteral("6:30:00"));
        clock::Form1 &form = runtime::form<clock::Form1>().get();
        form.Timer1_Timer();
        fakes.clock.step(3 * 3600 * 1000, 1000); // asleep for three hours
        form.Timer1_Timer();
        const QString notified = "Notify \"Zelmoro\" 0 \"io.github.zelmoro.Zelmoro\" "
                                 "\"アラーム 6:30:00 を逃しました\"";
        QTRY_COMPARE(log("org.freedesktop.Notifications").count(notified), 1);
        QCOMPARE(fakes.sound.count(platform::SND_ASYNC | platform::SND_LOOP | platform::SND_NOSTOP),
                 0);
        QVERIFY(!Module1::AlarmTime().ringing());
    }
};

int main(int argc, char *argv[])
{
    // The private buses are in place before anything reaches for a bus.
    startBus("DBUS_SYSTEM_BUS_ADDRESS");
    startBus("DBUS_SESSION_BUS_ADDRESS");
    QApplication app(argc, argv);
    TestPowerBus test;
    const int status = QTest::qExec(&test, argc, argv);
    for (QProcess &process : processes)
        process.kill(), process.waitForFinished();
    return status;
}
#include "test_power_bus.moc"
