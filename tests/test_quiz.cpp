// SPDX-License-Identifier: GPL-3.0-or-later
// The wake-up quiz and its result windows: the draw and its 30-second redraw,
// what OK makes of any answer, and the only ways the program ends from here.

#include "platform/termination.h"
#include "program_end.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"
#include "wakeup/quiz.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <csignal>

namespace zelmoro::test {

using runtime::form;
using wakeup::Form4;
using wakeup::Form5;
using wakeup::Form6;
using Act = std::function<void()>;

} // namespace zelmoro::test

Q_DECLARE_METATYPE(zelmoro::test::Act)

namespace zelmoro::test {

class TestQuiz : public QObject {
    Q_OBJECT

    // What an answer reads as, worked out apart from the program: blanks
    // around, a sign, digits with an optional fraction, nearest whole number
    // with ties to even; full-width digits and the ideographic space stand for
    // their plain forms (compatibility normalization).
    static std::optional<int> readsAs(const QString &text)
    {
        static const QRegularExpression number(R"(^ *[+-]?(?=\.?[0-9])[0-9]*(\.[0-9]*)? *$)");
        const auto m = number.match(text.normalized(QString::NormalizationForm_KC));
        return m.hasMatch() ? std::optional(int(std::rint(m.captured().toDouble()))) : std::nullopt;
    }

    std::optional<FakeRuntime> m_rt;
    // The random value that the draw, 90 * r + 10 rounded down, turns into n.
    static float valueFor(int n) { return (float(n - 10) + 0.5f) / 90.0f; }
    static Form4 &quiz() { return form<Form4>().get(); }
    static QWidgetList windows() { return {&quiz(), &form<Form5>().get(), &form<Form6>().get()}; }
    static void click(QWidget &button) { QTest::mouseClick(&button, Qt::LeftButton); }

    // Selects all in the answer box, deletes (the backspace), types and presses
    // OK; full-width characters come without a key code, as from a Japanese
    // input method. Nothing ends and the sound is left alone; a right answer
    // leads on (Form5, quiz hidden), a wrong one brings up Form6, the same one
    // if it is loaded; a loaded Form6 stays up (One More unloads it).
    void answer(const QString &typed, bool right)
    {
        Form6 *const wrong = form<Form6>().loaded();
        QLineEdit &box = quiz().Text1();
        QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : u'\b' + typed) {
            if (c.unicode() < 0x80)
                QTest::keyClicks(&box, QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, c, {});
        }
        click(quiz().Command1());
        QCOMPARE(runtime::hasEnded(), false); // as an error escaping OK would end it
        QVERIFY(m_rt->sound.calls().empty());
        QCOMPARE(form<Form5>().isShown(), right);
        QCOMPARE(quiz().isVisible(), !right);
        QCOMPARE(form<Form6>().isShown(), !right || wrong);
        QVERIFY(!wrong || form<Form6>().loaded() == wrong);
        QCOMPARE(box.text(), typed.left(3));
    }

private slots:
    void initTestCase() { platform::installTerminationHandler(app::endOnRequest); }
    // Each test starts with the quiz open on 57 + 42 = 99.
    void init()
    {
        m_rt.emplace().random.queue({valueFor(57), valueFor(42)});
        form<Form4>().Show();
    }

    void anyAnswer()
    {
        // Answers picked by hand come first, on 57 + 42; then random text, or
        // the sum, with full-width digits and a slip now and then; now and then
        // One More follows a wrong one. No answer draws anew.
        const QStringList picked{"99",   "",       "abc",  " 5",  "-0",  "1e3",
                                 "９９", "１２３", "99.5", "+12", "...", "65635"};
        const QString alphabet = QStringLiteral("0123456789+- 　.aex０１２３４５６７８９*#,/");
        QRandomGenerator rng(20240607u);
        int a = 57, b = 42, rights = 0, draws = 1;
        for (int round = 0; round < 5000 && !QTest::currentTestFailed(); ++round) {
            if (round % 100 == 99) { // the 30-second tick brings a new pair
                ++draws;
                a = rng.bounded(10, 100);
                b = rng.bounded(10, 100);
                m_rt->random.queue({valueFor(a), valueFor(b)});
                QMetaObject::invokeMethod(&quiz().Timer1(), "timeout");
            }
            QString typed = rng.bounded(2) ? QString::number(a + b) : QString();
            for (QChar &c : typed)
                c = rng.bounded(4) ? c : QChar(c.unicode() + 0xFEE0);
            for (int n = typed.isEmpty() ? rng.bounded(4) : rng.bounded(2); n > 0; --n)
                typed.insert(rng.bounded(typed.size() + 1), alphabet[rng.bounded(alphabet.size())]);
            if (round < picked.size())
                typed = picked[round];
            const bool right = readsAs(typed.left(3)) == a + b; // the box keeps three characters
            answer(typed, right);
            if (right) { // the quiz again shows its latest draw, drawing nothing
                ++rights;
                form<Form5>().Unload();
                form<Form4>().Show();
            }
            if (!right && round % 7 == 0) // One More; a window left loaded fails the next answer
                click(form<Form6>().get().Command1());
        }
        QCOMPARE_GE(rights, 500);
        QCOMPARE(m_rt->random.reseeds(), draws); // one before each draw
        QCOMPARE(quiz().Timer1().interval(), 30000);
    }

    void waysOut_data()
    {
        QTest::addColumn<Act>("act");
        QTest::addColumn<int>("ends"); // never, at once, from the event loop
        QTest::newRow("Escape, close") << Act([] {
            for (QWidget *w : windows()) {
                QTest::keyClick(w, Qt::Key_Escape);
                w->close();
            }
        }) << 0;
        QTest::newRow("CANCEL") << Act([] {
            click(quiz().Command2());
            quiz().show();
        }) << 0;
        QTest::newRow("Wave Stop") << Act([] { click(form<Form5>().get().Command1()); }) << 1;
        QTest::newRow("SIGTERM") << Act([] { std::raise(SIGTERM); }) << 2;
    }

    void waysOut()
    {
        QFETCH(Act, act);
        QFETCH(int, ends);
        answer("000", false);
        form<Form5>().Show();
        act();
        QCOMPARE(runtime::hasEnded(), ends == 1); // a signal only wakes the event loop
        QTRY_COMPARE(runtime::hasEnded(), ends > 0);
        // The stop request first, then the end; no request at all on the other ways.
        QList<std::pair<bool, bool>> seen; // (a stop request, after the end)
        for (const auto &call : m_rt->sound.calls())
            seen.append({!call.file && call.flags == platform::SND_ASYNC, call.afterEnd});
        QCOMPARE(seen, (QList<std::pair<bool, bool>>(ends > 0, {true, false})));
        for (const QWidget *w : windows())
            QCOMPARE(w->isVisible(), !ends);
    }
};

} // namespace zelmoro::test

QTEST_MAIN(zelmoro::test::TestQuiz)
#include "test_quiz.moc"
