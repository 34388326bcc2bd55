// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/power/sleep_inhibitor.h"

#include "platform/power/power_log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <array>
#include <utility>

namespace zelmoro::platform {

namespace {

// The desktop services' inhibit flags.
constexpr uint kInhibitSuspend = 4;
constexpr uint kInhibitIdle = 8;

struct DesktopService {
    const char *name;
    const char *service;
    const char *path;
    const char *interface;
};
constexpr std::array<DesktopService, 3> kDesktop{{
    {"the desktop portal", "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
     "org.freedesktop.portal.Inhibit"},
    {"GNOME's session manager", "org.gnome.SessionManager", "/org/gnome/SessionManager",
     "org.gnome.SessionManager"},
    {"the power management service", "org.freedesktop.PowerManagement",
     "/org/freedesktop/PowerManagement/Inhibit", "org.freedesktop.PowerManagement.Inhibit"},
}};

QDBusMessage call(const DesktopService &to, const char *method)
{
    return QDBusMessage::createMethodCall(
        QString::fromLatin1(to.service), QString::fromLatin1(to.path),
        QString::fromLatin1(to.interface), QString::fromLatin1(method));
}

// What the log has said already, so that each thing is said once.
bool toldDesktop = false;
bool toldLogind = false;
QStringList desktopRefusals;

} // namespace

SleepInhibitor::SleepInhibitor(QObject *parent) : QObject(parent)
{
}

SleepInhibitor::~SleepInhibitor()
{
    release();
}

void SleepInhibitor::hold(const QString &reason, bool idleToo)
{
    if (m_held && reason == m_reason && idleToo == m_idleToo)
        return;
    release();
    m_held = true;
    m_reason = reason;
    m_idleToo = idleToo;
    desktopRefusals.clear();
    askDesktop(0);
    askLogind();
}

void SleepInhibitor::release()
{
    ++m_generation;
    m_held = false;
    releaseDesktop();
    m_logindLock = QDBusUnixFileDescriptor();
}

void SleepInhibitor::releaseDesktop()
{
    if (m_desktopRelease)
        std::exchange(m_desktopRelease, nullptr)();
}

void SleepInhibitor::askDesktop(int step)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (step == int(kDesktop.size()) || !bus.isConnected()) {
        if (!std::exchange(toldDesktop, true))
            qCWarning(zelmoroPower, "no desktop service keeps the computer awake (%s)",
                      bus.isConnected() ? qUtf8Printable(desktopRefusals.join("; "))
                                        : "no session bus");
        return;
    }
    const DesktopService &service = kDesktop[std::size_t(step)];
    const uint flags = kInhibitSuspend | (m_idleToo ? kInhibitIdle : 0);
    QDBusMessage message = call(service, "Inhibit");
    if (step == 0)
        message << QString() << flags << QVariantMap{{QStringLiteral("reason"), m_reason}};
    else if (step == 1)
        message << QStringLiteral(ZELMORO_APP_ID) << 0u << m_reason << flags;
    else
        message << QStringLiteral("Zelmoro") << m_reason;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, step, generation = m_generation](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const DesktopService &to = kDesktop[std::size_t(step)];
                const QDBusMessage reply = w->reply();
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                    desktopRefusals << QStringLiteral("%1: %2").arg(QString::fromLatin1(to.name),
                                                                    reply.errorMessage());
                    if (generation == m_generation)
                        askDesktop(step + 1);
                    return;
                }
                const QVariant handed = reply.arguments().constFirst();
                std::function<void()> giveBack;
                if (step == 0) {
                    const QString handle = handed.value<QDBusObjectPath>().path();
                    giveBack = [handle, to] {
                        QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
                            QString::fromLatin1(to.service), handle,
                            QStringLiteral("org.freedesktop.portal.Request"),
                            QStringLiteral("Close")));
                    };
                } else {
                    const uint cookie = handed.toUInt();
                    giveBack = [cookie, step, to] {
                        QDBusMessage uninhibit = call(to, step == 1 ? "Uninhibit" : "UnInhibit");
                        uninhibit << cookie;
                        QDBusConnection::sessionBus().send(uninhibit);
                    };
                }
                if (!std::exchange(toldDesktop, true))
                    qCInfo(zelmoroPower, "%s keeps the computer awake when asked", to.name);
                // Released while the answer was on its way.
                if (generation != m_generation)
                    giveBack();
                else
                    m_desktopRelease = giveBack;
            });
}

void SleepInhibitor::askLogind()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        if (!std::exchange(toldLogind, true))
            qCWarning(zelmoroPower, "no system bus: logind cannot be asked to hold off sleep");
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    message << QStringLiteral("sleep") << QStringLiteral("Zelmoro") << m_reason
            << QStringLiteral("block");
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
                if (reply.isError()) {
                    if (!std::exchange(toldLogind, true))
                        qCWarning(zelmoroPower, "logind does not hold off sleep: %s",
                                  qUtf8Printable(reply.error().message()));
                    return;
                }
                // Kept only while still wanted; dropping the descriptor releases it.
                if (generation == m_generation)
                    m_logindLock = reply.value();
            });
}

} // namespace zelmoro::platform
