#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <vector>

namespace testing
{

// A WAVE file read into memory: interleaved samples, full scale 1.0.
struct Wave {
    std::vector<float> samples;
    int rate = 0;
    int channels = 0;
};
Wave readWave(const QString &path);

// The null sink of the private sound server that audio tests listen to
// (ZELMORO_TEST_SINK), or empty when the tests run without one.
QString testSink();

// True when ZELMORO_REQUIRE_DESKTOP=1: then a missing sink fails the test.
bool desktopRequired();

// Lets wall-clock time pass while Qt events are processed. Sound takes real
// time to play; tests of the sound output wait with this and nothing else.
void letSoundPlay(int milliseconds);

// Skips the calling test cleanly when there is no test sink, or fails it when
// the desktop session is required.
#define ZELMORO_REQUIRE_TEST_SINK()                                                                \
    do {                                                                                           \
        if (::testing::testSink().isEmpty()) {                                                     \
            if (::testing::desktopRequired())                                                      \
                QFAIL("ZELMORO_REQUIRE_DESKTOP=1 but ZELMORO_TEST_SINK is not set");               \
            QSKIP("no test sound sink: ZELMORO_TEST_SINK is not set");                             \
        }                                                                                          \
    } while (false)

// Records what the test sink plays (its monitor source) into a WAVE file with
// parecord, and measures the recording afterwards. Times are seconds from the
// start of the recording. Recording starts about 1.5 s before anything is
// played, since a freshly started null sink delivers its first audio late.
class PulseRecorder
{
public:
    // `server` names the sound server (as in PULSE_SERVER); empty: the
    // session's.
    explicit PulseRecorder(QString sink = testSink(), QString server = {});
    ~PulseRecorder();
    PulseRecorder(const PulseRecorder &) = delete;
    PulseRecorder &operator=(const PulseRecorder &) = delete;

    // Starts recording and lets the lead-in pass. False (with errorString())
    // when parecord cannot be started.
    bool start(int leadInMs = 1500);
    // Ends the recording and loads it for measuring.
    bool stop();
    QString errorString() const { return m_error; }
    QString fileName() const;

    double duration() const;
    // RMS amplitude (full scale 1.0) between two times, measured with sox.
    double rmsBetween(double fromSec, double toSec) const;
    // Whether the sink plays something audible in the window around a time.
    bool soundingAt(double sec, double windowSec = 0.1) const;
    // Whether nothing at all (digital silence) was played between two times.
    bool silentBetween(double fromSec, double toSec) const;

    // First and last moment with any sound at or after a time; -1 if none.
    double firstSound(double afterSec = 0.0) const;
    double lastSound() const;
    // Where the sound that plays at `fromSec` ends: the start of the first
    // stretch of digital silence of at least `minSilenceSec` after it, or the
    // end of the recording.
    double endOfSound(double fromSec, double minSilenceSec = 0.3) const;
    // Longest stretch (seconds) between two times in which every sample stays
    // below the quiet level: a gap in what should be continuous sound.
    double longestQuietStretch(double fromSec, double toSec) const;
    // How far the recording between two times departs from repeating itself
    // every `periodFrames` frames: RMS of x(t) - x(t + period) over RMS of x.
    // 0 for an exactly repeating loop.
    double periodMismatch(double fromSec, double toSec, long periodFrames) const;
    // How far the recording starting at `atSec` departs from the WAVE file
    // `reference` between the file's own times `refFrom` and `refTo`:
    // RMS of the difference over RMS of the reference. 0 for an exact copy.
    double mismatchWith(const QString &reference, double atSec, double refFrom, double refTo) const;

    // Where the WAVE file `reference` starts in the recording, given the time
    // its sound was first heard: the start may lie up to kMonitorLoss earlier
    // (see there). Found by matching the file just after that stretch.
    double alignWith(const QString &reference, double heardSec) const;

    int sampleRate() const { return m_rate; }
    static constexpr double kSoundLevel = 0.005; // RMS above this is audible sound
    static constexpr double kQuietLevel = 0.002; // samples below this count as quiet
    // A sink that mixes in a new stream rewinds what it had already rendered;
    // its monitor has sent that stretch on and does not repeat it, so up to
    // this much of the start of a sound can be missing from a recording.
    static constexpr double kMonitorLoss = 0.1;

private:
    long frameAt(double sec) const;
    float peakAt(long frame) const; // loudest channel of one frame
    double mismatch(const Wave &ref, double atSec, double refFrom, double refTo) const;

    QString m_sink;
    QString m_server;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    std::vector<float> m_samples; // interleaved, after stop()
    int m_rate = 0;
    int m_channels = 0;
};

} // namespace testing
