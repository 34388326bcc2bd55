// The sound player with no sound server at all: the program goes on normally.
// The player runs in a child process (this program started again) whose
// PULSE_SERVER names a server that is not there.

#include "support/sound_child.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest/QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using testing::ChildReport;

namespace {

constexpr int kRunMs = 4000;      // longer than the audio backend's 3 s reconnect delay
constexpr qint64 kPromptMs = 200; // longest time any call may take

// Leaves a socket file behind with nobody listening, as a killed server does.
bool makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (static_cast<std::size_t>(name.size()) >= sizeof(address.sun_path)) {
        ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class TestSoundPlayerNoServer : public QObject {
    Q_OBJECT

private slots:
    void programRunsOnWithoutSound_data()
    {
        QTest::addColumn<bool>("staleSocket");
        QTest::newRow("no socket") << false;
        QTest::newRow("socket of a dead server") << true;
    }

    void programRunsOnWithoutSound()
    {
        QFETCH(bool, staleSocket);
        QTemporaryDir dir;
        const QString socket = dir.filePath(QStringLiteral("native"));
        if (staleSocket)
            QVERIFY(makeStaleSocket(socket));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        const QString sound = qEnvironmentVariable("ZELMORO_SOUND", QStringLiteral("belora.wav"));

        QProcess child;
        child.setProcessEnvironment(env);
        QElapsedTimer ran;
        ran.start();
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(testing::kSoundChildArg), sound, QString::number(kRunMs)});
        QVERIFY(child.waitForStarted(5000));
        // No hang: the child ends on its own, on time.
        QVERIFY2(child.waitForFinished(kRunMs + 10000), "the program hangs without a sound server");
        QCOMPARE_LT(ran.elapsed(), kRunMs + 5000);
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        // At most one warning on standard error for the whole run.
        const QByteArray errors = child.readAllStandardError().trimmed();
        const qsizetype errorLines = errors.isEmpty() ? 0 : errors.count('\n') + 1;
        QVERIFY2(errorLines <= 1, errors.constData());

        const QList<ChildReport> reports =
            testing::parseChildReports(child.readAllStandardOutput());
        qint64 slowest = 0;
        int calls = 0;
        int loopCalls = 0;
        int ticks = 0;
        for (const ChildReport &report : reports) {
            QVERIFY(!report.playing); // never busy: later requests are taken, not refused
            if (report.kind == "call") {
                ++calls;
                loopCalls += report.what == "loop" ? 1 : 0;
                QCOMPARE_LT(report.ms, kPromptMs);
                slowest = std::max(slowest, report.ms);
                if (report.what == "stop")
                    QVERIFY(report.accepted);
            } else {
                ++ticks;
            }
        }
        qInfo("%d calls, the slowest took %lld ms; %d ticks", calls,
              static_cast<long long>(slowest), ticks);
        // The program kept running: its timer fired throughout, and each tick
        // found the player free and asked for the loop again.
        QCOMPARE_GE(ticks, kRunMs / 250 - 3);
        QCOMPARE(loopCalls, ticks);
        QCOMPARE(calls, ticks + 4);
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], testing::kSoundChildArg) == 0)
        return testing::runSoundChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestSoundPlayerNoServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_sound_player_noserver.moc"
