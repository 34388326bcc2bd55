// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/power/wake_timer.h"

#include "platform/power/power_log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zelmoro::platform {

namespace {

const QString kKdeService = QStringLiteral("org.kde.Solid.PowerManagement");
const QString kKdePath = QStringLiteral("/org/kde/Solid/PowerManagement");
const QString kCallbackPath = QStringLiteral("/io/github/zelmoro/Zelmoro/Wakeup");

const char *routeName(WakeTimer::Route route)
{
    switch (route) {
    case WakeTimer::Route::InProcess:
        return "a wake timer of its own (cap_wake_alarm)";
    case WakeTimer::Route::Helper:
        return "the helper zelmoro-wake (cap_wake_alarm)";
    case WakeTimer::Route::PowerManager:
        return "KDE's power manager (scheduleWakeup)";
    default:
        return "nothing";
    }
}

QDBusMessage kdeCall(const QString &method)
{
    return QDBusMessage::createMethodCall(kKdeService, kKdePath, kKdeService, method);
}

} // namespace

WakeTimer::WakeTimer(QObject *parent) : QObject(parent)
{
    m_fd = timerfd_create(CLOCK_REALTIME_ALARM, TFD_CLOEXEC);
    if (m_fd >= 0) {
        choose(Route::InProcess);
        return;
    }
    m_passedOver
        << QStringLiteral("own timer: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    tryHelper();
}

WakeTimer::~WakeTimer()
{
    // Withdraws the request: the timer goes with its last holder.
    if (m_fd >= 0)
        close(m_fd);
    if (m_helper.state() != QProcess::NotRunning) {
        m_helper.disconnect(this);
        m_helper.closeWriteChannel();
        m_helper.waitForFinished(200);
    }
    if (m_route == Route::PowerManager)
        clearPowerManagerCookie();
}

QStringList WakeTimer::helperCandidates()
{
    const QString beside = QCoreApplication::applicationDirPath();
    return {beside + QStringLiteral("/zelmoro-wake"),
            beside + QStringLiteral("/../libexec/zelmoro/zelmoro-wake"),
            QStringLiteral(ZELMORO_LIBEXEC_DIR "/zelmoro-wake")};
}

void WakeTimer::tryHelper()
{
    QString helper;
    for (const QString &candidate : helperCandidates()) {
        if (QFileInfo(candidate).isExecutable()) {
            helper = candidate;
            break;
        }
    }
    if (helper.isEmpty()) {
        m_passedOver << QStringLiteral("zelmoro-wake: not installed");
        tryPowerManager();
        return;
    }
    connect(&m_helper, &QProcess::readyReadStandardOutput, this, [this] {
        m_helperOutput += m_helper.readAllStandardOutput();
        if (m_route == Route::Probing && m_helperOutput.startsWith("ready\n"))
            choose(Route::Helper);
    });
    connect(&m_helper, &QProcess::finished, this, [this] {
        const QString said = QString::fromLocal8Bit(m_helper.readAllStandardError())
                                 .trimmed()
                                 .remove(QStringLiteral("zelmoro-wake: "));
        if (m_route == Route::Helper)
            qCWarning(zelmoroPower, "zelmoro-wake ended (%s); looking for another way to wake",
                      qUtf8Printable(said));
        else if (m_route != Route::Probing)
            return;
        m_route = Route::Probing;
        m_passedOver << QStringLiteral("zelmoro-wake: %1").arg(said.isEmpty() ? "ended" : said);
        tryPowerManager();
    });
    connect(&m_helper, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && m_route == Route::Probing) {
            m_passedOver << QStringLiteral("zelmoro-wake: %1").arg(m_helper.errorString());
            tryPowerManager();
        }
    });
    m_helper.setProgram(helper);
    m_helper.start(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void WakeTimer::tryPowerManager()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_passedOver << QStringLiteral("KDE's power manager: no session bus");
        choose(Route::None);
        return;
    }
    const QDBusMessage introspect = QDBusMessage::createMethodCall(
        kKdeService, kKdePath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect"));
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(introspect), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QString> reply = *w;
        if (reply.isError()) {
            m_passedOver << QStringLiteral("KDE's power manager: %1").arg(reply.error().message());
        } else if (!reply.value().contains(QLatin1String("name=\"scheduleWakeup\""))) {
            m_passedOver << QStringLiteral("KDE's power manager: no scheduleWakeup");
        } else if (!QDBusConnection::sessionBus().registerObject(
                       kCallbackPath, this, QDBusConnection::ExportScriptableSlots)) {
            m_passedOver << QStringLiteral("KDE's power manager: cannot offer wakeupCallback");
        } else {
            choose(Route::PowerManager);
            return;
        }
        choose(Route::None);
    });
}

void WakeTimer::choose(Route route)
{
    m_route = route;
    const QString others = m_passedOver.join(QStringLiteral("; "));
    if (route == Route::None)
        qCWarning(zelmoroPower,
                  "nothing here can wake the computer from suspend (%s); it is kept from "
                  "sleeping while an alarm is set",
                  qUtf8Printable(others));
    else
        qCInfo(zelmoroPower, "the computer is woken for the alarm through %s%s%s", routeName(route),
               others.isEmpty() ? "" : "; passed over: ", qUtf8Printable(others));
    m_passedOver.clear();
    apply();
    emit routeChosen(route);
}

void WakeTimer::request(std::optional<std::int64_t> utcSecond)
{
    m_second = utcSecond;
    apply();
}

void WakeTimer::reassert()
{
    apply();
}

void WakeTimer::apply()
{
    switch (m_route) {
    case Route::InProcess: {
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(m_second.value_or(0));
        if (timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0)
            qCWarning(zelmoroPower, "cannot set the wake timer: %s", std::strerror(errno));
        break;
    }
    case Route::Helper:
        // The helper keeps its last instant; a request withdrawn ends with the program.
        if (m_second)
            m_helper.write(QByteArray::number(qint64(*m_second)) + '\n');
        break;
    case Route::PowerManager:
        clearPowerManagerCookie();
        ++m_generation;
        if (m_second)
            scheduleWithPowerManager(*m_second);
        break;
    default:
        break;
    }
}

void WakeTimer::scheduleWithPowerManager(std::int64_t second)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call = kdeCall(QStringLiteral("scheduleWakeup"));
    call << bus.baseService() << QVariant::fromValue(QDBusObjectPath(kCallbackPath))
         << QVariant::fromValue(qulonglong(second));
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    qCWarning(zelmoroPower, "KDE's power manager refused the wake-up: %s",
                              qUtf8Printable(reply.error().message()));
                    return;
                }
                // A later request came while this one was on its way.
                if (generation != m_generation)
                    clearWakeup(reply.value());
                else
                    m_cookie = reply.value();
            });
}

void WakeTimer::clearPowerManagerCookie()
{
    if (m_cookie)
        clearWakeup(*m_cookie);
    m_cookie.reset();
}

void WakeTimer::clearWakeup(uint cookie)
{
    QDBusMessage call = kdeCall(QStringLiteral("clearWakeup"));
    call << int(cookie);
    QDBusConnection::sessionBus().send(call);
}

void WakeTimer::wakeupCallback(int cookie)
{
    qCInfo(zelmoroPower, "KDE's power manager woke the computer for the alarm (%d)", cookie);
}

} // namespace zelmoro::platform
