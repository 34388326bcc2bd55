// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace zelmoro::platform {

// The lock file that keeps one copy per user and display. It counts as held
// only while a running process holds the kernel's lock on it, which the kernel
// drops when that process ends however it ends; what the file says, or
// whether it is empty, does not decide. So a file left by a copy that crashed,
// an empty, corrupt or unreadable one, or a pipe or link under its name is
// replaced (with one warning); a folder under its name cannot be, and makes
// the lock unavailable.
class InstanceLock {
public:
    enum class State { Owned, HeldByAnother, Unavailable };

    explicit InstanceLock(QString path);
    ~InstanceLock(); // removes the file while still holding it
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    State acquire();
    // The process id written by the copy that holds the lock; 0 when unknown
    // (it may still be writing it).
    qint64 holderPid() const { return m_holderPid; }
    const QString &path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
    qint64 m_holderPid = 0;
};

} // namespace zelmoro::platform
