#include "app/CommandLine.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikMouseDevice.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/WindowOnSimulator.h"
#include "ui/Builder.h"

#include <QAbstractSlider>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

// A start in the tray against the simulator process: the devices connect and get their profiles
// while their pages are not built; the window's first showing builds them, complete.
namespace {

constexpr int kWaitMs = 15000;

class DeferredPagesTest : public testsupport::WindowOnSimulatorTest<testsupport::SimulatorProcess> {
protected:
    void SetUp() override
    {
        app::StartOptions tray;
        tray.minimized = true;
        app::SetCurrentStartOptions(tray);
        UseFreshFolders();
        StartSimulator();
        ASSERT_FALSE(HasFatalFailure());
        // The mouse's first DPI stage moved away from what its profile says.
        ASSERT_TRUE(sim->Run({"plug", "mouse", "--route", "cable"}));
        ASSERT_TRUE(sim->Run({"plug", "keyboard", "--route", "cable"}));
        ASSERT_TRUE(sim->Run({"poke", "mouse", "settings", "16", "2000200000"}));
        window = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
        ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
        testsupport::AnswerMessages();
        hub = window->Devices();
        ASSERT_NE(hub, nullptr);
    }
    void TearDown() override
    {
        WindowOnSimulatorTest::TearDown();
        app::SetCurrentStartOptions({});
    }
    QByteArray mouseSettings()
    {
        const auto out = sim->Call({"dump", "mouse", "settings"});
        return out ? QByteArray::fromHex(QJsonDocument::fromJson(*out).object()["hex"].toString().toLatin1()) : QByteArray();
    }
    // Shown to the user: a start in the tray without a tray only minimises the window.
    bool shown() const { return window->isVisible() && !window->isMinimized(); }
    static int widgetsIn(const QWidget* w) { return int(w->findChildren<QWidget*>().size()); }
};

}  // namespace

TEST_F(DeferredPagesTest, TrayStartRunsTheDevicesWithoutPagesAndTheFirstShowBuildsThemComplete)
{
    auto mouse = [&]() -> CVantikMouseDevice* {
        for (CVantikUSBDevice* d : hub->AllDevices())
            if (auto* m = qobject_cast<CVantikMouseDevice*>(d))
                return m;
        return nullptr;
    };
    // Both devices connect, get their tabs, and the mouse its profile's stages written back.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QByteArray m = mouseSettings();
        return hub->VisibleTabCount() == 2 && m.size() > 20 && m[16] == 4 && m[18] == 4 && uint8_t(m[20]) == 0xff;
    }, kWaitMs)) << mouseSettings().toHex().toStdString();
    // A device found does not open the window of a start in the tray, nor does the first scan.
    QTest::qWait(200);
    EXPECT_FALSE(shown());
    EXPECT_EQ(hub->PagesPending(), 2);
    for (CVantikUSBDevice* d : hub->AllDevices()) {
        EXPECT_EQ(widgetsIn(d), 0) << d->FolderName().toStdString();
        EXPECT_TRUE(d->Transport().isReady()) << d->FolderName().toStdString();
    }

    // Another start asks for the window: the pages are built before it shows.
    window->PostMessage(app::RegisteredMessages::Find(app::msg::kInstance), 0, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown(); }, kWaitMs));
    EXPECT_EQ(hub->PagesPending(), 0);
    ASSERT_NE(hub->CurrentDevice(), nullptr);
    EXPECT_TRUE(hub->CurrentDevice()->isVisible());
    for (CVantikUSBDevice* d : hub->AllDevices()) {
        // Every control of the page built the usual way, its panels attached.
        ui::Builder builder(window.get());
        const std::unique_ptr<QWidget> reference(builder.Create(d->objectName() == "mouse_device"
                                                                    ? "XML/DeviceXml/mousedevice.xml"
                                                                    : "XML/DeviceXml/keyboarddevice.xml",
                                                                nullptr));
        ASSERT_NE(reference, nullptr) << d->objectName().toStdString();
        EXPECT_GE(widgetsIn(d), widgetsIn(reference.get())) << d->FolderName().toStdString();
        QStringList missing;
        for (const QWidget* w : reference->findChildren<QWidget*>()) {
            if (!w->objectName().isEmpty() && !d->findChild<QWidget*>(w->objectName()))
                missing << w->objectName();
        }
        EXPECT_TRUE(missing.isEmpty()) << missing.join(' ').toStdString();
        EXPECT_FALSE(d->Panels().empty()) << d->FolderName().toStdString();
    }
    // The mouse page shows the state the device runs with.
    CVantikMouseDevice* m = mouse();
    ASSERT_NE(m, nullptr);
    auto* slider = m->findChild<QAbstractSlider*>("DPI_slider_0");
    auto* edit = m->findChild<QLineEdit*>("DPI_edit_0");
    ASSERT_TRUE(slider && edit);
    EXPECT_EQ(slider->value(), m->MouseProfile().GetDpiStages().at(0).dpiX);
    EXPECT_FALSE(edit->text().isEmpty());

    // A device found later gets its page at once.
    ASSERT_TRUE(sim->Run({"plug", "pad"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return hub->AllDevices().size() == 3; }, kWaitMs));
    for (CVantikUSBDevice* d : hub->AllDevices())
        EXPECT_GT(widgetsIn(d), 0) << d->FolderName().toStdString();
}
