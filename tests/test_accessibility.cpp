// What a screen reader is given: every button and label named by its caption,
// tooltips as descriptions, labels readable as text, windows as windows or
// dialogs. (That a changed caption is announced reaches a screen reader only
// through a live accessibility bus; the end-to-end test listens for it there.)

#include "alarm/form2.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"
#include "wakeup/form3.h"
#include "wakeup/form4.h"
#include "wakeup/form5.h"
#include "wakeup/form6.h"

#include <QAccessible>
#include <QTest>

#include <memory>
#include <vector>

using platform::form;

namespace {

// Shows window n (1 to 6) as the program would and returns it.
QWidget *shownForm(int n)
{
    switch (n) {
    case 1: form<Form1>().Show(); return form<Form1>().loaded();
    case 2: form<Form2>().Show(); return form<Form2>().loaded();
    case 3: form<Form3>().Show(); return form<Form3>().loaded();
    case 4: form<Form4>().Show(); return form<Form4>().loaded();
    case 5: form<Form5>().Show(); return form<Form5>().loaded();
    default: form<Form6>().Show(); return form<Form6>().loaded();
    }
}

// The accessible children of a window with this name.
std::vector<QAccessibleInterface *> named(QWidget *window, const QString &name)
{
    std::vector<QAccessibleInterface *> found;
    QAccessibleInterface *top = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; i < top->childCount(); ++i) {
        QAccessibleInterface *child = top->child(i);
        if (child && child->text(QAccessible::Name) == name)
            found.push_back(child);
    }
    return found;
}

QString readText(QAccessibleInterface *iface)
{
    QAccessibleTextInterface *text = iface->textInterface();
    return text ? text->text(0, text->characterCount()) : QStringLiteral("<no text>");
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::prepareOnce(); }
    void init();
    void cleanup();

    void controlsAreNamed_data();
    void controlsAreNamed();
    void windowsAreWindowsOrDialogs_data();
    void windowsAreWindowsOrDialogs();
    void listsAreLabelledByTheirUnits_data();
    void listsAreLabelledByTheirUnits();
    void quizNumbersAreReadable();
    void timeDisplayReadsTheTimeOfTheLastTick();

private:
    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

void TestAccessibility::init()
{
    m_runtime = std::make_unique<testing::FakeRuntime>();
    m_runtime->clock.set(6, 59, 59);
}

void TestAccessibility::cleanup()
{
    platform::unloadAll();
    m_runtime.reset();
}

void TestAccessibility::controlsAreNamed_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("description");

    const int button = QAccessible::Button;
    const int label = QAccessible::StaticText;
    QTest::newRow("main: CLOSE") << 1 << "CLOSE" << button << "終了します";
    QTest::newRow("main: Alarm-SET, a picture button") << 1 << "Alarm-SET" << button
                                                       << "アラームのなる時間をＳＥＴします";
    QTest::newRow("main: Wave Test") << 1 << "Wave Test" << button << "音が鳴るかテストします";
    QTest::newRow("main: Now") << 1 << "Now" << label << "";
    QTest::newRow("main: Alarm") << 1 << "Alarm" << label << "";
    QTest::newRow("main: the alarm time (Label3)") << 1 << "None" << label << "";
    QTest::newRow("dialog: SET") << 2 << "SET" << button << "";
    QTest::newRow("dialog: Cancel") << 2 << "Cancel" << button << "";
    QTest::newRow("dialog: hour unit") << 2 << "時" << label << "";
    QTest::newRow("dialog: minute unit") << 2 << "分" << label << "";
    QTest::newRow("dialog: second unit") << 2 << "秒" << label << "";
    QTest::newRow("notice: OK") << 3 << "OK" << button << "";
    QTest::newRow("notice: message") << 3 << "起きろ～" << label << "";
    QTest::newRow("quiz: OK") << 4 << "OK" << button << "";
    QTest::newRow("quiz: CANCEL") << 4 << "CANCEL" << button << "";
    QTest::newRow("quiz: plus sign") << 4 << "+" << label << "";
    QTest::newRow("quiz: equals sign") << 4 << "=" << label << "";
    QTest::newRow("right: Wave Stop") << 5 << "Wave Stop" << button << "";
    QTest::newRow("right: message") << 5 << "おはようございます" << label << "";
    QTest::newRow("wrong: One More") << 6 << "One More" << button << "";
    QTest::newRow("wrong: message") << 6 << "あなたの脳は未だ寝てます" << label << "";
}

