// Devices that stop answering, answer late or wrongly, or go away mid-transfer, against the real
// window on the simulator process: the window's event loop keeps running, the device's page
// says it is not answering, and a profile switch says what failed within the device's time-out.
#include "PanelTestFixture.h"

#include "devices/CVantikKeyboardDevice.h"

#include "ui/Language.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

// The longest a 5 ms timer of the window's thread fired late while it ran: the longest stall
// of the event loop.
class LoopLagMeter {
public:
    LoopLagMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last - 5);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Far below the 1 s (cable) and 5 s (receiver) time-outs a read on the window's thread would
// cost, and far above what a loaded machine adds by chance; the benchmark holds the tight figure.
constexpr qint64 kLooseStallMs = 600;

class DeviceFaultTest : public PanelOnSimulatorTest {
protected:
    QString statusText(CVantikUSBDevice* device)
    {
        auto* status = control<QLabel>(device, "device_info_status");
        return status ? status->text() : QString();
    }
};

struct DeviceCase {
    const char* sim;
    const char* kind;
    int timeoutMs;  // the transport's read time-out on the device's route
};
const DeviceCase kDevices[] = {
    {"keyboard", "keyboard", 1000},
    {"mouse", "mouse", 1000},
    {"pad", "MousePad", 1000},
    {"headset", "HD", 1000},
};

TEST_F(DeviceFaultTest, NoFaultOfADeviceStallsTheWindow)
{
    const QStringList faults[] = {
        {"drop-reply", "--count", "100000"},
        {"late-reply", "1500", "--count", "100000"},
        {"bad-echo", "--count", "100000"},
        {"status-ff", "--count", "100000"},
    };
    for (const DeviceCase& d : kDevices) {
        SCOPED_TRACE(d.sim);
        CVantikUSBDevice* device = plugAndShow(d.sim, d.kind);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(drained(device));
        for (const QStringList& fault : faults) {
            SCOPED_TRACE(fault.first().toStdString());
            ASSERT_FALSE(sim->run(QStringList{"fault", d.sim} + fault).isNull());
            // Traffic as the device and the user make it: a settings change announced by the
            // device, a page refresh, and the tab's own timers meanwhile. The announcement is
            // made before the meter starts: the test's own simulator command blocks this
            // thread while the command-line program runs, which is no stall of the window.
            sim->run({"event", d.sim, "0x401"});
            LoopLagMeter lag;
            device->RefreshPanel();
            QTest::qWait(d.timeoutMs + 300);
            EXPECT_LT(lag.longestMs(), kLooseStallMs);
            ASSERT_FALSE(sim->run({"fault", d.sim, "clear"}).isNull());
            EXPECT_TRUE(waitFor([&] { return device->Answering(); }));
        }
    }
}

TEST_F(DeviceFaultTest, ADeviceUnpluggedMidTransferCostsTheWindowNothingAndReturns)
{
    struct Case {
        const char* sim;
        const char* kind;
        const char* route;
    } cases[] = {{"keyboard", "keyboard", "cable"}, {"mouse", "mouse", "receiver"}, {"headset", "HD", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sim);
        CVantikUSBDevice* device = plugAndShow(c.sim, c.kind, c.route);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(drained(device));
        ASSERT_FALSE(sim->run({"fault", c.sim, "unplug-mid-transfer"}).isNull());
        sim->run({"event", c.sim, "0x401"});  // before the meter: the command blocks this thread
        LoopLagMeter lag;
        device->RefreshPanel();
        EXPECT_TRUE(waitFor([&] { return !device->Transport().isReady(); }));
        EXPECT_LT(lag.longestMs(), kLooseStallMs);
        sim->run({"fault", c.sim, "clear"});
        ASSERT_EQ(plugAndShow(c.sim, c.kind, c.route), device);
        EXPECT_TRUE(waitFor([&] { return device->Answering() && !device->FirmwareVersion().isEmpty(); }));
    }
}

