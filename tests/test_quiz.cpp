// SPDX-License-Identifier: GPL-3.0-or-later
// The wake-up quiz and its result windows: the draw and its 30-second redraw,
// what OK makes of any answer, and the only ways the program ends from here.

#include "platform/termination.h"
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

using runtime::form;
using Act = std::function<void()>;
Q_DECLARE_METATYPE(Act)

class TestQuiz : public QObject {
    Q_OBJECT

    // Records each sound request as (a stop request, the program had already ended).
    struct EndWatch final : platform::SoundPlayer {
        QList<std::pair<bool, bool>> seen;
        bool play(const std::optional<QString> &file, std::uint32_t flags) override
        {
            return seen.append({!file && flags == platform::SND_ASYNC, runtime::hasEnded()}), true;
        }
        bool isPlaying() const override { return false; }
        bool isLooping() const override { return false; }
    };

    // What an answer of up to three characters reads as, worked out apart from
    // the program: blanks around, a sign, digits with an optional fraction,
    // nearest whole number with ties to even; full-width digits and the
    // ideographic space stand for their plain forms (compatibility normalization).
    static std::optional<int> readsAs(const QString &text)
    {
        static const QRegularExpression number(R"(^ *[+-]?(?=\.?[0-9])[0-9]*(\.[0-9]*)? *$)");
        const auto m = number.match(text.normalized(QString::NormalizationForm_KC));
        return m.hasMatch() ? std::optional(int(std::rint(m.captured().toDouble()))) : std::nullopt;
    }

    std::optional<test::FakeRuntime> m_rt;
    // The random value that the draw, 90 * r + 10 rounded down, turns into n.
    static float valueFor(int n) { return (float(n - 10) + 0.5f) / 90.0f; }
    static Form4 &quiz() { return form<Form4>().get(); }
    static QStringList numbers() { return {quiz().Label1().Caption(), quiz().Label3().Caption()}; }
    static void tick() { QMetaObject::invokeMethod(&quiz().Timer1(), "timeout"); }
    void redraw(float r1, float r2) { m_rt->random.queue({r1, r2}), tick(); }
    static void click(QWidget &button) { QTest::mouseClick(&button, Qt::LeftButton); }
    static void refuse(QWidget &w) { QTest::keyClick(&w, Qt::Key_Escape), w.close(); }

    // Selects all in the answer box, deletes (the backspace), types and presses
    // OK; full-width characters come without a key code, as from a Japanese
    // input method. True if nothing ended and the answer led on only if right
    // (Form5, quiz hidden), else to Form6 with the quiz as it was.
    bool answered(const QString &typed, bool right)
    {
        const QStringList before = numbers();
        QLineEdit &box = quiz().Text1();
        QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : u'\b' + typed)
            c.unicode() < 0x80 ? QTest::keyClicks(&box, QString(c))
                               : QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, c, {});
        click(quiz().Command1());
        return !runtime::hasEnded() && m_rt->reportedErrors.isEmpty() &&
               m_rt->sound.calls().empty() && form<Form5>().isShown() == right &&
               quiz().isVisible() == !right && (right || form<Form6>().isShown()) &&
               numbers() == before && box.text() == typed.left(3);
    }

