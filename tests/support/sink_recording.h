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
// into a file that is read as it grows.
class SinkRecording {
public:
    static constexpr int kRate = 44100;

    // Records once the monitor delivers (a fresh null sink's monitor starts late).
    SinkRecording(const QString &sink, const QString &file) : m_recording(file)
    {
        m_parec.setStandardOutputFile(file);
        m_parec.start(u"parec"_qs,
                      {u"-d"_qs, sink + u".monitor"_qs, u"--rate=44100"_qs, u"--format=s16le"_qs,
                       u"--channels=2"_qs, u"--latency-msec=20"_qs});
        QTRY_VERIFY_WITH_TIMEOUT(seconds() >= 0.3, 10000);
    }
    ~SinkRecording()
    {
        m_parec.kill();
        m_parec.waitForFinished();
    }
    // Reads what has been recorded since the last call; the length in seconds.
    double seconds()
    {
        if (!m_recording.isOpen() && !m_recording.open(QIODevice::ReadOnly))
            return 0;
        m_pending += m_recording.readAll();
        const auto *samples = reinterpret_cast<const qint16 *>(m_pending.constData());
        const auto frames = std::size_t(m_pending.size()) / 4;
        for (std::size_t f = 0; f < frames; ++f) // the louder channel of each frame
            m_peaks.push_back(std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1])));
        m_pending.remove(0, qsizetype(frames * 4));
        return double(m_peaks.size()) / kRate;
    }
    // The loudest sample between two instants (seconds into the recording).
    int peak(double from, double to) const
    {
        const auto end = std::min(m_peaks.size(), std::size_t(to * kRate));
        const auto begin = std::min(end, std::size_t(from * kRate));
        return begin < end
                   ? *std::max_element(m_peaks.begin() + long(begin), m_peaks.begin() + long(end))
                   : 0;
    }
    // The first instant from `from` on that begins `length` seconds of samples
    // all within `tolerance` of `level` (`length` 0: any sample reaching it); -1: none.
    double firstAt(double from, int level, double length = 0, int tolerance = 3) const
    {
        for (auto f = std::size_t(from * kRate), run = std::size_t(0); f < m_peaks.size(); ++f) {
            const bool hit =
                length > 0 ? std::abs(m_peaks[f] - level) <= tolerance : m_peaks[f] >= level;
            run = hit ? run + 1 : 0;
            if (hit && double(run) / kRate >= length)
                return double(f + 1 - run) / kRate;
        }
        return -1;
    }

private:
    QProcess m_parec;
    QFile m_recording;
    QByteArray m_pending; // part of a frame
    std::vector<int> m_peaks;
};

} // namespace zelmoro::test
