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
        QTest::newRow("one-digit minute") << "7:0:00";
        QTest::newRow("hour 24") << "24:00:00";
        QTest::newRow("minute 60") << "7:60:00";
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
        QTest::newRow("negative half to even") << -2.5 << -2 << kNoError;
        QTest::newRow("largest") << 32767.49 << 32767 << kNoError;
        QTest::newRow("tie above largest") << 32767.5 << 0 << kOverflow;
        QTest::newRow("not a number") << std::nan("") << 0 << kOverflow;
    }
    void toInt16()
    {
        QFETCH(double, input);
        compareOutcome([&] { return runtime::toInt16(input); });
    }

    void checkedAdd_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        addOutcomeColumns();
        QTest::newRow("sum at the top") << 32000 << 767 << 32767 << kNoError;
        QTest::newRow("sum above the top") << 32000 << 768 << 0 << kOverflow;
        QTest::newRow("sum below the bottom") << -32768 << -1 << 0 << kOverflow;
    }
    void checkedAdd()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        compareOutcome([&] { return runtime::checkedAdd(std::int16_t(a), std::int16_t(b)); });
    }

    // The quiz's test reads answers of every kind; here the errors raised.
    void textToInt16_data()
    {
        QTest::addColumn<QString>("text");
        addOutcomeColumns();
        QTest::newRow("full-width sign, digit, point") << "－１．５" << -2 << kNoError;
        QTest::newRow("typed largest") << "32767" << 32767 << kNoError;
        QTest::newRow("typed above largest") << "32768" << 0 << kOverflow;
        QTest::newRow("letters") << "abc" << 0 << kTypeMismatch;
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
        QTest::newRow("a second later moves on") << "4:30:31" << 5 << 31;
        QTest::newRow("minute 59.5 to 60") << "10:59:30" << 11 << 60;
        QTest::newRow("end of day reaches hour 24") << "23:59:45" << 24 << 60;
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
        QTest::newRow("three o'clock hour") << "3:00:00" << 0 << QRectF(3302.4, 3564, 1857.6, 3564);
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
