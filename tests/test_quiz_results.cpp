// The two windows that answer the quiz: the wrong-answer window that sends the
// user back, and the correct-answer window whose Wave Stop ends the program.

#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"
#include "support/quiz_driver.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"

#include <QPointer>
#include <QTest>

using platform::form;
using testing::FakeRuntime;
using testing::randomFor;
using testing::shownWindows;
using testing::typeAnswer;

namespace {

// Passes every request on to the recording player and notes whether the
// program had already ended when the request was made.
class EndWatchingPlayer final : public platform::SoundPlayer {
public:
    explicit EndWatchingPlayer(platform::SoundPlayer &inner) : m_inner(inner) {}
    bool play(const std::optional<QString> &fileName, std::uint32_t flags) override
    {
        endedAtCall.push_back(platform::hasEnded());
        return m_inner.play(fileName, flags);
    }
    bool isPlaying() const override { return m_inner.isPlaying(); }
    bool isLooping() const override { return m_inner.isLooping(); }
    std::vector<bool> endedAtCall;

private:
    platform::SoundPlayer &m_inner;
};

// Opens the quiz on 57 + 42 and answers.
Form4 &answer(FakeRuntime &runtime, const QString &typed)
{
    if (!form<Form4>().isLoaded())
        runtime.random.queue({randomFor(57), randomFor(42)});
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    typeAnswer(quiz.Text1(), typed);
    QTest::mouseClick(&quiz.Command1(), Qt::LeftButton);
    return quiz;
}

} // namespace

class TestQuizResults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::quietRaiseWarnings(); }
    void wrongAgainOnlyBringsTheWindowForward();
    void rightAfterWrongLeavesBothOnScreen();
    void oneMoreClosesOnlyItsWindow();
    void waveStopStopsTheSoundThenEnds_data();
    void waveStopStopsTheSoundThenEnds();
};

void TestQuizResults::wrongAgainOnlyBringsTheWindowForward()
{
    FakeRuntime runtime;
    answer(runtime, QStringLiteral("98"));
    QPointer<Form6> first = form<Form6>().loaded();
    QVERIFY(first && first->isVisible());
    Form4 &quiz = answer(runtime, QStringLiteral("abc"));
    testing::flushDeletes();
    QCOMPARE(form<Form6>().loaded(), first.data());
    QCOMPARE(shownWindows<Form6>(), 1);
    QVERIFY(quiz.isVisible());
    QCOMPARE(quiz.Text1().text(), QStringLiteral("abc"));
}

void TestQuizResults::rightAfterWrongLeavesBothOnScreen()
{
    FakeRuntime runtime;
    Form4 &quiz = answer(runtime, QStringLiteral("100"));
    QVERIFY(form<Form6>().isShown());
    answer(runtime, QStringLiteral("99"));
    QVERIFY(!quiz.isVisible());
    QVERIFY(form<Form5>().isShown());
    QVERIFY(form<Form6>().isShown());
    QVERIFY(!platform::hasEnded());
}

void TestQuizResults::oneMoreClosesOnlyItsWindow()
{
    FakeRuntime runtime;
    Form4 &quiz = answer(runtime, QStringLiteral("7"));
    QPointer<Form6> wrong = form<Form6>().loaded();
    QVERIFY(wrong);
    QTest::mouseClick(&wrong->Command1(), Qt::LeftButton);
    QVERIFY(!form<Form6>().isLoaded());
    testing::flushDeletes();
    QVERIFY(wrong.isNull());
    QCOMPARE(shownWindows<Form6>(), 0);
    QVERIFY(quiz.isVisible());
    QCOMPARE(quiz.Label1().Caption(), QStringLiteral("57"));
    QCOMPARE(quiz.Label3().Caption(), QStringLiteral("42"));
    QCOMPARE(quiz.Text1().text(), QStringLiteral("7"));
    QVERIFY(!platform::hasEnded());

    // The next wrong answer loads the window afresh.
    answer(runtime, QStringLiteral("8"));
    QVERIFY(form<Form6>().isShown());
    QCOMPARE(shownWindows<Form6>(), 1);
}

void TestQuizResults::waveStopStopsTheSoundThenEnds_data()
{
    QTest::addColumn<bool>("alarmSounding");
    QTest::addColumn<bool>("wrongAnswerWindowOpen");
    QTest::newRow("alarm loop sounding") << true << false;
    QTest::newRow("no alarm has sounded") << false << false;
    QTest::newRow("wrong-answer window still open") << true << true;
}

void TestQuizResults::waveStopStopsTheSoundThenEnds()
{
    QFETCH(bool, alarmSounding);
    QFETCH(bool, wrongAnswerWindowOpen);
    FakeRuntime runtime;
    EndWatchingPlayer player(runtime.sound);
    platform::setSoundPlayer(&player);
    form<Form1>().Show();
    if (alarmSounding)
        Module1::sndPlaySoundA(QStringLiteral("belora.wav"), 25);
    if (wrongAnswerWindowOpen)
        answer(runtime, QString());
    Form4 &quiz = answer(runtime, QStringLiteral("99"));
    QVERIFY(form<Form5>().isShown());
    QCOMPARE(form<Form6>().isShown(), wrongAnswerWindowOpen);
    runtime.sound.clear();
    player.endedAtCall.clear();

    QTest::mouseClick(&form<Form5>().get().Command1(), Qt::LeftButton);

    QCOMPARE(runtime.sound.calls().size(), std::size_t{1});
    QCOMPARE(runtime.sound.calls()[0].file, std::nullopt);
    QCOMPARE(runtime.sound.calls()[0].flags, platform::SND_ASYNC);
    QCOMPARE(player.endedAtCall, std::vector<bool>{false}); // stop first, then the end
    QVERIFY(!runtime.sound.isPlaying());
    QVERIFY(platform::hasEnded());
    QVERIFY(runtime.reportedErrors.isEmpty());
    for (QWidget *window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->windowTitle()));

    // No event runs any more: neither the quiz's tick nor a button.
    runtime.random.queue({randomFor(10), randomFor(10)});
    QVERIFY(QMetaObject::invokeMethod(&quiz.Timer1(), "timeout", Qt::DirectConnection));
    form<Form1>().get().Command1().click();
    QCOMPARE(quiz.Label1().Caption(), QStringLiteral("57"));
    QVERIFY(!quiz.isVisible());
    QCOMPARE(runtime.sound.calls().size(), std::size_t{1});
    platform::setSoundPlayer(&runtime.sound);
}

QTEST_MAIN(TestQuizResults)
#include "test_quiz_results.moc"
