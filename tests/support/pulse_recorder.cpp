#include "support/pulse_recorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace testing
{

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

Wave readWave(const QString &path)
{
    Wave wave;
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return wave;
    wave.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, wave.samples.data(), info.frames);
    wave.samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(got, 0) * info.channels));
    wave.rate = info.samplerate;
    wave.channels = info.channels;
    sf_close(file);
    return wave;
}

namespace
{

constexpr qint64 kHeaderBytes = 1024; // more than any header parecord writes

} // namespace

PulseRecorder::PulseRecorder(QString sink, QString server)
    : m_sink(std::move(sink)), m_server(std::move(server))
{
}

PulseRecorder::~PulseRecorder()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString PulseRecorder::fileName() const
{
    return m_dir.filePath(QStringLiteral("monitor.wav"));
}

bool PulseRecorder::start(int leadInMs)
{
    m_samples.clear();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!m_server.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), m_server);
        m_process.setProcessEnvironment(env);
    }
    m_process.start(QStringLiteral("parecord"),
                    {QStringLiteral("--latency-msec=50"), QStringLiteral("-d"),
                     m_sink + QStringLiteral(".monitor"), QStringLiteral("--file-format=wav"),
                     QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                     QStringLiteral("--channels=2"), fileName()});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("parecord did not start: ") + m_process.errorString();
        return false;
    }
    // A null sink that has been idle delivers its first audio up to a couple
    // of seconds late: wait until half a second has really been recorded.
    QElapsedTimer waited;
    waited.start();
    const qint64 wanted = kHeaderBytes + 44100 * 4 / 2;
    while (QFileInfo(fileName()).size() < wanted || waited.elapsed() < leadInMs) {
        if (m_process.state() != QProcess::Running) {
            m_error =
                QStringLiteral("parecord ended early (exit code %1)").arg(m_process.exitCode());
            return false;
        }
        if (waited.elapsed() > leadInMs + 8000) {
            m_error = QStringLiteral("parecord records nothing from ") + m_sink;
            return false;
        }
        letSoundPlay(50);
    }
    return true;
}

bool PulseRecorder::stop()
{
    if (m_process.state() == QProcess::NotRunning) {
        m_error = QStringLiteral("parecord is not running");
        return false;
    }
    m_process.terminate(); // parecord completes the file's header on SIGTERM
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
        m_error = QStringLiteral("parecord did not end on request");
        return false;
    }
    Wave wave = readWave(fileName());
    m_samples = std::move(wave.samples);
    m_rate = wave.rate;
    m_channels = wave.channels;
    if (m_samples.empty()) {
        m_error = QStringLiteral("the recording is empty or unreadable");
        return false;
    }
    return true;
}

double PulseRecorder::duration() const
{
    return m_rate > 0 ? static_cast<double>(m_samples.size()) / m_channels / m_rate : 0.0;
}

double PulseRecorder::rmsBetween(double fromSec, double toSec) const
{
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {fileName(), QStringLiteral("-n"), QStringLiteral("trim"), QString::number(fromSec),
               QString::number(toSec - fromSec), QStringLiteral("stat")});
    if (!sox.waitForFinished(10000))
        return -1.0;
    static const QRegularExpression rms(QStringLiteral(R"(RMS\s+amplitude:\s+([0-9.eE+-]+))"));
    const QRegularExpressionMatch match =
        rms.match(QString::fromLocal8Bit(sox.readAllStandardError()));
    return match.hasMatch() ? match.captured(1).toDouble() : -1.0;
}

bool PulseRecorder::soundingAt(double sec, double windowSec) const
{
    return rmsBetween(sec - windowSec / 2, sec + windowSec / 2) > kSoundLevel;
}

bool PulseRecorder::silentBetween(double fromSec, double toSec) const
{
    for (long f = frameAt(fromSec), end = frameAt(toSec); f < end; ++f) {
        if (peakAt(f) > 0.0f)
            return false;
    }
    return true;
}

long PulseRecorder::frameAt(double sec) const
{
    const long frames = m_channels > 0 ? static_cast<long>(m_samples.size()) / m_channels : 0;
    return std::clamp(std::lround(sec * m_rate), 0L, frames);
}

