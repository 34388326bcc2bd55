// The quiz and its result windows as windows: layout, focus, the answer box's
// limit, and the ways out that must not end anything.

#include "alarm/module1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"
#include "support/quiz_driver.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QTest>

#include <functional>

using platform::form;
using testing::FakeRuntime;
using testing::typeAnswer;

namespace {

struct Expected {
    QString title;
    int clientWidth, clientHeight; // twips
    bool taskbar;
};

// A control as the layout table gives it; a width of 0 marks a label that
// sizes itself, of which only the left and top edges are fixed.
struct Placed {
    QWidget *control;
    QString text;
    int left, top, width, height;
    QString face;
    double points;
    bool bold, italic;
};

int px(int twips)
{
    return platform::twipsToPixels(twips, 96.0);
}

QString textOf(QWidget *control)
{
    if (auto *label = qobject_cast<QLabel *>(control))
        return label->text();
    if (auto *button = qobject_cast<QPushButton *>(control))
        return button->text();
    return qobject_cast<QLineEdit *>(control)->text();
}

void checkLayout(platform::Form &window, const Expected &expected,
                 const std::vector<Placed> &controls)
{
    QCOMPARE(window.windowTitle(), expected.title);
    QCOMPARE(window.size(), QSize(px(expected.clientWidth), px(expected.clientHeight)));
    QCOMPARE(window.windowType() == Qt::Tool, !expected.taskbar);
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
    for (const Placed &p : controls) {
        QCOMPARE(textOf(p.control), p.text);
        QCOMPARE(p.control->pos(), QPoint(px(p.left), px(p.top)));
        if (p.width > 0)
            QCOMPARE(p.control->size(), QSize(px(p.width), px(p.height)));
        const QFont font = p.control->font();
        QCOMPARE(font.family(), p.face);
        QCOMPARE(font.pointSizeF(), p.points);
        QCOMPARE(font.bold(), p.bold);
        QCOMPARE(font.italic(), p.italic);
    }
}

} // namespace

class TestQuizWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::quietRaiseWarnings(); }
    void quizLayout();
    void resultLayouts();
    void focusOnOpening();
    void tabOrderOfTheQuiz();
    void answerBoxTakesThreeCharacters_data();
    void answerBoxTakesThreeCharacters();
    void noWayOutAroundTheQuiz_data();
    void noWayOutAroundTheQuiz();
    void enterInTheAnswerBoxChecksNothing();
};

void TestQuizWindows::quizLayout()
{
    FakeRuntime runtime;
    runtime.random.queue({testing::randomFor(57), testing::randomFor(42)});
    form<Form4>().Show();
    Form4 &q = form<Form4>().get();
    const QString bauhaus = QStringLiteral("Bauhaus 93");
    checkLayout(q, {"本当に起きてるの??", 2844, 1392, true},
                {{&q.Text1(), "000", 1920, 240, 732, 444, bauhaus, 13.8, false, false},
                 {&q.Command2(), "CANCEL", 1680, 840, 972, 372, bauhaus, 10.2, false, false},
                 {&q.Command1(), "OK", 600, 840, 972, 372, bauhaus, 10.2, false, false},
                 {&q.Label4(), "=", 1560, 240, 0, 0, "ＤＦPOP体", 13.8, true, false},
                 {&q.Label3(), "42", 1080, 240, 0, 0, bauhaus, 13.8, true, false},
                 {&q.Label2(), "+", 720, 240, 0, 0, "ＤＦＰPOP体", 13.8, true, false},
                 {&q.Label1(), "57", 240, 240, 0, 0, bauhaus, 13.8, false, false}});
    QCOMPARE(q.Text1().maxLength(), 3);
    QVERIFY(q.Text1().inputMethodHints() & Qt::ImhPreferLatin);
    // The numbers' labels size themselves: the sum reads left to right without overlap.
    QVERIFY(q.Label1().geometry().right() < q.Label2().geometry().left());
    QVERIFY(q.Label3().geometry().right() < q.Label4().geometry().left());
    QVERIFY(q.Label1().width() > px(72));
}

