// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic the windows rely on: time text, rounding and checked integers,
// reading a typed number, the geometry of the clock face and hands; and the
// end of the program after an error.

#include "clock/hands_geometry.h"
#include "platform/time_source.h"
#include "runtime/conversions.h"
#include "runtime/default_instance.h"
#include "runtime/runtime_error.h"
#include "runtime/time_text.h"

#include "support/fakes.h"

#include <QTest>

#include <cmath>
#include <limits>

using runtime::ErrorNumber;
using zelmoro::clock::HandLine;

Q_DECLARE_METATYPE(HandLine)

namespace {

constexpr int none = 0; // no error raised

// The number of the error a call raises, or none.
template <class F> int errorOf(F &&call)
{
    try {
        call();
    } catch (const runtime::RuntimeError &error) {
        return int(error.number());
    }
    return none;
}

constexpr int overflow = int(ErrorNumber::Overflow);
constexpr int mismatch = int(ErrorNumber::TypeMismatch);

} // namespace

class TestLogic : public QObject {
    Q_OBJECT

private slots:
    void timeText();
    void toInt16_data();
    void toInt16();
    void checkedArithmetic();
    void readsTypedNumbers();
    void sizesTheFace();
    void handUnits_data();
    void handUnits();
    void placesTheHands_data();
    void placesTheHands();
    void escapedErrorEndsTheProgram();
};

void TestLogic::timeText()
{
    QCOMPARE(runtime::timeText(QTime(0, 0, 0)), QStringLiteral("0:00:00"));
    QCOMPARE(runtime::timeText(QTime(7, 5, 9)), QStringLiteral("7:05:09"));
    QCOMPARE(runtime::timeText(QTime(23, 59, 59, 999)), QStringLiteral("23:59:59"));
    QCOMPARE(runtime::minuteOf(QStringLiteral("7:05:09")), 5);
    QCOMPARE(errorOf([] { runtime::hourOf(QStringLiteral("None")); }), mismatch);
}

void TestLogic::toInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("error");
    QTest::newRow("half down to even") << 2.5 << 2 << none;
    QTest::newRow("half up to even") << 3.5 << 4 << none;
    QTest::newRow("negative half to even") << -2.5 << -2 << none;
    QTest::newRow("largest") << 32767.49 << 32767 << none;
    QTest::newRow("tie above largest") << 32767.5 << 0 << overflow;
    QTest::newRow("tie below smallest fits") << -32768.5 << -32768 << none;
    QTest::newRow("below smallest") << -32768.6 << 0 << overflow;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0 << overflow;
}

void TestLogic::toInt16()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QFETCH(int, error);
    std::int16_t result = 0;
    QCOMPARE(errorOf([&] { result = runtime::toInt16(value); }), error);
    QCOMPARE(int(result), expected);
}

void TestLogic::checkedArithmetic()
{
    using namespace runtime;
    QCOMPARE(checkedAdd(99, 99), 198);
    QCOMPARE(errorOf([] { checkedAdd(32000, 768); }), overflow);
    QCOMPARE(errorOf([] { checkedSub(-32768, 1); }), overflow);
    QCOMPARE(checkedMul(-256, 128), -32768);
    QCOMPARE(errorOf([] { checkedMul(256, 128); }), overflow);
    QCOMPARE(toInt32(2063.5f), 2064);
    QCOMPARE(errorOf([] { toInt32(2147483647.5); }), overflow);
}

void TestLogic::readsTypedNumbers()
{
    // (Answers as the quiz reads them are tested through its window.)
    QCOMPARE(runtime::textToInt16("－１．５"), -2);                 // full-width sign, digit, point
    QCOMPARE(errorOf([] { runtime::textToInt16("٥"); }), mismatch); // another script's digit
    QCOMPARE(errorOf([] { runtime::textToInt16("1 2"); }), mismatch);
    QCOMPARE(errorOf([] { runtime::textToInt16("99999"); }), overflow);
    QCOMPARE(runtime::tryTextToInt16("99999"), std::nullopt);
}

void TestLogic::sizesTheFace()
{
    // Width 4128: half 2064, face 4078 at (5, 1500); odd widths give an even face.
    for (auto [width, size] :
         {std::pair{4128.0f, 4078.0f}, {4125.0f, 4074.0f}, {4127.0f, 4076.0f}}) {
        const clock::FaceBox box = clock::faceBox(width);
        QCOMPARE(box.left, 5.0f);
        QCOMPARE(box.top, 1500.0f);
        QCOMPARE(box.width, size);
        QCOMPARE(box.height, size);
    }
}

