#include "alarm/form2.h"
#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"

#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

int px(int twips)
{
    return qRound(twips / 15.0);
}

// A clock that moves on by itself: each reading gives the next of the times it
// was handed (the last one again when they run out).
class SteppingClock final : public platform::Clock {
public:
    explicit SteppingClock(std::vector<QTime> times) : m_times(std::move(times)) {}
    QTime timeOfDay() const override
    {
        const QTime time = m_times.at(std::min(m_reads, m_times.size() - 1));
        ++m_reads;
        return time;
    }
    std::size_t reads() const { return m_reads; }

private:
    std::vector<QTime> m_times;
    mutable std::size_t m_reads = 0;
};

QStringList hourEntries()
{
    QStringList entries;
    for (int n = 0; n <= 23; ++n)
        entries << QString::number(n);
    return entries;
}

QStringList sixtyEntries()
{
    QStringList entries;
    for (int n = 0; n <= 59; ++n)
        entries << QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    return entries;
}

QStringList entriesOf(const QComboBox &list)
{
    QStringList entries;
    for (int i = 0; i < list.count(); ++i)
        entries << list.itemText(i);
    return entries;
}

} // namespace

// The alarm dialog as it opens: its layout, the filled lists preselected to
// the time of day, and the focus moving through the lists.
class TestAlarmDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void tabOrder();
    void fillAndPreselection_data();
    void fillAndPreselection();
    void threeSeparateReads_data();
    void threeSeparateReads();
    void showOnShownDialogKeepsThePicks();
    void noDefaultOrCancelButton();

private:
    Form2 &open();

    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

void TestAlarmDialog::init()
{
    m_runtime = std::make_unique<testing::FakeRuntime>();
    // The main window is always there when the dialog opens; its tick is not
    // wanted here.
    platform::form<Form1>().get().Timer1().stop();
}

void TestAlarmDialog::cleanup()
{
    m_runtime.reset();
}

Form2 &TestAlarmDialog::open()
{
    platform::form<Form2>().Show();
    Form2 &dialog = platform::form<Form2>().get();
    if (!QTest::qWaitForWindowActive(&dialog))
        qWarning("the dialog did not become active");
    return dialog;
}

void TestAlarmDialog::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Cancel") << "Command2" << QRect(1920, 720, 1572, 372) << "Cancel";
    QTest::newRow("SET") << "Command1" << QRect(240, 720, 1572, 372) << "SET";
    QTest::newRow("second list") << "cmbSecond" << QRect(2520, 240, 732, 276) << "";
    QTest::newRow("minute list") << "cmbMinute" << QRect(1320, 240, 732, 276) << "";
    QTest::newRow("hour list") << "cmbHour" << QRect(120, 240, 732, 276) << "";
    QTest::newRow("second label") << "lblTime(2)" << QRect(3360, 240, 252, 252) << "秒";
    QTest::newRow("minute label") << "lblTime(1)" << QRect(2160, 240, 252, 252) << "分";
    QTest::newRow("hour label") << "lblTime(0)" << QRect(960, 240, 252, 252) << "時";
}

void TestAlarmDialog::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    Form2 &dialog = open();
    const QHash<QString, QWidget *> controls{
        {"Command1", &dialog.Command1()},  {"Command2", &dialog.Command2()},
        {"cmbHour", &dialog.cmbHour()},    {"cmbMinute", &dialog.cmbMinute()},
        {"cmbSecond", &dialog.cmbSecond()}, {"lblTime(0)", &dialog.lblTime(0)},
        {"lblTime(1)", &dialog.lblTime(1)}, {"lblTime(2)", &dialog.lblTime(2)},
    };
    QWidget *widget = controls.value(control);
    QCOMPARE(widget->geometry(),
             QRect(px(twips.left()), px(twips.top()), px(twips.width()), px(twips.height())));
    QVERIFY(widget->isVisible());

    if (auto *list = qobject_cast<QComboBox *>(widget)) {
        QVERIFY2(!list->isEditable() && !list->lineEdit(), "a drop-down list takes no typing");
    } else if (control.startsWith("Command")) {
        QCOMPARE(widget->property("text").toString(), caption);
        QCOMPARE(widget->font().family(), QStringLiteral("Bauhaus 93"));
        QCOMPARE(widget->font().pointSizeF(), 12.0);
        QVERIFY(!widget->font().bold());
    } else {
        QCOMPARE(widget->property("text").toString(), caption);
        QCOMPARE(widget->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QCOMPARE(widget->font().pointSizeF(), 12.0);
        QVERIFY(widget->font().bold());
        QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
    }

    // The window itself: fixed client area, title only, no taskbar entry.
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Alarm - Set"));
    QCOMPARE(dialog.size(), QSize(250, 90));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.windowType(), Qt::Tool);
    QVERIFY(!(dialog.windowFlags() & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                                      | Qt::WindowMinMaxButtonsHint)));
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(255, 255, 255));
}

