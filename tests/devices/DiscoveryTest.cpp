#include "app/Application.h"
#include "tests/support/WindowOnSimulator.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikUSBDevice.h"
#include "profiles/CBasicProfiledata.h"
#include "tests/support/SimulatorProcess.h"
#include "ui/CDeviceOptionUI.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Discovery end to end: the simulator runs as its own process and serves the devices; the real
// main window finds them through the HID layer exactly as it would find hidraw nodes. Every
// wait is for a state to be reached (bounded only to turn a hang into a failure).
namespace {

constexpr int kWaitMs = 15000;

// The simulator process with the test's own spelling of a command that must succeed.
class SimulatorProcess : public testsupport::SimulatorProcess {
public:
    using testsupport::SimulatorProcess::SimulatorProcess;
    bool run(const QStringList& args) { return Run(args); }
    QJsonObject json(const QStringList& args)
    {
        const auto out = Call(args);
        return out ? QJsonDocument::fromJson(*out).object() : QJsonObject{};
    }
    // One device's counters from the simulator's state.
    QJsonObject counters(const QString& device)
    {
        return json({"state"})["devices"].toObject()[device].toObject()["counters"].toObject();
    }
    // Connections open on the cable route of a device right now.
    int cableConnections(const QString& device)
    {
        return json({"state"})["devices"].toObject()[device].toObject()["routes"].toObject()["cable"]
            .toObject()["connections"].toInt();
    }
    QByteArray dump(const QString& device, const QString& region)
    {
        return QByteArray::fromHex(json({"dump", device, region})["hex"].toString().toLatin1());
    }
};

class DiscoveryTest : public testsupport::WindowOnSimulatorTest<SimulatorProcess> {
protected:
    CVantikUSBDevice* deviceOfKind(const QString& kind) const
    {
        for (CVantikUSBDevice* d : hub->AllDevices())
            if (d->FolderName() == kind)
                return d;
        return nullptr;
    }
    bool tabShown(const QString& kind) const
    {
        CVantikUSBDevice* d = deviceOfKind(kind);
        return d && d->Tab() && !d->Tab()->isHidden();
    }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWaitMs); }
};

}  // namespace

TEST_F(DiscoveryTest, KeyboardMovesBetweenCableAndReceiverWithOneTab)
{
    ASSERT_TRUE(sim->run({"plug", "keyboard", "--route", "cable"}));
    ASSERT_TRUE(waitFor([&] { return tabShown("keyboard"); }));
    CVantikUSBDevice* keyboard = deviceOfKind("keyboard");
    EXPECT_EQ(hub->VisibleTabCount(), 1);
    EXPECT_EQ(hub->CurrentDevice(), keyboard);
    EXPECT_FALSE(keyboard->Transport().isWireless());
    EXPECT_TRUE(waitFor([&] { return keyboard->ListenerOpen(false); }));
    // The first version shown is the one the keyboard reports in its information block (bytes
    // 0-1), never the USB release number seen before that block is read.
    EXPECT_TRUE(waitFor([&] { return !keyboard->FirmwareVersion().isEmpty(); }));
    const QByteArray info = sim->dump("keyboard", "info");
    ASSERT_GE(info.size(), 2);
    EXPECT_EQ(keyboard->FirmwareVersion(),
              QStringLiteral("%1.%2").arg(uint8_t(info[1]), 0, 16).arg(uint8_t(info[0]), 2, 16, QLatin1Char('0')));

    // The receiver as well: the same device, still one tab, still on its cable.
    ASSERT_TRUE(sim->run({"plug", "keyboard", "--route", "receiver"}));
    EXPECT_TRUE(waitFor([&] { return keyboard->ListenerOpen(true); }));
    EXPECT_EQ(hub->VisibleTabCount(), 1);
    EXPECT_FALSE(keyboard->Transport().isWireless());

    // The cable goes: the same object continues on the receiver.
    ASSERT_TRUE(sim->run({"unplug", "keyboard", "--route", "cable"}));
    EXPECT_TRUE(waitFor([&] { return keyboard->Transport().isWireless() && keyboard->Transport().isReady(); }));
    EXPECT_TRUE(waitFor([&] { return tabShown("keyboard"); }));
    EXPECT_EQ(hub->VisibleTabCount(), 1);
    EXPECT_EQ(deviceOfKind("keyboard"), keyboard);

    // The cable again: back on channel A.
    ASSERT_TRUE(sim->run({"plug", "keyboard", "--route", "cable"}));
    EXPECT_TRUE(waitFor([&] { return !keyboard->Transport().isWireless() && keyboard->Transport().isReady(); }));
    EXPECT_EQ(hub->VisibleTabCount(), 1);
}

