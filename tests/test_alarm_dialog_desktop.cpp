// The alarm dialog of the shipped program in a real desktop session (X server
// and window manager): Alarm-SET opens it at its layout size, SET closes it.

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <functional>

namespace {

// Twips to pixels at 96 dpi, rounded to nearest.
int px(double twips)
{
    return qRound(twips / 15.0);
}

QString run(const QString &program, const QStringList &arguments, int timeoutMs = 5000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Asks again every 50 ms until the condition holds or the time is up.
bool pollFor(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// The mapped top-level windows with exactly this title.
QStringList visibleWindows(const QString &title)
{
    const QString ids = run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                             QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)});
    return ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QSize clientSize(const QString &window)
{
    const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    const auto width = QRegularExpression(QStringLiteral("Width: (\\d+)")).match(info);
    const auto height = QRegularExpression(QStringLiteral("Height: (\\d+)")).match(info);
    return QSize(width.captured(1).toInt(), height.captured(1).toInt());
}

// Clicks the middle of a control given in twips, relative to the window's client area.
void clickControl(const QString &window, int left, int top, int width, int height)
{
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
         QString::number(px(left + width / 2.0)), QString::number(px(top + height / 2.0)),
         QStringLiteral("click"), QStringLiteral("1")});
}

} // namespace

class TestAlarmDialogDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void alarmSetOpensTheDialogAndSetClosesIt();
    void cleanup();

private:
    QProcess m_program;
};

void TestAlarmDialogDesktop::initTestCase()
{
    const bool required = qEnvironmentVariable("ZELMORO_REQUIRE_DESKTOP") == QLatin1String("1");
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (required)
            QFAIL("DISPLAY is not set, but the desktop session is required");
        QSKIP("no desktop session (DISPLAY is not set)");
    }
    QVERIFY2(!qEnvironmentVariableIsEmpty("ZELMORO_BINARY"),
             "ZELMORO_BINARY must name the built zelmoro program");
}

void TestAlarmDialogDesktop::alarmSetOpensTheDialogAndSetClosesIt()
{
    const QString dialogTitle = QStringLiteral("Alarm - Set");
    QVERIFY2(visibleWindows(dialogTitle).isEmpty(), "a dialog is already open on this display");

    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_program.start(qEnvironmentVariable("ZELMORO_BINARY"), {});
    QVERIFY(m_program.waitForStarted());
    QString main;
    QVERIFY2(pollFor([&] {
                 const QStringList found = visibleWindows(QStringLiteral("Zelmoro"));
                 main = found.value(0);
                 return !main.isEmpty();
             }, 10000),
             "the window \"Zelmoro\" did not appear");
    QVERIFY(visibleWindows(dialogTitle).isEmpty());

    // Alarm-SET: 120, 5880 twips, 3972 x 852. A click that reaches the window
    // before it takes input is lost, so click again until the dialog shows.
    QString dialog;
    QVERIFY2(pollFor([&] {
                 clickControl(main, 120, 5880, 3972, 852);
                 return pollFor([&] {
                     dialog = visibleWindows(dialogTitle).value(0);
                     return !dialog.isEmpty();
                 }, 1000);
             }, 10000),
             "Alarm-SET did not open \"Alarm - Set\"");
    QCOMPARE(visibleWindows(dialogTitle).size(), 1);

    // Client area 3744 x 1356 twips.
    QCOMPARE(clientSize(dialog), QSize(px(3744), px(1356)));
    QCOMPARE(clientSize(dialog), QSize(250, 90));
    // No taskbar entry: a utility window, or one that asks to be left out.
    const QString props = run(QStringLiteral("xprop"), {QStringLiteral("-id"), dialog});
    QVERIFY2(props.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY"))
                 || props.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")),
             qPrintable(props));

    // SET: 240, 720 twips, 1572 x 372.
    clickControl(dialog, 240, 720, 1572, 372);
    QVERIFY2(pollFor([&] { return visibleWindows(dialogTitle).isEmpty(); }, 5000),
             "SET did not close the dialog");
    QCOMPARE(m_program.state(), QProcess::Running);
    QCOMPARE(visibleWindows(QStringLiteral("Zelmoro")).value(0), main);
}

void TestAlarmDialogDesktop::cleanup()
{
    if (m_program.state() == QProcess::NotRunning)
        return;
    m_program.terminate();
    if (!m_program.waitForFinished(3000)) {
        m_program.kill();
        m_program.waitForFinished(3000);
    }
}

QTEST_GUILESS_MAIN(TestAlarmDialogDesktop)
#include "test_alarm_dialog_desktop.moc"
