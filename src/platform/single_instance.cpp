// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace zelmoro::platform {

namespace {

Q_LOGGING_CATEGORY(zelmoroInstance, "zelmoro.instance", QtWarningMsg)

constexpr int kActivateTimeoutMs = 5000;
// How long a later copy waits for a copy that has just taken the lock to
// open its socket.
constexpr int kConnectTimeoutMs = 3000;
const QByteArray kActivate = "activate\n";
const QByteArray kShown = "shown\n";

// A folder of the user's own under the temporary folder, for when
// $XDG_RUNTIME_DIR is unset or unusable: made, or found, as the user's own and
// closed to others. Empty when that cannot be had.
QString ownTemporaryFolder()
{
    const QString own = QDir::tempPath() + QStringLiteral("/zelmoro-%1").arg(::geteuid());
    const QByteArray path = QFile::encodeName(own);
    ::mkdir(path.constData(), S_IRWXU);
    struct stat found {};
    const bool usable =
        ::lstat(path.constData(), &found) == 0 && S_ISDIR(found.st_mode) &&
        found.st_uid == ::geteuid() &&
        ((found.st_mode & (S_IRWXG | S_IRWXO)) == 0 || ::chmod(path.constData(), S_IRWXU) == 0);
    return usable ? own : QString();
}

// Whether the process holds a lock file of this name, in whichever folder: a
// copy on this display started where $XDG_RUNTIME_DIR was set differently.
bool holdsLockNamed(qint64 pid, const QString &fileName)
{
    const QDir open(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList fds = open.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(fds.cbegin(), fds.cend(), [&](const QString &fd) {
        return QFile::symLinkTarget(open.filePath(fd)).endsWith(QLatin1Char('/') + fileName);
    });
}

} // namespace

SingleInstance::SingleInstance(const QString &applicationId, const QString &display)
    : m_applicationId(applicationId),
      // The object path the freedesktop application interface derives from the id.
      m_objectPath(QLatin1Char('/') + QString(applicationId).replace(QLatin1Char('.'), '/')),
      m_fileName(applicationId + QLatin1Char('.') +
                 QString(display).replace(QLatin1Char('/'), QLatin1Char('_')))
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

SingleInstance::~SingleInstance()
{
    if (m_ownsName) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(m_objectPath);
        bus.unregisterService(m_applicationId);
    }
    m_server.close();
}

bool SingleInstance::claim()
{
    const InstanceLock::State state = lock();
    if (state == InstanceLock::State::HeldByAnother) {
        // Until the holder has written its id, only its socket is known to be its.
        if (m_lock->holderPid() == 0 || !activateOnBus(m_lock->holderPid()))
            activateThroughSocket(socketPath());
        return false;
    }
    const bool ownsLock = state == InstanceLock::State::Owned;
    if (!takeBusName() && (!ownsLock || ownerHoldsOurLock())) {
        // No lock to go by, or the owner of the bus name holds this display's
        // lock in another folder: it is the copy that runs.
        m_lock.reset();
        activateOnBus(0);
        return false;
    }
    if (ownsLock) {
        // The lock is ours, so a socket left there belongs to a copy that ended.
        QLocalServer::removeServer(socketPath());
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server.listen(socketPath()))
            qWarning("Could not open %s: %s", qPrintable(socketPath()),
                     qPrintable(m_server.errorString()));
    }
    qCInfo(zelmoroInstance, "This copy runs (lock %s, bus name %s)",
           m_lock ? qPrintable(m_lock->path()) : "none", m_ownsName ? "owned" : "not owned");
    return true;
}

bool SingleInstance::ownerHoldsOurLock() const
{
    const auto owner = QDBusConnection::sessionBus().interface()->servicePid(m_applicationId);
    return owner.isValid() && holdsLockNamed(owner.value(), m_fileName + ".lock");
}

QString SingleInstance::socketPath() const
{
    return m_lock->path().chopped(int(qstrlen(".lock"))) + QStringLiteral(".socket");
}

