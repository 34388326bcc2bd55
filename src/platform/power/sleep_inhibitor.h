// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <functional>

namespace zelmoro::platform {

// Keeps the computer from going to sleep by itself while held: through the
// desktop (the portal's Inhibit, else GNOME's session manager, else the
// freedesktop power management service) and through logind's "sleep" lock in
// block mode, which logind's own idle action honours. Every call is
// asynchronous; a service that is missing is passed over and logged once.
class SleepInhibitor : public QObject {
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject *parent = nullptr);
    ~SleepInhibitor() override;
    SleepInhibitor(const SleepInhibitor &) = delete;
    SleepInhibitor &operator=(const SleepInhibitor &) = delete;

    // Holds the locks with this reason; idleToo also keeps the screen from
    // blanking. Holding again with the same terms changes nothing.
    void hold(const QString &reason, bool idleToo);
    void release();
    bool held() const { return m_held; }

private:
    void askDesktop(int step);
    void askLogind();
    // Gives back what one desktop service handed out.
    void releaseDesktop();

    bool m_held = false;
    QString m_reason;
    bool m_idleToo = false;
    int m_generation = 0;
    // How to give back the desktop's lock, once one was granted.
    std::function<void()> m_desktopRelease;
    QDBusUnixFileDescriptor m_logindLock;
};

} // namespace zelmoro::platform
