// The wake-up quiz: the draw, the 30-second redraw, and what OK makes of the
// answers a user can type.

#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"
#include "support/quiz_driver.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"
#include "wakeup/quiz.h"

#include <QTest>

#include <cmath>
#include <vector>

using platform::form;
using testing::FakeRuntime;
using testing::randomFor;
using testing::typeAnswer;

namespace {

// Records the order in which the draw asks the generator for things.
class LoggingRandom final : public platform::RandomSource {
public:
    void reseed() override { log.push_back("reseed"); }
    float next() override
    {
        log.push_back("next");
        return 0.5f;
    }
    std::vector<QString> log;
};

// The tick of the quiz's timer, as the timer itself sends it.
void tick(Form4 &quiz)
{
    QVERIFY(QMetaObject::invokeMethod(&quiz.Timer1(), "timeout", Qt::DirectConnection));
}

QStringList numbersOf(Form4 &quiz)
{
    return {quiz.Label1().Caption(), quiz.Label3().Caption()};
}

} // namespace

class TestQuiz : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::quietRaiseWarnings(); }
    void drawsFromTheRandomValues_data();
    void drawsFromTheRandomValues();
    void reseedsBeforeEachDraw();
    void redrawsEveryThirtySeconds_data();
    void redrawsEveryThirtySeconds();
    void hidingAndShowingKeepTheTimersPeriod();
    void reopeningShowsTheLatestDraw();
    void checksTheAnswerOnOk_data();
    void checksTheAnswerOnOk();
};

void TestQuiz::drawsFromTheRandomValues_data()
{
    QTest::addColumn<float>("r1");
    QTest::addColumn<float>("r2");
    QTest::addColumn<QStringList>("numbers");
    const float below1 = std::nextafter(1.0f, 0.0f);
    QTest::newRow("zero gives the lower bound") << 0.0f << 0.0f << QStringList{"10", "10"};
    QTest::newRow("largest single below 1 gives 99") << below1 << below1 << QStringList{"99", "99"};
    QTest::newRow("one half gives 55") << 0.5f << 0.5f << QStringList{"55", "55"};
    QTest::newRow("first value to the first number") << 0.5f << 0.0f << QStringList{"55", "10"};
    QTest::newRow("second value to the second number") << 0.0f << below1 << QStringList{"10", "99"};
}

void TestQuiz::drawsFromTheRandomValues()
{
    QFETCH(float, r1);
    QFETCH(float, r2);
    QFETCH(QStringList, numbers);
    FakeRuntime runtime;
    runtime.random.queue({r1, r2});
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QCOMPARE(numbersOf(quiz), numbers);
    QCOMPARE(runtime.random.reseeds(), 1);
    QCOMPARE(runtime.random.remaining(), 0);
    QVERIFY(runtime.reportedErrors.isEmpty());
}

void TestQuiz::reseedsBeforeEachDraw()
{
    FakeRuntime runtime;
    LoggingRandom random;
    platform::setRandomSource(&random);
    form<Form4>().Show();
    const std::vector<QString> oneDraw{"reseed", "next", "next"};
    QCOMPARE(random.log, oneDraw);
    tick(form<Form4>().get());
    std::vector<QString> twoDraws = oneDraw;
    twoDraws.insert(twoDraws.end(), oneDraw.begin(), oneDraw.end());
    QCOMPARE(random.log, twoDraws);
    platform::setRandomSource(&runtime.random);
}

void TestQuiz::redrawsEveryThirtySeconds_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::newRow("while shown") << false;
    QTest::newRow("while hidden by CANCEL") << true;
}

void TestQuiz::redrawsEveryThirtySeconds()
{
    QFETCH(bool, hidden);
    FakeRuntime runtime;
    runtime.random.queue({randomFor(23), randomFor(71)});
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    typeAnswer(quiz.Text1(), QStringLiteral("94"));
    if (hidden)
        QTest::mouseClick(&quiz.Command2(), Qt::LeftButton);
    QCOMPARE(quiz.isVisible(), !hidden);

    runtime.random.queue({randomFor(88), randomFor(15)});
    tick(quiz);
    QCOMPARE(numbersOf(quiz), (QStringList{"88", "15"}));
    QCOMPARE(runtime.random.reseeds(), 2);
    QCOMPARE(quiz.Text1().text(), QStringLiteral("94"));
    QCOMPARE(quiz.isVisible(), !hidden);
    QVERIFY(quiz.Timer1().isActive());
    QCOMPARE(quiz.Timer1().interval(), 30000);
    QVERIFY(!form<Form5>().isLoaded());
    QVERIFY(!form<Form6>().isLoaded());
}