void TestAccessibility::controlsAreNamed()
{
    QFETCH(int, window);
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QString, description);

    const auto found = named(shownForm(window), name);
    QCOMPARE(found.size(), std::size_t{1});
    QAccessibleInterface *control = found.front();
    QCOMPARE(int(control->role()), role);
    QCOMPARE(control->text(QAccessible::Description), description);
    if (role == QAccessible::StaticText)
        QCOMPARE(readText(control), name);
}

void TestAccessibility::windowsAreWindowsOrDialogs_data()
{
    QTest::addColumn<int>("window");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("role");

    // A window with a taskbar entry is a window; the small ones without are dialogs.
    QTest::newRow("main window") << 1 << "Zelmoro" << int(QAccessible::Window);
    QTest::newRow("alarm dialog") << 2 << "Alarm - Set" << int(QAccessible::Dialog);
    QTest::newRow("notice") << 3 << "時間ですよ～" << int(QAccessible::Window);
    QTest::newRow("quiz") << 4 << "本当に起きてるの??" << int(QAccessible::Window);
    QTest::newRow("correct answer") << 5 << "正解です" << int(QAccessible::Dialog);
    QTest::newRow("wrong answer") << 6 << "間違えています" << int(QAccessible::Dialog);
}

void TestAccessibility::windowsAreWindowsOrDialogs()
{
    QFETCH(int, window);
    QFETCH(QString, title);
    QFETCH(int, role);

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(shownForm(window));
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), title);
}

void TestAccessibility::listsAreLabelledByTheirUnits_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<QString>("unit");
    QTest::newRow("hour list") << 0 << "時";
    QTest::newRow("minute list") << 1 << "分";
    QTest::newRow("second list") << 2 << "秒";
}

// A list's accessible name on Linux is its selected entry; what it is for comes
// from the label that labels it.
void TestAccessibility::listsAreLabelledByTheirUnits()
{
    QFETCH(int, list);
    QFETCH(QString, unit);

    shownForm(2);
    Form2 &dialog = form<Form2>().get();
    QComboBox *lists[] = {&dialog.cmbHour(), &dialog.cmbMinute(), &dialog.cmbSecond()};
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(lists[list]);
    QStringList labels;
    for (const auto &[other, relation] : iface->relations(QAccessible::Label))
        labels << other->text(QAccessible::Name);
    QCOMPARE(labels, QStringList{unit});
}

void TestAccessibility::quizNumbersAreReadable()
{
    // r = 0.5 draws 55, r = 0 draws 10.
    m_runtime->random.queue({0.5f, 0.0f});
    QWidget *quiz = shownForm(4);
    for (const QString &number : {QStringLiteral("55"), QStringLiteral("10")}) {
        const auto found = named(quiz, number);
        QCOMPARE(found.size(), std::size_t{1});
        QCOMPARE(int(found.front()->role()), int(QAccessible::StaticText));
        QCOMPARE(readText(found.front()), number);
    }
}

void TestAccessibility::timeDisplayReadsTheTimeOfTheLastTick()
{
    Form1 &main = *static_cast<Form1 *>(shownForm(1));
    main.Timer1().stop(); // the test drives the ticks
    main.Timer1_Timer();
    QAccessibleInterface *label2 = QAccessible::queryAccessibleInterface(&main.Label2());
    QCOMPARE(label2->text(QAccessible::Name), QStringLiteral("6:59:59"));

    m_runtime->clock.set(7, 0, 0);
    main.Timer1_Timer();
    QCOMPARE(label2->text(QAccessible::Name), QStringLiteral("7:00:00"));
    QCOMPARE(readText(label2), QStringLiteral("7:00:00"));
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
