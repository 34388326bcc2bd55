// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QStandardPaths>

namespace zelmoro::platform {

namespace {

constexpr int kActivateTimeoutMs = 5000;

} // namespace

SingleInstance::SingleInstance(const QString &applicationId)
    : m_applicationId(applicationId),
      // The object path the freedesktop application interface derives from the id.
      m_objectPath(QLatin1Char('/') + QString(applicationId).replace(QLatin1Char('.'), '/'))
{
}

SingleInstance::~SingleInstance()
{
    if (m_ownsName) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(m_objectPath);
        bus.unregisterService(m_applicationId);
    }
}

bool SingleInstance::claim()
{
    return QDBusConnection::sessionBus().isConnected() ? claimOnSessionBus() : claimWithLockFile();
}

bool SingleInstance::claimOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object is in place before the name is taken, so that a copy started
    // a moment later finds someone to answer its call.
    if (!bus.registerObject(m_objectPath, this, QDBusConnection::ExportScriptableSlots))
        qWarning("Could not offer the activation call on the session bus");
    const auto reply = bus.interface()->registerService(
        m_applicationId, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_ownsName = true;
        return true;
    }
    bus.unregisterObject(m_objectPath);
    if (!reply.isValid()) {
        // A bus that refuses to answer must not keep the clock from running.
        qWarning("The session bus did not register %s: %s", qPrintable(m_applicationId),
                 qPrintable(reply.error().message()));
        return claimWithLockFile();
    }
    QDBusMessage activate = QDBusMessage::createMethodCall(
        m_applicationId, m_objectPath, QStringLiteral("org.freedesktop.Application"),
        QStringLiteral("Activate"));
    QVariantMap platformData;
    const QByteArray startupId = qgetenv("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(startupId));
    activate << platformData;
    const QDBusMessage answer = bus.call(activate, QDBus::Block, kActivateTimeoutMs);
    if (answer.type() == QDBusMessage::ErrorMessage)
        qWarning("Zelmoro is already running but did not answer: %s",
                 qPrintable(answer.errorMessage()));
    return false;
}

bool SingleInstance::claimWithLockFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + m_applicationId + ".lock");
    // Held for as long as the program runs, however long that is; a lock left by
    // a copy that died is recognised by its process id.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError) {
        qInfo("Zelmoro is already running in this session");
        return false;
    }
    // An unwritable runtime folder must not keep the clock from running.
    qWarning("Could not make the lock file in %s", qPrintable(folder));
    return true;
}

void SingleInstance::Activate(const QVariantMap &platformData)
{
    Q_UNUSED(platformData);
    emit activationRequested();
}

} // namespace zelmoro::platform