void TestQuiz::hidingAndShowingKeepTheTimersPeriod()
{
    FakeRuntime runtime;
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QVERIFY(quiz.Timer1().isActive());
    QCOMPARE(quiz.Timer1().interval(), 30000);
    // Let a little of the period run; a restarted timer would have all 30 s again.
    const int atLoad = quiz.Timer1().remainingTime();
    QTest::qSleep(150);
    const int before = quiz.Timer1().remainingTime();
    QVERIFY2(before <= atLoad - 100, qPrintable(QStringLiteral("%1, %2").arg(atLoad).arg(before)));
    QTest::mouseClick(&quiz.Command2(), Qt::LeftButton);
    QVERIFY(!quiz.isVisible());
    form<Form4>().Show();
    form<Form4>().Show();
    QVERIFY(quiz.isVisible());
    QVERIFY(quiz.Timer1().isActive());
    QCOMPARE(quiz.Timer1().interval(), 30000);
    const int after = quiz.Timer1().remainingTime();
    QVERIFY2(after <= before, qPrintable(QStringLiteral("%1 > %2").arg(after).arg(before)));
}

void TestQuiz::reopeningShowsTheLatestDraw()
{
    FakeRuntime runtime;
    form<Form1>().Show();
    Form1 &main = form<Form1>().get();
    runtime.random.queue({randomFor(31), randomFor(64)});
    QTest::mouseClick(&main.Command1(), Qt::LeftButton); // CLOSE
    QVERIFY(form<Form4>().isShown());
    Form4 &quiz = form<Form4>().get();
    QCOMPARE(numbersOf(quiz), (QStringList{"31", "64"}));
    typeAnswer(quiz.Text1(), QStringLiteral("７"));
    QTest::mouseClick(&quiz.Command2(), Qt::LeftButton); // CANCEL

    runtime.random.queue({randomFor(47), randomFor(12)});
    tick(quiz);
    runtime.random.queue({randomFor(99), randomFor(99)}); // a fresh draw would take these
    QTest::mouseClick(&main.Command1(), Qt::LeftButton);
    QVERIFY(form<Form4>().isShown());
    QCOMPARE(&form<Form4>().get(), &quiz);
    QCOMPARE(numbersOf(quiz), (QStringList{"47", "12"}));
    QCOMPARE(quiz.Text1().text(), QStringLiteral("７"));
    QCOMPARE(runtime.random.reseeds(), 2);
    QCOMPARE(runtime.random.remaining(), 2);
}

void TestQuiz::checksTheAnswerOnOk_data()
{
    // The numbers drawn are 57 and 42: the right answer is 99.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("right");
    QTest::newRow("the sum") << "99" << true;
    QTest::newRow("a wrong sum") << "98" << false;
    QTest::newRow("empty box") << "" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("blank then another number") << " 5" << false;
    QTest::newRow("blank before the sum") << " 99" << true;
    QTest::newRow("blank after the sum") << "99 " << true;
    QTest::newRow("ideographic space before the sum") << "　99" << true;
    QTest::newRow("leading zero") << "099" << true;
    QTest::newRow("minus zero") << "-0" << false;
    QTest::newRow("negative sum") << "-99" << false;
    QTest::newRow("plus sign and the sum") << "+99" << true;
    QTest::newRow("plus sign and another number") << "+12" << false;
    QTest::newRow("exponent") << "1e3" << false;
    QTest::newRow("full-width sum") << "９９" << true;
    QTest::newRow("full-width other number") << "１２３" << false;
    QTest::newRow("99.5 is cut to 99. by the box") << "99.5" << true;
    QTest::newRow("9.5 rounds to even 10") << "9.5" << false;
    QTest::newRow("fraction only") << ".99" << false;
    QTest::newRow("points") << "..." << false;
    QTest::newRow("blank inside") << "9 9" << false;
    QTest::newRow("letter after the sum") << "99x" << false;
    QTest::newRow("hexadecimal") << "x63" << false;
}

void TestQuiz::checksTheAnswerOnOk()
{
    QFETCH(QString, typed);
    QFETCH(bool, right);
    FakeRuntime runtime;
    runtime.random.queue({randomFor(57), randomFor(42)});
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QCOMPARE(numbersOf(quiz), (QStringList{"57", "42"}));
    typeAnswer(quiz.Text1(), typed);
    const QString inBox = typed.left(3);
    QCOMPARE(quiz.Text1().text(), inBox);

    QTest::mouseClick(&quiz.Command1(), Qt::LeftButton);

    QVERIFY(!platform::hasEnded());
    QVERIFY(runtime.reportedErrors.isEmpty());
    QVERIFY(runtime.sound.calls().empty());
    QCOMPARE(form<Form5>().isShown(), right);
    QCOMPARE(form<Form6>().isShown(), !right);
    QCOMPARE(quiz.isVisible(), !right);
    // Whatever the verdict, the quiz keeps its numbers and the answer.
    QCOMPARE(numbersOf(quiz), (QStringList{"57", "42"}));
    QCOMPARE(quiz.Text1().text(), inBox);
}

QTEST_MAIN(TestQuiz)
#include "test_quiz.moc"
