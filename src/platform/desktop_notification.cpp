// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/desktop_notification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

namespace zelmoro::platform {

namespace {

Q_LOGGING_CATEGORY(zelmoroNotify, "zelmoro.notify")

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
// The urgency hint's value for critical messages.
constexpr unsigned char kCritical = 2;

} // namespace

void postCriticalNotification(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(zelmoroNotify, "no session bus; cannot show: %s: %s", qUtf8Printable(summary),
                  qUtf8Printable(body));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kService), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kCritical));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral(ZELMORO_APP_ID));
    call << QStringLiteral("Zelmoro") << 0u << QStringLiteral(ZELMORO_APP_ID) << summary << body
         << QStringList() << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [summary, body](QDBusPendingCallWatcher *done) {
                         const QDBusPendingReply<uint> reply = *done;
                         if (reply.isError())
                             qCWarning(zelmoroNotify,
                                       "no notification server (%s); cannot show: %s: %s",
                                       qUtf8Printable(reply.error().message()),
                                       qUtf8Printable(summary), qUtf8Printable(body));
                         done->deleteLater();
                     });
}

} // namespace zelmoro::platform
