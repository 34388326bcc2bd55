// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/sink_recording.h"

#include <QtTest/QtTest>

#include <algorithm>
#include <cstdlib>

namespace zelmoro::test {

QString pactl(const QString &arguments)
{
    QProcess process;
    process.start(u"pactl"_qs, QProcess::splitCommand(arguments));
    if (!process.waitForFinished(5000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool useOwnSound(const QString &dir, const QByteArray &alsaDefault)
{
    if (QStandardPaths::findExecutable(u"pulseaudio"_qs).isEmpty() &&
        qgetenv("ZELMORO_REQUIRE_DESKTOP") != "1")
        return false;
    for (const char *home :
         {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        qputenv(home, dir.toUtf8()); // none of the caller's, whoever runs this
    qputenv("PULSE_SERVER", "unix:" + dir.toUtf8() + "/native");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.toUtf8() + "/none");
    QFile alsa(dir + u"/asound.conf"_qs);
    if (alsa.open(QIODevice::WriteOnly))
        alsa.write("pcm.!default " + alsaDefault + "\n");
    qputenv("ALSA_CONFIG_PATH", alsa.fileName().toUtf8());
    return true;
}

void startServer(QProcess &server, const QString &dir, const QString &modules)
{
    server.start(u"pulseaudio"_qs,
                 QProcess::splitCommand(u"--daemonize=no --exit-idle-time=-1 -n -L "
                                        "\"module-native-protocol-unix auth-anonymous=1 "
                                        "socket='%1/native'\" "_qs.arg(dir) +
                                        modules));
    QTRY_VERIFY_WITH_TIMEOUT(!pactl(u"info"_qs).isEmpty(), 10000);
}

SinkRecording::SinkRecording(const QString &sink, const QString &file) : m_recording(file)
{
    m_parec.setStandardOutputFile(file);
    m_parec.start(u"parec"_qs, {u"-d"_qs, sink + u".monitor"_qs, u"--rate=44100"_qs,
                                u"--format=s16le"_qs, u"--channels=2"_qs, u"--latency-msec=20"_qs});
    QTRY_VERIFY_WITH_TIMEOUT(seconds() >= 0.3, 10000);
}

SinkRecording::~SinkRecording()
{
    m_parec.kill();
    m_parec.waitForFinished();
}

double SinkRecording::seconds()
{
    if (!m_recording.isOpen() && !m_recording.open(QIODevice::ReadOnly))
        return 0;
    m_pending += m_recording.readAll();
    const auto *samples = reinterpret_cast<const qint16 *>(m_pending.constData());
    const auto frames = std::size_t(m_pending.size()) / 4;
    for (std::size_t f = 0; f < frames; ++f)
        m_peaks.push_back(std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1])));
    m_pending.remove(0, qsizetype(frames * 4));
    return double(m_peaks.size()) / kRate;
}

int SinkRecording::peak(double from, double to) const
{
    const auto end = std::min(m_peaks.size(), std::size_t(to * kRate));
    const auto begin = std::min(end, std::size_t(from * kRate));
    if (begin >= end)
        return 0;
    return *std::max_element(m_peaks.begin() + long(begin), m_peaks.begin() + long(end));
}

double SinkRecording::firstAt(double from, int level, double length, int tolerance) const
{
    std::size_t run = 0;
    for (auto f = std::size_t(from * kRate); f < m_peaks.size(); ++f) {
        const bool hit =
            length > 0 ? std::abs(m_peaks[f] - level) <= tolerance : m_peaks[f] >= level;
        run = hit ? run + 1 : 0;
        if (hit && double(run) / kRate >= length)
            return double(f + 1 - run) / kRate;
    }
    return -1;
}

SinkRecording::Heard SinkRecording::heard(double from) const
{
    constexpr int kFaint = 66; // 0.2 % of full scale
    Heard h;
    std::size_t quiet = 0;
    std::size_t longest = 0;
    for (auto f = std::size_t(from * kRate); f < m_peaks.size() && quiet < kRate * 3 / 10; ++f) {
        if (h.start < 0 && m_peaks[f] == 0)
            continue;
        if (h.start < 0)
            h.start = double(f) / kRate;
        h.peak = std::max(h.peak, m_peaks[f]);
        if (m_peaks[f] < kFaint) { // a gap once sound follows it
            ++quiet;
        } else {
            longest = std::max(longest, quiet);
            quiet = 0;
        }
        h.length = double(f + 1 - quiet) / kRate - h.start;
    }
    h.gap = double(longest) / kRate;
    return h;
}

} // namespace zelmoro::test
