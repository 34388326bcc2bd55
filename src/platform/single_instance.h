// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/instance_lock.h"

#include <QLocalServer>
#include <QObject>
#include <QVariantMap>

#include <memory>

namespace zelmoro::platform {

// Keeps the program to one copy per user and display, whatever its
// environment. The lock file decides, every time: it lives in
// $XDG_RUNTIME_DIR, or in a folder of the user's own under the temporary
// folder, and is named after the display. The copy that holds it also owns the
// application id on the session bus, where there is one, and answers the
// freedesktop Activate call there and on a local socket beside the lock. A
// later copy asks the holder to show itself, through the bus when the holder
// owns the name there and otherwise through the socket, and steps aside.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    SingleInstance(const QString &applicationId, const QString &display);
    ~SingleInstance() override;

    // True when this process is the one copy; false when another copy runs,
    // which has then been asked to show its window.
    bool claim();

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);

signals:
    void activationRequested();

private:
    InstanceLock::State lock();
    bool takeBusName();
    bool ownerHoldsOurLock() const;
    bool activateOnBus(qint64 holderPid);
    void activateThroughSocket(const QString &socketPath);
    QString socketPath() const;
    void answer();

    QString m_applicationId;
    QString m_objectPath;
    QString m_fileName; // of the lock, without its extension
    std::unique_ptr<InstanceLock> m_lock;
    QLocalServer m_server;
    bool m_ownsName = false;
};

// libdbus starts a session bus of its own ("autolaunch") when none is named,
// and leaves it running after the program ends. Call before the application
// object: without a session bus the program then does without one.
void neverAutolaunchSessionBus();

} // namespace zelmoro::platform
