// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QProcess>
#include <QtTest/QtTest>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zelmoro::test {

// What a sink plays after its own volume and mute, recorded at its monitor by
// parec (through this process's PULSE_SERVER) as raw 16-bit stereo at 44.1 kHz
// into a file that is measured as it grows.
class SinkRecording {
public:
    static constexpr int kRate = 44100;

    SinkRecording(QString sink, QString file) : m_sink(std::move(sink)), m_file(std::move(file)) {}
    ~SinkRecording()
    {
        m_parec.kill();
        m_parec.waitForFinished();
    }

    // Records once the monitor delivers (a fresh null sink's monitor starts late).
    void start()
    {
        m_parec.setStandardOutputFile(m_file);
        m_parec.start(u"parec"_qs,
                      {u"-d"_qs, m_sink + u".monitor"_qs, u"--rate=44100"_qs, u"--format=s16le"_qs,
                       u"--channels=2"_qs, u"--latency-msec=20"_qs});
        QTRY_VERIFY_WITH_TIMEOUT(seconds() >= 0.3, 10000);
    }
    // Reads what has been recorded since the last call; the length in seconds.
    double seconds()
    {
        if (!m_recording.isOpen()) {
            m_recording.setFileName(m_file);
            m_recording.open(QIODevice::ReadOnly);
        }
        m_pending += m_recording.readAll();
        const auto frames = std::size_t(m_pending.size()) / 4;
        const auto *samples = reinterpret_cast<const qint16 *>(m_pending.constData());
        for (std::size_t f = 0; f < frames; ++f)
            m_peaks.push_back(std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1])));
        m_pending.remove(0, qsizetype(frames * 4));
        return double(m_peaks.size()) / kRate;
    }
    // The loudest sample between two instants (seconds into the recording).
    int peak(double from, double to) const
    {
        const auto begin = std::min(m_peaks.size(), std::size_t(from * kRate));
        const auto end = std::min(m_peaks.size(), std::size_t(to * kRate));
        return begin < end
                   ? *std::max_element(m_peaks.begin() + long(begin), m_peaks.begin() + long(end))
                   : 0;
    }
    // The first instant at or after `from` whose sample reaches `level`; -1: none.
    double firstAt(double from, int level) const
    {
        for (auto f = std::size_t(from * kRate); f < m_peaks.size(); ++f)
            if (m_peaks[f] >= level)
                return double(f) / kRate;
        return -1;
    }
    // The first instant at or after `from` that begins `length` seconds of
    // samples all within `tolerance` of `level` (a steady square wave); -1: none.
    double steadyAt(double from, int level, double length, int tolerance = 3) const
    {
        std::size_t run = 0;
        for (auto f = std::size_t(from * kRate); f < m_peaks.size(); ++f) {
            run = std::abs(m_peaks[f] - level) <= tolerance ? run + 1 : 0;
            if (double(run) / kRate >= length)
                return double(f + 1 - run) / kRate;
        }
        return -1;
    }
    // The longest stretch below `level` between two instants, in seconds.
    double longestQuiet(double from, double to, int level) const
    {
        std::size_t run = 0, longest = 0;
        const auto end = std::min(m_peaks.size(), std::size_t(to * kRate));
        for (auto f = std::size_t(from * kRate); f < end; ++f) {
            run = m_peaks[f] < level ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        return double(longest) / kRate;
    }

private:
    QString m_sink, m_file;
    QProcess m_parec;
    QFile m_recording;
    QByteArray m_pending;     // part of a frame
    std::vector<int> m_peaks; // the louder channel of each frame
};

} // namespace zelmoro::test