TEST_F(DeviceFaultTest, ADeviceThatStopsAnsweringIsMarkedAndComesBack)
{
    for (const DeviceCase& d : kDevices) {
        SCOPED_TRACE(d.sim);
        CVantikUSBDevice* device = plugAndShow(d.sim, d.kind);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(drained(device));
        EXPECT_EQ(statusText(device), "Connected and ready");
        ASSERT_TRUE(waitFor([&] { return !device->FirmwareVersion().isEmpty(); }));  // its connection read went

        ASSERT_FALSE(sim->run({"fault", d.sim, "drop-reply", "--count", "100000"}).isNull());
        LoopLagMeter lag;
        // A lighting change from the page meets the silence. (A settings event from the device
        // would do for the others, but the headset has no event interface.)
        device->SendLighting();
        EXPECT_TRUE(waitFor([&] { return statusText(device).startsWith("Not answering since "); }))
            << statusText(device).toStdString();
        EXPECT_FALSE(device->Answering());
        EXPECT_LT(lag.longestMs(), kLooseStallMs);

        ASSERT_FALSE(sim->run({"fault", d.sim, "clear"}).isNull());
        EXPECT_TRUE(waitFor([&] { return statusText(device) == "Connected and ready"; }))
            << statusText(device).toStdString();
    }
}

// A keyboard that answers late for a while (each reply after the 1 s time-out): a lighting
// change made while it is marked not answering fails at once, and must still reach the keyboard
// once it answers again; the window shows that colour, so the keyboard must not keep the one
// before.
TEST_F(DeviceFaultTest, ASettingChangedWhileTheKeyboardAnswersLateReachesItOnceItAnswers)
{
    CVantikUSBDevice* device = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(device, nullptr);
    auto* keyboard = qobject_cast<CVantikKeyboardDevice*>(device);
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return !device->FirmwareVersion().isEmpty(); }));
    ASSERT_TRUE(drained(device));
    auto colourOnDevice = [&] {
        return QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex("keyboard", "settings"))).mid(6, 3);
    };
    auto setColour = [&](uint8_t red, uint8_t green, uint8_t blue) {
        LightState s = keyboard->GetLightState();
        s.red = red;
        s.green = green;
        s.blue = blue;
        keyboard->SetLightBlock(s);
        keyboard->SendLighting();
    };

    ASSERT_FALSE(sim->run({"fault", "keyboard", "late-reply", "1200", "--count", "4"}).isNull());
    setColour(10, 20, 30);
    ASSERT_TRUE(waitFor([&] { return !device->Answering(); }));
    setColour(40, 50, 60);
    // Four late replies cost about four time-outs and the pauses between the probes.
    EXPECT_TRUE(QTest::qWaitFor([&] { return device->Answering() && colourOnDevice() == QByteArray("\x28\x32\x3c", 3); },
                                30000))
        << "the keyboard holds " << colourOnDevice().toHex().toStdString();
}

TEST_F(DeviceFaultTest, ASwitchToADeviceThatDoesNotAnswerSaysWhatFailedWithinItsTimeOut)
{
    struct Case {
        const char* sim;
        const char* kind;
        const char* route;
        int timeoutMs;
    } cases[] = {
        {"keyboard", "keyboard", "cable", 1000},
        {"mouse", "mouse", "receiver", 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sim);
        CVantikUSBDevice* device = plugAndShow(c.sim, c.kind, c.route);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(drained(device));
        auto* panel = device->findChild<CDeviceProfileUI*>();
        ASSERT_NE(panel, nullptr);
        auto* combo = control<QComboBox>(panel, "device_profile_combo");
        click(panel, "device_add_btn");
        ASSERT_EQ(combo->count(), 2);
        ASSERT_TRUE(drained(device));

        ASSERT_FALSE(sim->run({"fault", c.sim, "drop-reply", "--count", "100000"}).isNull());
        messages.clear();
        LoopLagMeter lag;
        QElapsedTimer clock;
        clock.start();
        {
            const QSignalBlocker block(combo);
            combo->setCurrentIndex(1);
        }
        panel->SwitchToSelectedProfile();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }, c.timeoutMs + 3000));
        EXPECT_LE(clock.elapsed(), c.timeoutMs + 1000);
        EXPECT_LT(lag.longestMs(), kLooseStallMs);
        ASSERT_EQ(messages.size(), 1);
        const QString& message = messages.first();
        EXPECT_TRUE(message.startsWith(ui::Language::instance().Text(device->DeviceName()) + ":")) << message.toStdString();
        EXPECT_TRUE(message.contains("not answering") || message.contains("did not answer")) << message.toStdString();
        EXPECT_TRUE(message.contains("“profile1” stays selected")) << message.toStdString();
        EXPECT_EQ(combo->currentIndex(), 0);
        EXPECT_EQ(listSelection(device), 0);

        ASSERT_FALSE(sim->run({"fault", c.sim, "clear"}).isNull());
        EXPECT_TRUE(waitFor([&] { return device->Answering(); }));
    }
}

}  // namespace