void TestQuizWindows::resultLayouts()
{
    FakeRuntime runtime;
    const QString maru = QStringLiteral("ＤＦＰまるもじ体");
    const QString bauhaus = QStringLiteral("Bauhaus 93");
    form<Form5>().Show();
    Form5 &right = form<Form5>().get();
    checkLayout(right, {"正解です", 3936, 1476, false},
                {{&right.Command1(), "Wave Stop", 240, 840, 3492, 492, bauhaus, 12, false, false},
                 {&right.Label1(), "おはようございます", 120, 240, 0, 0, maru, 19.8, true, true}});
    form<Form6>().Show();
    Form6 &wrong = form<Form6>().get();
    checkLayout(wrong, {"間違えています", 3912, 1452, false},
                {{&wrong.Command1(), "One More", 240, 840, 3492, 492, bauhaus, 12, false, false},
                 {&wrong.Label1(), "あなたの脳は未だ寝てます", 240, 240, 0, 0, maru, 13.8, true,
                  true}});
    QCOMPARE(right.Label1().palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(wrong.Label1().palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

void TestQuizWindows::focusOnOpening()
{
    FakeRuntime runtime;
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QCOMPARE(quiz.focusWidget(), &quiz.Command1());
    typeAnswer(quiz.Text1(), QStringLiteral("12"));
    quiz.Text1().setFocus();
    QTest::mouseClick(&quiz.Command2(), Qt::LeftButton);
    form<Form4>().Show();
    QCOMPARE(quiz.focusWidget(), &quiz.Command1());

    QTest::mouseClick(&quiz.Command1(), Qt::LeftButton); // a wrong answer
    QCOMPARE(form<Form6>().get().focusWidget(), &form<Form6>().get().Command1());
    form<Form5>().Show();
    QCOMPARE(form<Form5>().get().focusWidget(), &form<Form5>().get().Command1());
}

void TestQuizWindows::tabOrderOfTheQuiz()
{
    FakeRuntime runtime;
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QApplication::setActiveWindow(&quiz);
    const QList<QWidget *> order{&quiz.Command2(), &quiz.Text1(), &quiz.Command1()};
    for (QWidget *next : order) {
        QTest::keyClick(quiz.focusWidget(), Qt::Key_Tab);
        QCOMPARE(quiz.focusWidget(), next);
    }
}

void TestQuizWindows::answerBoxTakesThreeCharacters_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("kept");
    QTest::newRow("typed") << "type" << "1234" << "123";
    QTest::newRow("pasted") << "paste" << "98765" << "987";
    QTest::newRow("committed by the input method") << "commit" << "１２３４" << "１２３";
    QTest::newRow("pasted over the design text") << "paste over" << "4567" << "456";
}

void TestQuizWindows::answerBoxTakesThreeCharacters()
{
    QFETCH(QString, how);
    QFETCH(QString, offered);
    QFETCH(QString, kept);
    FakeRuntime runtime;
    form<Form4>().Show();
    QLineEdit &box = form<Form4>().get().Text1();
    QCOMPARE(box.text(), QStringLiteral("000"));
    if (how == QLatin1String("type")) {
        typeAnswer(box, offered);
    } else if (how.startsWith(QLatin1String("paste"))) {
        QApplication::clipboard()->setText(offered);
        if (how == QLatin1String("paste"))
            typeAnswer(box, QString());
        else
            QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
    } else {
        typeAnswer(box, QString());
        testing::commitFromInputMethod(box, offered);
    }
    QCOMPARE(box.text(), kept);
}

void TestQuizWindows::noWayOutAroundTheQuiz_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("quiz") << "Form4";
    QTest::newRow("correct-answer window") << "Form5";
    QTest::newRow("wrong-answer window") << "Form6";
}

void TestQuizWindows::noWayOutAroundTheQuiz()
{
    QFETCH(QString, window);
    FakeRuntime runtime;
    Module1::sndPlaySoundA(QStringLiteral("belora.wav"), 25);
    form<Form4>().Show();
    QTest::mouseClick(&form<Form4>().get().Command1(), Qt::LeftButton); // "000" is wrong
    form<Form5>().Show();
    QWidget *w = window == QLatin1String("Form4")   ? static_cast<QWidget *>(&form<Form4>().get())
                 : window == QLatin1String("Form5") ? static_cast<QWidget *>(&form<Form5>().get())
                                                    : &form<Form6>().get();
    QVERIFY(w->isVisible());
    QApplication::setActiveWindow(w);
    runtime.sound.clear();

    QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
    QTest::keyClick(w, Qt::Key_Escape);
    QTest::keyClick(w, Qt::Key_F4, Qt::AltModifier);
    QVERIFY(!w->close());
    QCloseEvent request;
    QApplication::sendEvent(w, &request);
    QVERIFY(!request.isAccepted());

    QVERIFY(w->isVisible());
    QVERIFY(!platform::hasEnded());
    QVERIFY(runtime.sound.calls().empty());
    QVERIFY(runtime.sound.isLooping());
    QVERIFY(runtime.reportedErrors.isEmpty());
    QVERIFY(form<Form4>().isShown() && form<Form5>().isShown() && form<Form6>().isShown());

    // CANCEL only hides the quiz.
    QTest::mouseClick(&form<Form4>().get().Command2(), Qt::LeftButton);
    QVERIFY(form<Form4>().isLoaded() && !form<Form4>().isShown());
    QVERIFY(!platform::hasEnded());
    QVERIFY(runtime.sound.calls().empty());
}

void TestQuizWindows::enterInTheAnswerBoxChecksNothing()
{
    // No window has a default button: Enter in the box presses nothing, while
    // Enter or Space on the focused OK button presses it.
    FakeRuntime runtime;
    runtime.random.queue({testing::randomFor(20), testing::randomFor(30)});
    form<Form4>().Show();
    Form4 &quiz = form<Form4>().get();
    QApplication::setActiveWindow(&quiz);
    typeAnswer(quiz.Text1(), QStringLiteral("50"));
    quiz.Text1().setFocus();
    QTest::keyClick(&quiz.Text1(), Qt::Key_Return);
    QTest::keyClick(&quiz.Text1(), Qt::Key_Enter);
    QVERIFY(quiz.isVisible());
    QVERIFY(!form<Form5>().isLoaded() && !form<Form6>().isLoaded());

    QTest::keyClick(&quiz.Command1(), Qt::Key_Space);
    QVERIFY(form<Form5>().isShown());
    QVERIFY(!quiz.isVisible());
}

QTEST_MAIN(TestQuizWindows)
#include "test_quiz_windows.moc"