private slots:
    void initTestCase()
    {
        // Drops the offscreen platform's note on raise().
        static const QtMessageHandler up = qInstallMessageHandler([](auto t, auto &c, auto &m) {
            if (m != QLatin1String("This plugin does not support raise()"))
                up(t, c, m);
        });
        platform::installTerminationHandler(runtime::endOnRequest);
    }
    // Each test starts with the quiz open on 57 + 42 = 99.
    void init() { m_rt.emplace().random.queue({valueFor(57), valueFor(42)}), form<Form4>().Show(); }

    void draw_data()
    {
        QTest::addColumn<QList<float>>("r");
        QTest::addColumn<QStringList>("drawn");
        QTest::addColumn<bool>("hiddenAtTick");
        const float top = std::nextafter(1.0f, 0.0f); // the largest single below 1
        QTest::newRow("0, 0.5; shown") << QList{0.0f, 0.5f} << QStringList{"10", "55"} << false;
        QTest::newRow("below 1, 0; hidden") << QList{top, 0.0f} << QStringList{"99", "10"} << true;
    }

    void draw()
    {
        QFETCH(QList<float>, r);
        QFETCH(QStringList, drawn);
        QFETCH(bool, hiddenAtTick);
        // A period restarted later would have its full 30 s again.
        const int left = (QTest::qSleep(50), quiz().Timer1().remainingTime());
        QVERIFY(answered("94", false));
        click(quiz().Command2()); // CANCEL
        if (!hiddenAtTick)
            form<Form4>().Show();
        QCOMPARE(quiz().isVisible(), !hiddenAtTick);
        redraw(r[0], r[1]);
        form<Form4>().Show(); // shows the latest draw, drawing nothing
        QCOMPARE(numbers() << quiz().Text1().text(), drawn << "94");
        QCOMPARE(m_rt->random.reseeds(), 2); // one before each draw
        QVERIFY(quiz().Timer1().isActive() && quiz().Timer1().interval() == 30000);
        QVERIFY(left <= 29960 && quiz().Timer1().remainingTime() <= left);
    }

    void ok_data()
    {
        // "right": the text the box keeps (three characters) is the sum 99.
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("right");
        QTest::newRow("the sum") << "99" << true;
        QTest::newRow("empty box") << "" << false;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("blank before a wrong number") << " 5" << false;
        QTest::newRow("minus zero") << "-0" << false;
        QTest::newRow("exponent") << "1e3" << false;
        QTest::newRow("full-width sum") << "９９" << true;
        QTest::newRow("full-width other number") << "１２３" << false;
        QTest::newRow("99.5 is cut to 99.; in full it reads 100") << "99.5" << true;
        QTest::newRow("plus sign") << "+12" << false;
        QTest::newRow("points") << "..." << false;
        QTest::newRow("65635 is cut; in full it overflows, not wrapping to 99") << "65635" << false;
    }

    void ok()
    {
        QFETCH(QString, text);
        QFETCH(bool, right);
        QVERIFY(answered("98", false));
        Form6 *wrong = form<Form6>().loaded();
        QVERIFY(answered(text, right));
        // Wrong again only brings the same window forward; right leaves it open.
        QVERIFY(form<Form6>().loaded() == wrong && wrong->isVisible());
        if (!right)
            click(wrong->Command1()); // One More: the quiz stays as it was
        QVERIFY(form<Form6>().isLoaded() == right && quiz().isVisible() == !right);
        // Read in full, past the box's limit, no over-long text here is the sum.
        QCOMPARE(checkAnswer("57", "42", text) == Verdict::Right, right && text.size() <= 3);
    }

    void waysOut_data()
    {
        QTest::addColumn<Act>("act");
        QTest::addColumn<int>("ends"); // never, at once, from the event loop
        QTest::newRow("Escape, close: quiz") << Act([] { refuse(quiz()); }) << 0;
        QTest::newRow("Escape, close: Form5") << Act([] { refuse(form<Form5>().get()); }) << 0;
        QTest::newRow("Escape, close: Form6") << Act([] { refuse(form<Form6>().get()); }) << 0;
        QTest::newRow("CANCEL") << Act([] { click(quiz().Command2()), quiz().show(); }) << 0;
        QTest::newRow("Wave Stop") << Act([] { click(form<Form5>().get().Command1()); }) << 1;
        QTest::newRow("SIGTERM") << Act([] { std::raise(SIGTERM); }) << 2;
    }

    void waysOut()
    {
        QFETCH(Act, act);
        QFETCH(int, ends);
        EndWatch watch;
        platform::setSoundPlayer(&watch);
        QVERIFY(answered("000", false));
        form<Form5>().Show();
        act();
        QCOMPARE(runtime::hasEnded(), ends == 1); // a signal only wakes the event loop
        QTRY_COMPARE(runtime::hasEnded(), ends > 0);
        // The stop request first, then the end; no request at all on the other ways.
        QCOMPARE(watch.seen, (QList<std::pair<bool, bool>>(ends > 0, {true, false})));
        QCOMPARE(quiz().isVisible() && form<Form5>().isShown() && form<Form6>().isShown(), !ends);
        platform::setSoundPlayer(nullptr);
    }

    void fuzz()
    {
        const QString alphabet = QStringLiteral("0123456789+- 　.aex０１２３４５６７８９*#,/");
        QRandomGenerator rng(20240607u);
        int a = 57, b = 42, rights = 0;
        for (int round = 1; round <= 5000; ++round) {
            if (round % 100 == 0) // the 30-second tick brings a new pair
                redraw(valueFor(a = rng.bounded(10, 100)), valueFor(b = rng.bounded(10, 100)));
            // Random text, or the sum, with full-width digits and a slip now and then.
            QString typed = rng.bounded(2) ? QString::number(a + b) : QString();
            for (QChar &c : typed)
                c = rng.bounded(4) ? c : QChar(c.unicode() + 0xFEE0);
            for (int n = typed.isEmpty() ? rng.bounded(4) : rng.bounded(2); n > 0; --n)
                typed.insert(rng.bounded(typed.size() + 1), alphabet[rng.bounded(alphabet.size())]);
            const bool right = readsAs(typed.left(3)) == a + b;
            QVERIFY2(answered(typed, right), qPrintable(typed + " for " + QString::number(a + b)));
            if (right && ++rights)
                form<Form5>().Unload(), form<Form4>().Show();
        }
        QVERIFY2(rights >= 500, qPrintable(QString::number(rights)));
    }
};

QTEST_MAIN(TestQuiz)
#include "test_quiz.moc"
