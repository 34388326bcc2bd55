// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QProcess>

#include <vector>

namespace zelmoro::test {

// pactl against this process's PULSE_SERVER: what it prints, or "" if it fails.
QString pactl(const QString &arguments);
// Puts this process's home, XDG folders, session bus and sound server in `dir`, and ALSA's
// default device as `alsaDefault` says; false when there is no pulseaudio to start.
bool useOwnSound(const QString &dir, const QByteArray &alsaDefault);
// Starts a server at dir/native with `modules` loaded, and waits until it answers.
void startServer(QProcess &server, const QString &dir, const QString &modules);

// What a sink plays after its own volume and mute, recorded at its monitor by parec as raw
// 16-bit stereo at 44.1 kHz into a file that is read as it grows.
class SinkRecording {
public:
    static constexpr int kRate = 44100;
    struct Heard {
        double start = -1, length = 0; // seconds into the recording
        double gap = 0; // the longest faint stretch within: a break in what should be continuous
        int peak = 0;
    };

    // Records once the monitor delivers (a fresh null sink's monitor starts late).
    SinkRecording(const QString &sink, const QString &file);
    ~SinkRecording();
    // Reads what has been recorded since the last call; the length in seconds.
    double seconds();
    // The loudest sample between two instants.
    int peak(double from, double to) const;
    // The first instant from `from` on that begins `length` seconds of samples all within
    // `tolerance` of `level` (`length` 0: any sample reaching it); -1: none.
    double firstAt(double from, int level, double length = 0, int tolerance = 3) const;
    // The first sound from `from` on, up to its first 0.3 s of near silence.
    Heard heard(double from) const;

private:
    QProcess m_parec;
    QFile m_recording;
    QByteArray m_pending;     // part of a frame
    std::vector<int> m_peaks; // the louder channel of each frame
};

} // namespace zelmoro::test