TEST_F(DiscoveryTest, WirelessMouseTabFollowsItsPower)
{
    ASSERT_TRUE(sim->run({"plug", "mouse", "--route", "receiver"}));
    ASSERT_TRUE(waitFor([&] { return tabShown("mouse"); }));
    CVantikUSBDevice* mouse = deviceOfKind("mouse");
    EXPECT_TRUE(mouse->Transport().isWireless());
    // The battery of a mouse behind its receiver is read and shown.
    EXPECT_TRUE(waitFor([&] { return !mouse->LastStatus().empty(); }));

    ASSERT_TRUE(sim->run({"power", "mouse", "off"}));
    EXPECT_TRUE(waitFor([&] { return !tabShown("mouse"); }));
    EXPECT_EQ(hub->VisibleTabCount(), 0);
    EXPECT_TRUE(window->PM().FindControl("No_device_Link")->isVisibleTo(window.get()));

    ASSERT_TRUE(sim->run({"power", "mouse", "on"}));
    EXPECT_TRUE(waitFor([&] { return tabShown("mouse"); }));
    EXPECT_EQ(deviceOfKind("mouse"), mouse);
}

TEST_F(DiscoveryTest, PadReturnsToItsTabAndProfileAndHeadsetIsFoundWithoutCollection)
{
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    ASSERT_TRUE(sim->run({"plug", "headset"}));
    ASSERT_TRUE(waitFor([&] { return tabShown("MousePad") && tabShown("HD"); }));
    CVantikUSBDevice* pad = deviceOfKind("MousePad");
    ASSERT_TRUE(waitFor([&] { return !pad->Profile().GetProfilePath().isEmpty(); }));
    const QString profile = pad->Profile().GetProfilePath();
    EXPECT_TRUE(QFileInfo::exists(profile));
    EXPECT_TRUE(waitFor([&] { return !pad->LastStatus().empty(); })) << "the pad shows its charging state";
    // Both show the firmware version they report (the information block).
    EXPECT_TRUE(waitFor([&] { return !pad->FirmwareVersion().isEmpty() && !deviceOfKind("HD")->FirmwareVersion().isEmpty(); }));

    ASSERT_TRUE(sim->run({"unplug", "pad"}));
    EXPECT_TRUE(waitFor([&] { return !tabShown("MousePad"); }));
    EXPECT_FALSE(pad->Transport().isReady());
    EXPECT_TRUE(waitFor([&] { return !pad->ListenerOpen(false); })) << "its listener is detached too";

    ASSERT_TRUE(sim->run({"plug", "pad"}));
    EXPECT_TRUE(waitFor([&] { return tabShown("MousePad") && pad->Transport().isReady(); }));
    EXPECT_EQ(deviceOfKind("MousePad"), pad) << "the same object and tab";
    EXPECT_EQ(pad->Profile().GetProfilePath(), profile);
    EXPECT_EQ(hub->TabCount(), 2) << "pad and headset, each built when it first appeared: no second pad tab";
}

TEST_F(DiscoveryTest, ADeviceReplugedFasterThanAPollWorksAgain)
{
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    ASSERT_TRUE(waitFor([&] { return tabShown("MousePad"); }));
    CVantikUSBDevice* pad = deviceOfKind("MousePad");
    ASSERT_TRUE(waitFor([&] { return pad->Transport().isReady(); }));
    // The sockets go and come back under the same names with no pass in between: the old
    // channels are dead, and only the files' identity tells. Three times, as users do.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(sim->run({"replug", "pad"}));
        EXPECT_TRUE(waitFor([&] {
            return tabShown("MousePad") && pad->Transport().isReady() && pad->Transport().openSession() == 1 &&
                   pad->Transport().closeSession() == 1;
        })) << "commands reach the pad again";
    }
    EXPECT_EQ(deviceOfKind("MousePad"), pad);
}

TEST_F(DiscoveryTest, UnplugDuringALightingStreamEndsCleanly)
{
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    ASSERT_TRUE(waitFor([&] { return tabShown("MousePad"); }));
    CVantikUSBDevice* pad = deviceOfKind("MousePad");
    ASSERT_TRUE(waitFor([&] { return pad->Transport().isReady() && pad->LedCount() == 15; }));
    // A changing effect: the pad streams a frame on every step.
    LightState spectrum;
    spectrum.mode = 1;
    spectrum.brightness = 4;
    spectrum.speed = 4;
    spectrum.direction = 1;
    pad->SetLightBlock(spectrum);
    QProcess state;
    auto framesSent = [&] {
        state.start(TESSEL_DEVSIM, {"--dir", home.filePath("sim"), "state"});
        state.waitForFinished(10000);
        const QString out = QString::fromUtf8(state.readAllStandardOutput());
        const QRegularExpression started(QStringLiteral("\"framesStarted\"\\s*:\\s*([1-9][0-9]*)"));
        return started.match(out).hasMatch();
    };
    EXPECT_TRUE(waitFor(framesSent));
    ASSERT_TRUE(sim->run({"unplug", "pad"}));
    EXPECT_TRUE(waitFor([&] { return !tabShown("MousePad") && !pad->Transport().isReady(); }));
    // The stream ended with the device: the window still answers and the listener is gone.
    EXPECT_TRUE(waitFor([&] { return !pad->ListenerOpen(false); }));
    const int framesBefore = sim->counters("pad")["framesStarted"].toInt();
    // Plugged back, it streams again: new frames reach the simulator.
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    EXPECT_TRUE(waitFor([&] { return tabShown("MousePad") && pad->Transport().isReady(); }));
    EXPECT_TRUE(waitFor([&] { return sim->counters("pad")["framesStarted"].toInt() > framesBefore; }))
        << "frames before the unplug: " << framesBefore;
}

