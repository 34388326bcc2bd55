#include "clock/hands_geometry.h"

#include <QTest>

#include <cmath>

using clock_face::HandLine;

Q_DECLARE_METATYPE(HandLine)

namespace {

// Single-precision results are compared to the worked values to a thousandth
// of a twip: 2325.6 comes out as 2325.6001, an x of 2064 as 2064.0002.
bool near(float actual, double expected)
{
    return std::abs(double(actual) - expected) < 1e-3;
}

QString show(const HandLine &line)
{
    return QStringLiteral("(%1, %2) - (%3, %4)")
        .arg(double(line.x1), 0, 'f', 4)
        .arg(double(line.y1), 0, 'f', 4)
        .arg(double(line.x2), 0, 'f', 4)
        .arg(double(line.y2), 0, 'f', 4);
}

} // namespace

class TestHandsGeometry : public QObject {
    Q_OBJECT

private slots:
    void sizesTheFace_data();
    void sizesTheFace();
    void handUnits_data();
    void handUnits();
    void placesTheHands_data();
    void placesTheHands();
    void pivotIsNotRecentredOnOddWidths();
};

void TestHandsGeometry::sizesTheFace_data()
{
    QTest::addColumn<float>("scaleWidth");
    QTest::addColumn<float>("size");
    QTest::newRow("design width") << 4128.0f << 4078.0f;
    QTest::newRow("width obtained at 96 dpi") << 4125.0f << 4074.0f;
    QTest::newRow("odd width") << 4127.0f << 4076.0f;
    QTest::newRow("width obtained at 120 dpi") << 4128.0f << 4078.0f;
}

void TestHandsGeometry::sizesTheFace()
{
    QFETCH(float, scaleWidth);
    QFETCH(float, size);
    const clock_face::FaceBox box = clock_face::faceBox(scaleWidth);
    QCOMPARE(box.left, 5.0f);
    QCOMPARE(box.top, 1500.0f);
    QCOMPARE(box.width, size);
    QCOMPARE(box.height, size);
}

void TestHandsGeometry::handUnits_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::newRow("half past odd hour moves the hour on") << "3:29:30" << 4 << 30 << 30;
    QTest::newRow("half past even hour stays") << "4:30:30" << 4 << 30 << 30;
    QTest::newRow("a second later it moves") << "4:30:31" << 5 << 31 << 31;
    QTest::newRow("minute 59.5 rounds to 60") << "10:59:30" << 11 << 60 << 30;
    QTest::newRow("minute 58.5 rounds to 58") << "10:58:30" << 11 << 58 << 30;
    QTest::newRow("end of day reaches hour 24") << "23:59:45" << 24 << 60 << 45;
    QTest::newRow("noon") << "12:00:00" << 12 << 0 << 0;
}

void TestHandsGeometry::handUnits()
{
    QFETCH(QString, time);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    const clock_face::HandUnits units = clock_face::handUnits(time);
    QCOMPARE(int(units.hour), hour);
    QCOMPARE(int(units.minute), minute);
    QCOMPARE(int(units.second), second);
}

void TestHandsGeometry::placesTheHands_data()
{
    QTest::addColumn<QString>("time");
    QTest::addColumn<char>("hand");
    QTest::addColumn<HandLine>("expected");
    const HandLine hourUp{2064, 2325.6f, 2064, 3770.4f};
    const HandLine minuteUp{2064, 1809.6f, 2064, 3873.6f};
    const HandLine secondUp{2064, 1706.4f, 2064, 3976.8f};
    QTest::newRow("midnight hour up") << "0:00:00" << 'h' << hourUp;
    QTest::newRow("midnight minute up") << "0:00:00" << 'm' << minuteUp;
    QTest::newRow("midnight second up") << "0:00:00" << 's' << secondUp;
    QTest::newRow("noon hour up") << "12:00:00" << 'h' << hourUp;
    QTest::newRow("noon second up") << "12:00:00" << 's' << secondUp;
    QTest::newRow("three o'clock points right") << "3:00:00" << 'h' << HandLine{3302.4f, 3564, 1857.6f, 3564};
    QTest::newRow("six o'clock points down") << "6:00:00" << 'h' << HandLine{2064, 4802.4f, 2064, 3357.6f};
    QTest::newRow("hour 24 points up") << "23:59:45" << 'h' << hourUp;
    QTest::newRow("minute 60 points up") << "10:59:30" << 'm' << minuteUp;
    QTest::newRow("second 30 points down") << "10:59:30" << 's' << HandLine{2064, 5421.6f, 2064, 3151.2f};
    QTest::newRow("second 45 points left") << "23:59:45" << 's' << HandLine{206.4f, 3564, 2476.8f, 3564};
}

void TestHandsGeometry::placesTheHands()
{
    QFETCH(QString, time);
    QFETCH(char, hand);
    QFETCH(HandLine, expected);
    const clock_face::Hands hands = clock_face::handsAt(4128.0f, time);
    const HandLine &line = hand == 'h' ? hands.hour : hand == 'm' ? hands.minute : hands.second;
    const bool matches = near(line.x1, double(expected.x1)) && near(line.y1, double(expected.y1))
                      && near(line.x2, double(expected.x2)) && near(line.y2, double(expected.y2));
    QVERIFY2(matches, qPrintable(show(line) + QStringLiteral(" expected ") + show(expected)));
}

void TestHandsGeometry::pivotIsNotRecentredOnOddWidths()
{
    // Width 4125: the face's half is 2062 while the pivot c is 2062.5 rounded to
    // even, 2062; width 4127: half 2063, c = 2063.5 rounded to even, 2064.
    const clock_face::Hands narrow = clock_face::handsAt(4125.0f, QStringLiteral("3:00:00"));
    QVERIFY(near(narrow.hour.y1, 2062 + 1500));
    QVERIFY(near(narrow.hour.x1, 2062 + 0.6 * 2062));
    const clock_face::Hands odd = clock_face::handsAt(4127.0f, QStringLiteral("3:00:00"));
    QVERIFY(near(odd.hour.y1, 2064 + 1500));
    QVERIFY(near(odd.hour.x2, 2064 - 0.1 * 2064));
    QCOMPARE(clock_face::faceBox(4127.0f).width, 2.0f * 2063 - 50);
}

QTEST_APPLESS_MAIN(TestHandsGeometry)
#include "test_hands_geometry.moc"
