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

#include <set>

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
    static QString text(bool b) { return b ? "yes" : "no"; }
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
        std::set<int> seen;
        for (int i = 0; i < 10000; ++i) {
            const wakeup::QuizPair p = wakeup::drawQuiz(platform::randomSource());
            seen.insert({int(p.first), int(p.second)});
        }
        return text(*seen.begin()) + u' ' + text(*seen.rbegin());
    }
    static QString error(ErrorNumber number) { return QStringLiteral("error %1").arg(int(number)); }

private slots:
    void values_data()
    {
        using namespace runtime;
        using clock::handsAt, clock::handUnits;
        QTest::addColumn<Result>("result");
        QTest::addColumn<QString>("expected");
        ROW("hour of no time", hourOf(QStringLiteral("None")), error(ErrorNumber::TypeMismatch));
        ROW("half down to even", toInt16(2.5), "2");
        ROW("largest", toInt16(32767.49), "32767");
        ROW("tie above largest", toInt16(32767.5), error(ErrorNumber::Overflow));
        ROW("sum at the top", checkedAdd(32000, 767), "32767");
        ROW("full-width sign, digit, point", textToInt16("－１．５"), "-2");
        ROW("typed largest", tryTextToInt16("32767").value_or(0), "32767");
        ROW("quiz numbers from the system's draws", drawRange(), "10 99");
        // Width 4128: half 2064, face 4078 at (5, 1500).
        ROW("face 4128", clock::faceBox(4128), "5.0 1500.0 4078.0 4078.0");
        // Whole hours only; minute and hour round to nearest, ties to even.
        ROW("half past odd hour moves the hour on", handUnits("3:29:30"), "4 30");
        ROW("end of day reaches hour 24", handUnits("23:59:45"), "24 60");
        // Tip, then tail, for a width of 4128: the pivot is (2064, 3564).
        ROW("midnight hour", handsAt(4128, "0:00:00").hour, "2064.0 2325.6 2064.0 3770.4");
        ROW("second 45 left", handsAt(4128, "23:59:45").second, "206.4 3564.0 2476.8 3564.0");
        // A face of 200 pixels at the origin; its outline is reached within 2 pixels.
        static const QRectF face(0, 0, 200, 200);
        ROW("box inside the face", clock::reachesOutline(face, QRect(90, 90, 20, 20)), "no");
        ROW("box 3 px inside the rim", clock::reachesOutline(face, QRect(95, 3, 10, 5)), "no");
        ROW("box 2 px inside the rim", clock::reachesOutline(face, QRect(95, 2, 10, 5)), "yes");
        ROW("far corner at the rim", clock::reachesOutline(face, QRect(160, 160, 10, 10)), "yes");
        ROW("box in the corner outside", clock::reachesOutline(face, QRect(0, 0, 10, 10)), "no");
        ROW("box around the face", clock::reachesOutline(face, QRect(-5, -5, 210, 210)), "yes");
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
        runtime::setErrorReporter(nullptr);
    }
};

QTEST_APPLESS_MAIN(TestLogic)
#include "test_logic.moc"
