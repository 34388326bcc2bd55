// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace zelmoro::platform {

// Hears from logind before each suspend and after each resume. It holds a
// "sleep" lock in delay mode (who: "Zelmoro"), so that a suspend waits until
// aboutToSleep() has been handled; the lock is then given back at once, and
// taken again when the computer has resumed.
class SleepWatch : public QObject {
    Q_OBJECT

public:
    explicit SleepWatch(QObject *parent = nullptr);
    SleepWatch(const SleepWatch &) = delete;
    SleepWatch &operator=(const SleepWatch &) = delete;

signals:
    // Connected handlers run before the suspend may go on.
    void aboutToSleep();
    void resumed();

private slots:
    void prepareForSleep(bool sleeping);

private:
    void takeLock();

    QDBusUnixFileDescriptor m_lock;
};

} // namespace zelmoro::platform
