// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/instance_lock.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zelmoro::platform {

namespace {

QByteArray contentsOf(int fd)
{
    char buffer[64];
    const ssize_t size = ::pread(fd, buffer, sizeof buffer, 0);
    return size > 0 ? QByteArray(buffer, size) : QByteArray();
}

// The process id on the file's first line, 0 when there is none.
qint64 pidIn(const QByteArray &contents)
{
    bool ok = false;
    const qint64 pid = contents.split('\n').constFirst().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

} // namespace

InstanceLock::InstanceLock(QString path) : m_path(std::move(path))
{
}

InstanceLock::~InstanceLock()
{
    if (m_fd < 0)
        return;
    // Removed before the lock is let go: a copy that opened the file meanwhile
    // finds it no longer in place and makes a new one.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

InstanceLock::State InstanceLock::acquire()
{
    const QByteArray path = QFile::encodeName(m_path);
    QString replaced; // what was in the way, for the one warning
    for (int attempt = 0; attempt < 4; ++attempt) {
        // Made afresh, or else opened as it is, never through a link.
        constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
        const bool made = fd >= 0;
        if (!made && errno == EEXIST)
            fd = ::open(path.constData(), kFlags);
        struct stat opened {};
        if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                m_holderPid = pidIn(contentsOf(fd));
                ::close(fd);
                return State::HeldByAnother;
            }
            struct stat named {};
            if (::stat(path.constData(), &named) != 0 || named.st_ino != opened.st_ino ||
                named.st_dev != opened.st_dev) {
                ::close(fd); // its holder removed it as it ended: take the new one
                continue;
            }
            const QByteArray before = contentsOf(fd);
            if (!made && replaced.isEmpty())
                replaced = before.isEmpty() ? QStringLiteral("it was empty")
                           : pidIn(before)
                               ? QStringLiteral("it named process %1, which did not hold it")
                                     .arg(pidIn(before))
                               : QStringLiteral("it did not name a process");
            if (!replaced.isEmpty())
                qWarning("Replaced the lock file %s, which no running Zelmoro held: %s",
                         path.constData(), qPrintable(replaced));
            // The id only tells a later copy who answers; the kernel's lock is
            // what keeps it out.
            const QByteArray contents =
                QByteArray::number(QCoreApplication::applicationPid()) + '\n';
            if (::ftruncate(fd, 0) != 0 ||
                ::pwrite(fd, contents.constData(), size_t(contents.size()), 0) != contents.size())
                qWarning("Could not write the process id into %s", path.constData());
            m_fd = fd;
            return State::Owned;
        }
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        struct stat found {};
        if (::lstat(path.constData(), &found) != 0 || S_ISDIR(found.st_mode))
            return State::Unavailable;
        // Something under the lock's name that cannot be the lock: an
        // unreadable file, a link, a pipe or socket. It holds nothing of value.
        replaced = fd >= 0 ? QStringLiteral("it was not a regular file")
                           : QStringLiteral("it could not be opened (%1)")
                                 .arg(QString::fromLocal8Bit(std::strerror(error)));
        if (::unlink(path.constData()) != 0)
            return State::Unavailable;
    }
    return State::Unavailable;
}

} // namespace zelmoro::platform
