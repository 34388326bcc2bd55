// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic the windows rely on: time text, rounding and checked integers,
// reading a typed number, the geometry of the clock face and hands; and the
// end of the program after an error.

#include "clock/hands_geometry.h"
#include "runtime/conversions.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/quiz.h"

#include <QTest>

#include <algorithm>
#include <limits>

using runtime::ErrorNumber;
using Result = std::function<QString()>;
Q_DECLARE_METATYPE(Result)

// One row: what an expression comes to, as text, or the error it raises.
#define ROW(name, expr, expected)                                                                  \
    QTest::newRow(name) << Result([] { return text(expr); }) << QString(expected)

class TestLogic : public QObject {
    Q_OBJECT

    static QString text(int n) { return QString::number(n); }
    static QString text(const QString &s) { return s; }
    // Positions to a tenth of a twip, as the worked values give them.
    static QString text(const clock::HandLine &l) { return text({l.x1, l.y1, l.x2, l.y2}); }
    static QString text(clock::FaceBox f) { return text({f.left, f.top, f.width, f.height}); }
    static QString text(std::initializer_list<float> xs)
    {
        QStringList out;
        for (const float x : xs)
            out << QString::number(double(x), 'f', 1);
        return out.join(u' ');
    }
    static QString text(const clock::HandUnits &u) { return text(u.hour) + u' ' + text(u.minute); }
    // The quiz's numbers over many draws from the system's generator: the
    // smallest and the largest seen.
    static QString drawRange()
    {
        int low = 99, high = 10;
        for (int i = 0; i < 10000; ++i) {
            const wakeup::QuizPair p = wakeup::drawQuiz(platform::randomSource());
            low = std::min({low, int(p.first), int(p.second)});
            high = std::max({high, int(p.first), int(p.second)});
        }
        return text(low) + u' ' + text(high);
    }
    static QString error(ErrorNumber number) { return QStringLiteral("error %1").arg(int(number)); }

private slots:
    void values_data()
    {
        using namespace runtime;
        using clock::handsAt, clock::handUnits;
        const QString overflow = error(ErrorNumber::Overflow);
        const QString mismatch = error(ErrorNumber::TypeMismatch);
        QTest::addColumn<Result>("result");
        QTest::addColumn<QString>("expected");
        ROW("time text", timeText(QTime(7, 5, 9)), "7:05:09");
        ROW("time text drops the ms", timeText(QTime(23, 59, 59, 999)), "23:59:59");
        ROW("hour of no time", hourOf(QStringLiteral("None")), mismatch);
        ROW("half down to even", toInt16(2.5), "2");
        ROW("half up to even", toInt16(3.5), "4");
        ROW("negative half to even", toInt16(-2.5), "-2");
        ROW("largest", toInt16(32767.49), "32767");
        ROW("tie above largest", toInt16(32767.5), overflow);
        ROW("tie below smallest fits", toInt16(-32768.5), "-32768");
        ROW("below smallest", toInt16(-32768.6), overflow);
        ROW("not a number", toInt16(std::numeric_limits<double>::quiet_NaN()), overflow);
        ROW("sum at the top", checkedAdd(32000, 767), "32767");
        ROW("difference past the bottom", checkedSub(-32768, 1), overflow);
        ROW("product at the bottom", checkedMul(-256, 128), "-32768");
        ROW("product past the top", checkedMul(256, 128), overflow);
        ROW("single to 32 bits, tie to even", toInt32(2063.5f), "2064");
        ROW("past 32 bits", toInt32(2147483647.5), overflow);
        ROW("full-width sign, digit, point", textToInt16("－１．５"), "-2");
        ROW("another script's digit", textToInt16("٥"), mismatch);
        ROW("blank inside", textToInt16("1 2"), mismatch);
        ROW("too large", textToInt16("99999"), overflow);
        ROW("quiz numbers from the system's draws", drawRange(), "10 99");
        // Width 4128: half 2064, face 4078 at (5, 1500); odd widths give an even face.
        ROW("face 4128", clock::faceBox(4128), "5.0 1500.0 4078.0 4078.0");
        ROW("face 4125", int(clock::faceBox(4125).width), "4074");
        // Whole hours only; minute and hour round to nearest, ties to even.
        ROW("half past odd hour moves the hour on", handUnits("3:29:30"), "4 30");
        ROW("half past even hour stays", handUnits("4:30:30"), "4 30");
        ROW("a second later it moves", handUnits("4:30:31"), "5 31");
        ROW("minute 59.5 rounds to 60", handUnits("10:59:30"), "11 60");
        ROW("minute 58.5 rounds to 58", handUnits("10:58:30"), "11 58");
        ROW("end of day reaches hour 24", handUnits("23:59:45"), "24 60");
        // Tip, then tail, for a width of 4128: the pivot is (2064, 3564).
        ROW("midnight hour", handsAt(4128, "0:00:00").hour, "2064.0 2325.6 2064.0 3770.4");
        ROW("midnight minute", handsAt(4128, "0:00:00").minute, "2064.0 1809.6 2064.0 3873.6");
        ROW("three o'clock", handsAt(4128, "3:00:00").hour, "3302.4 3564.0 1857.6 3564.0");
        ROW("six o'clock", handsAt(4128, "6:00:00").hour, "2064.0 4802.4 2064.0 3357.6");
        ROW("second 45 left", handsAt(4128, "23:59:45").second, "206.4 3564.0 2476.8 3564.0");
    }

    void values()
    {
        QFETCH(Result, result);
        QFETCH(QString, expected);
        try {
            QCOMPARE(result(), expected);
        } catch (const runtime::RuntimeError &raised) {
            QCOMPARE(error(raised.number()), expected);
        }
    }

    void escapedErrorEndsTheProgram()
    {
        QList<ErrorNumber> reported;
        runtime::setErrorReporter([&](const auto &e) { reported.append(e.number()); });
        bool after = false, later = false;
        runtime::runHandler([&] { runtime::raiseOverflow(), after = true; });
        runtime::runHandler([&] { later = true; }); // no handler runs once ended
        QCOMPARE(after, false);
        QCOMPARE(later, false);
        QCOMPARE(reported, QList{ErrorNumber::Overflow});
        QCOMPARE(runtime::endStatus(), 1);
        runtime::unloadAll();
        runtime::setErrorReporter(nullptr);
    }
};

QTEST_APPLESS_MAIN(TestLogic)
#include "test_logic.moc"