InstanceLock::State SingleInstance::lock()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        folder = ownTemporaryFolder();
    while (!folder.isEmpty()) {
        m_lock = std::make_unique<InstanceLock>(folder + QLatin1Char('/') + m_fileName + ".lock");
        const InstanceLock::State state = m_lock->acquire();
        if (state != InstanceLock::State::Unavailable)
            return state;
        qWarning("Passed over the lock file %s: it cannot be made, or a folder is in its place",
                 qPrintable(m_lock->path()));
        const QString fallback = ownTemporaryFolder();
        folder = fallback == folder ? QString() : fallback;
    }
    m_lock.reset();
    return InstanceLock::State::Unavailable;
}

// Owns the application id on the session bus, if there is one. False only
// when another process owns it.
bool SingleInstance::takeBusName()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return true;
    // The object is in place before the name is taken, so that a copy started
    // a moment later finds someone to answer its call.
    if (!bus.registerObject(m_objectPath, this, QDBusConnection::ExportScriptableSlots))
        qWarning("Could not offer the activation call on the session bus");
    const auto reply = bus.interface()->registerService(
        m_applicationId, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    m_ownsName = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!m_ownsName)
        bus.unregisterObject(m_objectPath);
    if (!reply.isValid()) // a bus that does not answer must not keep the clock from running
        qWarning("The session bus did not register %s: %s", qPrintable(m_applicationId),
                 qPrintable(reply.error().message()));
    return m_ownsName || !reply.isValid();
}

// Asks the owner of the bus name to show itself, if it is the process given
// (whoever owns it for 0). False when that could not be done.
bool SingleInstance::activateOnBus(qint64 holderPid)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const auto owner = bus.interface()->servicePid(m_applicationId);
    if (!owner.isValid() || (holderPid != 0 && owner.value() != holderPid))
        return false;
    QDBusMessage activate = QDBusMessage::createMethodCall(
        m_applicationId, m_objectPath, QStringLiteral("org.freedesktop.Application"),
        QStringLiteral("Activate"));
    QVariantMap platformData;
    const QByteArray startupId = qgetenv("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(startupId));
    activate << platformData;
    const QDBusMessage answer = bus.call(activate, QDBus::Block, kActivateTimeoutMs);
    if (answer.type() != QDBusMessage::ErrorMessage)
        return true;
    qWarning("Zelmoro is already running but did not answer on the session bus: %s",
             qPrintable(answer.errorMessage()));
    return false;
}

void SingleInstance::activateThroughSocket(const QString &socketPath)
{
    QLocalSocket socket;
    const QDeadlineTimer deadline(kConnectTimeoutMs);
    for (socket.connectToServer(socketPath); !socket.waitForConnected(100);
         socket.connectToServer(socketPath)) {
        if (deadline.hasExpired()) {
            qWarning("Zelmoro is already running but cannot be reached at %s: %s",
                     qPrintable(socketPath), qPrintable(socket.errorString()));
            return;
        }
        QThread::msleep(50);
    }
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(kActivateTimeoutMs) ||
        !socket.waitForReadyRead(kActivateTimeoutMs) || socket.readLine() != kShown)
        qWarning("Zelmoro is already running but did not answer at %s", qPrintable(socketPath));
}

void SingleInstance::answer()
{
    while (QLocalSocket *client = m_server.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (!client->canReadLine())
                return;
            if (client->readLine(kActivate.size() + 1) == kActivate) {
                qCInfo(zelmoroInstance, "Asked through the socket to show the window");
                emit activationRequested();
                client->write(kShown);
                client->flush();
            }
            client->disconnectFromServer();
        });
    }
}

void SingleInstance::Activate(const QVariantMap &platformData)
{
    Q_UNUSED(platformData);
    qCInfo(zelmoroInstance, "Asked on the session bus to show the window");
    emit activationRequested();
}

void neverAutolaunchSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    // The user's bus, where the service manager keeps one, is what libdbus
    // would find first anyway; otherwise an address no bus answers on.
    const QString userBus = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus");
    struct stat found {};
    const bool haveUserBus = QDir::isAbsolutePath(userBus) &&
                             ::stat(QFile::encodeName(userBus).constData(), &found) == 0 &&
                             S_ISSOCK(found.st_mode) && found.st_uid == ::geteuid();
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            haveUserBus ? "unix:path=" + QFile::encodeName(userBus) : QByteArray("disabled:"));
}

} // namespace zelmoro::platform