void TestLogic::handUnits_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::newRow("half past odd hour moves the hour on") << "3:29:30" << 4 << 30;
    QTest::newRow("half past even hour stays") << "4:30:30" << 4 << 30;
    QTest::newRow("a second later it moves") << "4:30:31" << 5 << 31;
    QTest::newRow("minute 59.5 rounds to 60") << "10:59:30" << 11 << 60;
    QTest::newRow("minute 58.5 rounds to 58") << "10:58:30" << 11 << 58;
    QTest::newRow("end of day reaches hour 24") << "23:59:45" << 24 << 60;
}

void TestLogic::handUnits()
{
    QFETCH(QString, time);
    QFETCH(int, hour);
    QFETCH(int, minute);
    const clock::HandUnits units = clock::handUnits(time);
    QCOMPARE(int(units.hour), hour);
    QCOMPARE(int(units.minute), minute);
}

void TestLogic::placesTheHands_data()
{
    // Worked values for a width of 4128 (pivot 2064, 3564), except the last row.
    QTest::addColumn<float>("width");
    QTest::addColumn<QString>("time");
    QTest::addColumn<char>("hand");
    QTest::addColumn<HandLine>("expected");
    const HandLine hourUp{2064, 2325.6f, 2064, 3770.4f};
    QTest::newRow("midnight hour") << 4128.f << "0:00:00" << 'h' << hourUp;
    QTest::newRow("midnight minute")
        << 4128.f << "0:00:00" << 'm' << HandLine{2064, 1809.6f, 2064, 3873.6f};
    QTest::newRow("midnight second")
        << 4128.f << "0:00:00" << 's' << HandLine{2064, 1706.4f, 2064, 3976.8f};
    QTest::newRow("noon hour") << 4128.f << "12:00:00" << 'h' << hourUp;
    QTest::newRow("hour 24 points up") << 4128.f << "23:59:45" << 'h' << hourUp;
    QTest::newRow("three o'clock")
        << 4128.f << "3:00:00" << 'h' << HandLine{3302.4f, 3564, 1857.6f, 3564};
    QTest::newRow("six o'clock") << 4128.f << "6:00:00" << 'h'
                                 << HandLine{2064, 4802.4f, 2064, 3357.6f};
    QTest::newRow("second 45 points left")
        << 4128.f << "23:59:45" << 's' << HandLine{206.4f, 3564, 2476.8f, 3564};
    // Odd width: c = 2063.5 rounded to even 2064, not re-centred on the face.
    QTest::newRow("odd width pivot")
        << 4127.f << "3:00:00" << 'h' << HandLine{3302.4f, 3564, 1857.6f, 3564};
}

void TestLogic::placesTheHands()
{
    QFETCH(float, width);
    QFETCH(QString, time);
    QFETCH(char, hand);
    QFETCH(HandLine, expected);
    const clock::Hands hands = clock::handsAt(width, time);
    const HandLine &line = hand == 'h' ? hands.hour : hand == 'm' ? hands.minute : hands.second;
    // Single precision: 2325.6 comes out as 2325.6001, an x of 2064 as 2064.0002.
    for (auto [actual, wanted] : {std::pair{line.x1, expected.x1},
                                  {line.y1, expected.y1},
                                  {line.x2, expected.x2},
                                  {line.y2, expected.y2}})
        QVERIFY2(std::abs(actual - wanted) < 1e-3f, qPrintable(QString::number(double(actual))));
}

void TestLogic::escapedErrorEndsTheProgram()
{
    QList<ErrorNumber> reported;
    runtime::setErrorReporter([&](const runtime::RuntimeError &e) { reported.append(e.number()); });
    bool after = false, later = false;
    runtime::runHandler([&] { runtime::raiseOverflow(), after = true; });
    runtime::runHandler([&] { later = true; }); // no handler runs once ended
    QVERIFY(!after && !later && runtime::hasEnded());
    QCOMPARE(reported, QList{ErrorNumber::Overflow});
    QCOMPARE(runtime::endStatus(), 1);
    runtime::unloadAll();
    runtime::setErrorReporter(nullptr);
}

QTEST_APPLESS_MAIN(TestLogic)
#include "test_logic.moc"