float PulseRecorder::peakAt(long frame) const
{
    float peak = 0.0f;
    for (int c = 0; c < m_channels; ++c)
        peak =
            std::max(peak, std::abs(m_samples[static_cast<std::size_t>(frame * m_channels + c)]));
    return peak;
}

double PulseRecorder::firstSound(double afterSec) const
{
    for (long f = frameAt(afterSec), end = frameAt(duration()); f < end; ++f) {
        if (peakAt(f) > 0.0f)
            return static_cast<double>(f) / m_rate;
    }
    return -1.0;
}

double PulseRecorder::lastSound() const
{
    for (long f = frameAt(duration()) - 1; f >= 0; --f) {
        if (peakAt(f) > 0.0f)
            return static_cast<double>(f) / m_rate;
    }
    return -1.0;
}

double PulseRecorder::endOfSound(double fromSec, double minSilenceSec) const
{
    const long needed = std::max(1L, std::lround(minSilenceSec * m_rate));
    long run = 0;
    const long end = frameAt(duration());
    for (long f = frameAt(fromSec); f < end; ++f) {
        run = peakAt(f) > 0.0f ? 0 : run + 1;
        if (run == needed)
            return static_cast<double>(f + 1 - run) / m_rate;
    }
    return static_cast<double>(end - run) / m_rate;
}

double PulseRecorder::longestQuietStretch(double fromSec, double toSec) const
{
    long longest = 0;
    long run = 0;
    for (long f = frameAt(fromSec), end = frameAt(toSec); f < end; ++f) {
        run = peakAt(f) < kQuietLevel ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return static_cast<double>(longest) / m_rate;
}

double PulseRecorder::periodMismatch(double fromSec, double toSec, long periodFrames) const
{
    const long end = frameAt(toSec) - periodFrames;
    double diff = 0.0;
    double energy = 0.0;
    for (long f = frameAt(fromSec); f < end; ++f) {
        for (int c = 0; c < m_channels; ++c) {
            const double a = m_samples[static_cast<std::size_t>(f * m_channels + c)];
            const double b =
                m_samples[static_cast<std::size_t>((f + periodFrames) * m_channels + c)];
            diff += (a - b) * (a - b);
            energy += a * a;
        }
    }
    return energy > 0.0 ? std::sqrt(diff / energy) : 1.0;
}

double PulseRecorder::alignWith(const QString &reference, double heardSec) const
{
    const Wave ref = readWave(reference);
    double best = -1.0;
    double bestMismatch = 2.0;
    const long from = std::lround((heardSec - kMonitorLoss) * m_rate);
    const long to = std::lround(heardSec * m_rate) + 1;
    for (long frame = std::max(0L, from); frame <= to; ++frame) {
        const double at = static_cast<double>(frame) / m_rate;
        const double m = mismatch(ref, at, kMonitorLoss, kMonitorLoss + 0.05);
        if (m < bestMismatch) {
            bestMismatch = m;
            best = at;
        }
    }
    return best;
}

double PulseRecorder::mismatchWith(const QString &reference, double atSec, double refFrom,
                                   double refTo) const
{
    return mismatch(readWave(reference), atSec, refFrom, refTo);
}

double PulseRecorder::mismatch(const Wave &ref, double atSec, double refFrom, double refTo) const
{
    if (ref.samples.empty() || ref.rate != m_rate)
        return 1.0;
    const long refFrames = static_cast<long>(ref.samples.size()) / ref.channels;
    const long first = std::clamp(std::lround(refFrom * ref.rate), 0L, refFrames);
    const long last = std::clamp(std::lround(refTo * ref.rate), 0L, refFrames);
    const long offset = std::lround(atSec * m_rate);
    const long recFrames = static_cast<long>(m_samples.size()) / m_channels;
    double diff = 0.0;
    double energy = 0.0;
    for (long f = first; f < last; ++f) {
        for (int c = 0; c < m_channels; ++c) {
            const double want = ref.samples[static_cast<std::size_t>(
                f * ref.channels + std::min(c, ref.channels - 1))];
            const long r = f + offset;
            const double got = r >= 0 && r < recFrames
                                   ? m_samples[static_cast<std::size_t>(r * m_channels + c)]
                                   : 0.0;
            diff += (want - got) * (want - got);
            energy += want * want;
        }
    }
    return energy > 0.0 ? std::sqrt(diff / energy) : 1.0;
}

} // namespace testing
