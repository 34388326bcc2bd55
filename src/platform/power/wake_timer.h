// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace zelmoro::platform {

// Asks the computer to wake from suspend at a given UTC second. The first way
// that works here is taken, once, in this order:
// - InProcess: a CLOCK_REALTIME_ALARM timer of our own (needs cap_wake_alarm);
// - Helper: the same timer held by zelmoro-wake, which carries that capability;
// - PowerManager: KDE's power manager (org.kde.Solid.PowerManagement);
// - None: nothing here can wake the computer.
// The log (zelmoro.power) says once which way and why the others were passed
// over. Finding the way is asynchronous; route() is Probing until then.
class WakeTimer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.PowerManagement")

public:
    enum class Route { Probing, InProcess, Helper, PowerManager, None };

    explicit WakeTimer(QObject *parent = nullptr);
    ~WakeTimer() override;
    WakeTimer(const WakeTimer &) = delete;
    WakeTimer &operator=(const WakeTimer &) = delete;

    Route route() const { return m_route; }
    // Wake at this UTC second (replacing the last request), or not at all.
    void request(std::optional<std::int64_t> utcSecond);
    // Sends the last request again, as before a suspend.
    void reassert();

    // Where zelmoro-wake is looked for: beside the program, in the relocated
    // and in the installed libexec folder.
    static QStringList helperCandidates();

signals:
    void routeChosen(Route route);

public slots:
    // KDE's power manager calls this when it woke the computer for us.
    Q_SCRIPTABLE void wakeupCallback(int cookie);

private:
    void tryHelper();
    void tryPowerManager();
    void choose(Route route);
    void apply();
    void scheduleWithPowerManager(std::int64_t second);
    void clearPowerManagerCookie();
    void clearWakeup(uint cookie);

    Route m_route = Route::Probing;
    QStringList m_passedOver;
    std::optional<std::int64_t> m_second;
    int m_fd = -1;
    QProcess m_helper;
    QByteArray m_helperOutput;
    std::optional<uint> m_cookie;
    int m_generation = 0;
};

} // namespace zelmoro::platform
