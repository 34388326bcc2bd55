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

// The null sink of the private sound server that audio tests listen to
// (ZELMORO_TEST_SINK), or empty when the tests run without one.
QString testSink();

// True when ZELMORO_REQUIRE_DESKTOP=1: then a missing sink fails the test.
bool desktopRequired();

// Lets wall-clock time pass while Qt events are processed. Sound takes real
// time to play; tests of the sound output wait with this and nothing else.
void letSoundPlay(int milliseconds);

// Skips the calling test when there is no test sink, or fails it when the
// desktop session is required.
#define ZELMORO_REQUIRE_TEST_SINK()                                                                \
    do {                                                                                           \
        if (::zelmoro::test::testSink().isEmpty()) {                                               \
            if (::zelmoro::test::desktopRequired())                                                \
                QFAIL("ZELMORO_REQUIRE_DESKTOP=1 but ZELMORO_TEST_SINK is not set");               \
            QSKIP("no test sound sink: ZELMORO_TEST_SINK is not set");                             \
        }                                                                                          \
    } while (false)

// Records what a null sink plays (its monitor, through the PULSE_SERVER of
// this process) the one way every sound test records it, the end-to-end
// script's Recorder included: parec writes raw 16-bit stereo at 44.1 kHz to a
// file, which is measured as it grows. Times are seconds from the recording's
// start.
class PulseRecorder {
public:
    explicit PulseRecorder(const QString &sink = testSink()) : m_sink(sink) {}
    ~PulseRecorder() { stop(); }
    // Starts recording and waits until audio flows (a null sink that has been
    // idle delivers its first audio late), then lets a lead-in pass.
    bool start(int leadInMs = 1500);
    // Ends the recording and loads it for measuring.
    bool stop();
    // Loads what has been recorded so far; returns its length in seconds.
    double load();
    QString errorString() const { return m_error; }
    QString fileName() const { return m_dir.filePath(QStringLiteral("monitor.raw")); }

    double duration() const { return static_cast<double>(m_peaks.size()) / kRate; }
    // First moment with any sound at or after a time; -1 if none.
    double firstSound(double fromSec = 0.0) const;
    // Where the sound playing at `fromSec` ends: the start of the first stretch
    // of digital silence of at least `minSilenceSec`, or the recording's end.
    double endOfSound(double fromSec, double minSilenceSec = 0.3) const;
    // Whether nothing at all was played between two times.
    bool silentBetween(double fromSec, double toSec) const;
    // Longest stretch (seconds) between two times in which every sample stays
    // below a faint level: a gap in what should be continuous sound.
    double longestQuietStretch(double fromSec, double toSec) const;

private:
    static constexpr int kRate = 44100;
    long frameAt(double s) const
    {
        return std::clamp(std::lround(s * kRate), 0L, std::ssize(m_peaks));
    }

    QString m_sink;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    std::vector<float> m_peaks; // the loudest channel of each frame, after load()
};

// A sound server of the test's own that it can kill and start again: a
// PulseAudio daemon with a null sink "zelmoro_null", listening on `socket`,
// its home in a temporary folder.
class SoundServer {
public:
    explicit SoundServer(const QString &socket) : m_socket(socket) {}
    ~SoundServer() { kill(); }
    // Starts it and waits until it accepts connections.
    bool start();
    void kill();
    // What pactl says when asked `arguments` of this server; empty on failure.
    QString pactl(const QStringList &arguments) const;
    QString address() const { return u"unix:"_qs + m_socket; }

private:
    QString m_socket;
    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace zelmoro::test

using namespace zelmoro;
