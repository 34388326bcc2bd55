// SPDX-License-Identifier: GPL-3.0-or-later
// The alarm and sleep, against stand-ins for logind (as the system bus), the
// portal, KDE's power manager and the notification server on private buses.
// ZELMORO_TEST_ROUTE names the way to wake that this run's privileges leave:
// inprocess (root), helper (zelmoro-wake with the file capability), kde or
// none (no cap_wake_alarm at all; kde starts the power manager's stand-in).

#include "clock/form1.h"
#include "clock/wake_instant.h"
#include "clock/wake_keeper.h"
#include "runtime/time_text.h"
#include "support/fakes.h"
#include "support/wake_timer_probe.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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
const QString kNotices = QStringLiteral("org.freedesktop.Notifications");
const QString kDelay = QStringLiteral("sleep Zelmoro アラームの時刻を確かめます delay");
std::list<QProcess> processes; // the buses and stand-ins, ended with the test
QTemporaryDir logs;            // what each stand-in was asked, by service name

QDBusConnection bus(const QString &service)
{
    return service == kLogind ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
}

QDBusMessage call(const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    return bus(service).call(call);
}

// A dbusmock stand-in for the service, with these methods added: {name, in, out, code} each.
void startMock(const QString &service, const QStringList &args, const QString &path = {},
               const QList<QStringList> &methods = {})
{
    processes.emplace_back().start(
        "/usr/bin/python3", QStringList{"-m", "dbusmock", "-l", logs.filePath(service)} + args);
    QTRY_VERIFY_WITH_TIMEOUT(bus(service).interface()->isServiceRegistered(service), 10000);
    for (const QStringList &m : methods)
        call(service, path, "org.freedesktop.DBus.Mock", "AddMethod", {"", m[0], m[1], m[2], m[3]});
}

// logind's locks now held: "what who why mode" each.
QStringList locks()
{
    const QDBusMessage reply =
        call(kLogind, "/org/freedesktop/login1", kLogind + ".Manager", "ListInhibitors");
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    QStringList found;
    for (list.beginArray(); !list.atEnd(); list.endStructure()) {
        QString what, who, why, mode;
        uint uid, pid;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        found << QStringList{what, who, why, mode}.join(u' ');
    }
    list.endArray();
    return found;
}

// The calls a stand-in had, one a line: "time method arguments".
QString log(const QString &service)
{
    QFile file(logs.filePath(service)); // none before the first call
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestPowerBus : public QObject {
    Q_OBJECT

    std::unique_ptr<clock::WakeKeeper> m_keeper;

private slots:
    void initTestCase()
    {
        if (kRoute == "inprocess" && geteuid() != 0)
            QSKIP("the own timer needs root here");
        startMock(kLogind, {"--system", "--template", "logind"});
        startMock(kNotices, {"--template", "notification_daemon"});
        const QString portal = "/org/freedesktop/portal/desktop";
        startMock(kPortal, {kPortal, portal, "org.freedesktop.portal.Inhibit"}, portal,
                  {{"Inhibit", "sua{sv}", "o", "ret = dbus.ObjectPath('/request/1')"}});
        const QString kde = "/org/kde/Solid/PowerManagement";
        if (kRoute == "kde")
            startMock(kKde, {kKde, kde, kKde}, kde,
                      {{"scheduleWakeup", "sot", "u", "ret = 7"}, {"clearWakeup", "i", "", ""}});
        m_keeper = std::make_unique<clock::WakeKeeper>();
        QTRY_VERIFY(m_keeper->wakeTimer().route() != Route::Probing);
    }
    void cleanupTestCase() { m_keeper.reset(); }

    void routeFollowsPrivilege()
    {
        const QStringList routes{"inprocess", "helper", "kde", "none"}; // as Route, after Probing
        QCOMPARE(int(m_keeper->wakeTimer().route()), routes.indexOf(kRoute) + 1);
    }

    void alarmSetRequestsWake()
    {
        const QString alarm = runtime::timeText(QTime::currentTime().addSecs(7200));
        Module1::AlarmTime().set(alarm);
        const qint64 wake = clock::wakeSecondFor(QDateTime::currentMSecsSinceEpoch(),
                                                 *runtime::readTimeText(alarm));
        const QString block = "sleep Zelmoro " + alarm + " のアラームを待っています block";
        // Without a way to wake, sleep is blocked (suspend only: 4) until the alarm.
        if (kRoute == "none") {
            QTRY_VERIFY(locks().contains(block));
            QTRY_VERIFY2(log(kPortal).contains(" Inhibit \"\" 4 "), qPrintable(log(kPortal)));
            return;
        }
        if (kRoute == "kde") {
            QTRY_VERIFY(log(kKde).contains(QStringLiteral("/Wakeup\" %1\n").arg(wake)));
            // Its reply is in before the next SET: a blocking call to the stand-in comes after it.
            call(kKde, "/org/kde/Solid/PowerManagement", "org.freedesktop.DBus.Mock", "GetCalls");
            QCoreApplication::processEvents();
            Module1::AlarmTime().set(runtime::timeText(QTime::currentTime().addSecs(3600)));
            QTRY_VERIFY2(log(kKde).contains(" clearWakeup 7\n"), qPrintable(log(kKde)));
        }
        if (kRoute == "inprocess")
            QVERIFY(qAbs(test::wakeTimerLeft() - (wake - QDateTime::currentSecsSinceEpoch())) <= 2);
        if (kRoute == "helper")
            QCOMPARE(test::wakeTimerLeft(), -1); // the helper holds it
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
        for (const bool sleeping : {true, false}) {
            call(kLogind, "/org/freedesktop/login1", "org.freedesktop.DBus.Mock", "EmitSignal",
                 {kLogind + ".Manager", "PrepareForSleep", "b", QVariantList{sleeping}});
            QTRY_COMPARE(locks().contains(kDelay), !sleeping);
        }
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
        QTRY_COMPARE(log(kNotices).count(notified), 1);
        QVERIFY(!Module1::AlarmTime().ringing());
    }
};

int main(int argc, char *argv[])
{
    // The private buses are in place before anything reaches for a bus.
    for (const char *variable : {"DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"}) {
        QProcess &bus = processes.emplace_back();
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        bus.waitForReadyRead(5000);
        qputenv(variable, bus.readLine().trimmed());
    }
    QApplication app(argc, argv);
    TestPowerBus test;
    const int status = QTest::qExec(&test, argc, argv);
    processes.clear(); // each killed and waited for
    return status;
}
#include "test_power_bus.moc"
