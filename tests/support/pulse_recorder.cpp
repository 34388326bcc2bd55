// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/pulse_recorder.h"

#include <QFile>

namespace zelmoro::test {

bool PulseRecorder::start(int leadInMs)
{
    m_process.setStandardOutputFile(fileName());
    m_process.start(u"parec"_qs, {u"-d"_qs, m_sink + u".monitor"_qs, u"--format=s16le"_qs,
                                  u"--rate=44100"_qs, u"--channels=2"_qs, u"--latency-msec=20"_qs});
    for (int i = 0; i < 200 && load() < 0.5 && m_process.state() != QProcess::NotRunning; ++i)
        letSoundPlay(50);
    letSoundPlay(leadInMs);
    return load() >= 0.5 && m_process.state() == QProcess::Running;
}

bool PulseRecorder::stop()
{
    m_process.terminate();
    m_process.waitForFinished(5000);
    return load() > 0;
}

double PulseRecorder::load()
{
    QFile file(fileName());
    const QByteArray raw = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const auto *samples = reinterpret_cast<const qint16 *>(raw.constData());
    m_peaks.resize(static_cast<std::size_t>(raw.size()) / 4);
    for (std::size_t f = 0; f < m_peaks.size(); ++f)
        m_peaks[f] =
            float(std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1]))) / 32768;
    return duration();
}

double PulseRecorder::find(double fromSec, long length, float level, bool quiet) const
{
    for (long f = frameAt(fromSec), run = 0; f < std::ssize(m_peaks); ++f) {
        run = (m_peaks[std::size_t(f)] <= level) == quiet ? run + 1 : 0;
        if (run == length)
            return double(f + 1 - length) / kRate;
    }
    return -1.0;
}

double PulseRecorder::longestQuietStretch(double fromSec, double toSec) const
{
    long longest = 0;
    for (long f = frameAt(fromSec), run = 0; f < frameAt(toSec); ++f)
        longest = std::max(longest, run = m_peaks[std::size_t(f)] < 0.002f ? run + 1 : 0);
    return double(longest) / kRate;
}

} // namespace zelmoro::test
