// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/power/sleep_watch.h"

#include "platform/power/power_log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace zelmoro::platform {

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

SleepWatch::SleepWatch(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCWarning(zelmoroPower, "no system bus: suspends come unannounced");
        return;
    }
    bus.connect(kLogind, kLogindPath, kManager, QStringLiteral("PrepareForSleep"), this,
                SLOT(prepareForSleep(bool)));
    takeLock();
}

void SleepWatch::takeLock()
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kLogind, kLogindPath, kManager, QStringLiteral("Inhibit"));
    message << QStringLiteral("sleep") << QStringLiteral("Zelmoro")
            << QStringLiteral("アラームの時刻を確かめます") << QStringLiteral("delay");
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError()) {
            static bool told = false;
            if (!std::exchange(told, true))
                qCWarning(zelmoroPower, "logind gives no notice before a suspend: %s",
                          qUtf8Printable(reply.error().message()));
            return;
        }
        m_lock = reply.value();
    });
}

void SleepWatch::prepareForSleep(bool sleeping)
{
    if (sleeping) {
        emit aboutToSleep();
        m_lock = QDBusUnixFileDescriptor();
    } else {
        takeLock();
        emit resumed();
    }
}

} // namespace zelmoro::platform
