#include "alarm/form2.h"
#include "alarm/module1.h"
#include "clock/form1.h"
#include "platform/default_instance.h"
#include "support/fakes.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTest>

#include <memory>

namespace {

// What the user does in one list: arrow, Home and End keys by name, anything
// else is typed as text (type-ahead).
void press(QWidget *focused, const QStringList &keys)
{
    const QHash<QString, Qt::Key> named{{"Down", Qt::Key_Down}, {"Up", Qt::Key_Up},
                                        {"Home", Qt::Key_Home}, {"End", Qt::Key_End}};
    for (const QString &key : keys) {
        if (named.contains(key))
            QTest::keyClick(focused, named.value(key));
        else
            QTest::keyClicks(focused, key);
    }
}

} // namespace

// The alarm dialog worked with the keyboard and closed with SET or Cancel:
// what reaches the shared alarm time and the main window.
class TestAlarmDialogSet : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void setBuildsTheAlarmFromThePicks_data();
    void setBuildsTheAlarmFromThePicks();
    void droppedListPicksWithTheKeyboard();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void reopeningPreselectsTheTimeAgain();
    void setReplacesTheEarlierAlarm();

private:
    Form2 &open();
    void setTo(const QStringList &hour, const QStringList &minute, const QStringList &second);

    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

void TestAlarmDialogSet::init()
{
    m_runtime = std::make_unique<testing::FakeRuntime>();
    // The main window is always there when the dialog opens; its tick is not
    // wanted here.
    platform::form<Form1>().get().Timer1().stop();
}

void TestAlarmDialogSet::cleanup()
{
    m_runtime.reset();
}

Form2 &TestAlarmDialogSet::open()
{
    platform::form<Form2>().Show();
    Form2 &dialog = platform::form<Form2>().get();
    if (!QTest::qWaitForWindowActive(&dialog))
        qWarning("the dialog did not become active");
    return dialog;
}

// Picks with the keyboard in the three lists, moving on with Tab, and presses
// SET with the space bar.
void TestAlarmDialogSet::setTo(const QStringList &hour, const QStringList &minute,
                            const QStringList &second)
{
    Form2 &dialog = open();
    for (const QStringList &keys : {hour, minute, second}) {
        press(dialog.focusWidget(), keys);
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(dialog.focusWidget(), &dialog.Command1());
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);
}

void TestAlarmDialogSet::setBuildsTheAlarmFromThePicks_data()
{
    QTest::addColumn<QTime>("opened");
    QTest::addColumn<QStringList>("hourKeys");
    QTest::addColumn<QStringList>("minuteKeys");
    QTest::addColumn<QStringList>("secondKeys");
    QTest::addColumn<QString>("alarm");
    QTest::newRow("arrows") << QTime(9, 5, 7) << QStringList{"Up", "Up"} << QStringList{}
                            << QStringList{"Down", "Down"} << "7:05:09";
    QTest::newRow("type-ahead") << QTime(13, 42, 18) << QStringList{"7"} << QStringList{"0", "5"}
                                << QStringList{"3", "1"} << "7:05:31";
    QTest::newRow("midnight keeps one hour digit")
        << QTime(23, 59, 59) << QStringList{"Home"} << QStringList{"Home"} << QStringList{"Home"}
        << "0:00:00";
    QTest::newRow("arrows stop at the ends") << QTime(23, 58, 0) << QStringList{"Down"}
                                             << QStringList{"End", "Down"} << QStringList{"Up"}
                                             << "23:59:00";
    QTest::newRow("typed tens") << QTime(2, 0, 0) << QStringList{"1", "2"} << QStringList{"1"}
                                << QStringList{"4"} << "12:10:40";
    QTest::newRow("untouched lists keep the opening time")
        << QTime(6, 30, 15) << QStringList{} << QStringList{} << QStringList{} << "6:30:15";
}

void TestAlarmDialogSet::setBuildsTheAlarmFromThePicks()
{
    QFETCH(QTime, opened);
    QFETCH(QStringList, hourKeys);
    QFETCH(QStringList, minuteKeys);
    QFETCH(QStringList, secondKeys);
    QFETCH(QString, alarm);
    m_runtime->clock.set(opened);
    setTo(hourKeys, minuteKeys, secondKeys);

    QCOMPARE(Module1::AlarmTime, alarm);
    QCOMPARE(platform::form<Form1>().get().Label3().Caption(), alarm);
    QVERIFY(!platform::form<Form2>().isLoaded());
}

