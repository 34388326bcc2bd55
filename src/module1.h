// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QTime>

#include <optional>

// State shared between the windows, and the road to the sound.
namespace zelmoro::Module1 {

// The one owner of the alarm time. The alarm dialog sets it; the main window's
// tick and whoever else needs the next alarm follow it through changed().
class Alarm : public QObject {
    Q_OBJECT

public:
    // The time text as SET made it ("7:00:00"); empty until set.
    const QString &text() const { return m_text; }
    // The same time, read once when it was set; nullopt while the text is
    // empty or is not a time text.
    std::optional<QTime> time() const { return m_time; }
    // Emits changed() when the text differs from the one held.
    void set(const QString &timeText);
    // The alarm loop was asked for and has not been stopped since.
    bool ringing() const { return m_ringing; }
    // Test hook: back to the state at start, no alarm and not ringing.
    void resetForTest();

signals:
    void changed();
    // Emitted when ringing() changes: by playLoop (true) and stopSound (false).
    void ringingChanged(bool ringing);

private:
    friend bool playLoop(const QString &file);
    friend void stopSound();
    void setRinging(bool ringing);

    QString m_text;
    std::optional<QTime> m_time;
    bool m_ringing = false;
};

// The process-wide owner of the alarm time.
Alarm &AlarmTime();

// The one road to the sound; each returns at once, the sound plays on.
// Wave Test: plays the file once; refused (false) while a sound plays.
bool playOnce(const QString &file);
// The alarm: plays the file in a loop until stopped. A loop already sounding
// is left alone (false); a test sound still playing gives way to it.
bool playLoop(const QString &file);
// Stops whatever this program plays.
void stopSound();

} // namespace zelmoro::Module1
