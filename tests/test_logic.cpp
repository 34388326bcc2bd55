// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic the windows rely on, one table per unit: the time text,
// rounding, checked integers and typed numbers, the quiz's draw, the hands and
// the face's outline.

#include "clock/hands_geometry.h"
#include "platform/random_source.h"
#include "runtime/conversions.h"
#include "runtime/runtime_error.h"
#include "runtime/time_text.h"
#include "wakeup/quiz.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>

namespace zelmoro::test {

namespace {

constexpr int kNoError = 0;
constexpr int kOverflow = int(runtime::ErrorNumber::Overflow);
constexpr int kTypeMismatch = int(runtime::ErrorNumber::TypeMismatch);

// The error a call raises, or kNoError; its value goes to *value (left alone on an error).
template <class Call> int errorOf(Call call, int *value)
{
    try {
        *value = int(call());
        return kNoError;
    } catch (const runtime::RuntimeError &raised) {
        return int(raised.number());
    }
}

} // namespace

class TestLogic : public QObject {
    Q_OBJECT

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
    }

    // A number is converted (toInt16), a text read (textToInt16 and its
    // non-raising twin), a point (a, b) added (checkedAdd).
    void integers_data()
    {
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("error");
        QTest::newRow("half down to even") << QVariant(2.5) << 2 << kNoError;
        QTest::newRow("largest") << QVariant(32767.49) << 32767 << kNoError;
        QTest::newRow("tie above largest") << QVariant(32767.5) << 0 << kOverflow;
        QTest::newRow("sum at the top") << QVariant(QPoint(32000, 767)) << 32767 << kNoError;
        QTest::newRow("sum above the top") << QVariant(QPoint(32000, 768)) << 0 << kOverflow;
        QTest::newRow("sum below the bottom") << QVariant(QPoint(-32768, -1)) << 0 << kOverflow;
        QTest::newRow("full-width sign, digit, point") << QVariant("－１．５") << -2 << kNoError;
        QTest::newRow("typed largest") << QVariant("32767") << 32767 << kNoError;
        QTest::newRow("typed above largest") << QVariant("32768") << 0 << kOverflow;
        QTest::newRow("letters") << QVariant("abc") << 0 << kTypeMismatch;
    }
    void integers()
    {
        QFETCH(QVariant, input);
        QFETCH(int, value);
        int got = 0;
        const auto a = std::int16_t(input.toPoint().x()), b = std::int16_t(input.toPoint().y());
        if (input.typeId() == QMetaType::Double) {
            QTEST(errorOf([&] { return runtime::toInt16(input.toDouble()); }, &got), "error");
        } else if (input.typeId() == QMetaType::QPoint) {
            QTEST(errorOf([&] { return runtime::checkedAdd(a, b); }, &got), "error");
        } else {
            QTEST(errorOf([&] { return runtime::textToInt16(input.toString()); }, &got), "error");
            QCOMPARE(runtime::tryTextToInt16(input.toString()).value_or(0), value);
        }
        QCOMPARE(got, value);
    }

    // The draw, 90 * r + 10 in single precision rounded down: from the system's
    // generator every value from 10 to 99 comes, and nothing else; the largest
    // r below 1 still gives 99.
    void quizDraw()
    {
        QCOMPARE(wakeup::quizNumber(std::nextafter(1.0f, 0.0f), 10, 99), 99);
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

    // Tip, then tail, for a width of 4128: the pivot is (2064, 3564). The hour
    // hand moves in whole hours; minute and hour round to nearest.
    void hands_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("hand");    // 0 hour, 1 minute, 2 second
        QTest::addColumn<QRectF>("ends"); // (x1, y1) as the top left, (x2, y2) as the size
        // clang-format off
        QTest::newRow("hour 3.5 rounds to 4") << "3:29:30" << 0 << QRectF(3136.49, 4183.2, 1885.25, 3460.8);
        QTest::newRow("minute 30.5 rounds to 31") << "4:30:31" << 1 << QRectF(1880.62, 5308.79, 2096.36, 3256.1);
        QTest::newRow("second 45 left") << "23:59:45" << 2 << QRectF(206.4, 3564, 2476.8, 3564);
        // clang-format on
    }
    void hands()
    {
        QFETCH(QString, time);
        QFETCH(int, hand);
        QFETCH(QRectF, ends);
        const clock::Hands all = clock::handsAt(4128, time);
        const auto line = std::array{all.hour, all.minute, all.second}[hand];
        QCOMPARE_LT(std::max({std::abs(line.x1 - ends.x()), std::abs(line.y1 - ends.y()),
                              std::abs(line.x2 - ends.width()), std::abs(line.y2 - ends.height())}),
                    0.05);
    }

    // A face of 200 pixels at the origin; its outline is reached within 2 pixels.
    void reachesOutline_data()
    {
        QTest::addColumn<QRect>("box");
        QTest::addColumn<bool>("reaches");
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
};

} // namespace zelmoro::test

QTEST_APPLESS_MAIN(zelmoro::test::TestLogic)
#include "test_logic.moc"
