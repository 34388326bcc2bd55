#include "platform/conversions.h"
#include "platform/runtime_error.h"
#include "platform/time_of_day.h"

#include <QTest>

#include <limits>

using platform::ErrorNumber;
using platform::RuntimeError;

Q_DECLARE_METATYPE(std::optional<int>)

namespace {

// The error a call raises, or none.
template <class F> std::optional<ErrorNumber> errorOf(F &&call)
{
    try {
        call();
    } catch (const RuntimeError &error) {
        return error.number();
    }
    return std::nullopt;
}

} // namespace

class TestConversions : public QObject {
    Q_OBJECT

private slots:
    void roundsToInt16_data();
    void roundsToInt16();
    void roundsToInt32AtItsLimits();
    void checkedArithmetic_data();
    void checkedArithmetic();
    void readsTextAsInt16_data();
    void readsTextAsInt16();
    void timeText_data();
    void timeText();
    void fieldsOfTimeText_data();
    void fieldsOfTimeText();
};

void TestConversions::roundsToInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("overflows");
    QTest::newRow("half rounds down to even") << 2.5 << 2 << false;
    QTest::newRow("half rounds up to even") << 3.5 << 4 << false;
    QTest::newRow("negative half to even") << -2.5 << -2 << false;
    QTest::newRow("below half") << 58.4999 << 58 << false;
    QTest::newRow("minute 59.5 gives 60") << 59.5 << 60 << false;
    QTest::newRow("largest") << 32767.0 << 32767 << false;
    QTest::newRow("just under the overflowing tie") << 32767.49 << 32767 << false;
    QTest::newRow("tie above largest overflows") << 32767.5 << 0 << true;
    QTest::newRow("smallest") << -32768.0 << -32768 << false;
    QTest::newRow("tie below smallest rounds to even and fits") << -32768.5 << -32768 << false;
    QTest::newRow("below smallest overflows") << -32768.6 << 0 << true;
    QTest::newRow("not a number overflows") << std::numeric_limits<double>::quiet_NaN() << 0 << true;
    QTest::newRow("infinity overflows") << std::numeric_limits<double>::infinity() << 0 << true;
}

void TestConversions::roundsToInt16()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QFETCH(bool, overflows);
    std::int16_t result = 0;
    const auto error = errorOf([&] { result = platform::toInt16(value); });
    if (overflows) {
        QCOMPARE(error, std::optional(ErrorNumber::Overflow));
    } else {
        QCOMPARE(error, std::nullopt);
        QCOMPARE(int(result), expected);
    }
}

void TestConversions::roundsToInt32AtItsLimits()
{
    QCOMPARE(platform::toInt32(2063.5f), 2064);
    QCOMPARE(platform::toInt32(2062.5f), 2062);
    QCOMPARE(platform::toInt32(2147483647.0), 2147483647);
    QCOMPARE(errorOf([] { platform::toInt32(2147483647.5); }), std::optional(ErrorNumber::Overflow));
    QCOMPARE(errorOf([] { platform::toInt32(-2147483649.0); }), std::optional(ErrorNumber::Overflow));
}

void TestConversions::checkedArithmetic_data()
{
    QTest::addColumn<char>("op");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("overflows");
    QTest::newRow("largest quiz sum") << '+' << 99 << 99 << 198 << false;
    QTest::newRow("sum at the top") << '+' << 32000 << 767 << 32767 << false;
    QTest::newRow("sum past the top") << '+' << 32000 << 768 << 0 << true;
    QTest::newRow("difference past the bottom") << '-' << -32768 << 1 << 0 << true;
    QTest::newRow("hour 24 in degrees") << '*' << 24 << 30 << 720 << false;
    QTest::newRow("product past the top") << '*' << 256 << 128 << 0 << true;
    QTest::newRow("negative product at the bottom") << '*' << -256 << 128 << -32768 << false;
}

void TestConversions::checkedArithmetic()
{
    QFETCH(char, op);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, expected);
    QFETCH(bool, overflows);
    const auto x = static_cast<std::int16_t>(a);
    const auto y = static_cast<std::int16_t>(b);
    std::int16_t result = 0;
    const auto error = errorOf([&] {
        result = op == '+' ? platform::checkedAdd(x, y)
               : op == '-' ? platform::checkedSub(x, y)
                           : platform::checkedMul(x, y);
    });
    QCOMPARE(error.has_value(), overflows);
    if (!overflows)
        QCOMPARE(int(result), expected);
}

