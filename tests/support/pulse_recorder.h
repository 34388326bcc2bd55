// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zelmoro::test {

// True when ZELMORO_REQUIRE_DESKTOP=1: then a missing tool fails the test.
inline bool desktopRequired()
{
    return qgetenv("ZELMORO_REQUIRE_DESKTOP") == "1";
}

// Lets wall-clock time pass while Qt events are processed. Sound takes real
// time to play; tests of the sound output wait with this and nothing else.
inline void letSoundPlay(int milliseconds)
{
    QTest::qWait(milliseconds);
}

// Records what a null sink plays (its monitor, through this process's
// PULSE_SERVER) the one way all sound tests record it, the end-to-end
// script's Recorder too: parec writes raw 16-bit stereo at 44.1 kHz to a file,
// measured as it grows. Times are seconds from the recording's start.
class PulseRecorder {
public:
    explicit PulseRecorder(const QString &sink) : m_sink(sink) {}
    ~PulseRecorder() { stop(); }
    // Starts recording, waits until sound flows (a fresh null sink's monitor
    // starts late), then lets a lead-in pass.
    bool start(int leadInMs = 1500);
    // Ends the recording and loads it for measuring.
    bool stop();
    // Loads what has been recorded so far; returns its length.
    double load();
    QString fileName() const { return m_dir.filePath(QStringLiteral("monitor.raw")); }
    double duration() const { return double(m_peaks.size()) / kRate; }
    // First moment with any sound at or after a time; -1 if none.
    double firstSound(double fromSec = 0.0) const { return find(fromSec, 1, 0.0f, false); }
    // Where the sound playing at `fromSec` ends: the start of the first stretch
    // of digital silence of at least `minSilenceSec`, or the recording's end.
    double endOfSound(double fromSec, double minSilenceSec = 0.3) const
    {
        const double end = find(fromSec, std::lround(minSilenceSec * kRate), 0.0f, true);
        return end < 0 ? duration() : end;
    }
    // Longest stretch between two times in which every sample stays below a
    // faint level: a gap in what should be continuous sound.
    double longestQuietStretch(double fromSec, double toSec) const;

private:
    static constexpr int kRate = 44100;
    long frameAt(double s) const
    {
        return std::clamp(std::lround(s * kRate), 0L, std::ssize(m_peaks));
    }
    // Start of the first run of `length` frames at or below `level` (`quiet`)
    // or above it, at or after a time; -1 if none.
    double find(double fromSec, long length, float level, bool quiet) const;

    QString m_sink;
    QTemporaryDir m_dir;
    QProcess m_process;
    std::vector<float> m_peaks; // the loudest channel of each frame, after load()
};

} // namespace zelmoro::test

using namespace zelmoro;
