// Whatever is typed as the answer, the quiz only says right or wrong: the
// reading of answers, and a fuzz run of random texts through the window.

#include "platform/default_instance.h"
#include "support/fakes.h"
#include "support/quiz_driver.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"
#include "wakeup/quiz.h"

#include <QElapsedTimer>
#include <QTest>

#include <optional>
#include <random>
#include <string>

using platform::form;
using testing::FakeRuntime;
using testing::randomFor;

namespace {

// The value an answer should read as, worked out independently: blanks
// around, a sign, digits with a fraction; full-width forms stand for their
// ASCII ones; rounded to nearest, ties to even. No value for anything else.
std::optional<int> expectedValue(const QString &text)
{
    std::string s;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= u'０' && u <= u'９')
            s += static_cast<char>('0' + (u - u'０'));
        else if (u == u'＋' || u == u'－' || u == u'．' || u == u'　')
            s += u == u'＋' ? '+' : u == u'－' ? '-' : u == u'．' ? '.' : ' ';
        else
            s += u < 128 ? static_cast<char>(u) : '?';
    }
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    s = s.substr(first, s.find_last_not_of(' ') - first + 1);
    std::size_t i = 0;
    const bool negative = s[0] == '-';
    if (s[0] == '-' || s[0] == '+')
        ++i;
    int whole = 0, wholeDigits = 0, fraction = 0, fractionDigits = 0, scale = 1;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, ++wholeDigits)
        whole = whole * 10 + (s[i] - '0');
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
            fraction = fraction * 10 + (s[i] - '0');
            scale *= 10;
            ++fractionDigits;
        }
    }
    if (i != s.size() || wholeDigits + fractionDigits == 0)
        return std::nullopt;
    if (2 * fraction > scale || (2 * fraction == scale && whole % 2 == 1))
        ++whole;
    return negative ? -whole : whole;
}

const QString kAlphabet = QStringLiteral("0123456789+- 　.aeEx０１２３４５６７８９＋－．*/,#%");

} // namespace

class TestQuizAnswers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::quietRaiseWarnings(); }
    void readsTheAnswer_data();
    void readsTheAnswer();
    void randomTextsNeverEndTheProgram();
};

void TestQuizAnswers::readsTheAnswer_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("right");
    QTest::newRow("the sum") << "57" << "42" << "99" << true;
    QTest::newRow("largest sum") << "99" << "99" << "198" << true;
    QTest::newRow("99.4 reads as 99") << "57" << "42" << "99.4" << true;
    QTest::newRow("99.5 reads as 100") << "57" << "42" << "99.5" << false;
    QTest::newRow("98.5 reads as even 98, not 99") << "57" << "42" << "98.5" << false;
    QTest::newRow("98.5 reads as even 98") << "56" << "42" << "98.5" << true;
    QTest::newRow("98.51 rounds up") << "57" << "42" << "98.51" << true;
    QTest::newRow("57.5 reads as 58") << "16" << "42" << "57.5" << true;
    QTest::newRow("trailing point") << "57" << "42" << "99." << true;
    QTest::newRow("leading zeros and fraction") << "57" << "42" << "0099.000" << true;
    QTest::newRow("tabs around") << "57" << "42" << "\t99\t" << true;
    QTest::newRow("full-width with point") << "57" << "42" << "９９．０" << true;
    QTest::newRow("full-width minus") << "57" << "42" << "－９９" << false;
    QTest::newRow("largest 16-bit") << "57" << "42" << "32767" << false;
    QTest::newRow("overflows above") << "57" << "42" << "32768" << false;
    QTest::newRow("overflows below") << "57" << "42" << "-32769" << false;
    QTest::newRow("huge") << "57" << "42" << QString(40, QLatin1Char('9')) << false;
    QTest::newRow("exponent") << "57" << "42" << "0.99e2" << false;
    QTest::newRow("hexadecimal") << "57" << "42" << "0x63" << false;
    QTest::newRow("comma") << "57" << "42" << "99,0" << false;
    QTest::newRow("not a number") << "57" << "42" << "nan" << false;
    QTest::newRow("infinity") << "57" << "42" << "inf" << false;
    QTest::newRow("empty") << "57" << "42" << "" << false;
    QTest::newRow("blank") << "57" << "42" << " " << false;
    QTest::newRow("sign only") << "57" << "42" << "-" << false;
    QTest::newRow("point only") << "57" << "42" << "." << false;
    QTest::newRow("two points") << "57" << "42" << "9.9.9" << false;
}

