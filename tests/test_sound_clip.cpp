// Decoding, lookup and feeding of sounds, without a sound server.

#include "platform/pulse_sound_player.h"
#include "platform/sound_clip.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include <sndfile.h>

#include <vector>

using platform::SoundClip;

namespace
{

// Writes a sound file with libsndfile: `frames` frames of a constant value.
bool writeSound(const QString &path, int format, int channels, int frames, float value = 0.25f)
{
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = format;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> samples(static_cast<std::size_t>(frames * channels), value);
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c)
            samples[static_cast<std::size_t>(f * channels + c)] =
                value * static_cast<float>(c + 1) / 4;
    }
    sf_writef_float(file, samples.data(), frames);
    return sf_close(file) == 0;
}

SoundClip rampClip(int frames, int channels)
{
    SoundClip clip;
    clip.sampleRate = 44100;
    clip.channels = channels;
    for (int i = 0; i < frames * channels; ++i)
        clip.samples.push_back(static_cast<std::int16_t>(i + 1));
    return clip;
}

} // namespace

class TestSoundClip : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void beloraIsAFewSecondsOf16BitPcm()
    {
        const QString sound = qEnvironmentVariable("ZELMORO_SOUND");
        QVERIFY2(QFileInfo::exists(sound), "ZELMORO_SOUND must name the generated belora.wav");
        SF_INFO info{};
        SNDFILE *file = sf_open(QFile::encodeName(sound).constData(), SFM_READ, &info);
        QVERIFY(file);
        sf_close(file);
        QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        QCOMPARE(info.samplerate, 44100);
        const double seconds = static_cast<double>(info.frames) / info.samplerate;
        QCOMPARE_GE(seconds, 2.0);
        QCOMPARE_LE(seconds, 3.0);

        const auto clip = platform::loadWaveFile(sound);
        QVERIFY(clip);
        QCOMPARE(clip->frames(), static_cast<qint64>(info.frames));
        QCOMPARE(clip->channels, info.channels);
    }

    void unusableFilesGiveNoSound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("text") << "text";
        QTest::newRow("directory") << "directory";
        QTest::newRow("AIFF, not WAVE") << "aiff";
        QTest::newRow("WAVE without samples") << "silent";
    }

    void unusableFilesGiveNoSound()
    {
        QFETCH(QString, kind);
        const QString path = m_dir.filePath(kind + QStringLiteral(".wav"));
        if (kind == QLatin1String("empty") || kind == QLatin1String("text")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("text"))
                file.write(QByteArray("RIFF is not all it takes to be a sound.\n").repeated(40));
        } else if (kind == QLatin1String("directory")) {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == QLatin1String("aiff")) {
            QVERIFY(writeSound(path, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 4410));
        } else if (kind == QLatin1String("silent")) {
            QVERIFY(writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 0));
        }
        QVERIFY(!platform::loadWaveFile(path));

        // Without a fallback the player refuses such a file (and stays idle).
        platform::PulseSoundPlayer player;
        QVERIFY(!player.play(path, platform::SND_ASYNC | platform::SND_NODEFAULT));
        QVERIFY(!player.isPlaying());
    }

    void waveFilesBecome16BitStereoAtMost_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("keptChannels");
        QTest::newRow("16-bit mono") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << 1 << 1;
        QTest::newRow("float stereo") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 2 << 2;
        QTest::newRow("24-bit, four channels") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 4 << 2;
    }

    void waveFilesBecome16BitStereoAtMost()
    {
        QFETCH(int, format);
        QFETCH(int, channels);
        QFETCH(int, keptChannels);
        const QString path = m_dir.filePath(QStringLiteral("decoded.wav"));
        QVERIFY(writeSound(path, format, channels, 1000, 1.0f));
        const auto clip = platform::loadWaveFile(path);
        QVERIFY(clip);
        QCOMPARE(clip->sampleRate, 44100);
        QCOMPARE(clip->channels, keptChannels);
        QCOMPARE(clip->frames(), qint64{1000});
        // Channel c holds (c + 1) / 4 of full scale in every frame.
        for (int c = 0; c < keptChannels; ++c) {
            const int sample = clip->samples[static_cast<std::size_t>(500 * keptChannels + c)];
            QCOMPARE_LE(std::abs(sample - 8192 * (c + 1)), 1);
        }
    }

    void bareNamesAreLookedUpInOrder()
    {
        const QString appCopy =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("belora.wav"));
        QVERIFY2(QFileInfo::exists(appCopy), "belora.wav is generated next to the test programs");
        const QString before = QDir::currentPath();
        QTemporaryDir cwd;
        QVERIFY(QDir::setCurrent(cwd.path()));
        // Not in the current directory: the program's directory.
        const QString fromAppDir = platform::findSoundFile(QStringLiteral("belora.wav"));
        // In the current directory: that one comes first.
        QFile(cwd.filePath(QStringLiteral("belora.wav"))).open(QIODevice::WriteOnly);
        const QString fromCwd = platform::findSoundFile(QStringLiteral("belora.wav"));
        const QString missing =
            platform::findSoundFile(QStringLiteral("no_such_zelmoro_sound.wav"));
        const QString withDir = platform::findSoundFile(QStringLiteral("sub/belora.wav"));
        QVERIFY(QDir::setCurrent(before));

        QCOMPARE(QFileInfo(fromAppDir).canonicalFilePath(), QFileInfo(appCopy).canonicalFilePath());
        QCOMPARE(QFileInfo(fromCwd).canonicalFilePath(),
                 QFileInfo(cwd.filePath(QStringLiteral("belora.wav"))).canonicalFilePath());
        QCOMPARE(missing, QStringLiteral("no_such_zelmoro_sound.wav"));
        QCOMPARE(withDir, QStringLiteral("sub/belora.wav"));
    }

    void onceGivesTheClipThenSilenceThenEnds()
    {
        const SoundClip clip = rampClip(1000, 2); // 4000 bytes
        platform::ClipDevice device(clip, false);
        device.setTailBytes(400);
        QCOMPARE(device.bytesAvailable(), qint64{4400});
        QByteArray all;
        char buffer[333];
        for (qint64 n; (n = device.read(buffer, sizeof buffer)) > 0;)
            all.append(buffer, n);
        QCOMPARE(all.size(), 4400);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(clip.samples.data()), 4000),
                 all.left(4000));
        QCOMPARE(all.mid(4000), QByteArray(400, '\0'));
        QVERIFY(device.atEnd());
        QCOMPARE(device.read(buffer, sizeof buffer), qint64{0});
    }

    void loopJoinsTheEndToTheStartWithoutEnding()
    {
        const SoundClip clip = rampClip(1000, 1); // 2000 bytes
        platform::ClipDevice device(clip, true);
        const QByteArray once(reinterpret_cast<const char *>(clip.samples.data()), 2000);
        QByteArray all;
        char buffer[1234]; // crosses the joint at changing places
        while (all.size() < 7000)
            all.append(buffer, device.read(buffer, sizeof buffer));
        QVERIFY(!device.atEnd());
        QCOMPARE(all.left(6000), once + once + once);
    }

    void fallbackIsAnAudibleBell()
    {
        const SoundClip &bell = platform::fallbackChime();
        QCOMPARE_GT(bell.seconds(), 0.2);
        QCOMPARE_LT(bell.seconds(), 2.0);
        double energy = 0;
        for (std::int16_t s : bell.samples)
            energy += static_cast<double>(s) * s;
        const double rms = std::sqrt(energy / static_cast<double>(bell.samples.size())) / 32768.0;
        QCOMPARE_GT(rms, 0.02);
    }
};

QTEST_GUILESS_MAIN(TestSoundClip)
#include "test_sound_clip.moc"