void TestAlarmDialog::tabOrder()
{
    Form2 &dialog = open();
    const QList<QWidget *> order{&dialog.cmbHour(), &dialog.cmbMinute(), &dialog.cmbSecond(),
                                 &dialog.Command1(), &dialog.Command2(), &dialog.cmbHour()};
    QCOMPARE(dialog.focusWidget(), order.first());
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        QCOMPARE(dialog.focusWidget(), order.at(i));
    }
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Backtab);
    QCOMPARE(dialog.focusWidget(), &dialog.Command2());
}

void TestAlarmDialog::fillAndPreselection_data()
{
    QTest::addColumn<QTime>("now");
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<QString>("second");
    QTest::newRow("midnight") << QTime(0, 0, 0) << "0" << "00" << "00";
    QTest::newRow("9:05:07") << QTime(9, 5, 7) << "9" << "05" << "07";
    QTest::newRow("end of the day") << QTime(23, 59, 59, 999) << "23" << "59" << "59";
}

void TestAlarmDialog::fillAndPreselection()
{
    QFETCH(QTime, now);
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(QString, second);
    m_runtime->clock.set(now);
    Form2 &dialog = open();

    QCOMPARE(entriesOf(dialog.cmbHour()), hourEntries());
    QCOMPARE(entriesOf(dialog.cmbMinute()), sixtyEntries());
    QCOMPARE(entriesOf(dialog.cmbSecond()), sixtyEntries());
    QCOMPARE(dialog.cmbHour().currentText(), hour);
    QCOMPARE(dialog.cmbMinute().currentText(), minute);
    QCOMPARE(dialog.cmbSecond().currentText(), second);
    QCOMPARE(dialog.focusWidget(), &dialog.cmbHour());
    QVERIFY(dialog.cmbHour().hasFocus());
}

void TestAlarmDialog::threeSeparateReads_data()
{
    QTest::addColumn<QTime>("hourRead");
    QTest::addColumn<QTime>("minuteRead");
    QTest::addColumn<QTime>("secondRead");
    QTest::addColumn<QString>("shown");
    QTest::newRow("hour read before 8:00") << QTime(7, 59, 59, 999) << QTime(8, 0, 0, 0)
                                           << QTime(8, 0, 0, 0) << "7:00:00";
    QTest::newRow("hour and minute read before 8:00")
        << QTime(7, 59, 59, 900) << QTime(7, 59, 59, 950) << QTime(8, 0, 0, 0) << "7:59:00";
    QTest::newRow("across midnight") << QTime(23, 59, 59, 999) << QTime(0, 0, 0, 0)
                                     << QTime(0, 0, 0, 1) << "23:00:00";
}

void TestAlarmDialog::threeSeparateReads()
{
    QFETCH(QTime, hourRead);
    QFETCH(QTime, minuteRead);
    QFETCH(QTime, secondRead);
    QFETCH(QString, shown);
    SteppingClock clock({hourRead, minuteRead, secondRead});
    platform::setClock(&clock);
    Form2 &dialog = platform::form<Form2>().get();
    platform::setClock(&m_runtime->clock);
    QCOMPARE(clock.reads(), std::size_t(3));
    QCOMPARE(dialog.cmbHour().currentText() + ":" + dialog.cmbMinute().currentText() + ":"
                 + dialog.cmbSecond().currentText(),
             shown);
}

void TestAlarmDialog::showOnShownDialogKeepsThePicks()
{
    m_runtime->clock.set(9, 5, 7);
    Form2 &dialog = open();
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Down);
    m_runtime->clock.set(14, 0, 0);
    platform::form<Form2>().Show();

    QCOMPARE(&platform::form<Form2>().get(), &dialog);
    QCOMPARE(dialog.cmbHour().count(), 24);
    QCOMPARE(dialog.cmbHour().currentText(), QStringLiteral("10"));
    QCOMPARE(dialog.cmbMinute().currentText(), QStringLiteral("05"));
    QTest::mouseClick(&dialog.Command1(), Qt::LeftButton);
    QCOMPARE(Module1::AlarmTime, QStringLiteral("10:05:07"));
}

void TestAlarmDialog::noDefaultOrCancelButton()
{
    m_runtime->clock.set(9, 5, 7);
    Form2 &dialog = open();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(dialog.focusWidget(), key);
    QVERIFY(platform::form<Form2>().isShown());
    QVERIFY(Module1::AlarmTime.isEmpty());
}

QTEST_MAIN(TestAlarmDialog)
#include "test_alarm_dialog.moc"
