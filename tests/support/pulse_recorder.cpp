// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/pulse_recorder.h"

#include <QFile>

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
    m_process.setStandardOutputFile(fileName());
    m_process.start(u"parec"_qs, {u"-d"_qs, m_sink + u".monitor"_qs, u"--format=s16le"_qs,
                                  u"--rate=44100"_qs, u"--channels=2"_qs, u"--latency-msec=20"_qs});
    m_error = u"parec records nothing from "_qs + m_sink;
    for (int i = 0; i < 200 && load() < 0.5 && m_process.state() != QProcess::NotRunning; ++i)
        letSoundPlay(50);
    letSoundPlay(leadInMs);
    return load() >= 0.5 && m_process.state() == QProcess::Running;
}

bool PulseRecorder::stop()
{
    m_process.terminate();
    m_process.waitForFinished(5000);
    m_error = u"the recording is empty or unreadable"_qs;
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
            static_cast<float>(std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1]))) /
            32768.0f;
    return duration();
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

bool SoundServer::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_qs, m_dir.path());
    env.insert(u"XDG_RUNTIME_DIR"_qs, m_dir.path());
    m_process.setProcessEnvironment(env);
    m_process.start(u"pulseaudio"_qs,
                    {u"--daemonize=no"_qs, u"--exit-idle-time=-1"_qs, u"-n"_qs, u"-L"_qs,
                     u"module-native-protocol-unix auth-anonymous=1 socket="_qs + m_socket,
                     u"-L"_qs,
                     u"module-null-sink sink_name=zelmoro_null rate=44100 channels=2"_qs});
    for (int i = 0; i < 250 && m_process.state() != QProcess::NotRunning; ++i) {
        if (!pactl({u"info"_qs}).isEmpty())
            return true;
        QTest::qWait(20);
    }
    return false;
}

QString SoundServer::pactl(const QStringList &arguments) const
{
    QProcess process;
    process.start(u"pactl"_qs, QStringList{u"-s"_qs, address()} + arguments);
    process.waitForFinished(5000);
    return process.exitCode() == 0 ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
}

void SoundServer::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

} // namespace zelmoro::test
