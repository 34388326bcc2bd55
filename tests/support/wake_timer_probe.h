// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>

namespace zelmoro::test {

// Seconds left on the wake timer (clock 8, CLOCK_REALTIME_ALARM) that a
// process holds, read from /proc; -1 when it holds none.
inline qint64 wakeTimerLeft(const QString &pid = QStringLiteral("self"))
{
    const QString folder = "/proc/" + pid + "/fdinfo";
    for (const QString &fd : QDir(folder).entryList(QDir::Files)) {
        QFile file(folder + '/' + fd);
        const QString text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (text.contains("clockid: 8"))
            return text.section("it_value: (", 1).section(',', 0, 0).toLongLong();
    }
    return -1;
}

} // namespace zelmoro::test
