// Default instances of windows, and the end of the program after an error.

#include "platform/default_instance.h"
#include "platform/form.h"
#include "support/fakes.h"

#include <QTest>

namespace {

int loads = 0;

class CountingForm : public platform::Form {
public:
    CountingForm() : Form(QStringLiteral("counting"), 1500, 1500, platform::Taskbar::None) {}
    void Form_Load() { ++loads; }
};

} // namespace

class TestRuntime : public QObject {
    Q_OBJECT

private slots:
    void init() { m_runtime = std::make_unique<testing::FakeRuntime>(), loads = 0; }
    void cleanup() { m_runtime.reset(); }

    void lifecycle_data()
    {
        // Steps: S = Show, H = Hide, U = Unload.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("expectedLoads");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<bool>("shown");
        QTest::newRow("show on a shown form does not reload") << "SS" << 1 << true << true;
        QTest::newRow("show after hide does not reload") << "SHS" << 1 << true << true;
        QTest::newRow("unload discards") << "SU" << 1 << false << false;
        QTest::newRow("show after unload loads afresh") << "SUS" << 2 << true << true;
        QTest::newRow("hide before any show does not load") << "H" << 0 << false << false;
    }

    void lifecycle()
    {
        QFETCH(QString, steps);
        QFETCH(int, expectedLoads);
        QFETCH(bool, loaded);
        QFETCH(bool, shown);
        auto &slot = platform::form<CountingForm>();
        for (const QChar step : steps)
            step == 'S' ? slot.Show() : step == 'H' ? slot.Hide() : slot.Unload();
        QCOMPARE(loads, expectedLoads);
        QCOMPARE(slot.isLoaded(), loaded);
        QCOMPARE(slot.isShown(), shown);
    }

    void escapedErrorIsReportedAndEndsTheProgram()
    {
        platform::form<CountingForm>().Show();
        bool after = false, later = false;
        platform::runHandler([&] { platform::raiseOverflow(), after = true; });
        platform::runHandler([&] { later = true; });
        QVERIFY(!after && !later);
        QCOMPARE(m_runtime->reportedErrors, QList{platform::ErrorNumber::Overflow});
        QVERIFY(platform::hasEnded());
        QCOMPARE(platform::endStatus(), 1);
        QVERIFY(!platform::form<CountingForm>().isShown());
    }

private:
    std::unique_ptr<testing::FakeRuntime> m_runtime;
};

QTEST_MAIN(TestRuntime)
#include "test_runtime.moc"
