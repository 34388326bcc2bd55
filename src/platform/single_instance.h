// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLockFile>
#include <QObject>
#include <QVariantMap>

#include <memory>

namespace zelmoro::platform {

// Keeps the program to one copy per user session. The first copy owns the
// application id as a name on the session bus and answers the freedesktop
// Activate call; a later copy finds the name taken, asks the owner to show
// itself and steps aside. Without a session bus, a lock file in the user's
// runtime folder keeps the one copy (the later copy then cannot reach it).
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit SingleInstance(const QString &applicationId);
    ~SingleInstance() override;

    // True when this process is the session's one copy; false when another
    // copy runs, which has then been asked to show its window.
    bool claim();

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap &platformData);

signals:
    void activationRequested();

private:
    bool claimOnSessionBus();
    bool claimWithLockFile();

    QString m_applicationId;
    QString m_objectPath;
    std::unique_ptr<QLockFile> m_lock;
    bool m_ownsName = false;
};

} // namespace zelmoro::platform