// A device unplugged and plugged back before discovery looks again keeps its path but is a new
// node: the old channels are dead and must be replaced, or the device stays listed and mute.
// Both ways it happens: back to back, and while the window's thread is busy (discovery then
// waits on the window to take an earlier find, and sees the pad's path only after the replug).
TEST_F(DiscoveryTest, PadReplugedBeforeDiscoveryLooksWorksAgain)
{
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    CVantikUSBDevice* pad = nullptr;
    ASSERT_TRUE(waitFor([&] {
        pad = deviceOfKind("MousePad");
        return pad && tabShown("MousePad") && pad->Transport().isReady() && pad->ListenerOpen(false) &&
               !pad->Profile().GetProfilePath().isEmpty();
    }));
    const struct {
        const char* name;
        bool busyWindow;
    } cases[] = {{"back to back", false}, {"back to back again", false}, {"window busy", true}};
    uint8_t mode = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.busyWindow) {
            // This thread is the window's: not running its loop, it is busy. The headset's
            // find is handed to it and discovery waits for the answer (the headset's socket
            // appearing wakes it at once; a state call gives it that moment), so the pad's
            // unplug and plug below happen while discovery cannot look.
            ASSERT_TRUE(sim->run({"plug", "headset"}));
            ASSERT_TRUE(sim->run({"state"}));
        }
        ASSERT_TRUE(sim->run({"unplug", "pad"}));
        ASSERT_TRUE(sim->run({"plug", "pad"}));
        // Working again: the transport answers through a new connection and a write lands.
        ASSERT_TRUE(waitFor([&] {
            return pad->Transport().isReady() && pad->ListenerOpen(false) && tabShown("MousePad") &&
                   sim->cableConnections("pad") > 0;
        }));
        LightInfo light = pad->Profile().GetLightInfo();
        light.mode = mode, light.brightness = 2;
        pad->Profile().SetLightInfo(light);
        EXPECT_TRUE(waitFor([&] { return pad->WriteSettings(0) == 1; }));
        EXPECT_EQ(int(uint8_t(sim->dump("pad", "settings").at(1))), int(mode));
        ++mode;
    }
    EXPECT_EQ(deviceOfKind("MousePad"), pad);
}

// Until the keyboard's profile is loaded after it connects, its system page takes no change (it
// is shown disabled): a polling rate clicked in that moment used to reach the keyboard and be
// overridden on the page by the profile loaded next, without being sent.
TEST_F(DiscoveryTest, TheKeyboardsSystemPageWaitsForItsProfile)
{
    // The keyboard answers its first reads slowly, so the window sits in that moment a while.
    ASSERT_FALSE(sim->json({"fault", "keyboard", "late-reply", "500", "--count", "2"}).isEmpty());
    ASSERT_FALSE(sim->json({"plug", "keyboard", "--route", "cable"}).isEmpty());
    CVantikUSBDevice* kb = nullptr;
    ASSERT_TRUE(waitFor([&] {
        kb = deviceOfKind("keyboard");
        return kb && kb->findChild<QWidget*>("keyboard_system_bar");
    }));
    auto* bar = kb->findChild<QWidget*>("keyboard_system_bar");
    auto* polling = kb->findChild<QAbstractButton*>("polling_rate_option_3");
    ASSERT_NE(polling, nullptr);
    bool sawWaiting = false;
    ASSERT_TRUE(waitFor([&] {
        if (!bar->isEnabled()) {
            sawWaiting = true;
            polling->click();  // a disabled button takes no click
            EXPECT_FALSE(polling->isChecked());
        }
        return bar->isEnabled();
    }));
    EXPECT_TRUE(sawWaiting) << "the system page was never shown waiting for the profile";
    // Loaded: the page shows the profile's rate, and a click now reaches the keyboard.
    auto* keyboard = qobject_cast<CVantikKeyboardDevice*>(kb);
    ASSERT_NE(keyboard, nullptr);
    const int rate = keyboard->KeyboardProfile().GetSystemStages().pollingRate;
    EXPECT_TRUE(kb->findChild<QAbstractButton*>(QString("polling_rate_option_%1").arg(rate))->isChecked());
    const int other = rate == 3 ? 2 : 3;
    kb->findChild<QAbstractButton*>(QString("polling_rate_option_%1").arg(other))->click();
    EXPECT_EQ(keyboard->KeyboardProfile().GetSystemStages().pollingRate, other);
    EXPECT_TRUE(waitFor([&] { return uint8_t(sim->dump("keyboard", "settings")[22]) == other; }));
}
