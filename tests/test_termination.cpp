// When the session asks the program to end (a signal), the sound is stopped and
// the program ends as Wave Stop ends it.

#include "alarm/module1.h"
#include "platform/default_instance.h"
#include "platform/termination.h"
#include "support/fakes.h"
#include "support/quiz_driver.h"
#include "wakeup/form4.h"
#include "wakeup/form6.h"

#include <QTest>

#include <csignal>

using platform::form;
using testing::FakeRuntime;

class TestTermination : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testing::quietRaiseWarnings();
        platform::installTerminationHandler();
    }
    void signalStopsTheSoundAndEnds_data();
    void signalStopsTheSoundAndEnds();
    void nothingMoreOnceEnded();
};

void TestTermination::signalStopsTheSoundAndEnds_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestTermination::signalStopsTheSoundAndEnds()
{
    QFETCH(int, signalNumber);
    FakeRuntime runtime;
    Module1::sndPlaySoundA(QStringLiteral("belora.wav"), 25);
    form<Form4>().Show();
    QTest::mouseClick(&form<Form4>().get().Command1(), Qt::LeftButton); // "000": wrong
    QVERIFY(form<Form6>().isShown());
    runtime.sound.clear();

    // The handler itself only wakes the event loop; nothing happens before it runs.
    QCOMPARE(std::raise(signalNumber), 0);
    QVERIFY(!platform::hasEnded());
    QVERIFY(runtime.sound.calls().empty());

    QTRY_VERIFY(platform::hasEnded());
    QCOMPARE(runtime.sound.calls().size(), std::size_t{1});
    QCOMPARE(runtime.sound.calls()[0].file, std::nullopt);
    QCOMPARE(runtime.sound.calls()[0].flags, platform::SND_ASYNC);
    QVERIFY(!runtime.sound.isPlaying());
    QVERIFY(!form<Form4>().isShown());
    QVERIFY(!form<Form6>().isShown());
    QVERIFY(runtime.reportedErrors.isEmpty());
}

void TestTermination::nothingMoreOnceEnded()
{
    FakeRuntime runtime;
    platform::End();
    platform::endOnRequest();
    QCOMPARE(std::raise(SIGTERM), 0);
    QTest::qWait(50);
    QVERIFY(runtime.sound.calls().empty());
}

QTEST_MAIN(TestTermination)
#include "test_termination.moc"
