#include "platform/default_instance.h"
#include "platform/form.h"
#include "support/fakes.h"

#include <QTest>

namespace {

int loads = 0;

// A window whose load handler counts how often it runs.
class CountingForm : public platform::Form {
public:
    CountingForm() : Form(QStringLiteral("counting"), 1500, 1500, platform::Taskbar::None) {}
    void Form_Load() { ++loads; }
};

} // namespace

class TestRuntime : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_runtime = std::make_unique<testing::FakeRuntime>();
        loads = 0;
    }
    void cleanup() { m_runtime.reset(); }

    void lifecycle_data();
    void lifecycle();
    void escapedErrorIsReportedAndEndsTheProgram();
    void noHandlerRunsAfterEnd();
    void twipsFollowTheLogicalResolution_data();
    void twipsFollowTheLogicalResolution();

private:
    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

void TestRuntime::lifecycle_data()
{
    // Steps: S = Show, H = Hide, U = Unload.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("expectedLoads");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("shown");
    QTest::newRow("first show loads") << "S" << 1 << true << true;
    QTest::newRow("show on a shown form does not reload") << "SS" << 1 << true << true;
    QTest::newRow("hide keeps it loaded") << "SH" << 1 << true << false;
    QTest::newRow("show after hide does not reload") << "SHS" << 1 << true << true;
    QTest::newRow("unload discards") << "SU" << 1 << false << false;
    QTest::newRow("show after unload loads afresh") << "SUS" << 2 << true << true;
    QTest::newRow("hide before any show does not load") << "H" << 0 << false << false;
}

void TestRuntime::lifecycle()
{
    QFETCH(QString, steps);
    QFETCH(int, expectedLoads);
    QFETCH(bool, loaded);
    QFETCH(bool, shown);
    auto &slot = platform::form<CountingForm>();
    for (const QChar step : steps) {
        if (step == 'S')
            slot.Show();
        else if (step == 'H')
            slot.Hide();
        else
            slot.Unload();
    }
    QCOMPARE(loads, expectedLoads);
    QCOMPARE(slot.isLoaded(), loaded);
    QCOMPARE(slot.isShown(), shown);
}

void TestRuntime::escapedErrorIsReportedAndEndsTheProgram()
{
    platform::form<CountingForm>().Show();
    bool after = false;
    platform::runHandler([&] {
        platform::raiseOverflow();
        after = true;
    });
    QVERIFY(!after);
    QCOMPARE(m_runtime->reportedErrors, QList{platform::ErrorNumber::Overflow});
    QVERIFY(platform::hasEnded());
    QVERIFY(!platform::form<CountingForm>().isShown());
}

void TestRuntime::noHandlerRunsAfterEnd()
{
    platform::End();
    bool ran = false;
    platform::runHandler([&] { ran = true; });
    QVERIFY(!ran);
}

void TestRuntime::twipsFollowTheLogicalResolution_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("main window width at 96 dpi") << 96.0 << 4128 << 275;
    QTest::newRow("main window width at 120 dpi") << 120.0 << 4128 << 344;
    QTest::newRow("rounds up past the half") << 96.0 << 3744 << 250;
    QTest::newRow("one pixel") << 96.0 << 15 << 1;
}

void TestRuntime::twipsFollowTheLogicalResolution()
{
    QFETCH(double, dpi);
    QFETCH(int, twips);
    QFETCH(int, pixels);
    QCOMPARE(platform::twipsToPixels(twips, dpi), pixels);
}

QTEST_MAIN(TestRuntime)
#include "test_runtime.moc"