void TestQuizAnswers::readsTheAnswer()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, answer);
    QFETCH(bool, right);
    std::optional<quiz::Verdict> verdict;
    try {
        verdict = quiz::check(first, second, answer);
    } catch (const platform::RuntimeError &error) {
        QFAIL(error.what());
    }
    QCOMPARE(*verdict, right ? quiz::Verdict::Right : quiz::Verdict::Wrong);
}

void TestQuizAnswers::randomTextsNeverEndTheProgram()
{
    FakeRuntime runtime;
    std::mt19937 rng(20240607u);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto randomChar = [&] { return kAlphabet[pick(0, int(kAlphabet.size()) - 1)]; };

    int a = 57, b = 42;
    runtime.random.queue({randomFor(a), randomFor(b)});
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QElapsedTimer elapsed;
    elapsed.start();
    const int rounds = 8000;
    int rights = 0, wrongs = 0;
    for (int round = 0; round < rounds; ++round) {
        if (round % 100 == 99) { // the 30-second tick with a new pair
            a = pick(10, 99);
            b = pick(10, 99);
            runtime.random.queue({randomFor(a), randomFor(b)});
            QVERIFY(QMetaObject::invokeMethod(&quiz.Timer1(), "timeout", Qt::DirectConnection));
        }
        // Half the texts are random, half are the sum with a slip or two.
        QString typed;
        if (pick(0, 1) == 0) {
            for (int n = pick(0, 4); n > 0; --n)
                typed += randomChar();
        } else {
            typed = QString::number(a + b);
            for (int slips = pick(0, 2); slips > 0; --slips) {
                const int at = pick(0, int(typed.size()));
                switch (pick(0, 3)) {
                case 0: typed.insert(at, randomChar()); break;
                case 1: if (at < typed.size()) typed[at] = randomChar(); break;
                case 2: typed.remove(at, 1); break;
                default:
                    if (at < typed.size() && typed[at].isDigit() && typed[at].unicode() < 128)
                        typed[at] = QChar(typed[at].unicode() - u'0' + u'０');
                }
            }
        }
        testing::typeAnswer(quiz.Text1(), typed);
        const QString inBox = typed.left(3);
        const std::optional<int> value = expectedValue(inBox);
        const bool right = value && *value == a + b;
        const QByteArray what = QStringLiteral("\"%1\" for %2 + %3")
                                   .arg(inBox, QString::number(a), QString::number(b))
                                   .toUtf8();
        QVERIFY2(quiz.Text1().text() == inBox, what.constData());

        QTest::mouseClick(&quiz.Command1(), Qt::LeftButton);

        QVERIFY2(!platform::hasEnded(), what.constData());
        QVERIFY2(runtime.reportedErrors.isEmpty(), what.constData());
        QVERIFY2(form<Form5>().isShown() == right, what.constData());
        QVERIFY2(quiz.isVisible() == !right, what.constData());
        if (right) {
            ++rights;
            form<Form5>().Unload();
            form<Form4>().Show();
        } else {
            ++wrongs;
            QVERIFY2(form<Form6>().isShown(), what.constData());
            QCOMPARE(quiz.Text1().text(), inBox);
        }
    }
    QVERIFY(runtime.sound.calls().empty());
    QVERIFY2(rights >= 300 && wrongs >= 3000,
             qPrintable(QStringLiteral("%1 right, %2 wrong").arg(rights).arg(wrongs)));
    qInfo("%d texts (%d right) in %lld ms", rounds, rights, elapsed.elapsed());
}

QTEST_MAIN(TestQuizAnswers)
#include "test_quiz_answers.moc"
