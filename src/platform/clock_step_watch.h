// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace zelmoro::platform {

// Tells when the wall clock is set: by hand, by time synchronisation, or on
// resume from suspend (the wall clock jumps while the monotonic clock stood
// still). A change of daylight saving is no such step: the local time follows
// the zone, the wall clock runs on.
class ClockStepWatch : public QObject {
    Q_OBJECT

public:
    explicit ClockStepWatch(QObject *parent = nullptr);
    ~ClockStepWatch() override;
    ClockStepWatch(const ClockStepWatch &) = delete;
    ClockStepWatch &operator=(const ClockStepWatch &) = delete;

signals:
    void stepped();

private:
    void arm();
    void readStep();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace zelmoro::platform
