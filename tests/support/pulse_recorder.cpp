// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/pulse_recorder.h"

#include <QFileInfo>

#include <sndfile.h>

namespace zelmoro::test {

constexpr float kQuietLevel = 0.002f; // fainter samples count as quiet

QString testSink()
{
    return qEnvironmentVariable("ZELMORO_TEST_SINK");
}

bool desktopRequired()
{
    return qEnvironmentVariable("ZELMORO_REQUIRE_DESKTOP") == QLatin1String("1");
}

void letSoundPlay(int milliseconds)
{
    QTest::qWait(milliseconds);
}

bool PulseRecorder::start(int leadInMs)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("parecord"),
                    QStringLiteral("--latency-msec=50 --format=s16le --rate=44100 --channels=2 "
                                   "--file-format=wav -d")
                            .split(QLatin1Char(' '))
                        << testSink() + QStringLiteral(".monitor") << fileName());
    letSoundPlay(leadInMs);
    // A null sink that has been idle starts late: wait for half a second of
    // sound (and the file's header).
    const auto recorded = [this] { return QFileInfo(fileName()).size() >= 1024 + kRate * 2; };
    for (int i = 0; i < 160 && !recorded() && m_process.state() == QProcess::Running; ++i)
        letSoundPlay(50);
    m_error = QStringLiteral("parecord records nothing from ") + testSink();
    return recorded() && m_process.state() == QProcess::Running;
}

bool PulseRecorder::stop()
{
    m_process.terminate(); // parecord completes the file's header on SIGTERM
    m_process.waitForFinished(5000);
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(fileName()).constData(), SFM_READ, &info);
    std::vector<float> samples(file ? static_cast<std::size_t>(info.frames) * 2 : 0);
    if (file) {
        sf_readf_float(file, samples.data(), info.frames);
        sf_close(file);
    }
    m_peaks.resize(samples.size() / 2);
    for (std::size_t f = 0; f < m_peaks.size(); ++f)
        m_peaks[f] = std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1]));
    m_error = QStringLiteral("the recording is empty or unreadable");
    return !m_peaks.empty();
}

double PulseRecorder::firstSound(double fromSec) const
{
    const auto sound = std::find_if(m_peaks.begin() + frameAt(fromSec), m_peaks.end(),
                                    [](float peak) { return peak > 0.0f; });
    return sound == m_peaks.end() ? -1.0 : static_cast<double>(sound - m_peaks.begin()) / kRate;
}

double PulseRecorder::endOfSound(double fromSec, double minSilenceSec) const
{
    const auto silence = std::search_n(m_peaks.begin() + frameAt(fromSec), m_peaks.end(),
                                       std::lround(minSilenceSec * kRate), 0.0f);
    return static_cast<double>(silence - m_peaks.begin()) / kRate;
}

bool PulseRecorder::silentBetween(double fromSec, double toSec) const
{
    const double sound = firstSound(fromSec);
    return sound < 0.0 || sound >= toSec;
}

double PulseRecorder::longestQuietStretch(double fromSec, double toSec) const
{
    long longest = 0;
    long run = 0;
    for (long f = frameAt(fromSec); f < frameAt(toSec); ++f) {
        run = m_peaks[static_cast<std::size_t>(f)] < kQuietLevel ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return static_cast<double>(longest) / kRate;
}

} // namespace zelmoro::test