void TestConversions::readsTextAsInt16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<int>>("expected"); // none: not a number or out of range
    QTest::addColumn<int>("error");                   // raised by the checked reading, 0 for none
    const int mismatch = int(ErrorNumber::TypeMismatch);
    const int overflow = int(ErrorNumber::Overflow);
    QTest::newRow("design answer") << "000" << std::optional(0) << 0;
    QTest::newRow("plain") << "57" << std::optional(57) << 0;
    QTest::newRow("blanks around") << " 5 " << std::optional(5) << 0;
    QTest::newRow("plus sign") << "+12" << std::optional(12) << 0;
    QTest::newRow("minus zero") << "-0" << std::optional(0) << 0;
    QTest::newRow("fraction ties to even up") << "57.5" << std::optional(58) << 0;
    QTest::newRow("fraction ties to even down") << "58.5" << std::optional(58) << 0;
    QTest::newRow("leading point") << ".6" << std::optional(1) << 0;
    QTest::newRow("trailing point") << "7." << std::optional(7) << 0;
    QTest::newRow("full-width digits") << QStringLiteral("９９") << std::optional(99) << 0;
    QTest::newRow("full-width sign and point") << QStringLiteral("－１．５") << std::optional(-2) << 0;
    QTest::newRow("empty") << "" << std::optional<int>() << mismatch;
    QTest::newRow("blanks only") << "   " << std::optional<int>() << mismatch;
    QTest::newRow("letters") << "abc" << std::optional<int>() << mismatch;
    QTest::newRow("two points") << "1.2.3" << std::optional<int>() << mismatch;
    QTest::newRow("points only") << "..." << std::optional<int>() << mismatch;
    QTest::newRow("sign only") << "-" << std::optional<int>() << mismatch;
    QTest::newRow("exponent") << "1e3" << std::optional<int>() << mismatch;
    QTest::newRow("blank inside") << "1 2" << std::optional<int>() << mismatch;
    QTest::newRow("hex") << "0x1" << std::optional<int>() << mismatch;
    QTest::newRow("arabic-indic digits") << QStringLiteral("٥") << std::optional<int>() << mismatch;
    QTest::newRow("too large") << "99999" << std::optional<int>() << overflow;
    QTest::newRow("tie above the top") << "32767.5" << std::optional<int>() << overflow;
}

void TestConversions::readsTextAsInt16()
{
    QFETCH(QString, text);
    QFETCH(std::optional<int>, expected);
    QFETCH(int, error);

    const std::optional<std::int16_t> tried = platform::tryTextToInt16(text);
    QCOMPARE(tried.has_value(), expected.has_value());
    if (expected)
        QCOMPARE(int(*tried), *expected);

    std::int16_t checked = 0;
    const auto raised = errorOf([&] { checked = platform::textToInt16(text); });
    QCOMPARE(raised ? int(*raised) : 0, error);
    if (expected)
        QCOMPARE(int(checked), *expected);
}

void TestConversions::timeText_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("midnight") << QTime(0, 0, 0) << "0:00:00";
    QTest::newRow("one digit hour") << QTime(7, 5, 9) << "7:05:09";
    QTest::newRow("two digit hour") << QTime(23, 0, 0) << "23:00:00";
    QTest::newRow("last second") << QTime(23, 59, 59, 999) << "23:59:59";
}

void TestConversions::timeText()
{
    QFETCH(QTime, time);
    QFETCH(QString, text);
    QCOMPARE(platform::timeText(time), text);
}

void TestConversions::fieldsOfTimeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::newRow("one digit hour") << "7:05:09" << 7 << 5 << 9;
    QTest::newRow("end of day") << "23:59:59" << 23 << 59 << 59;
    QTest::newRow("not a time") << "None" << -1 << -1 << -1;
    QTest::newRow("hour out of range") << "24:00:00" << -1 << -1 << -1;
}

void TestConversions::fieldsOfTimeText()
{
    QFETCH(QString, text);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    if (hour < 0) {
        QCOMPARE(errorOf([&] { platform::hourOf(text); }), std::optional(ErrorNumber::TypeMismatch));
        return;
    }
    QCOMPARE(int(platform::hourOf(text)), hour);
    QCOMPARE(int(platform::minuteOf(text)), minute);
    QCOMPARE(int(platform::secondOf(text)), second);
}

QTEST_APPLESS_MAIN(TestConversions)
#include "test_conversions.moc"
