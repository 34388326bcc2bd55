// SPDX-License-Identifier: GPL-3.0-or-later
// The wake-up quiz and its result windows: what OK makes of an answer, One More,
// the 30-second redraw, and the only ways the program ends from here.

#include "platform/termination.h"
#include "program_end.h"
#include "runtime/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"
#include "wakeup/quiz.h"

#include <QTest>

#include <csignal>

namespace zelmoro::test {

using runtime::form;
using wakeup::Form4;
using wakeup::Form5;
using wakeup::Form6;

class TestQuiz : public QObject {
    Q_OBJECT

    std::optional<FakeRuntime> m_rt;
    // The random value that the draw, 90 * r + 10 rounded down, turns into n.
    static float valueFor(int n) { return (float(n - 10) + 0.5f) / 90.0f; }
    static Form4 &quiz() { return form<Form4>().get(); }
    static void click(QWidget &button) { QTest::mouseClick(&button, Qt::LeftButton); }

    // Selects all in the answer box, deletes (the backspace), types and presses
    // OK; full-width characters come without a key code, as from a Japanese
    // input method. Nothing ends and the sound is left alone.
    void answer(const QString &typed)
    {
        QLineEdit &box = quiz().Text1();
        QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : u'\b' + typed) {
            if (c.unicode() < 0x80)
                QTest::keyClicks(&box, QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, c, {});
        }
        QCOMPARE(box.text(), typed.left(3));
        click(quiz().Command1());
        QCOMPARE(runtime::hasEnded(), false); // as an error escaping OK would end it
        QVERIFY(m_rt->sound.calls().empty());
    }

private slots:
    void initTestCase() { platform::installTerminationHandler(app::endOnRequest); }
    // Each test starts with the quiz open on 57 + 42 = 99.
    void init()
    {
        m_rt.emplace().random.queue({valueFor(57), valueFor(42)});
        form<Form4>().Show();
    }

    // A wrong answer brings up Form6 and keeps the quiz; a second one keeps the
    // same Form6, which One More unloads. A right one leads on (Form5, quiz
    // hidden). The quiz shown again keeps its numbers; its 30-second timer draws
    // anew, reseeding first. The box keeps three characters.
    void answersAndRedraw()
    {
        answer("100");
        Form6 *const wrong = form<Form6>().loaded();
        QVERIFY(wrong);
        QVERIFY(quiz().isVisible());
        answer("1");
        QCOMPARE(form<Form6>().loaded(), wrong);
        click(wrong->Command1());
        QVERIFY(!form<Form6>().isLoaded());
        answer("９９");
        QVERIFY(form<Form5>().isShown());
        QVERIFY(!quiz().isVisible());
        form<Form5>().Unload();
        form<Form4>().Show();
        QCOMPARE(m_rt->random.reseeds(), 1);
        QCOMPARE(quiz().Timer1().interval(), 30000);
        m_rt->random.queue({valueFor(10), valueFor(20)});
        QMetaObject::invokeMethod(&quiz().Timer1(), "timeout");
        QCOMPARE(m_rt->random.reseeds(), 2);
        answer("30.5");
        QVERIFY(form<Form5>().isShown());
    }

    // CANCEL ends nothing; Wave Stop ends at once, SIGTERM from the event loop,
    // each after a request to stop the sound.
    void waysOut_data()
    {
        QTest::addColumn<int>("ends"); // never, at once, from the event loop
        QTest::newRow("CANCEL") << 0;
        QTest::newRow("Wave Stop") << 1;
        QTest::newRow("SIGTERM") << 2;
    }

    void waysOut()
    {
        QFETCH(int, ends);
        answer("000");
        form<Form5>().Show();
        if (ends == 0)
            click(quiz().Command2());
        else if (ends == 1)
            click(form<Form5>().get().Command1());
        else
            std::raise(SIGTERM);
        QCOMPARE(runtime::hasEnded(), ends == 1); // a signal only wakes the event loop
        QTRY_COMPARE(runtime::hasEnded(), ends > 0);
        // The stop request first, then the end; no request at all on the other ways.
        QList<std::pair<bool, bool>> seen; // (a stop request, after the end)
        for (const auto &call : m_rt->sound.calls())
            seen.append({!call.file && call.flags == platform::SND_ASYNC, call.afterEnd});
        QCOMPARE(seen, (QList<std::pair<bool, bool>>(ends > 0, {true, false})));
        QCOMPARE(form<Form5>().isShown(), !ends);
        QCOMPARE(form<Form6>().isShown(), !ends);
    }
};

} // namespace zelmoro::test

QTEST_MAIN(zelmoro::test::TestQuiz)
#include "test_quiz.moc"