void TestAlarmDialogSet::droppedListPicksWithTheKeyboard()
{
    m_runtime->clock.set(9, 40, 3);
    Form2 &dialog = open();
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    QComboBox &minutes = dialog.cmbMinute();
    QCOMPARE(dialog.focusWidget(), &minutes);
    QTest::keyClick(&minutes, Qt::Key_Down, Qt::AltModifier);

    // The list drops below the closed field (sharing at most its bottom edge)
    // and starts at the selected entry.
    QWidget *popup = QApplication::activePopupWidget();
    QVERIFY(popup);
    QVERIFY(popup->isAncestorOf(minutes.view()));
    const int fieldBottom = minutes.mapToGlobal(QPoint(0, minutes.height() - 1)).y();
    QVERIFY(popup->mapToGlobal(QPoint(0, 0)).y() >= fieldBottom);
    QCOMPARE(minutes.view()->indexAt(QPoint(1, 1)).data().toString(), QStringLiteral("40"));

    QWidget *keys = popup->focusWidget() ? popup->focusWidget() : popup;
    QTest::keyClick(keys, Qt::Key_Down);
    QTest::keyClick(keys, Qt::Key_Down);
    QTest::keyClick(keys, Qt::Key_Return);
    QVERIFY(!QApplication::activePopupWidget());
    QCOMPARE(minutes.currentText(), QStringLiteral("42"));
    QVERIFY(platform::form<Form2>().isShown());

    QTest::mouseClick(&dialog.Command1(), Qt::LeftButton);
    QCOMPARE(Module1::AlarmTime, QStringLiteral("9:42:03"));
}

void TestAlarmDialogSet::cancelChangesNothing_data()
{
    QTest::addColumn<bool>("setBefore");
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first opening") << false << "" << "None";
    QTest::newRow("after an alarm was set") << true << "6:30:15" << "6:30:15";
}

void TestAlarmDialogSet::cancelChangesNothing()
{
    QFETCH(bool, setBefore);
    QFETCH(QString, alarm);
    QFETCH(QString, caption);
    m_runtime->clock.set(6, 30, 15);
    if (setBefore)
        setTo({}, {}, {});

    Form2 &dialog = open();
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Down);
    QTest::mouseClick(&dialog.Command2(), Qt::LeftButton);

    QCOMPARE(Module1::AlarmTime, alarm);
    QCOMPARE(platform::form<Form1>().get().Label3().Caption(), caption);
    QVERIFY(!platform::form<Form2>().isLoaded());
}

void TestAlarmDialogSet::reopeningPreselectsTheTimeAgain()
{
    m_runtime->clock.set(9, 5, 7);
    setTo({"Down"}, {}, {});
    QCOMPARE(Module1::AlarmTime, QStringLiteral("10:05:07"));

    m_runtime->clock.set(11, 22, 33);
    Form2 &dialog = open();
    QCOMPARE(dialog.cmbHour().count(), 24);
    QCOMPARE(dialog.cmbMinute().count(), 60);
    QCOMPARE(dialog.cmbHour().currentText(), QStringLiteral("11"));
    QCOMPARE(dialog.cmbMinute().currentText(), QStringLiteral("22"));
    QCOMPARE(dialog.cmbSecond().currentText(), QStringLiteral("33"));
    QCOMPARE(platform::form<Form1>().get().Label3().Caption(), QStringLiteral("10:05:07"));
}

void TestAlarmDialogSet::setReplacesTheEarlierAlarm()
{
    m_runtime->clock.set(9, 5, 7);
    setTo({"Up", "Up"}, {}, {"Down", "Down"});
    QCOMPARE(Module1::AlarmTime, QStringLiteral("7:05:09"));

    m_runtime->clock.set(20, 15, 45);
    Form2 &dialog = open();
    QTest::mouseClick(&dialog.Command1(), Qt::LeftButton);
    QCOMPARE(Module1::AlarmTime, QStringLiteral("20:15:45"));
    QCOMPARE(platform::form<Form1>().get().Label3().Caption(), QStringLiteral("20:15:45"));
}

QTEST_MAIN(TestAlarmDialogSet)
#include "test_alarm_dialog_set.moc"
