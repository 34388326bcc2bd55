// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic the windows rely on, one table per unit: the time text,
// rounding and checked integers, reading a typed number, the quiz's draw, the
// geometry of the clock face and hands; and the end of the program after an
// error.

#include "clock/hands_geometry.h"
#include "platform/random_source.h"
#include "runtime/conversions.h"
#include "runtime/end.h"
#include "runtime/event_handler.h"
#include "runtime/runtime_error.h"
#include "runtime/time_text.h"
#include "wakeup/quiz.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <set>

namespace zelmoro::test {

namespace {

constexpr int kNoError = 0;
constexpr int kOverflow = int(runtime::ErrorNumber::Overflow);
constexpr int kTypeMismatch = int(runtime::ErrorNumber::TypeMismatch);

// What a call comes to: its value and kNoError, or 0 and the error it raises.
struct Outcome {
    int value = 0;
    int error = kNoError;
};
template <class Call> Outcome outcomeOf(Call call)
{
    try {
        return Outcome{int(call()), kNoError};
    } catch (const runtime::RuntimeError &raised) {
        return Outcome{0, int(raised.number())};
    }
}

} // namespace

class TestLogic : public QObject {
    Q_OBJECT

    template <class Call> static void compareOutcome(Call call)
    {
        QFETCH(int, value);
        QFETCH(int, error);
        const Outcome outcome = outcomeOf(call);
        QCOMPARE(outcome.error, error);
        QCOMPARE(outcome.value, value);
    }
    static void addOutcomeColumns()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("error");
    }

private slots:
    // Every hour of the day, with minutes and seconds that have one digit,
    // two digits and the ends of their range.
    void timeText_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("text");
        for (int hour = 0; hour < 24; ++hour) {
            const int minute = (hour * 7 + 3) % 60;
            const int second = hour % 2 == 0 ? 59 - hour : hour / 3;
            const QString text = QString::asprintf("%d:%02d:%02d", hour, minute, second);
            QTest::newRow(qPrintable(text)) << QTime(hour, minute, second) << text;
        }
        QTest::newRow("0:00:00") << QTime(0, 0) << "0:00:00";
        QTest::newRow("23:59:59") << QTime(23, 59, 59) << "23:59:59";
        QTest::newRow("milliseconds left out") << QTime(9, 9, 9, 999) << "9:09:09";
    }
    void timeText()
    {
        QFETCH(QTime, time);
        QFETCH(QString, text);
        QCOMPARE(runtime::timeText(time), text);
        QCOMPARE(runtime::readTimeText(text),
                 std::optional(QTime(time.hour(), time.minute(), time.second())));
        QCOMPARE(runtime::hourOf(text), time.hour());
        QCOMPARE(runtime::minuteOf(text), time.minute());
        QCOMPARE(runtime::secondOf(text), time.second());
    }

    void textThatIsNoTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("design caption") << "None";
        QTest::newRow("empty") << "";
        QTest::newRow("one-digit minute") << "7:0:00";
        QTest::newRow("hour 24") << "24:00:00";
        QTest::newRow("minute 60") << "7:60:00";
        QTest::newRow("second 60") << "7:00:60";
        QTest::newRow("three-digit hour") << "100:00:00";
        QTest::newRow("full-width digit") << "７:00:00";
    }
    void textThatIsNoTime()
    {
        QFETCH(QString, text);
        QCOMPARE(runtime::readTimeText(text), std::nullopt);
        QCOMPARE(outcomeOf([&] { return runtime::hourOf(text); }).error, kTypeMismatch);
    }

    void toInt16_data()
    {
        QTest::addColumn<double>("input");
        addOutcomeColumns();
        QTest::newRow("half down to even") << 2.5 << 2 << kNoError;
        QTest::newRow("half up to even") << 3.5 << 4 << kNoError;
        QTest::newRow("negative half to even") << -2.5 << -2 << kNoError;
        QTest::newRow("just below a half") << 2.4999 << 2 << kNoError;
        QTest::newRow("largest") << 32767.49 << 32767 << kNoError;
        QTest::newRow("tie above largest") << 32767.5 << 0 << kOverflow;
        QTest::newRow("smallest, a tie to even") << -32768.5 << -32768 << kNoError;
        QTest::newRow("below smallest") << -32768.51 << 0 << kOverflow;
        QTest::newRow("not a number") << std::nan("") << 0 << kOverflow;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 0 << kOverflow;
    }
    void toInt16()
    {
        QFETCH(double, input);
        compareOutcome([&] { return runtime::toInt16(input); });
    }

    void checkedArithmetic_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<char>("op");
        addOutcomeColumns();
        QTest::newRow("sum at the top") << 32000 << 767 << '+' << 32767 << kNoError;
        QTest::newRow("sum above the top") << 32000 << 768 << '+' << 0 << kOverflow;
        QTest::newRow("sum below the bottom") << -32768 << -1 << '+' << 0 << kOverflow;
        QTest::newRow("quiz's largest sum") << 99 << 99 << '+' << 198 << kNoError;
        QTest::newRow("difference at the bottom") << -32767 << 1 << '-' << -32768 << kNoError;
        QTest::newRow("difference below the bottom") << -32768 << 1 << '-' << 0 << kOverflow;
        QTest::newRow("product at the top") << 181 << 181 << '*' << 32761 << kNoError;
        QTest::newRow("product above the top") << 182 << 181 << '*' << 0 << kOverflow;
        QTest::newRow("hour hand at 24") << 24 << 30 << '*' << 720 << kNoError;
    }
    void checkedArithmetic()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(char, op);
        const auto x = std::int16_t(a);
        const auto y = std::int16_t(b);
        if (op == '+')
            compareOutcome([&] { return runtime::checkedAdd(x, y); });
        if (op == '-')
            compareOutcome([&] { return runtime::checkedSub(x, y); });
        if (op == '*')
            compareOutcome([&] { return runtime::checkedMul(x, y); });
    }

    // As the quiz reads an answer: a number, rounded, or the error it raises;
    // tryTextToInt16 gives no value where textToInt16 raises.
    void textToInt16_data()
    {
        QTest::addColumn<QString>("text");
        addOutcomeColumns();
        QTest::newRow("plain") << "99" << 99 << kNoError;
        QTest::newRow("blanks around") << " 12 " << 12 << kNoError;
        QTest::newRow("sign") << "+12" << 12 << kNoError;
        QTest::newRow("negative zero") << "-0" << 0 << kNoError;
        QTest::newRow("fraction to even") << "98.5" << 98 << kNoError;
        QTest::newRow("point only before digits") << ".5" << 0 << kNoError;
        QTest::newRow("full-width sign, digit, point") << "－１．５" << -2 << kNoError;
        QTest::newRow("ideographic space") << "　９９" << 99 << kNoError;
        QTest::newRow("typed largest") << "32767" << 32767 << kNoError;
        QTest::newRow("typed above largest") << "32768" << 0 << kOverflow;
        QTest::newRow("typed below smallest") << "-32769" << 0 << kOverflow;
        QTest::newRow("empty") << "" << 0 << kTypeMismatch;
        QTest::newRow("letters") << "abc" << 0 << kTypeMismatch;
        QTest::newRow("exponent") << "1e3" << 0 << kTypeMismatch;
        QTest::newRow("point alone") << "." << 0 << kTypeMismatch;
        QTest::newRow("sign alone") << "-" << 0 << kTypeMismatch;
        QTest::newRow("two signs") << "+-1" << 0 << kTypeMismatch;
        QTest::newRow("blank inside") << "1 2" << 0 << kTypeMismatch;
        QTest::newRow("Arabic-Indic digit") << "٣" << 0 << kTypeMismatch;
    }
    void textToInt16()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(int, error);
        compareOutcome([&] { return runtime::textToInt16(text); });
        const std::optional<std::int16_t> tried = runtime::tryTextToInt16(text);
        QCOMPARE(tried.has_value(), error == kNoError);
        QCOMPARE(tried.value_or(0), value);
    }

    // 90 * r + 10 in single precision, rounded down.
    void quizNumber_data()
    {
        QTest::addColumn<float>("r");
        QTest::addColumn<int>("number");
        QTest::newRow("lowest") << 0.0f << 10;
        QTest::newRow("middle") << 0.5f << 55;
        QTest::newRow("near the top") << 0.999f << 99;
        QTest::newRow("highest") << std::nextafter(1.0f, 0.0f) << 99;
    }
    void quizNumber()
    {
        QFETCH(float, r);
        QFETCH(int, number);
        QCOMPARE(wakeup::quizNumber(r, 10, 99), number);
    }

    // Both numbers from the system's generator over many draws: every value
    // from 10 to 99 comes, and nothing else.
    void quizDrawCoversTheRange()
    {
        std::set<int> seen;
        for (int i = 0; i < 10000; ++i) {
            const wakeup::QuizPair pair = wakeup::drawQuiz(platform::randomSource());
            seen.insert(pair.first);
            seen.insert(pair.second);
        }
        QCOMPARE(seen.size(), 90u);
        QCOMPARE(*seen.begin(), 10);
        QCOMPARE(*seen.rbegin(), 99);
    }

    void faceBox_data()
    {
        QTest::addColumn<float>("scaleWidth");
        QTest::addColumn<float>("size"); // width and height; left 5, top 1500 always
        QTest::newRow("design width") << 4128.0f << 4078.0f;
        QTest::newRow("width at 15 twips a pixel") << 4125.0f << 4074.0f;
        QTest::newRow("half rounds to even") << 4126.5f << 4076.0f;
    }
    void faceBox()
    {
        QFETCH(float, scaleWidth);
        QFETCH(float, size);
        const clock::FaceBox box = clock::faceBox(scaleWidth);
        QCOMPARE(box.left, 5.0f);
        QCOMPARE(box.top, 1500.0f);
        QCOMPARE(box.width, size);
        QCOMPARE(box.height, size);
    }

    // Whole hours only; the minute and the hour round to nearest, ties to even.
    void handUnits_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::newRow("half past odd hour moves the hour on") << "3:29:30" << 4 << 30;
        QTest::newRow("half past even hour stays") << "4:30:30" << 4 << 30;
        QTest::newRow("a second later moves on") << "4:30:31" << 5 << 31;
        QTest::newRow("minute 58.5 to even") << "10:58:30" << 11 << 58;
        QTest::newRow("minute 59.5 to 60") << "10:59:30" << 11 << 60;
        QTest::newRow("end of day reaches hour 24") << "23:59:45" << 24 << 60;
        QTest::newRow("midnight") << "0:00:00" << 0 << 0;
    }
    void handUnits()
    {
        QFETCH(QString, time);
        const clock::HandUnits units = clock::handUnits(time);
        QTEST(int(units.hour), "hour");
        QTEST(int(units.minute), "minute");
        QCOMPARE(units.second, runtime::secondOf(time));
    }

    // Tip, then tail, for a width of 4128: the pivot is (2064, 3564).
    void hands_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("hand");    // 0 hour, 1 minute, 2 second
        QTest::addColumn<QRectF>("ends"); // (x1, y1) as the top left, (x2, y2) as the size
        QTest::newRow("midnight hour") << "0:00:00" << 0 << QRectF(2064, 2325.6, 2064, 3770.4);
        QTest::newRow("midnight minute") << "0:00:00" << 1 << QRectF(2064, 1809.6, 2064, 3873.6);
        QTest::newRow("midnight second") << "0:00:00" << 2 << QRectF(2064, 1706.4, 2064, 3976.8);
        QTest::newRow("three o'clock hour") << "3:00:00" << 0 << QRectF(3302.4, 3564, 1857.6, 3564);
        QTest::newRow("six o'clock hour") << "6:00:00" << 0 << QRectF(2064, 4802.4, 2064, 3357.6);
        QTest::newRow("second 45 left") << "23:59:45" << 2 << QRectF(206.4, 3564, 2476.8, 3564);
        QTest::newRow("hour 24 up") << "23:59:45" << 0 << QRectF(2064, 2325.6, 2064, 3770.4);
        QTest::newRow("minute 15 right") << "8:15:00" << 1 << QRectF(3818.4, 3564, 1754.4, 3564);
    }
    void hands()
    {
        QFETCH(QString, time);
        QFETCH(int, hand);
        QFETCH(QRectF, ends);
        const clock::Hands all = clock::handsAt(4128, time);
        const clock::HandLine lines[] = {all.hour, all.minute, all.second};
        const clock::HandLine &line = lines[hand];
        QVERIFY(std::abs(line.x1 - ends.x()) < 0.05);
        QVERIFY(std::abs(line.y1 - ends.y()) < 0.05);
        QVERIFY(std::abs(line.x2 - ends.width()) < 0.05);
        QVERIFY(std::abs(line.y2 - ends.height()) < 0.05);
    }

    // A face of 200 pixels at the origin; its outline is reached within 2 pixels.
    void reachesOutline_data()
    {
        QTest::addColumn<QRect>("box");
        QTest::addColumn<bool>("reaches");
        QTest::newRow("box inside the face") << QRect(90, 90, 20, 20) << false;
        QTest::newRow("box 3 px inside the rim") << QRect(95, 3, 10, 5) << false;
        QTest::newRow("box 2 px inside the rim") << QRect(95, 2, 10, 5) << true;
        QTest::newRow("box 2 px outside the rim") << QRect(95, -7, 10, 5) << true;
        QTest::newRow("box 3 px outside the rim") << QRect(95, -8, 10, 5) << false;
        QTest::newRow("far corner at the rim") << QRect(160, 160, 10, 10) << true;
        QTest::newRow("box in the corner outside") << QRect(0, 0, 10, 10) << false;
        QTest::newRow("box around the face") << QRect(-5, -5, 210, 210) << true;
    }
    void reachesOutline()
    {
        QFETCH(QRect, box);
        QTEST(clock::reachesOutline(QRectF(0, 0, 200, 200), box), "reaches");
    }

    void escapedErrorEndsTheProgram()
    {
        QList<runtime::ErrorNumber> reported;
        runtime::setErrorReporter([&](const auto &e) { reported.append(e.number()); });
        bool after = false;
        bool later = false;
        runtime::runHandler([&] {
            runtime::raiseOverflow();
            after = true;
        });
        runtime::runHandler([&] { later = true; }); // no handler runs once ended
        QCOMPARE(after, false);
        QCOMPARE(later, false);
        QCOMPARE(reported, QList{runtime::ErrorNumber::Overflow});
        QCOMPARE(runtime::endStatus(), 1);
        runtime::setErrorReporter(nullptr);
    }
};

} // namespace zelmoro::test

QTEST_APPLESS_MAIN(zelmoro::test::TestLogic)
#include "test_logic.moc"
